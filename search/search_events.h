// What a search run tells its front end. The CLI and the GUI each implement
// SearchEvents; the search run calls every method on the owner thread (the
// thread that created the SearchRun and drains its queue), never on a worker
// thread, so an implementation needs no lock of its own.
#pragma once

#include <string>

namespace trovelane {

// One accepted result on its way from a worker to the results view. Each
// hand-off fills its own, and the worker waits until OnResult returns.
struct ResultHandoff {
  // Field widths of the record, terminator included. A title or engine name
  // longer than its field is cut; a longer URL is never handed over (a cut
  // URL would point somewhere else).
  static constexpr size_t kUrlSize = 1024;
  static constexpr size_t kTitleSize = 512;
  static constexpr size_t kEngineNameSize = 64;

  std::string url;
  std::string title;
  std::string engineName;
  int engineIndex = -1;
  int validated = 0;   // 1 when the link went through validation
  int relevance = -1;  // percent; -1 when no relevance was computed
  // Where the engine listed it: 1 for its first result link (rank order).
  int position = 0;
  // The number of its key in the search's duplicate filter, or -1 (as
  // size_t) when it has none; links of other engines that repeat it carry
  // the same number (SearchRun::resultFinders).
  size_t duplicateKey = static_cast<size_t>(-1);
};

class SearchEvents {
 public:
  virtual ~SearchEvents() = default;

  // Owner thread, during StartSearch: a new, empty results document. False
  // refuses it (the user kept the current results) and the start is dropped.
  virtual bool OnNewDocument() { return true; }
  // Owner thread, during StartSearch: the normalized text goes back into the
  // search field and, when no history entry begins with it, to the front of
  // the history.
  virtual void OnSearchHistory(const std::string& /*normalizedText*/) {}
  // Owner thread, during StartSearch: the title of the new document.
  virtual void OnDocumentTitle(const std::string& /*title*/) {}

  // Owner thread: one accepted result. Called while the worker that found it
  // waits; keep it short.
  virtual void OnResult(const ResultHandoff& result) = 0;

  // Owner thread: the text of status bar pane 0 ("%d Result%s Found !",
  // "Ready").
  virtual void OnStatusPane(const std::string& /*text*/) {}
  // Owner thread: the search-threads row of engine `engineIndex` (the
  // catalogue index) shows `text`: a worker status, "Trying to stop..." or
  // "Not Active".
  virtual void OnEngineRow(int /*engineIndex*/, const std::string& /*text*/) {}
  // Owner thread: a search run began (true) or is over (false); the front end
  // disables or enables the Go button and the profile selector.
  virtual void OnSearchingChanged(bool /*searching*/) {}
  // Owner thread: the run suspended an engine that blocked it (or renewed
  // its suspension); the front end keeps the list (SearchRun::SetSuspensions)
  // across runs.
  virtual void OnSuspensionsChanged() {}
};

}  // namespace trovelane
