// Engine definitions and files shared by the engine tests.
#pragma once

#include <string>
#include <utility>

#include "engines/engine_definition.h"

namespace trovelane::testing {

inline EngineParameter Param(int role, const std::string& name, const std::string& value = "") {
  EngineParameter p;
  p.roleCode = role;
  p.name = name;
  p.defaultValue = value;
  return p;
}

// The engine most search tests start from: `name`, a GET at `searchUrl` with
// the search text in q and the result position in start (10 results a page,
// counted by `technique`), "&" between them, html pages searched, selected.
// A test changes only what it is about.
inline EngineDefinition TestEngine(std::string name, std::string searchUrl,
                                   int technique = RESULT_PLUS_0) {
  EngineDefinition e;
  e.name = std::move(name);
  e.searchUrl = std::move(searchUrl);
  e.searchTextId = "q";
  e.resultId = "start";
  e.resultsPerPage = 10;
  e.iterationTechnique = technique;
  e.separator = "&";
  e.selected = 1;
  e.parameters = {Param(SEARCH_TEXT, "q"), Param(RESULT_POSITION, "start")};
  e.searchedFileTypes = {"html"};
  return e;
}

// A definition with every field away from its default, lists of several
// entries and values with blanks and "=".
inline EngineDefinition FullEngine() {
  EngineDefinition e;
  e.name = "Offsets = fine";
  e.searchUrl = "http://127.0.0.1:8080/search";
  e.searchTextId = "q";
  e.resultId = "start";
  e.method = POST;
  e.iterationTechnique = RELATIVE_1;
  e.resultsPerPage = 10;
  e.separator = " ; ";
  e.selected = 0;
  e.useBoolean = 1;
  e.andOperator = "+AND+";
  e.orOperator = "";
  e.notOperator = " NOT";
  e.exactOperator = "%22";
  e.parameters = {Param(SEARCH_TEXT, "q"), Param(RESULT_POSITION, "start"),
                  Param(FIXED, "lang", "a=b c"), Param(FIXED, "token", kFromPageMarker)};
  e.searchedFileTypes = {"htm", "html"};
  e.autoAddFileTypes = {"pdf"};
  e.skippedDomains = {"ads.example", "127.0.0.2"};
  e.skippedUrls = {"http://127.0.0.1:8080/help", "http://127.0.0.1:8080/about", "x"};
  e.linkType = INDIRECT;
  e.indirectLinkName = "download.asp";
  e.referer = "http://127.0.0.1:8080/";
  e.cookieUrls = {"http://127.0.0.1:8080/cookie"};
  e.requiresCookies = 1;
  return e;
}

// FullEngine with every extension set, values with blanks, ":" and "=".
inline EngineDefinition WebEngine() {
  EngineDefinition e = FullEngine();
  e.web.userAgent = "Mozilla/5.0 (X11; Linux x86_64; rv:140.0) Gecko/20100101 Firefox/140.0";
  e.web.headers = {{"Referer", "https://127.0.0.1:8443/"},
                   {"Accept-Language", " en-GB, en;q=0.5"},
                   {"X-Empty", ""}};
  e.web.cookies = "kl=wt-wt; theme=dark ";
  e.web.http11 = true;
  e.web.acceptCompression = true;
  e.web.connectTimeoutSeconds = 3;
  e.web.readTimeoutSeconds = -1;
  e.web.positionFromSecondPage = true;
  e.web.resultClass = "result__a";
  e.web.resultListStart = "<div id=\"links\" class = \"results\">";
  e.web.resultListEnd = "</div><!-- end -->";
  e.web.resultAnchorAfter = "<h2 class=\"title\">";
  e.web.redirectParameter = "uddg";
  e.web.anyFileType = true;
  e.web.ownPages = true;
  e.web.blockMarkers = {"<form id=\"challenge-form\"", "  unusual traffic  "};
  e.web.skippedBlocks = {"div.result--ad", "<div class=\"cluster\""};
  e.web.blockHeaders = {"x-yandex-captcha: captcha"};
  e.web.format = "JSON";
  e.web.jsonResults = "message.items";
  e.web.jsonUrl = "URL || https://doi.org/{DOI} ";
  e.web.jsonTitle = "title[0]";
  e.web.jsonSnippet = "abstract";
  e.web.weight = 0.75;
  return e;
}

// An engine file as the Windows version exports it: CR LF line ends, two
// parameters, a URL skip list written with the "DS" key.
inline std::string WindowsEngineFile(const std::string& name = "Sample") {
  return "SIT = " + name +
         "\r\n"
         "ACT = http://127.0.0.1:8080/cgi-bin/find\r\n"
         "SID = query\r\n"
         "RID = first\r\n"
         "TEC = 0\r\n"
         "ITR = 1\r\n"
         "RES = 20\r\n"
         "SEP = &\r\n"
         "SEL = 1\r\n"
         "PAR = 2\r\n"
         "USB = 1\r\n"
         "AND = +\r\n"
         "OR = |\r\n"
         "NOT = -\r\n"
         "EXC = \"\r\n"
         "PNM0 = query\r\n"
         "PDV0 = \r\n"
         "PAT0 = 0\r\n"
         "PNM1 = first\r\n"
         "PDV1 = 1\r\n"
         "PAT1 = 1\r\n"
         "SEC = 1\r\n"
         "SET0 = html\r\n"
         "AEC = 0\r\n"
         "DSC = 1\r\n"
         "DS0 = ads.example\r\n"
         "USC = 2\r\n"
         "DS0 = http://127.0.0.1:8080/help.html\r\n"
         "DS1 = http://127.0.0.1:8080/\r\n"
         "RST = 0\r\n"
         "LIN = \r\n"
         "REF = \r\n"
         "COC = 0\r\n"
         "COO = 0\r\n";
}

}  // namespace trovelane::testing
