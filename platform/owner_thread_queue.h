// "Send to the owner thread and wait": how a worker thread hands a status
// text or a result to the thread that owns the search and waits until that
// thread has dealt with it, so that anything passed by reference stays valid.
//
// The owner thread drains the queue: the CLI and the tests by calling
// WaitAndDrain in their loop, the GUI from its event loop after the wake
// callback (called on the sending thread) has posted a drain to it.
//
// A send whose sender has been cancelled returns at once without running its
// task, so a worker that waits in a send (for example while it holds the
// result lock) can never deadlock with the owner thread that is stopping it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

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
  bool Send(Task task, const std::atomic<bool>& cancelled);

  // Called on the owner thread: runs every task queued so far, in order.
  // Returns how many ran.
  int Drain();

  // Called on the owner thread: waits up to `timeout` for a task, then drains.
  int WaitAndDrain(std::chrono::milliseconds timeout);

  // Makes every waiting sender look at its cancel flag again; called after a
  // flag was set (by Stop).
  void WakeSenders();

  // Makes a WaitAndDrain that is waiting return at once (for example when a
  // worker has ended or a signal arrived).
  void WakeOwner();

 private:
  struct Pending;

  std::function<void()> wake_;
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable senders_;  // a task finished, or flags changed
  std::condition_variable owner_cv_;  // a task was queued, or WakeOwner
  std::deque<std::shared_ptr<Pending>> queue_;  // guarded by mutex_
  bool ownerWoken_ = false;                      // guarded by mutex_
};

}  // namespace trovelane
