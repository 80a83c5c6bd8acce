// RankCommands: the rank order of the main window's results list and the
// options it follows. "Rank Order" puts the list in the rank order of the
// window's last search (RankRows over the search's finders, with the weights
// of the current profile's engines and the program's domain factors), as
// trovelane-cli's --order rank does; "Arrival Order" puts it back in the
// order the results came in; "Rank and Engine Options..." opens
// RankOptionsDialog.
//
// The rank order needs the search to be over (engines that found a result
// after another one are known only then) and rows that came from it; for
// others the command says why and leaves the list as it is.
//
// Threads: user-interface thread only.
#pragma once

#include <QObject>

#include "app/program_state.h"
#include "search/search_run.h"
#include "ui/prompts.h"
#include "ui/results_view.h"

class QAction;
class QWidget;

namespace trovelane::ui {

inline constexpr const char* kRankWaitsForSearch =
    "The rank order is known when the search is over. Stop it or wait for its end.";
inline constexpr const char* kRankNeedsSearch =
    "Only the results of a search made in this window can be put in rank order.";
inline constexpr const char* kOptionsWaitForSearch =
    "These options cannot be changed while a search runs.";

class RankCommands : public QObject {
  Q_OBJECT

 public:
  // Every reference outlives the commands; `window` parents the dialog and
  // the actions.
  RankCommands(QWidget* window, ProgramState& state, SearchRun& run, CQuivmarkView& view,
               UserPrompts& prompts);

  void RankOrder();
  void ArrivalOrder();
  void OpenOptions();

  QAction* rankOrderAction;
  QAction* arrivalOrderAction;
  QAction* optionsAction;

 signals:
  // The options dialog saved.
  void settingsSaved();

 private:
  QWidget* window_;
  ProgramState& state_;
  SearchRun& run_;
  CQuivmarkView& view_;
  UserPrompts& prompts_;
};

}  // namespace trovelane::ui
