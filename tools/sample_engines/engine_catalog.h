// The engines the sample server offers: one per paging technique and one
// per engine feature, each under its own path prefix "/<name>/".
#pragma once

#include <string>
#include <vector>

#include "engines/engine_definition.h"

namespace trovelane::sample {

// How an engine writes the link to its next result page.
enum class NextLinkStyle {
  kPlain,            // "/e/search?q=x&start=10", pairs joined by the engine's separator
  kEntityAmpersand,  // pairs joined by "&amp;", as real engines write them in HTML
  kOffHost,          // only on another host text and on another port: never the next page
  kTrailingLetters,  // "start=10n": the value's leading digits count
};

// How an engine writes its result links.
enum class ResultLinkForm {
  kAbsolute,      // HREF="http://127.0.0.1:port/pages/017.html"
  kRootRelative,  // HREF='/pages/017.html' (single quotes)
  kHostRelative,  // HREF=pages/017.html (unquoted, relative to the host's root)
};

struct SampleEngine {
  std::string name;
  int technique = 0;  // the iteration technique code, 0 … 5
  int method = 0;     // 0 GET, 1 POST
  std::string resultId = "start";
  int resultsPerPage = 10;
  std::string separator = "&";
  int useBoolean = 1;
  NextLinkStyle nextLink = NextLinkStyle::kPlain;
  ResultLinkForm linkForm = ResultLinkForm::kRootRelative;
  bool needsCookies = false;  // refuses searches without the cookies of its cookie pages
  bool needsReferer = false;  // refuses searches without its form page as referer
  bool indirect = false;      // result links go through "jump.cgi", which redirects
  bool slow = false;          // pauses in the middle of every result page
  std::string purpose;        // one line for people
};

// The fixed engines, then `slowCount` slow ones named slow1 … slowN.
std::vector<SampleEngine> SampleEngineList(int slowCount);

// The engine's definition for a server reached at `base`
// ("http://127.0.0.1:port"), as the profile stores it.
EngineDefinition DefinitionFor(const SampleEngine& engine, const std::string& base);

}  // namespace trovelane::sample
