#include "search/result_offer.h"

#include "search/engine_run_context.h"

namespace trovelane {

ResultOffers::ResultOffers(EngineDefinition& engine, EngineRunContext& worker, int pageOffset)
    : engine_(engine), worker_(worker), perEngineCount_(pageOffset) {
  check_.duplicates = &worker.duplicates();
  check_.validationMode = worker.validationMode();
  check_.expression = &worker.expression();
  check_.settings = &worker.settings();
  check_.validationConnection = &worker.validationConnection();
  check_.status = [&worker](const std::string& text) { worker.SendStatus(text); };
}

bool ResultOffers::Offer(const std::string& link, const std::string& title) {
  PageMemory& memory = worker_.pageMemory();
  const bool newLink = memory.ownLinks.insert(link).second;
  if (newLink) ++memory.newLinksOnPage;

  if (worker_.LimitReached(perEngineCount_)) {
    engine_.stopRequested = true;
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
  // A link accepted without validation has no score of its own; it is
  // listed with the relevance the filter gave it and never dropped here.
  if (worker_.validationMode() == kValidationValRel && !check_.autoAdded &&
      check_.relevance < worker_.options().minRelevancy) {
    return true;
  }
  if (worker_.HandOff(link, title, check_.validated, check_.relevance, perEngineCount_, {},
                      position, check_.duplicateKey) ==
      EngineRunContext::HandOffOutcome::kLimitReached) {
    engine_.stopRequested = true;
    return false;
  }
  return true;
}

}  // namespace trovelane
