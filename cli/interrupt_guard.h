// Ctrl-C for the commands that run until they are done (search, fetch).
//
// An InterruptGuard installs the SIGINT handler for its lifetime and restores
// the handler it found when it ends, on every path out of its scope,
// exceptions included. The handler only sets a flag and, for fetch, cancels
// the page the guard names; it is async-signal-safe and may run on any thread
// of the process. The handler is installed with SA_RESTART, so a write that
// Ctrl-C interrupts (results into a full pipe) goes on instead of failing and
// cutting the output.
//
// Threads: the main thread creates and destroys the guard, one guard at a
// time. The destructor waits until a handler running on another thread has
// left the page, so the page may be destroyed right after the guard.
#pragma once

#include <signal.h>

namespace trovelane {
class CHttpURL;
}

namespace trovelane::cli {

class InterruptGuard {
 public:
  // `page` (may be null, not owned) is cancelled by Ctrl-C; it must outlive
  // the guard, so declare the guard after it.
  explicit InterruptGuard(CHttpURL* page = nullptr);
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // True once Ctrl-C arrived while a guard was installed (reset by the next
  // guard). Any thread.
  static bool Interrupted();

 private:
  struct sigaction previous_ {};
};

}  // namespace trovelane::cli
