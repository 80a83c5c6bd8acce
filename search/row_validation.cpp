#include "search/row_validation.h"

#include <atomic>
#include <thread>

#include "search/validation_fetch.h"

namespace trovelane {
namespace {
std::atomic<int> running{0};
}  // namespace

int RowValidation::Running() { return running.load(); }

RowValidation::RowValidation(std::string url, const SearchExpression& expression,
                             const NetworkSettings& settings, Done done)
    : url_(std::move(url)), settings_(settings), expression_(expression), done_(std::move(done)) {}

std::shared_ptr<RowValidation> RowValidation::Start(std::string url,
                                                    const SearchExpression& expression,
                                                    const NetworkSettings& settings, Done done) {
  auto job = std::make_shared<RowValidation>(std::move(url), expression, settings, std::move(done));
  running.fetch_add(1);
  std::thread([job] {
    job->Run();
    running.fetch_sub(1);
  }).detach();
  return job;
}

void RowValidation::Cancel() {
  connection_.Cancel();
  MutexLock lock(&mutex_);
  cancelled_ = true;
  done_ = nullptr;
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
