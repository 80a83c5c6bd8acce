// One worker per selected engine of a search run, and what the workers of one
// run share. A worker runs on its own thread; it reaches the owner thread only
// through synchronous sends on the run's OwnerThreadQueue (status texts, each
// accepted result, its end), so anything it passes by reference stays valid.
//
// Locks:
//   resultLock (SearchShared) - taken by workers only, across the result
//     limit test and across the hand-off's counting and queueing (the wait
//     for the owner comes after it); the owner thread never takes it.
//   SearchWorker::lock - the worker's spool file handle and path, against
//     Stop. It is held only to swap the handle in or out, never across file
//     I/O: whoever takes the handle out of the worker does the I/O on it.
// Stop never waits on resultLock, and on the worker's lock only for such a
// swap: it sets the worker's cancel flag, cancels its connections and its
// validation checks and wakes the senders, so a worker waiting in a send
// returns at once without its task being run.
//
// The validation checks of a worker's results run on the threads of the
// run's checkRunner (search/result_checks.h) and hand their results over and
// send their status texts from there; the worker's thread ends only after
// its checks have.
#pragma once

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engines/engine_definition.h"
#include "engines/search_expression.h"
#include "net/connection_pool.h"
#include "net/http_url.h"
#include "platform/bounded_runner.h"
#include "platform/mutex.h"
#include "platform/owner_thread_queue.h"
#include "search/duplicate_filter.h"
#include "search/engine_report.h"
#include "search/engine_run_context.h"
#include "search/search_events.h"
#include "search/settings.h"

namespace trovelane {

class SearchRun;

// The spool file of the worker thread `tid` in `folder`: "sdump<tid>.bin".
std::filesystem::path SpoolFilePath(const std::filesystem::path& folder, long tid);

// State of one search run that its workers share. Held by shared pointer, so
// a worker that Stop stopped waiting for keeps it alive until it ends.
struct SearchShared {
  SearchShared(const SearchOptions& options, int validationMode,
               std::shared_ptr<OwnerThreadQueue> queue,
               int validationsPerSearch = ProgramOptions{}.validationsPerSearch)
      : options(options),
        validationMode(validationMode),
        queue(std::move(queue)),
        checkRunner(validationsPerSearch) {}

  // Constant during the run.
  const SearchOptions options;  // maxResults, perEngine, minRelevancy, duplicateMode
  const int validationMode;     // effective mode: never AUTO
  const std::shared_ptr<OwnerThreadQueue> queue;
  // Every connection of the run goes through it (kept connections, TLS
  // sessions, name lookups); it has its own lock. Every worker holds the
  // shared state, so it outlives their connections.
  const std::shared_ptr<ConnectionPool> connections = std::make_shared<ConnectionPool>();

  DuplicateFilter duplicates{options};  // has its own lock

  // Runs the validation checks of every engine, at most
  // ProgramOptions::validationsPerSearch at once; has its own lock.
  BoundedRunner checkRunner;

  // Tests only, set before the workers start: runs on a worker while it
  // reads a spool file back (the file is open), with its cancel flag. A fake
  // that waits there stands in for a slow disk.
  std::function<void(const std::atomic<bool>& cancelled)> readBackFake;

  // Guards the limit test and the hand-off; resultTotal is written under it
  // and read by the owner thread without it.
  Mutex resultLock;
  std::atomic<int> resultTotal{0};

  // Whether the result limit is reached, counted per engine (the worker's
  // `perEngineCount`) or from all engines (resultTotal).
  bool LimitReached(int perEngineCount) const REQUIRES(resultLock) {
    return options.perEngine ? perEngineCount >= options.maxResults
                             : resultTotal.load() >= options.maxResults;
  }

  // A worker's thread signals here when it has returned from its work.
  Mutex endMutex;
  CondVar ended;

  // A result link that repeats one recorded before in the duplicate filter:
  // the engine that listed it again, where, and the key it repeats. Workers
  // add them; the owner thread merges them into the results' finders.
  struct Sighting {
    size_t duplicateKey;
    int engineIndex;
    int position;
  };
  void AddSighting(const Sighting& sighting) EXCLUDES(sightingsMutex) {
    MutexLock lock(&sightingsMutex);
    sightings.push_back(sighting);
  }
  std::vector<Sighting> TakeSightings() EXCLUDES(sightingsMutex) {
    MutexLock lock(&sightingsMutex);
    return std::exchange(sightings, {});
  }
  Mutex sightingsMutex;
  std::vector<Sighting> sightings GUARDED_BY(sightingsMutex);
};

class SearchWorker final : public EngineRunContext {
 public:
  // Owner thread. Takes private copies of the engine (the loop writes its
  // run-time fields), the expression (matching state is per worker) and the
  // settings (read by the worker without a lock).
  SearchWorker(std::shared_ptr<SearchShared> shared, SearchRun* run, int engineIndex,
               const EngineDefinition& engine, const SearchExpression& expression,
               const NetworkSettings& settings, std::filesystem::path workFolder);
  SearchWorker(const SearchWorker&) = delete;
  SearchWorker& operator=(const SearchWorker&) = delete;

  // Owner thread: starts the thread (it holds the worker alive while it runs).
  static void StartThread(const std::shared_ptr<SearchWorker>& worker);

  // Any thread: a copy of this engine's report as it stands.
  EngineReport report() const EXCLUDES(reportMutex_);

