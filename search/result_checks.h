// The validation fetches of one engine's accepted result links, run side by
// side instead of one after the other: at most `perEngine` of the engine's
// at once, and, on the runner that all engines of a search share, at most
// that runner's limit for the whole search. Links beyond wait here in the
// order they were offered. Each running check has a lane of its own: a
// connection, set up by SetUpValidationConnection, and a copy of the
// expression (matching state is per fetch).
//
// The worker thread offers the links of a page (Start) while the checks are
// held; they start once the page is read (Release), so that they do not
// slow the reading of the page and the request of the next one, and are
// checked while the worker waits for that next page. A check that finds
// its page valid calls its `valid` callback on the check's thread, which
// hands the result over (search/result_offer.h). So results come in the
// order their checks end. The engine's run waits for its checks (Wait)
// before it ends.
//
// Threads: Prepare, Hold, Start, Release and Wait on the worker thread;
// CancelAll, EndAtLimit and limitReached on any thread. Stop reaches every
// fetch in flight through CancelAll, which cancels each lane's connection
// and drops the checks that have not started; none of the engine's checks
// calls its callback after it. Lock order: this object's lock before the
// runner's.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engines/search_expression.h"
#include "net/http_url.h"
#include "platform/bounded_runner.h"
#include "platform/mutex.h"
#include "search/settings.h"

namespace trovelane {

class ResultChecks {
 public:
  // Called with the relevance (VAL+REL; else 0) of a link whose page was
  // fetched and satisfies the expression. False when the result limit is
  // reached: the engine's other checks are then cancelled (EndAtLimit).
  using Valid = std::function<bool(int relevance)>;
  using Status = std::function<void(const std::string&)>;

  // `runner` runs the checks (the search's); null runs each one on the
  // thread that starts it, before Start returns.
  // With `pool` (the search's), the checks' connections share it.
  ResultChecks(BoundedRunner* runner, int perEngine, ConnectionPool* pool = nullptr);
  // Cancels the checks and waits for those that run.
  ~ResultChecks();
  ResultChecks(const ResultChecks&) = delete;
  ResultChecks& operator=(const ResultChecks&) = delete;

  // Worker thread, before the first Start: what the checks match, with
  // which settings and request options they fetch, the effective validation
  // mode (VAL+REL scores) and where their status texts go ("Scanning
  // PATH...N bytes"; it is called on the checks' threads). Without it every
  // link is rejected.
  void Prepare(const SearchExpression& expression, const NetworkSettings& settings,
               const RequestOptions& options, int validationMode, Status status) EXCLUDES(mutex_);

  // Worker thread: the checks started from now on wait until Release.
  void Hold() EXCLUDES(mutex_);
  // Worker thread: validates `url` when a lane is free and the checks are
  // not held, at once or later; `valid` is called only when its page is
  // valid, and never after CancelAll. Does nothing once cancelled.
  void Start(std::string url, Valid valid) EXCLUDES(mutex_);
  // Worker thread: starts the checks that Hold kept waiting.
  void Release() EXCLUDES(mutex_);

  // Any thread: cancels every fetch in flight and drops the checks that
  // have not started. EndAtLimit also records that the result limit ended
  // the engine.
  void CancelAll() EXCLUDES(mutex_);
  void EndAtLimit() EXCLUDES(mutex_);
  bool limitReached() const { return limitReached_.load(); }

  // Worker thread: releases the checks held, and returns once no check waits
  // or runs.
  void Wait() EXCLUDES(mutex_);

 private:
  struct Lane {
    explicit Lane(const SearchExpression& e) : expression(e) {}
    CHttpURL connection;
    SearchExpression expression;
  };
  struct Check {
    std::string url;
    Valid valid;
  };

  // Hands waiting checks to the runner while fewer than perEngine_ run and
  // they are not held. False when one is left that the runner did not take
  // (there is none, or it had no thread or memory to give): the caller runs
  // that one itself. Never throws.
  bool SubmitWaiting() REQUIRES(mutex_);
  // A free lane, or a new one; null when none can be had.
  Lane* TakeLane() REQUIRES(mutex_);
  // Starts the waiting checks; those the runner does not take run here.
  // Never throws.
  void RunWaiting() EXCLUDES(mutex_);
  // One check on its lane, then the lane goes back.
  void Run(Lane& lane, Check& check) EXCLUDES(mutex_);

  BoundedRunner* const runner_;
  ConnectionPool* const pool_;
  const int perEngine_;

  // Set by Prepare before the first check, constant after (the checks'
  // threads read them without the lock: Start and the runner's queue order
  // them after Prepare).
  std::optional<SearchExpression> expression_;
  NetworkSettings settings_;
  RequestOptions options_;
  int validationMode_ = 0;
  Status status_;

  Mutex mutex_;
  CondVar changed_;  // a check ended, or CancelAll
  std::deque<std::shared_ptr<Check>> waiting_ GUARDED_BY(mutex_);
  std::vector<std::unique_ptr<Lane>> lanes_ GUARDED_BY(mutex_);  // at most perEngine_
  std::vector<Lane*> freeLanes_ GUARDED_BY(mutex_);
  int running_ GUARDED_BY(mutex_) = 0;  // checks that hold a lane
  bool held_ GUARDED_BY(mutex_) = false;
  bool cancelled_ GUARDED_BY(mutex_) = false;
  std::atomic<bool> limitReached_{false};
};

}  // namespace trovelane
