// One background check of one result row: the results view's Validate
// command runs the page check with relevance scoring (ValidationFetch) on
// the row's URL and learns the outcome through a callback. The checks of the
// process run on one BoundedRunner (platform/bounded_runner.h), at most
// ProgramOptions::validationsPerSearch at once; the rest wait their turn in
// the order they were started.
//
// Ownership and threads: Start is called on the owner thread and returns a
// handle; the check holds its own copies of the URL, the expression and the
// settings, so nothing of the caller is touched while it runs or waits.
// `done` is called on the validation thread, once, unless Cancel came
// first: Cancel (any thread) cancels the fetch, or takes a check that has
// not started out of the queue, and once it has returned `done` is never
// called, so a caller that goes away (a window, its document) cancels its
// checks first and is never reached by one that ends later. The handle may
// be dropped at any time; the queue and the thread keep what the check
// needs alive.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engines/search_expression.h"
#include "net/http_url.h"
#include "platform/mutex.h"
#include "search/settings.h"

namespace trovelane {

class RowValidation {
 public:
  struct Outcome {
    bool reachable = false;  // the page was fetched and satisfies the expression
    int relevance = 0;       // percent, as the scoring gave it (0 when not reachable)
  };
  using Done = std::function<void(const Outcome&)>;

  static std::shared_ptr<RowValidation> Start(std::string url, const SearchExpression& expression,
                                              const NetworkSettings& settings, Done done);

  // Any thread. After it returns, `done` is not running and will not run.
  void Cancel() EXCLUDES(mutex_);

  const std::string& url() const { return url_; }

  // Checks of the process not yet ended, waiting or running (any thread).
  static int Running();
  // Checks of the process that wait for a thread (any thread).
  static int Waiting();

  RowValidation(std::string url, const SearchExpression& expression,
                const NetworkSettings& settings, Done done);

 private:
  void Run() EXCLUDES(mutex_);

  // Constant after construction.
  const std::string url_;
  const NetworkSettings settings_;

  // Validation thread only.
  SearchExpression expression_;

  CHttpURL connection_;  // Cancel may be called from any thread

  Mutex mutex_;  // guards the two below, and is held while `done_` runs
  bool cancelled_ GUARDED_BY(mutex_) = false;
  Done done_ GUARDED_BY(mutex_);
};

}  // namespace trovelane
