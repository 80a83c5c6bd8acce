#include "platform/bounded_runner.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace trovelane {

struct BoundedRunner::State {
  struct Entry {
    const void* owner;
    Task task;
  };

  mutable Mutex mutex;
  int limit GUARDED_BY(mutex) = 1;
  int threads GUARDED_BY(mutex) = 0;
  std::deque<Entry> waiting GUARDED_BY(mutex);
};

BoundedRunner::BoundedRunner(int limit) : state_(std::make_shared<State>()) { SetLimit(limit); }

BoundedRunner::~BoundedRunner() {
  std::deque<State::Entry> dropped;
  MutexLock lock(&state_->mutex);
  dropped.swap(state_->waiting);
  // The lock goes first, then the dropped tasks.
}

void BoundedRunner::SetLimit(int limit) {
  MutexLock lock(&state_->mutex);
  state_->limit = std::max(limit, 1);
}

bool BoundedRunner::Submit(const void* owner, Task task) {
  MutexLock lock(&state_->mutex);
  state_->waiting.push_back({owner, std::move(task)});
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
