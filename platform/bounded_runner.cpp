#include "platform/bounded_runner.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace trovelane {

namespace {
// How long a thread without a task waits for the next one before it ends:
// the checks of a search come in bursts, a result page at a time, and
// starting two dozen threads for every page cost more than the checks of a
// page on a near server.
constexpr auto kIdleThread = std::chrono::seconds(1);
}  // namespace

struct BoundedRunner::State {
  struct Entry {
    const void* owner;
    Task task;
  };

  mutable Mutex mutex;
  int limit GUARDED_BY(mutex) = 1;
  int threads GUARDED_BY(mutex) = 0;
  int idle GUARDED_BY(mutex) = 0;  // threads waiting for a task
  bool closing GUARDED_BY(mutex) = false;
  std::deque<Entry> waiting GUARDED_BY(mutex);
  CondVar changed;  // a task came, the bound changed, or the runner closes
};

BoundedRunner::BoundedRunner(int limit) : state_(std::make_shared<State>()) { SetLimit(limit); }

BoundedRunner::~BoundedRunner() {
  std::deque<State::Entry> dropped;
  MutexLock lock(&state_->mutex);
  dropped.swap(state_->waiting);
  state_->closing = true;
  state_->changed.SignalAll();
  // The lock goes first, then the dropped tasks.
}

void BoundedRunner::SetLimit(int limit) {
  MutexLock lock(&state_->mutex);
  state_->limit = std::max(limit, 1);
  state_->changed.SignalAll();
}

bool BoundedRunner::Submit(const void* owner, Task task) {
  MutexLock lock(&state_->mutex);
  state_->waiting.push_back({owner, std::move(task)});
  // Each idle thread takes one waiting task.
  if (static_cast<int>(state_->waiting.size()) <= state_->idle) {
    state_->changed.Signal();
    return true;
  }
  if (state_->threads >= state_->limit) return true;
  // Counted before it starts: the new thread cannot take the lock before
  // this call lets it go.
  ++state_->threads;
  try {
    std::thread(&BoundedRunner::ThreadMain, state_).detach();
  } catch (const std::system_error&) {
    --state_->threads;
    if (state_->threads > 0) return true;  // a running thread takes it later
    state_->waiting.pop_back();
    return false;
  }
  return true;
}

size_t BoundedRunner::Withdraw(const void* owner) {
  std::vector<Task> removed;
  {
    MutexLock lock(&state_->mutex);
    auto& waiting = state_->waiting;
    for (auto it = waiting.begin(); it != waiting.end();) {
      if (it->owner == owner) {
        removed.push_back(std::move(it->task));
        it = waiting.erase(it);
      } else {
        ++it;
      }
    }
  }
  return removed.size();
}

int BoundedRunner::running() const {
  MutexLock lock(&state_->mutex);
  return state_->threads;
}

size_t BoundedRunner::waiting() const {
  MutexLock lock(&state_->mutex);
  return state_->waiting.size();
}

void BoundedRunner::ThreadMain(std::shared_ptr<State> state) {
  for (;;) {
    Task task;
    {
      MutexLock lock(&state->mutex);
      const auto idleEnd = std::chrono::steady_clock::now() + kIdleThread;
      while (state->waiting.empty() && !state->closing && state->threads <= state->limit) {
        ++state->idle;
        const bool signalled = state->changed.WaitUntil(&state->mutex, idleEnd);
        --state->idle;
        if (!signalled && state->waiting.empty()) break;
      }
      if (state->waiting.empty() || state->threads > state->limit) {
        --state->threads;
        return;
      }
      task = std::move(state->waiting.front().task);
      state->waiting.pop_front();
    }
    try {
      task();
    } catch (...) {
      // A task reports its own failures; nothing may end the thread.
    }
  }
}

}  // namespace trovelane
