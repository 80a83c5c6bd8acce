// WatchCommands: "Search Again" on the open document. The document's search
// runs again with the engines and options it is watched with (the first time,
// those of the current profile), through a SearchRun of its own whose results
// go to a WatchEvents, not to the list. When the search is over, ApplyWatch
// compares and checks pages on a thread of its own, over a copy of the store;
// the outcome is taken into the document on the user-interface thread
// (ResultsModel::TakeWatch), the document is marked modified, and the user
// saves it as usual.
//
// Threads: user-interface thread only, apart from the comparison thread,
// which touches nothing but its own copies and posts its outcome back.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

#include "app/program_state.h"
#include "search/watch.h"
#include "ui/prompts.h"
#include "ui/results_view.h"

class QAction;
class QWidget;

namespace trovelane::ui {

class SearchBridge;

inline constexpr const char* kNoSearchToRepeat =
    "This document holds no search text to search again.";
// The key of trovelane.ini that lists the documents searched again when opened.
inline constexpr const char* kSearchOnOpenKey = "watch/searchAgainWhenOpened";
inline constexpr const char* kWatchNoEngineReached =
    "No engine could be reached; the document is left as it was.";

// The status bar's text after a watch: "3 new, 2 dead".
QString WatchStatusText(const WatchSummary& summary);

class WatchCommands : public QObject {
  Q_OBJECT

 public:
  // Every reference outlives the commands; `window` parents the actions.
  WatchCommands(QWidget* window, ProgramState& state, CQuivmarkView& view, UserPrompts& prompts);
  // Stops a running search and waits for the comparison thread.
  ~WatchCommands() override;

  void SearchAgain();
  // Ends a running watch early: engines that did not finish change nothing,
  // and the pages not checked yet stay as they were.
  void Stop();
  // From the search to the comparison's outcome taken in.
  bool running() const { return running_; }
  // The window's own search runs: Search Again waits.
  void SetWindowSearching(bool searching);

  // The open document's "search again when opened" option, kept per
  // document file in the user's trovelane.ini.
  void SetSearchOnOpen(bool on);
  bool SearchOnOpen() const;
  // The document's file changed (opened, saved as, new): the option shows
  // the one of that file.
  void ShowDocumentOption();
  // A document was opened: Search Again when its option says so.
  void DocumentOpened();

  QAction* searchAgainAction;
  QAction* searchOnOpenAction;

 signals:
  // A watch started or ended (`text` is the status bar's then).
  void runningChanged(bool running);
  void finished(const QString& text);

 private:
  class Events;
  void SearchEnded();
  void Compare();
  void Taken(const std::shared_ptr<struct WatchJob>& job);
  void SetRunning(bool running);

  QWidget* window_;
  ProgramState& state_;
  CQuivmarkView& view_;
  UserPrompts& prompts_;
  bool running_ = false;
  bool windowSearching_ = false;

  // One watch's search.
  EngineCatalogue catalogue_;
  NetworkSettings settings_;
  WatchedSearch search_;
  std::unique_ptr<Events> events_;
  SearchBridge* bridge_ = nullptr;
  std::thread compare_;
  std::atomic<bool> stop_{false};
};

}  // namespace trovelane::ui
