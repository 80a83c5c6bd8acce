#include "search/result_offer.h"

#include "search/engine_run_context.h"

namespace trovelane {
namespace {

// An accepted result on its way to the front end.
struct Accepted {
  std::string url;
  std::string title;
  int validated = 0;
  int relevance = 0;
  bool autoAdded = false;
  int position = 0;
  size_t duplicateKey = kNoDuplicateKey;
};

// Hands `result` over, unless VAL+REL scored it below the minimum relevance;
// on the worker thread or on the thread of the check that validated it.
// False when the result limit is reached.
bool HandOver(EngineRunContext& worker, const Accepted& result, std::atomic<int>& perEngineCount) {
  // A link accepted without validation has no score of its own; it is
  // listed with the relevance the filter gave it and never dropped here.
  if (worker.validationMode() == kValidationValRel && !result.autoAdded &&
      result.relevance < worker.options().minRelevancy) {
    return true;
  }
  return worker.HandOff(result.url, result.title, result.validated, result.relevance,
                        perEngineCount, {}, result.position,
                        result.duplicateKey) != EngineRunContext::HandOffOutcome::kLimitReached;
}

// Raises `count` to at least `floor`, also while hand-offs add to it.
void RaiseTo(std::atomic<int>& count, int floor) {
  int now = count.load();
  while (now < floor && !count.compare_exchange_weak(now, floor)) {
  }
}

}  // namespace

ResultOffers::ResultOffers(EngineDefinition& engine, EngineRunContext& worker, int pageOffset)
    : engine_(engine), worker_(worker) {
  check_.duplicates = &worker.duplicates();
  check_.validationMode = worker.validationMode();
  check_.expression = &worker.expression();
  check_.settings = &worker.settings();
  check_.deferValidation = true;
  check_.status = [&worker](const std::string& text) { worker.SendStatus(text); };
  if (worker.options().perEngine) worker.resultChecks().Wait();
  RaiseTo(worker.pageMemory().perEngineCount, pageOffset);
  // Reading the page, and so the request of the next one, does not wait
  // for the checks' threads; they run while that request does.
  worker.resultChecks().Hold();
}

ResultOffers::~ResultOffers() { worker_.resultChecks().Release(); }

bool ResultOffers::Offer(const std::string& link, const std::string& title) {
  PageMemory& memory = worker_.pageMemory();
  ResultChecks& checks = worker_.resultChecks();
  const bool newLink = memory.ownLinks.insert(link).second;
  if (newLink) ++memory.newLinksOnPage;

  if (checks.limitReached() || worker_.LimitReached(memory.perEngineCount.load())) {
    engine_.stopRequested = true;
    checks.EndAtLimit();
    return false;
  }

  check_.validated = 0;
  check_.relevance = 0;
  check_.autoAdded = false;
  const bool accepted = AcceptResultLink(engine_, check_, link, title);
  // Every result link of the engine takes a position, accepted or not; a
  // link the engine repeats keeps its first.
  int position = 0;
  if (check_.IsResultCandidate()) {
    ++memory.candidatesOnPage;
    if (newLink) position = ++memory.resultPosition;
  }
  if (check_.duplicate && position > 0 && check_.duplicateKey != kNoDuplicateKey) {
    worker_.AddSighting(check_.duplicateKey, position);
  }
  if (!accepted) return true;
  if (worker_.cancelled()) return false;

  const Accepted result{.url = link,
                        .title = title,
                        .validated = check_.validated,
                        .relevance = check_.relevance,
                        .autoAdded = check_.autoAdded,
                        .position = position,
                        .duplicateKey = check_.duplicateKey};
  if (check_.validationDeferred) {
    // The check's thread hands it over; the worker reads on. The worker
    // outlives its checks (its run waits for them).
    EngineRunContext* worker = &worker_;
    std::atomic<int>* count = &memory.perEngineCount;
    checks.Start(link, [worker, count, result](int relevance) {
      Accepted valid = result;
      valid.relevance = relevance;
      return HandOver(*worker, valid, *count);
    });
    return true;
  }
  if (!HandOver(worker_, result, memory.perEngineCount)) {
    engine_.stopRequested = true;
    checks.EndAtLimit();
    return false;
  }
  return true;
}

}  // namespace trovelane
