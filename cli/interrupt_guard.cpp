#include "cli/interrupt_guard.h"

#include <sched.h>

#include <atomic>

#include "net/http_url.h"

namespace trovelane::cli {
namespace {

// Lock-free atomics are safe to touch from a signal handler.
std::atomic<bool> interrupted{false};
std::atomic<CHttpURL*> page{nullptr};
// Handlers between reading `page` and leaving it.
std::atomic<int> handlersInside{0};

static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<CHttpURL*>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

void OnInterrupt(int) {
  handlersInside.fetch_add(1);
  interrupted.store(true);
  // Cancel only writes to an eventfd, which a signal handler may do.
  if (CHttpURL* target = page.load()) target->Cancel();
  handlersInside.fetch_sub(1);
}

}  // namespace

InterruptGuard::InterruptGuard(CHttpURL* target) {
  interrupted.store(false);
  page.store(target);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_);
}

InterruptGuard::~InterruptGuard() {
  // A handler that read the page before it was cleared may still be using
  // it on another thread; one that starts from now on sees null. (A handler
  // interrupting this thread runs to its end before the loop goes on.)
  page.store(nullptr);
  while (handlersInside.load() > 0) sched_yield();
  sigaction(SIGINT, &previous_, nullptr);
}

bool InterruptGuard::Interrupted() { return interrupted.load(); }

}  // namespace trovelane::cli
