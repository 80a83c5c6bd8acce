// The result-page loop of an engine definition: visit its cookie pages, then
// request page after page, spool each to "sdump<tid>.bin", scan it for result
// links (or read the results of a JSON or feed answer) and hand the accepted
// ones over, and page on by the engine's result iteration technique until
// the engine has no next page, the result limit is reached, or something
// fails. An answer in JSON or a feed has no next-page link: its engine pages
// on while a page is full (at least resultsPerPage results). An engine also
// ends when a page brings no link it has not listed on its own earlier
// pages, when its next request is one it sent before, and after
// ProgramOptions::maxPagesPerEngine pages.
// Every ending is quiet: the worker reports its end and nothing else is
// shown; the last status text of an ending the server caused says why (an
// engine whose server stayed silent past the time-outs shows "Timed out").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engines/engine_definition.h"
#include "platform/status.h"

namespace trovelane {

class EngineRunContext;

// The largest piece of a page read at once.
inline constexpr int kPageReadSize = 65535;

// The largest result page read; a longer one ends the engine. The same
// bound as a page read for relevance scoring.
inline constexpr size_t kMaxResultPageBytes = 64 * 1024 * 1024;

// Worker thread: the whole loop for `engine` (the worker's own copy), run
// for `worker` (the SearchWorker of the engine, or a test's fake). Every
// request to the engine's server (cookie pages, result pages) carries its
// EngineRequestOptions and its preset cookies (under those its server set),
// within EngineTimeouts; its validation fetches carry its
// ValidationRequestOptions (search/request_builder.h). The validation checks
// of a page's results run while the loop goes on with the next page
// (search/result_checks.h); the loop waits for them all before the engine
// ends, and a check that reaches the result limit ends it at its next page.
void RunEngineLoop(EngineRunContext& worker, EngineDefinition& engine);

// Worker thread: walks the anchors of one result page, hands over the
// accepted result links and tells whether the page links to the engine's
// next page. The next-page link counts wherever it stands; results are only
// the anchors the engine's result list and result class allow, redirect
// links unwrapped, and for an "any file type" engine only links that name
// a host (docs/result_links.md); each goes through ResultOffers
// (search/result_offer.h). Sets engine.stopRequested and returns false at once when the
// result limit is reached. Counts in the worker's PageMemory the result
// links it had not met on its earlier pages and the page's result links of a
// type the engine's rules let through; each of those met for the first time
// takes the engine's next position, and one the duplicate filter turned away
// is passed on as a sighting.
bool ScanResultPage(std::string_view page, int pageOffset, int pageIndex, EngineDefinition& engine,
                    EngineRunContext& worker);

// Worker thread: reads the results of an answer in JSON or a feed
// (engines/api_results.h) and offers each through ResultOffers, as
// ScanResultPage offers the anchors of an HTML page, until the result limit
// (engine.stopRequested set) or a stop; `read` gets the number of results
// the answer held. The counts of the worker's PageMemory are those of
// ScanResultPage. An error, saying why, when the answer cannot be read.
Status ReadAnswerResults(std::string_view answer, int pageIndex, EngineDefinition& engine,
                         EngineRunContext& worker, size_t& read);

// Whether the absolute `link` is the link to the page after pageOffset /
// pageIndex: same host text and port as the search URL, and the first query
// pair named resultId carries the number of the next page in its leading
// digits. Pairs are split at '&' and at the engine's own separator. Never
// true for the Auto techniques.
bool IsNextPageLink(std::string_view link, int pageOffset, int pageIndex,
                    const EngineDefinition& engine);

}  // namespace trovelane
