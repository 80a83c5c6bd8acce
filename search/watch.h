// A watch of a results document: the document's search runs again with the
// engines and options it was made with, and its results are compared with
// the document's records:
//   new      found now, not in the document: added at the end;
//   kept     found again;
//   dropped  not found again, and its page is still there (or was not
//            checked in this run);
//   dead     not found again, and its page is gone (CheckPage).
// Nothing is removed. Each record keeps when it was first and last seen and
// its state after the last watch; the store then holds a WatchedSearch, so
// that the document is saved as version 26.
//
// A front end drives one watch in three steps on its owner thread:
// ApplyWatchedSearch chooses engines and options, a SearchRun over a
// WatchEvents collects what the search finds, and ApplyWatch compares and
// updates the store. ApplyWatch checks pages over the network: a front end
// with an event loop runs it on another thread with a copy of the store.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engines/profile.h"
#include "results/results_store.h"
#include "search/engine_report.h"
#include "search/rank_order.h"
#include "search/search_events.h"
#include "search/settings.h"
#include "search/validation_fetch.h"

namespace trovelane {

// Prepares a watch of `store`. When the document was watched before, its
// engines become the selection of `catalogue` (by name; the names the
// catalogue no longer has go to `missing`) and its search options replace
// those of `options`; a stored limit of 0 counts as kDefaultMaxResults, as a
// saved one does. A document never watched leaves both as they are: its
// first watch searches as a search would.
void ApplyWatchedSearch(const ResultsStore& store, EngineCatalogue& catalogue,
                        SearchOptions& options, std::vector<std::string>* missing);

// What a watch of this search stores in the document: the engines (the
// selected ones of `catalogue`) and the options it runs with.
WatchedSearch DescribeWatchedSearch(const EngineCatalogue& catalogue, const SearchOptions& options);

// Collects the results of a watch's search run.
class WatchEvents : public SearchEvents {
 public:
  void OnResult(const ResultHandoff& result) override { found_.push_back(result); }
  void OnEngineRow(int engineIndex, const std::string& text) override {
    if (onEngineRow) onEngineRow(engineIndex, text);
  }
  void OnSuspensionsChanged() override {
    if (onSuspensionsChanged) onSuspensionsChanged();
  }

  // In arrival order, as SearchRun::resultFinders counts them.
  const std::vector<ResultHandoff>& found() const { return found_; }

  std::function<void(int engineIndex, const std::string& text)> onEngineRow;
  // The front end keeps the engines suspended after a block.
  std::function<void()> onSuspensionsChanged;

 private:
  std::vector<ResultHandoff> found_;
};

// One change a watch found.
struct WatchChange {
  WatchState change = WatchState::kNone;  // kNew, kDropped or kDead
  int32_t index = -1;                     // the record in the store
  std::string url;
  std::string title;
  // New: every engine that found it now; dropped and dead: the engine of
  // its record.
  std::vector<std::string> engines;
};

struct WatchSummary {
  // New first (in arrival order), then dead, then dropped (in store order).
  // A record that stays dropped or dead is not a change and not listed again.
  std::vector<WatchChange> changes;
  int added = 0;    // new records
  int kept = 0;     // records found again
  int dropped = 0;  // records that became dropped in this watch
  int dead = 0;     // records that became dead in this watch
  int checked = 0;  // pages checked for being gone
};

// What ApplyWatch compares the store with.
struct WatchRun {
  const std::vector<ResultHandoff>* found = nullptr;                // WatchEvents::found
  const std::vector<std::vector<ResultFinder>>* finders = nullptr;  // SearchRun::resultFinders
  const std::vector<EngineReport>* reports = nullptr;               // SearchRun::engineReports
  const EngineCatalogue* catalogue = nullptr;                       // the one searched
  // What the store keeps as its watched search (lastWatch is set to `now`).
  WatchedSearch search;
  int64_t now = 0;  // seconds since 1970, UTC
  // When the document was saved: the first and last sighting of records
  // that have no watch data yet (from a document never watched).
  int64_t documentTime = 0;
  // Most pages checked in this run; the candidates checked longest ago (or
  // never) come first, then those seen longest ago.
  int maxChecks = 0;
  std::function<PageCheck(const std::string& url)> checkPage;
  // Asked before each check: true ends the checks (Ctrl-C).
  std::function<bool()> stopRequested;
};

// Compares and updates `store` (see the top of this file). A record is
// compared only when the engine that found it ran to its end in this run
// (done, or stopped by a limit) - or, for a record of an engine the run does
// not know by that name, when every engine that ran did: a record of an
// engine that failed, timed out or was not searched keeps its state.
WatchSummary ApplyWatch(ResultsStore& store, const WatchRun& run);

// Takes into `store` what ApplyWatch did to `watched`, a copy of `store`
// made when it had `arrivalsBefore` arrivals (ResultsStore::arrivals): the
// records found again by their arrival number take their watch data, the new
// ones are appended, and the watched search is set. Whatever changed in
// `store` meanwhile stays: a record deleted there is not brought back, and
// marks and validations are kept. Returns the number of records appended.
int MergeWatchedCopy(ResultsStore& store, const ResultsStore& watched, int32_t arrivalsBefore);

// "3 new, 1 dead, 2 dropped, 40 kept".
std::string WatchCountsText(const WatchSummary& summary);

// "new", "kept", "dropped", "dead" ("" for kNone).
const char* WatchStateName(WatchState state);

}  // namespace trovelane
