// A search run: one expression sent to every selected engine of the
// catalogue at once, one SearchWorker thread per engine, the accepted results
// fed to the front end as they arrive. The GUI's main window and the CLI each
// own one SearchRun and call StartSearch and StopSearch on it.
//
// Threads: every public method is called on the owner thread, the thread that
// created the SearchRun; the ones that change the run end the program when
// called on another thread. Workers reach it only through queue(): the owner
// drains it (WaitAndDrain in the CLI and the tests, the GUI's event loop after
// the wake callback), and OnSearchStatus, OnWorkerDone and the events run
// there. docs/threads_and_stop.md describes the whole.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engines/profile.h"
#include "engines/search_expression.h"
#include "search/settings.h"
#include "platform/owner_thread_queue.h"
#include "search/engine_report.h"
#include "search/engine_suspension.h"
#include "search/rank_order.h"
#include "search/search_events.h"
#include "search/search_worker.h"

namespace trovelane {

// How StartSearch ended.
enum class StartOutcome {
  kStarted,
  kAlreadySearching,   // a search runs: nothing happens
  kInvalidExpression,  // message kInvalidExpression
  kDocumentRefused,    // the front end kept its document
  kNothingToSearch,    // message kNothingToSearch
  kStartFailed,        // the system gave no thread or descriptor: startError() says why
};

// The steps of a start that take resources from the system.
enum class StartStep { kCreateWorker, kStartThread };

// The validation mode in force for an expression of `weight` when the
// option is `mode`: AUTO gives VAL+REL above weight 2, VAL at exactly 2 and
// NONE below; the other modes stand as they are.
int ResolveValidationMode(int mode, int weight);

class SearchRun {
 public:
  // `settings` and `catalogue` belong to the program and outlive the run;
  // they are read at each start (workers take copies). `workFolder` is where
  // the spool files go (the install folder). `wake` is called on a worker
  // thread each time something waits in queue(); the GUI posts a drain from
  // it, the CLI leaves it empty and polls.
  SearchRun(const NetworkSettings& settings, const EngineCatalogue& catalogue,
            std::filesystem::path workFolder, SearchEvents& events,
            std::function<void()> wake = {});
  // Stops a running search.
  ~SearchRun();
  SearchRun(const SearchRun&) = delete;
  SearchRun& operator=(const SearchRun&) = delete;

  // The Go command with the search-bar text. When a worker or its thread
  // cannot be created part-way, the workers already started are stopped and
  // joined, nothing runs, and kStartFailed is returned with startError().
  StartOutcome StartSearch(std::string_view text);
  const std::string& startError() const { return startError_; }

  // Tests only: called before each worker is created and before each thread
  // is started; a fake that throws there stands in for a system out of
  // threads or descriptors at that step.
  void SetStartFaultFake(std::function<void(StartStep step, int engineIndex)> fake) {
    startFaultFake_ = std::move(fake);
  }
  // Tests only: SearchShared::readBackFake of the runs started from now on.
  void SetReadBackFake(std::function<void(const std::atomic<bool>&)> fake) {
    readBackFake_ = std::move(fake);
  }
  // The Stop command; returns within about a second.
  void StopSearch();

  // The engines suspended after a block: consulted at each start (a
  // suspended engine gets no worker; its row shows SuspendedText) and
  // updated when an engine ends blocked (then OnSuspensionsChanged).
  // `suspensions` belongs to the front end and outlives the run; null keeps
  // no suspensions. With `ignore`, suspended engines are searched anyway
  // (a block then still renews the suspension).
  void SetSuspensions(EngineSuspensions* suspensions, bool ignore = false) {
    suspensions_ = suspensions;
    ignoreSuspension_ = ignore;
  }
  // The wall clock of suspensions (tests set their own); owner thread.
  void SetClock(std::function<WallClock::time_point()> clock) { clock_ = std::move(clock); }

  // One report per engine of the catalogue, by catalogue index, for the
  // current or last run: final for every engine once the run is over
  // (results, pages, ending), kNotRun for engines not selected. Empty
  // before the first start.
  const std::vector<EngineReport>& engineReports() const { return reports_; }

  // For each result handed over in this run, in arrival order: every engine
  // that found it and its position there, the one that handed it over
  // first. Engines that found it later (the duplicate filter turned them
  // away) are added when the run is over.
  const std::vector<std::vector<ResultFinder>>& resultFinders() const { return finders_; }

  // Handlers of the workers' sends (owner thread, run from the queue).
  void OnSearchStatus(int engineIndex, const std::string& text);
  void OnWorkerDone(int engineIndex);
  void OnResult(const ResultHandoff& result);

  // Owner thread: serves the workers' sends until the run is over, `until`
  // returns true (then it stops the run), or `timeout` has passed (the run
  // goes on). True when the run is over.
  bool ServeUntilDone(std::chrono::milliseconds timeout, const std::function<bool()>& until = {});

  OwnerThreadQueue& queue() { return *queue_; }
  bool searching() const { return searching_; }
  int resultTotal() const { return shared_ ? shared_->resultTotal.load() : 0; }
  const std::string& lastStatus() const { return lastStatus_; }
  int effectiveValidationMode() const { return effectiveValidationMode_; }
  int expressionWeight() const { return expressionWeight_; }
  const SearchExpression* expression() const { return expression_ ? &*expression_ : nullptr; }
  // The duplicate filter of the current (or last) run; null before the first.
  DuplicateFilter* duplicates() { return shared_ ? &shared_->duplicates : nullptr; }
  const WorkerList& workers() const { return workers_; }

 private:
  void EndRun();
  void JoinEndedWorkers();
  // Takes the worker's final report into reports_ (results counted here),
  // and suspends a blocked engine.
  void TakeReport(const SearchWorker& worker, bool stopped);
  void MergeSightings();
  StartOutcome AbandonStart(const std::string& reason);

  // Constant after construction.
  const NetworkSettings& settings_;
  const EngineCatalogue& catalogue_;
  const std::filesystem::path workFolder_;
  SearchEvents& events_;
  const std::shared_ptr<OwnerThreadQueue> queue_;

  // Owner thread only.
  bool searching_ = false;
  std::optional<SearchExpression> expression_;
  int expressionWeight_ = 0;
  std::string lastStatus_;
  int effectiveValidationMode_ = kValidationNone;
  std::shared_ptr<SearchShared> shared_;  // of the current or last run
  WorkerList workers_;
  // Workers that reported their end; their threads are joined at the next
  // start, a stop or destruction (never inside the task that reported it,
  // while the thread still waits in its send).
  std::list<std::shared_ptr<SearchWorker>> ended_;
  std::string startError_;
  std::function<void(StartStep, int)> startFaultFake_;
  EngineSuspensions* suspensions_ = nullptr;
  bool ignoreSuspension_ = false;
  std::function<WallClock::time_point()> clock_ = [] { return WallClock::now(); };
  std::vector<EngineReport> reports_;
  std::vector<int> resultsByEngine_;
  std::vector<std::vector<ResultFinder>> finders_;
  // Duplicate-filter key of each result handed over -> its arrival index.
  std::unordered_map<size_t, size_t> resultOfKey_;
  std::function<void(const std::atomic<bool>&)> readBackFake_;
};

}  // namespace trovelane
