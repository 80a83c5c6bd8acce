#include "search/accept_link.h"

#include "net/url.h"
#include "search/validation_fetch.h"

namespace trovelane {
namespace {

int Decide(const EngineDefinition& engine, LinkCheck& check, const std::string& url,
           const std::string& text) {
  check.validated = 0;
  check.validationDeferred = false;
  check.autoAdded = false;
  check.duplicate = false;
  check.duplicateKey = kNoDuplicateKey;
  check.verdict = LinkVerdict::kRejected;
  const LinkVerdict verdict = ApplyLinkRules(engine, url);
  check.verdict = verdict;
  if (verdict == LinkVerdict::kRejected) return 0;
  // A domain the user never wants listed: the engine found it (it keeps its
  // place among the engine's results), but no one sees it.
  if (check.settings && !check.settings->program.hiddenDomains.empty()) {
    Url parsed;
    if (!ParseUrl(url, &parsed).ok()) return 0;
    for (const std::string& domain : check.settings->program.hiddenDomains) {
      if (HostInDomain(parsed.host, domain)) return 0;
    }
  }

  if (check.duplicates && check.duplicates->IsDuplicate(url, text, &check.duplicateKey)) {
    check.duplicate = true;
    return 0;
  }

  if (verdict == LinkVerdict::kNotSearched) return 0;
  if (verdict == LinkVerdict::kAutoAdd) {
    check.autoAdded = true;
    check.relevance = kNoRelevance;
    return 1;
  }

  if (check.validationMode != kValidationVal && check.validationMode != kValidationValRel) {
    return 1;
  }
  check.validated = 1;
  check.relevance = 0;
  if (!check.expression || !check.settings) return 0;  // nothing to validate against
  if (check.deferValidation) {
    check.validationDeferred = true;
    return 1;
  }
  CHttpURL ownConnection;
  CHttpURL& connection = check.validationConnection ? *check.validationConnection : ownConnection;
  return ValidationFetch(connection, url, *check.expression, *check.settings,
                         check.validationMode == kValidationValRel ? &check.relevance : nullptr,
                         check.status);
}

}  // namespace

int AcceptResultLink(const EngineDefinition& engine, LinkCheck& check, const std::string& url,
                     const std::string& text) {
  try {
    return Decide(engine, check, url, text);
  } catch (...) {
    // No memory for the link's text (malformed URLs are refused as such
    // inside): the link is dropped and the scan goes on with the next one.
    return 0;
  }
}

}  // namespace trovelane
