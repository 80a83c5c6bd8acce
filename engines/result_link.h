// Turning a link found on a result page into a result: making it absolute,
// and the accept filter that applies the engine's skip lists, file types and
// link type, the search's duplicate filter and, when asked for, validation.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engines/engine_definition.h"
#include "engines/search_expression.h"
#include "net/http_url.h"
#include "net/settings.h"
#include "results/duplicate_filter.h"

namespace trovelane {

// Rewrites `link` in place to an absolute link against searchUrl (http, https
// and ftp kept). A link that begins with "http://", "https://" or "ftp://"
// (any case) stays as it is; any other is joined to the scheme, host and port
// of searchUrl (the port only when it is not the scheme's default), with a
// "/" between when the link does not begin with one. Relative links resolve
// against the root of the host, not the directory of searchUrl. When
// searchUrl is malformed the link becomes empty, which every later test
// rejects. Never throws.
void MakeAbsoluteLink(std::string_view searchUrl, std::string& link);

// The relevance given to a link that was accepted without validation
// (LinkCheck::autoAdded): no score of its own, shown as "n/a". Such a link is
// meant to be listed, so the minimum relevance does not apply to it.
inline constexpr int kNoRelevance = -1;

// What the accept filter needs from, and gives back to, the worker that runs it.
struct LinkCheck {
  DuplicateFilter* duplicates = nullptr;      // the search's filter
  int validationMode = kValidationNone;       // effective mode: 0, 1 or 2 (never AUTO)
  SearchExpression* expression = nullptr;     // the worker's own copy
  const NetworkSettings* settings = nullptr;  // proxy, readChunkSize, weights, maxRelevance
  CHttpURL* validationConnection = nullptr;   // reused for each validation fetch; Stop cancels it
  std::function<void(const std::string&)> status;  // SendStatus of the worker; may be empty
  int validated = 0;                               // out: 1 when the link went through validation
  int relevance = 0;  // out: percent, in VAL+REL; kNoRelevance when autoAdded
  bool autoAdded =
      false;  // out: accepted without validation (auto-add type, or indirect w/o searched types)
};

// Decides about one absolute link of `engine` with its anchor text, in this
// order: the URL skip list (whole URL, any case); a URL without path; the
// link type (indirect: the URL must contain indirectLinkName, case-sensitive;
// direct: the host must not contain a skipped domain, any case); the
// duplicate filter, which records every link that gets this far; a direct
// link not of a searched type is accepted at once when its extension is an
// auto-add type, else rejected; an indirect link of an engine without
// searched types is accepted at once; every other link is accepted in mode 0
// and validated (ValidationFetch) in modes 1 and 2, with relevance in mode 2.
//
// The extension is the text after the last "." of the path's last "/"
// segment ("htm" when it has no "."); a path ending in "/" counts as
// searched. 0 rejects, non-zero accepts. Never throws: a malformed URL is
// rejected.
int AcceptResultLink(const EngineDefinition& engine, LinkCheck& check, const std::string& url,
                     const std::string& text);

}  // namespace trovelane