  // Owner thread (Stop): under the worker's lock sets the cancel flag,
  // cancels both connections and every validation check, closes and deletes
  // the spool file. The worker closes its own connections when it sees the
  // flag.
  void Cancel() EXCLUDES(lock_);
  const std::atomic<bool>& cancelFlag() const { return cancelled_; }

  // Owner thread: waits until the thread has ended, at most until
  // `deadline`, and joins it. False when it is still running; it is then
  // detached and finishes on its own, handing over nothing.
  bool JoinUntil(std::chrono::steady_clock::time_point deadline);
  bool finished() const { return finished_.load(); }

  // EngineRunContext, for the engine's run on the worker thread.
  int engineIndex() const override { return engineIndex_; }
  const NetworkSettings& settings() const override { return settings_; }
  const std::filesystem::path& workFolder() const override { return workFolder_; }
  SearchExpression& expression() override { return expression_; }
  CHttpURL& connection() override { return connection_; }
  CHttpURL& validationConnection() override { return validationConnection_; }
  PageMemory& pageMemory() override { return pageMemory_; }
  ResultChecks& resultChecks() override { return checks_; }
  const SearchOptions& options() const override { return shared_->options; }
  int validationMode() const override { return shared_->validationMode; }
  DuplicateFilter& duplicates() override { return shared_->duplicates; }
  bool cancelled() const override { return cancelled_.load(); }
  // Sends a copy of `text` to the owner (SearchRun::OnSearchStatus); any
  // thread of the engine's run.
  void SendStatus(const std::string& text) override;
  // Takes resultLock for the test.
  bool LimitReached(int perEngineCount) override EXCLUDES(shared_->resultLock);
  Admission AdmitResult(int perEngineCount, const std::string& url, const std::string& title,
                        int& position, size_t& duplicateKey) override
      EXCLUDES(shared_->resultLock);
  // The limit test, the counting and the queueing for the owner under
  // resultLock: results validated by several checks and engines at once
  // never take the total past the limit, and reach the owner in the order
  // they were counted. The wait for the owner comes after the lock; a result
  // that Stop drops there is uncounted under it. Any thread of the engine's
  // run: it reads only what is constant.
  HandOffOutcome HandOff(const std::string& url, const std::string& title, int validated,
                         int relevance, std::atomic<int>& perEngineCount,
                         std::string_view engineName, int position, size_t duplicateKey) override
      EXCLUDES(shared_->resultLock);
  void AddSighting(size_t duplicateKey, int position) override;
  void UpdateReport(const std::function<void(EngineReport&)>& change) override
      EXCLUDES(reportMutex_);
  void End(EngineEnding ending, const std::string& detail = {}) override EXCLUDES(reportMutex_);
  // Each takes the worker's lock only to swap the file handle; the I/O runs
  // outside it.
  bool CreateSpoolFile() override EXCLUDES(lock_);
  bool AppendToSpoolFile(const char* data, size_t size) override EXCLUDES(lock_);
  bool FinishSpoolFile(bool readBack, std::string& page, size_t limit) override EXCLUDES(lock_);

 private:
  void SearchWorkerMain();
  void RunTask(std::function<void()> task);
  // Closes `file` and deletes the spool file (no lock held).
  void DiscardSpoolFile(FILE* file) EXCLUDES(lock_);
  // Sends `text` as the engine's status; never throws.
  void ReportFailure(const std::string& text) noexcept;

  // Constant after construction.
  const std::shared_ptr<SearchShared> shared_;
  SearchRun* const run_;  // its handlers run only through tasks of the queue
  const int engineIndex_;
  const std::string engineName_;
  const NetworkSettings settings_;
  const std::filesystem::path workFolder_;

  // Worker thread only (and the engine's run it drives). Stop reaches the
  // two connections only through their Cancel, which any thread may call.
  EngineDefinition engine_;
  SearchExpression expression_;
  CHttpURL connection_;            // every request of this engine
  CHttpURL validationConnection_;  // a plug-in's validation fetches
  PageMemory pageMemory_;

  // The validation checks; Stop cancels them (ResultChecks has its own lock).
  ResultChecks checks_;

  // Owner thread only.
  std::thread thread_;

  // Any thread: set once each, by Stop and by the ending thread.
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};

  // Guarded by reportMutex_: the worker thread writes the report, the owner
  // thread copies it when the worker ends or is stopped.
  mutable Mutex reportMutex_;
  EngineReport report_ GUARDED_BY(reportMutex_);

  // Guarded by lock_, which is never held across file I/O.
  Mutex lock_;
  FILE* spoolFile_ GUARDED_BY(lock_) = nullptr;        // null while the worker writes to it
  std::filesystem::path spoolPath_ GUARDED_BY(lock_);  // set when the thread starts
};

// The live workers in catalogue order. Owner thread only.
class WorkerList {
 public:
  void Append(std::shared_ptr<SearchWorker> worker) { workers_.push_back(std::move(worker)); }
  // The first worker of engine `engineIndex`, or null.
  std::shared_ptr<SearchWorker> Find(int engineIndex) const;
  void Remove(const std::shared_ptr<SearchWorker>& worker) { workers_.remove(worker); }
  bool empty() const { return workers_.empty(); }
  size_t size() const { return workers_.size(); }
  const std::list<std::shared_ptr<SearchWorker>>& all() const { return workers_; }

 private:
  std::list<std::shared_ptr<SearchWorker>> workers_;
};

}  // namespace trovelane
