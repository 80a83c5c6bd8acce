// Runs tasks on threads of its own, at most a bounded number at once; the
// tasks beyond that wait, in the order they came. A thread that has ended a
// task takes the next waiting one; when none waits it waits a second for
// one and then ends, so a runner idle for longer holds no thread.
//
// The validation fetches of a search share one runner, which bounds them for
// the whole search (search/result_checks.h); the results view's Validate
// command has one for the process (search/row_validation.h).
//
// Threads: every method may be called on any thread, also from inside a task.
// The threads are detached and keep only the runner's own state alive: the
// destructor drops the tasks still waiting, tells the idle threads to end
// and returns at once, so whoever gives a runner tasks that refer to other
// objects waits for those tasks before the objects go (and a task must never
// hold the last owner of its runner).
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>

#include "platform/mutex.h"

namespace trovelane {

class BoundedRunner {
 public:
  using Task = std::function<void()>;

  // At most `limit` tasks run at once (at least 1).
  explicit BoundedRunner(int limit);
  ~BoundedRunner();
  BoundedRunner(const BoundedRunner&) = delete;
  BoundedRunner& operator=(const BoundedRunner&) = delete;

  // A new bound for the tasks started from now on; threads above it end
  // after their task.
  void SetLimit(int limit);

  // Queues `task`, tagged with `owner` for Withdraw, and starts a thread for
  // it while fewer than the limit run. False when the system gives no thread
  // and none runs that would take the task: it is not kept, and the caller
  // runs it itself or gives up. An exception that leaves a task is dropped.
  bool Submit(const void* owner, Task task);

  // Takes the waiting tasks of `owner` out, unrun, and destroys them before
  // it returns; tasks that have started are not touched. How many.
  size_t Withdraw(const void* owner);

  // Threads the runner holds (at work or idle), and tasks waiting for a
  // thread.
  int running() const;
  size_t waiting() const;

 private:
  struct State;
  static void ThreadMain(std::shared_ptr<State> state);

  const std::shared_ptr<State> state_;
};

}  // namespace trovelane
