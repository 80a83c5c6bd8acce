#include "platform/owner_thread_queue.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace trovelane {

struct OwnerThreadQueue::Pending {
  Task task;
  bool done = false;  // read and written through IsDone and MarkDone only
};

bool OwnerThreadQueue::IsDone(const Pending& pending) const { return pending.done; }
void OwnerThreadQueue::MarkDone(Pending& pending) { pending.done = true; }

OwnerThreadQueue::OwnerThreadQueue(std::function<void()> wake)
    : wake_(std::move(wake)), owner_(std::this_thread::get_id()) {}

OwnerThreadQueue::~OwnerThreadQueue() = default;

void OwnerThreadQueue::AssertOwnerThread() const {
  if (IsOwnerThread()) return;
  std::fputs("trovelane: an owner-thread method was called on another thread\n", stderr);
  std::abort();
}

bool OwnerThreadQueue::Send(Task task, const std::atomic<bool>& cancelled) {
  if (cancelled.load()) return false;
  if (IsOwnerThread()) {
    task();
    return true;
  }
  auto pending = std::make_shared<Pending>();
  pending->task = std::move(task);
  {
    MutexLock lock(&mutex_);
    queue_.push_back(pending);
  }
  ownerCv_.Signal();
  if (wake_) wake_();

  MutexLock lock(&mutex_);
  for (;;) {
    if (IsDone(*pending)) return true;
    // Still queued and cancelled: take it back. Once the owner has taken it
    // out of the queue it is running, and we wait for it to finish.
    auto it = std::find(queue_.begin(), queue_.end(), pending);
    if (it != queue_.end() && cancelled.load()) {
      queue_.erase(it);
      return false;
    }
    senders_.Wait(&mutex_);
  }
}

int OwnerThreadQueue::Drain() {
  AssertOwnerThread();
  int ran = 0;
  for (;;) {
    std::shared_ptr<Pending> next;
    {
      MutexLock lock(&mutex_);
      if (queue_.empty()) break;
      next = queue_.front();
      queue_.pop_front();
    }
    next->task();
    {
      MutexLock lock(&mutex_);
      MarkDone(*next);
    }
    senders_.SignalAll();
    ++ran;
  }
  return ran;
}

int OwnerThreadQueue::WaitAndDrain(std::chrono::milliseconds timeout) {
  AssertOwnerThread();
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    MutexLock lock(&mutex_);
    while (queue_.empty() && !ownerWoken_) {
      if (!ownerCv_.WaitUntil(&mutex_, deadline)) break;
    }
    ownerWoken_ = false;
  }
  return Drain();
}

void OwnerThreadQueue::WakeSenders() {
  { MutexLock lock(&mutex_); }
  senders_.SignalAll();
}

void OwnerThreadQueue::WakeOwner() {
  {
    MutexLock lock(&mutex_);
    ownerWoken_ = true;
  }
  ownerCv_.SignalAll();
}

}  // namespace trovelane
