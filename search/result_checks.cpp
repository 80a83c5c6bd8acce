#include "search/result_checks.h"

#include <algorithm>
#include <utility>

#include "search/validation_fetch.h"

namespace trovelane {

ResultChecks::ResultChecks(BoundedRunner* runner, int perEngine, ConnectionPool* pool)
    : runner_(runner), pool_(pool), perEngine_(std::max(perEngine, 1)) {
  // A lane going back never needs memory.
  MutexLock lock(&mutex_);
  lanes_.reserve(static_cast<size_t>(perEngine_));
  freeLanes_.reserve(static_cast<size_t>(perEngine_));
}

ResultChecks::~ResultChecks() {
  CancelAll();
  Wait();
}

void ResultChecks::Prepare(const SearchExpression& expression, const NetworkSettings& settings,
                           const RequestOptions& options, int validationMode, Status status) {
  // Before any check runs; the lock only orders these writes before them.
  MutexLock lock(&mutex_);
  expression_ = expression;
  settings_ = settings;
  options_ = options;
  validationMode_ = validationMode;
  status_ = std::move(status);
}

void ResultChecks::Hold() {
  MutexLock lock(&mutex_);
  held_ = true;
}

void ResultChecks::Release() {
  {
    MutexLock lock(&mutex_);
    held_ = false;
  }
  RunWaiting();
}

void ResultChecks::Start(std::string url, Valid valid) {
  {
    MutexLock lock(&mutex_);
    if (cancelled_) return;
    waiting_.push_back(std::make_shared<Check>(Check{std::move(url), std::move(valid)}));
  }
  RunWaiting();
}

ResultChecks::Lane* ResultChecks::TakeLane() {
  if (!freeLanes_.empty()) {
    Lane* lane = freeLanes_.back();
    freeLanes_.pop_back();
    return lane;
  }
  if (!expression_ || lanes_.size() >= static_cast<size_t>(perEngine_)) return nullptr;
  try {
    auto lane = std::make_unique<Lane>(*expression_);
    SetUpValidationConnection(lane->connection, options_, settings_.program, pool_);
    lanes_.push_back(std::move(lane));
    return lanes_.back().get();
  } catch (...) {
    // No descriptor for its cancel signal, or no memory.
    return nullptr;
  }
}

bool ResultChecks::SubmitWaiting() {
  while (!cancelled_ && !held_ && !waiting_.empty() && running_ < perEngine_) {
    if (!runner_) return false;
    Lane* lane = TakeLane();
    if (!lane) {
      // A link that cannot be checked is not listed.
      waiting_.pop_front();
      continue;
    }
    std::shared_ptr<Check> check = waiting_.front();
    bool submitted = false;
    try {
      // The task refers to this object: Wait, and the destructor, outlast it.
      submitted = runner_->Submit(this, [this, lane, check] { Run(*lane, *check); });
    } catch (...) {
      // No memory to queue it: it runs on the caller's thread.
    }
    if (!submitted) {
      freeLanes_.push_back(lane);
      return false;
    }
    waiting_.pop_front();
    ++running_;
  }
  return true;
}

void ResultChecks::RunWaiting() {
  for (;;) {
    Lane* lane = nullptr;
    std::shared_ptr<Check> check;
    {
      MutexLock lock(&mutex_);
      if (SubmitWaiting()) return;
      check = std::move(waiting_.front());
      waiting_.pop_front();
      lane = TakeLane();
      if (!lane) continue;
      ++running_;
    }
    Run(*lane, *check);
  }
}

void ResultChecks::Run(Lane& lane, Check& check) {
  bool goOn = true;
  try {
    int relevance = 0;
    const bool valid =
        ValidationFetchLeavingOpen(lane.connection, check.url, lane.expression, settings_,
                                   validationMode_ == kValidationValRel ? &relevance : nullptr,
                                   status_) != 0;
    // A cancelled lane hands nothing over, also when its fetch ended first.
    // The result goes before the connection is closed: keeping it may mean
    // reading the rest of the page first.
    if (valid && !lane.connection.IsCancelled()) goOn = check.valid(relevance);
  } catch (...) {
    // A check that failed in any way (no memory for the page) rejects its link.
  }
  lane.connection.Close();
  if (!goOn) EndAtLimit();
  MutexLock lock(&mutex_);
  freeLanes_.push_back(&lane);
  --running_;
  // On the runner's thread the runner takes every waiting check (this
  // thread counts as running); without a runner, RunWaiting goes on.
  if (runner_) SubmitWaiting();
  // The last touch of this object by the check: Wait may return now.
  changed_.SignalAll();
}

void ResultChecks::CancelAll() {
  MutexLock lock(&mutex_);
  cancelled_ = true;
  waiting_.clear();
  for (const auto& lane : lanes_) lane->connection.Cancel();
  // Checks the runner has not started yet never will; their lanes stay
  // cancelled with the rest.
  if (runner_) running_ -= static_cast<int>(runner_->Withdraw(this));
  changed_.SignalAll();
}

void ResultChecks::EndAtLimit() {
  limitReached_ = true;
  CancelAll();
}

void ResultChecks::Wait() {
  // Checks still held would never end.
  Release();
  for (;;) {
    {
      MutexLock lock(&mutex_);
      while (running_ > 0) changed_.Wait(&mutex_);
      if (waiting_.empty()) return;
    }
    // Left waiting by a check whose runner had no memory to queue the next:
    // they run here.
    RunWaiting();
  }
}

}  // namespace trovelane
