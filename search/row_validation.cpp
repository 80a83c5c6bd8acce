#include "search/row_validation.h"

#include <atomic>
#include <cerrno>
#include <system_error>

#include "platform/bounded_runner.h"
#include "search/validation_fetch.h"

namespace trovelane {
namespace {

std::atomic<int> running{0};

// Lives as long as the process: a check still running at exit is left to
// the system, as its thread is.
BoundedRunner& Runner() {
  static BoundedRunner* runner = new BoundedRunner(ProgramOptions{}.validationsPerSearch);
  return *runner;
}

}  // namespace

int RowValidation::Running() { return running.load(); }

int RowValidation::Waiting() { return static_cast<int>(Runner().waiting()); }

RowValidation::RowValidation(std::string url, const SearchExpression& expression,
                             const NetworkSettings& settings, Done done)
    : url_(std::move(url)), settings_(settings), expression_(expression), done_(std::move(done)) {
  SetUpValidationConnection(connection_, {}, settings_.program);
}

std::shared_ptr<RowValidation> RowValidation::Start(std::string url,
                                                    const SearchExpression& expression,
                                                    const NetworkSettings& settings, Done done) {
  auto job = std::make_shared<RowValidation>(std::move(url), expression, settings, std::move(done));
  Runner().SetLimit(settings.program.validationsPerSearch);
  running.fetch_add(1);
  if (!Runner().Submit(job.get(), [job] {
        job->Run();
        running.fetch_sub(1);
      })) {
    running.fetch_sub(1);
    throw std::system_error(EAGAIN, std::generic_category(), "no thread for the validation");
  }
  return job;
}

void RowValidation::Cancel() {
  connection_.Cancel();
  {
    MutexLock lock(&mutex_);
    cancelled_ = true;
    done_ = nullptr;
  }
  // A check that has not started never will.
  if (Runner().Withdraw(this) > 0) running.fetch_sub(1);
}

void RowValidation::Run() {
  Outcome outcome;
  try {
    int relevance = 0;
    outcome.reachable =
        ValidationFetch(connection_, url_, expression_, settings_, &relevance, nullptr) != 0;
    outcome.relevance = outcome.reachable ? relevance : 0;
  } catch (...) {
    // A check that failed in any way reports an unreachable page.
    outcome = Outcome{};
  }
  MutexLock lock(&mutex_);
  if (!cancelled_ && done_) done_(outcome);
  done_ = nullptr;
}

}  // namespace trovelane
