// "Send to the owner thread and wait": how a worker thread hands a status
// text or a result to the thread that owns the search and waits until that
// thread has dealt with it, so that anything passed by reference stays valid.
//
// The owner thread drains the queue: the CLI and the tests by calling
// WaitAndDrain in their loop, the GUI from its event loop after the wake
// callback (called on the sending thread) has posted a drain to it.
//
// A send whose sender has been cancelled returns at once without running its
// task, so a worker that waits in a send (for example while it holds a lock
// of its own) can never deadlock with the owner thread that is stopping it.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "platform/mutex.h"

namespace trovelane {

class OwnerThreadQueue {
 public:
  using Task = std::function<void()>;

  // `wake` is called on the sending thread each time a task is queued; it may
  // be empty when the owner polls with WaitAndDrain.
  explicit OwnerThreadQueue(std::function<void()> wake = {});
  ~OwnerThreadQueue();

  OwnerThreadQueue(const OwnerThreadQueue&) = delete;
  OwnerThreadQueue& operator=(const OwnerThreadQueue&) = delete;

  // Called on a worker thread. Queues `task` and blocks until the owner
  // thread has run it (returns true) or until `cancelled` is set and
  // WakeSenders has been called while the task had not started (returns
  // false; the task is dropped). A task that has started always finishes
  // before Send returns. Called on the owner thread itself, runs the task
  // at once.
  bool Send(Task task, const std::atomic<bool>& cancelled) EXCLUDES(mutex_);

  // Send in two steps, so that a sender can queue under a lock of its own
  // (which fixes the order of its tasks against other senders') and wait
  // after letting the lock go. The task and whatever it refers to must stay
  // valid until Await has returned; every ticket is awaited.
  class Ticket;
  Ticket Post(Task task, const std::atomic<bool>& cancelled) EXCLUDES(mutex_);
  bool Await(Ticket& ticket, const std::atomic<bool>& cancelled) EXCLUDES(mutex_);

  // Called on the owner thread: runs the tasks queued before the call, in
  // order (those queued meanwhile wait for the next drain). Returns how many
  // ran.
  int Drain() EXCLUDES(mutex_);

  // Called on the owner thread: waits up to `timeout` for a task, then drains.
  int WaitAndDrain(std::chrono::milliseconds timeout) EXCLUDES(mutex_);

  // Any thread: makes every waiting sender look at its cancel flag again;
  // called after a flag was set (by Stop).
  void WakeSenders() EXCLUDES(mutex_);

  // Any thread: makes a WaitAndDrain that is waiting return at once (for
  // example when a worker has ended or a signal arrived).
  void WakeOwner() EXCLUDES(mutex_);

  // Any thread: whether the caller is the owner thread (the one that
  // created the queue).
  bool IsOwnerThread() const { return std::this_thread::get_id() == owner_; }
  // Ends the program with a message when the caller is not the owner
  // thread. Every owner-thread method of the queue, and of the objects that
  // own one, begins with it: a call from another thread would race with
  // everything the owner thread keeps without a lock.
  void AssertOwnerThread() const;

 private:
  struct Pending;

  // Constant after construction.
  const std::function<void()> wake_;
  const std::thread::id owner_;

  // Whether the owner has run `pending`'s task; the only reads and writes of
  // Pending::done, which mutex_ guards.
  bool IsDone(const Pending& pending) const REQUIRES(mutex_);
  void MarkDone(Pending& pending) REQUIRES(mutex_);

  mutable Mutex mutex_;
  CondVar ownerCv_;  // a task was queued, or WakeOwner
  std::deque<std::shared_ptr<Pending>> queue_ GUARDED_BY(mutex_);
  bool ownerWoken_ GUARDED_BY(mutex_) = false;
};

class OwnerThreadQueue::Ticket {
 public:
  // Whether the task already ran (on the owner thread, at once) or was
  // refused (cancelled before it was queued).
  std::optional<bool> settled;

 private:
  friend class OwnerThreadQueue;
  std::shared_ptr<Pending> pending_;
};

}  // namespace trovelane
