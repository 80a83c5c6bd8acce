#include "platform/owner_thread_queue.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace trovelane {

struct OwnerThreadQueue::Pending {
  Task task;
  bool done = false;  // read and written through IsDone and MarkDone only
  // Its sender waits here alone: a finished task wakes only the thread that
  // sent it, not every sender (with dozens of workers and checks sending,
  // waking them all for each task cost more than the tasks).
  CondVar sender;
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
  Ticket ticket = Post(std::move(task), cancelled);
  return Await(ticket, cancelled);
}

OwnerThreadQueue::Ticket OwnerThreadQueue::Post(Task task, const std::atomic<bool>& cancelled) {
  Ticket ticket;
  if (cancelled.load()) {
    ticket.settled = false;
    return ticket;
  }
  if (IsOwnerThread()) {
    task();
    ticket.settled = true;
    return ticket;
  }
  ticket.pending_ = std::make_shared<Pending>();
  ticket.pending_->task = std::move(task);
  {
    MutexLock lock(&mutex_);
    queue_.push_back(ticket.pending_);
  }
  ownerCv_.Signal();
  if (wake_) wake_();
  return ticket;
}

bool OwnerThreadQueue::Await(Ticket& ticket, const std::atomic<bool>& cancelled) {
  if (ticket.settled) return *ticket.settled;
  const std::shared_ptr<Pending>& pending = ticket.pending_;
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
    pending->sender.Wait(&mutex_);
  }
}

int OwnerThreadQueue::Drain() {
  AssertOwnerThread();
  int ran = 0;
  // Only the tasks queued before the drain: senders that queue again at once
  // would otherwise keep the owner here for as long as they work.
  size_t left;
  {
    MutexLock lock(&mutex_);
    left = queue_.size();
  }
  for (; left > 0; --left) {
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
    next->sender.Signal();
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
  // Only a sender whose task is still queued can be taken back; one whose
  // task runs is woken when it ends.
  MutexLock lock(&mutex_);
  for (const auto& pending : queue_) pending->sender.Signal();
}

void OwnerThreadQueue::WakeOwner() {
  {
    MutexLock lock(&mutex_);
    ownerWoken_ = true;
  }
  ownerCv_.SignalAll();
}

}  // namespace trovelane
