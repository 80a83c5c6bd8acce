// What a worker does with each result link it reads off an engine's page,
// whatever the page's format: counts it as new or met before on the
// engine's own pages, runs the accept filter (search/accept_link.h), gives
// it the engine's next position, passes a duplicate on as a sighting and
// hands an accepted one over.
#pragma once

#include <string>

#include "engines/engine_definition.h"
#include "search/accept_link.h"

namespace trovelane {

class EngineRunContext;

class ResultOffers {
 public:
  // For one page of `engine` (the worker's own copy) whose first result
  // stands at `pageOffset` among the engine's results.
  ResultOffers(EngineDefinition& engine, EngineRunContext& worker, int pageOffset);
  ResultOffers(const ResultOffers&) = delete;
  ResultOffers& operator=(const ResultOffers&) = delete;

  // Offers one absolute result link with its title (the link itself when
  // the page gave none). False when the engine must read no further: the
  // result limit is reached (engine.stopRequested is then set) or the run
  // was stopped.
  bool Offer(const std::string& link, const std::string& title);

 private:
  EngineDefinition& engine_;
  EngineRunContext& worker_;
  LinkCheck check_;
  int perEngineCount_;
};

}  // namespace trovelane
