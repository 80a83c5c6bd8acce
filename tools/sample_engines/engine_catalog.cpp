#include "tools/sample_engines/engine_catalog.h"

namespace trovelane::sample {

std::vector<SampleEngine> SampleEngineList(int slowCount) {
  using enum NextLinkStyle;
  std::vector<SampleEngine> list = {
      {.name = "offset0",
       .nextLink = kEntityAmpersand,
       .linkForm = ResultLinkForm::kAbsolute,
       .purpose = "Result + 0: start=0, 10, 20 …; next link written with &amp;"},
      {.name = "offset1",
       .technique = 1,
       .resultId = "first",
       .purpose = "Result + 1: first=1, 11, 21 …; an About link listed as a skipped URL"},
      {.name = "page0",
       .technique = 2,
       .resultId = "page",
       .separator = ";",
       .linkForm = ResultLinkForm::kHostRelative,
       .purpose = "0 Relative: page=0, 1, 2 …; pairs separated by ';'"},
      {.name = "page1", .technique = 3, .resultId = "pg", .purpose = "1 Relative: pg=1, 2, 3 …"},
      {.name = "auto1",
       .technique = 4,
       .resultId = "cursor",
       .purpose = "Auto 1: cursor taken from the hidden form field of the page before"},
      {.name = "auto2",
       .technique = 5,
       .resultId = "more",
       .purpose = "Auto 2: paged by the harvested field state; the more button marks a next page"},
      {.name = "post",
       .method = 1,
       .resultId = "offset",
       .resultsPerPage = 5,
       .useBoolean = 0,
       .purpose = "POST form body, offset=0, 5, 10 …; plain query text"},
      {.name = "cookie",
       .needsCookies = true,
       .purpose = "needs the cookies set by welcome.html then consent.html"},
      {.name = "referer",
       .needsReferer = true,
       .purpose = "answers only with its form page as referer"},
      {.name = "indirect",
       .indirect = true,
       .purpose = "result links are jump.cgi?id=N&amp;from=list, which redirect to the page"},
      {.name = "offhost",
       .nextLink = kOffHost,
       .purpose = "its next links name another host or port: one page only"},
      {.name = "suffix",
       .nextLink = kTrailingLetters,
       .purpose = "next link values carry trailing letters (start=10n)"},
  };
  for (int i = 1; i <= slowCount; ++i) {
    list.push_back({.name = "slow" + std::to_string(i),
                    .slow = true,
                    .purpose = "pauses for the latency in the middle of every result page"});
  }
  return list;
}

EngineDefinition DefinitionFor(const SampleEngine& engine, const std::string& base) {
  EngineDefinition p;
  const std::string prefix = base + "/" + engine.name + "/";
  p.name = engine.name;
  p.searchUrl = prefix + "search";
  p.searchTextId = "q";
  p.resultId = engine.resultId;
  p.method = engine.method;
  p.iterationTechnique = engine.technique;
  p.resultsPerPage = engine.resultsPerPage;
  p.separator = engine.separator;
  p.useBoolean = engine.useBoolean;
  if (engine.useBoolean) {
    p.andOperator = "+";
    p.orOperator = "+OR+";
    p.notOperator = "-";
    p.exactOperator = "%22";
  }
  auto add = [&](const std::string& name, const std::string& defaultValue, int role) {
    EngineParameter parameter;
    parameter.name = name;
    parameter.defaultValue = defaultValue;
    parameter.roleCode = role;
    p.parameters.push_back(parameter);
  };
  add("q", "", SEARCH_TEXT);
  if (engine.name == "offset0" || engine.method == POST) add("hl", "en", FIXED);
  if (engine.technique == AUTO_2) add("state", kFromPageMarker, FIXED);
  add(engine.resultId, "", RESULT_POSITION);

  if (engine.indirect) {
    p.linkType = INDIRECT;
    p.indirectLinkName = "jump.cgi";
    p.searchedFileTypes = {"cgi"};
  } else {
    p.searchedFileTypes = {"html"};
  }
  if (engine.name == "offset1") p.skippedUrls = {prefix + "about.html"};
  if (engine.needsReferer) p.referer = prefix + "form.html";
  if (engine.needsCookies) {
    p.cookieUrls = {prefix + "welcome.html", prefix + "consent.html"};
    p.requiresCookies = 1;
  }
  return p;
}

}  // namespace trovelane::sample
