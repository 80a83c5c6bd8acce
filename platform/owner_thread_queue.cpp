#include "platform/owner_thread_queue.h"

#include <algorithm>
#include <thread>

namespace trovelane {

struct OwnerThreadQueue::Pending {
  Task task;
  bool done = false;
};

OwnerThreadQueue::OwnerThreadQueue(std::function<void()> wake)
    : wake_(std::move(wake)), owner_(std::this_thread::get_id()) {}

OwnerThreadQueue::~OwnerThreadQueue() = default;

bool OwnerThreadQueue::Send(Task task, const std::atomic<bool>& cancelled) {
  if (cancelled.load()) return false;
  if (std::this_thread::get_id() == owner_) {
    task();
    return true;
  }
  auto pending = std::make_shared<Pending>();
  pending->task = std::move(task);
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(pending);
  }
  owner_cv_.notify_one();
  if (wake_) wake_();

  std::unique_lock lock(mutex_);
  senders_.wait(lock, [&] {
    if (pending->done) return true;
    // Still queued and cancelled: take it back. Once the owner has taken it
    // out of the queue it is running, and we wait for it to finish.
    auto it = std::find(queue_.begin(), queue_.end(), pending);
    return it != queue_.end() && cancelled.load();
  });
  if (pending->done) return true;
  queue_.erase(std::find(queue_.begin(), queue_.end(), pending));
  return false;
}

int OwnerThreadQueue::Drain() {
  int ran = 0;
  for (;;) {
    std::shared_ptr<Pending> next;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) break;
      next = queue_.front();
      queue_.pop_front();
    }
    next->task();
    {
      std::lock_guard lock(mutex_);
      next->done = true;
    }
    senders_.notify_all();
    ++ran;
  }
  return ran;
}

int OwnerThreadQueue::WaitAndDrain(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    owner_cv_.wait_for(lock, timeout, [&] { return !queue_.empty() || ownerWoken_; });
    ownerWoken_ = false;
  }
  return Drain();
}

void OwnerThreadQueue::WakeSenders() {
  { std::lock_guard lock(mutex_); }
  senders_.notify_all();
}

void OwnerThreadQueue::WakeOwner() {
  {
    std::lock_guard lock(mutex_);
    ownerWoken_ = true;
  }
  owner_cv_.notify_all();
}

}  // namespace trovelane
