// The accept filter a worker runs on each absolute result link: the engine's
// link rules (engines/result_link.h), the search's duplicate filter and, when
// the search validates, a fetch of the page (search/validation_fetch.h).
#pragma once

#include <functional>
#include <string>

#include "engines/engine_definition.h"
#include "engines/result_link.h"
#include "engines/search_expression.h"
#include "net/http_url.h"
#include "search/duplicate_filter.h"
#include "search/settings.h"

namespace trovelane {

// The relevance given to a link that was accepted without validation
// (LinkCheck::autoAdded): no score of its own, shown as "n/a". Such a link is
// meant to be listed, so the minimum relevance does not apply to it.
inline constexpr int kNoRelevance = -1;

// LinkCheck::duplicateKey of a link that never reached the duplicate filter.
inline constexpr size_t kNoDuplicateKey = static_cast<size_t>(-1);

// What the accept filter needs from, and gives back to, the worker that runs it.
struct LinkCheck {
  DuplicateFilter* duplicates = nullptr;      // the search's filter
  int validationMode = kValidationNone;       // effective mode: 0, 1 or 2 (never AUTO)
  SearchExpression* expression = nullptr;     // the worker's own copy
  const NetworkSettings* settings = nullptr;  // proxy, readChunkSize, weights, maxRelevance
  CHttpURL* validationConnection = nullptr;   // reused for each validation fetch; Stop cancels it
  std::function<void(const std::string&)> status;  // SendStatus of the worker; may be empty
  // Leave the fetch to the caller: a link that is to be validated is
  // accepted with validationDeferred set, and nothing is fetched.
  bool deferValidation = false;
  bool validationDeferred = false;  // out
  int validated = 0;                // out: 1 when the link went through validation
  int relevance = 0;                // out: percent, in VAL+REL; kNoRelevance when autoAdded
  bool autoAdded =
      false;  // out: accepted without validation (auto-add type, or indirect w/o searched types)
  // out: what the engine's rules said (kRejected when the link never got
  // past them), whether the duplicate filter turned it away, and the number
  // of its key in the filter (kNoDuplicateKey when it never reached it).
  LinkVerdict verdict = LinkVerdict::kRejected;
  bool duplicate = false;
  size_t duplicateKey = kNoDuplicateKey;

  // Whether the link is one of the engine's results (a searched or auto-add
  // type that its rules let through), accepted or not.
  bool IsResultCandidate() const {
    return verdict == LinkVerdict::kSearched || verdict == LinkVerdict::kAutoAdd;
  }
};

// Decides about one absolute link of `engine` with its anchor text: the
// engine's rules (ApplyLinkRules) reject it first, then a host in the
// program's hidden domains (it stays a result candidate of the engine, so
// the positions of the others keep the engine's order); the duplicate filter then
// records every link that gets this far and rejects one seen before; a link
// that is not of a searched type is rejected, an auto-add link accepted at
// once; every other link is accepted in mode 0 and validated
// (ValidationFetch) in modes 1 and 2, with relevance in mode 2 - or, with
// deferValidation, accepted as to be validated by the caller.
//
// Returns 0 to reject, non-zero to accept. Never throws: a malformed URL,
// or no memory for it, rejects the link.
int AcceptResultLink(const EngineDefinition& engine, LinkCheck& check, const std::string& url,
                     const std::string& text);

}  // namespace trovelane
