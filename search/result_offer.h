// What a worker does with each result link it reads off an engine's page,
// whatever the page's format: counts it as new or met before on the
// engine's own pages, runs the accept filter (search/accept_link.h), gives
// it the engine's next position, passes a duplicate on as a sighting and
// hands an accepted one over - at once, or, when the search validates, once
// its validation check has found its page valid (search/result_checks.h).
//
// Positions and sightings are given in page order as the links are offered;
// the checks of a page start side by side once it is read (when its
// ResultOffers goes) and run while the worker goes on with the engine's next
// pages, and their results come in the order the checks end. The engine's
// run waits for the checks still in flight before it ends (RunEngineLoop),
// so a caller only constructs one ResultOffers per page, offers each link,
// stops reading the page when Offer returns false and lets the ResultOffers
// go when it is done with the page.
#pragma once

#include <string>

#include "engines/engine_definition.h"
#include "search/accept_link.h"

namespace trovelane {

class EngineRunContext;

class ResultOffers {
 public:
  // For one page of `engine` (the worker's own copy) whose first result
  // stands at `pageOffset` among the engine's results: the engine's count
  // for a limit per engine is raised to it. With that limit, the checks
  // still running for earlier pages are waited for first, so that what
  // they hand over counts before the page's offset does.
  ResultOffers(EngineDefinition& engine, EngineRunContext& worker, int pageOffset);
  // The checks of the page's links start once the page is read.
  ~ResultOffers();
  ResultOffers(const ResultOffers&) = delete;
  ResultOffers& operator=(const ResultOffers&) = delete;

  // Offers one absolute result link with its title (the link itself when
  // the page gave none). False when the engine must read no further: the
  // result limit is reached (engine.stopRequested is then set, and the
  // engine's checks in flight are cancelled) or the run was stopped.
  bool Offer(const std::string& link, const std::string& title);

 private:
  EngineDefinition& engine_;
  EngineRunContext& worker_;
  LinkCheck check_;
};

}  // namespace trovelane
