#include "search/request_builder.h"

#include <gtest/gtest.h>

#include "search/search_text.h"
#include "tests/engines/engine_samples.h"

namespace trovelane {
namespace {

SearchExpression Parse(std::string_view typed) {
  auto expression = ParseExpression(NormalizeSearchText(typed, 0));
  EXPECT_TRUE(expression) << typed;
  return std::move(*expression);
}

using testing::Param;

EngineDefinition Engine(int technique, int method = GET) {
  EngineDefinition e;
  e.name = "Test";
  e.searchUrl = "http://127.0.0.1:8080/s";
  e.searchTextId = "q";
  e.resultId = "n";
  e.resultsPerPage = 10;
  e.iterationTechnique = technique;
  e.method = method;
  e.parameters = {Param(SEARCH_TEXT, "ignored"), Param(RESULT_POSITION, "n"),
                  Param(FIXED, "lang", "en")};
  return e;
}

std::string Url(const EngineDefinition& e, std::string_view typed, int page) {
  EngineRequest r = BuildRequest(e, Parse(typed), IterationValue(e, page));
  EXPECT_TRUE(r.ok()) << r.status.message();
  EXPECT_EQ(r.body, "");
  return r.url;
}

TEST(RequestBuilderTest, NumberedTechniquesCarryTheirIterationValue) {
  struct Case {
    int technique;
    const char* page0;
    const char* page2;
  } cases[] = {
      {RESULT_PLUS_0, "n=0", "n=20"},
      {RESULT_PLUS_1, "n=1", "n=21"},
      {RELATIVE_0, "n=0", "n=2"},
      {RELATIVE_1, "n=1", "n=3"},
  };
  for (const Case& c : cases) {
    EngineDefinition e = Engine(c.technique);
    EXPECT_EQ(Url(e, "a b", 0),
              std::string("http://127.0.0.1:8080/s?q=a b&") + c.page0 + "&lang=en");
    EXPECT_EQ(Url(e, "a b", 2),
              std::string("http://127.0.0.1:8080/s?q=a b&") + c.page2 + "&lang=en");
    // An engine that takes a position on its first page for a robot's
    // request gets none there, and the same ones after it.
    e.web.positionFromSecondPage = true;
    EXPECT_EQ(Url(e, "a b", 0), "http://127.0.0.1:8080/s?q=a b&lang=en");
    EXPECT_EQ(Url(e, "a b", 2),
              std::string("http://127.0.0.1:8080/s?q=a b&") + c.page2 + "&lang=en");
  }
}

TEST(RequestBuilderTest, AutoTechniquesUseHarvestedValuesAfterTheFirstPage) {
  EngineDefinition auto1 = Engine(AUTO_1);
  auto1.parameters.push_back(Param(FIXED, "token", kFromPageMarker));
  EXPECT_EQ(Url(auto1, "x", 0), "http://127.0.0.1:8080/s?q=x&lang=en");
  // Harvested values are not sent on the first request...
  auto1.parameters[1].found = 1;
  auto1.parameters[1].currentValue = "11";
  auto1.parameters[3].found = 1;
  auto1.parameters[3].currentValue = "abc";
  EXPECT_EQ(Url(auto1, "x", 0), "http://127.0.0.1:8080/s?q=x&lang=en");
  // ...but on every later one.
  EXPECT_EQ(Url(auto1, "x", 1), "http://127.0.0.1:8080/s?q=x&n=11&lang=en&token=abc");
  auto1.parameters[3].found = 0;
  EXPECT_EQ(Url(auto1, "x", 1), "http://127.0.0.1:8080/s?q=x&n=11&lang=en");

  EngineDefinition auto2 = Engine(AUTO_2);
  auto2.parameters[1].found = 1;
  auto2.parameters[1].currentValue = "11";
  EXPECT_EQ(Url(auto2, "x", 0), "http://127.0.0.1:8080/s?q=x&lang=en");
  EXPECT_EQ(Url(auto2, "x", 3), "http://127.0.0.1:8080/s?q=x&lang=en");
}

TEST(RequestBuilderTest, PostSendsTheQueryAsTheBody) {
  EngineDefinition e = Engine(RELATIVE_1, POST);
  e.searchUrl = "http://127.0.0.1:8080/s?already=1";
  EngineRequest r = BuildRequest(e, Parse("x"), IterationValue(e, 0));
  EXPECT_EQ(r.url, "http://127.0.0.1:8080/s?already=1");
  EXPECT_EQ(r.body, "q=x&n=1&lang=en");
  // GET appends "?" even to a URL that holds one.
  e.method = GET;
  EXPECT_EQ(Url(e, "x", 0), "http://127.0.0.1:8080/s?already=1?q=x&n=1&lang=en");
}

TEST(RequestBuilderTest, SeparatorRules) {
  EngineDefinition e = Engine(RESULT_PLUS_0);
  e.separator = ";";
  // An empty first piece leaves "?" directly followed by the separator.
  e.parameters[0] = Param(FIXED, "empty", kFromPageMarker);
  e.parameters.push_back(Param(SEARCH_TEXT, "q"));
  EXPECT_EQ(Url(e, "x", 0), "http://127.0.0.1:8080/s?;n=0;lang=en;q=x");

  // Nothing sendable: the search-text piece is left out with its separator.
  EXPECT_EQ(SearchTextParameter(Parse("'QMNOSEND,TITLE,QMINNERTEXT,x'"), e), "");
  EXPECT_EQ(Url(e, "'QMNOSEND,TITLE,QMINNERTEXT,x'", 0), "http://127.0.0.1:8080/s?;n=0;lang=en");
}

TEST(RequestBuilderTest, SearchTextUsesTheEngineSpellingsOrPlainWords) {
  EngineDefinition e = Engine(RESULT_PLUS_0);
  e.searchTextId = "query";
  EXPECT_EQ(SearchTextParameter(Parse("a & !b \"c d\""), e), "query=a b c d");
  e.useBoolean = 1;
  e.andOperator = "+AND+";
  e.notOperator = "-";
  e.exactOperator = "%22";
  EXPECT_EQ(SearchTextParameter(Parse("a & !b \"c d\""), e), "query=a+AND+-b+AND+%22c d%22");
}

TEST(RequestBuilderTest, OverlongRequestsAreRefusedNotCut) {
  EngineDefinition e = Engine(RESULT_PLUS_0);
  e.parameters[2].defaultValue = std::string(1023 - Url(e, "x", 0).size() + 2, 'v');
  EngineRequest fits = BuildRequest(e, Parse("x"), 0);
  ASSERT_TRUE(fits.ok()) << fits.status.message();
  EXPECT_EQ(fits.url.size(), kMaxRequestLength);

  e.parameters[2].defaultValue += 'v';
  EngineRequest refused = BuildRequest(e, Parse("x"), 0);
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.url, "");
  EXPECT_NE(refused.status.message().find("1024 characters"), std::string::npos) << refused.status.message();

  e.method = POST;
  EXPECT_TRUE(BuildRequest(e, Parse("x"), 0).ok());  // the body lacks the URL
  e.parameters[2].defaultValue += std::string(40, 'v');
  EXPECT_FALSE(BuildRequest(e, Parse("x"), 0).ok());
}

TEST(RequestBuilderTest, IterationValueDoesNotOverflow) {
  EngineDefinition e = Engine(RESULT_PLUS_1);
  e.resultsPerPage = 1 << 20;
  EXPECT_EQ(IterationValue(e, 1 << 20), INT_MAX);
  e.iterationTechnique = AUTO_1;
  EXPECT_EQ(IterationValue(e, 2), 2 << 20);
}

TEST(EngineRequestTest, PresetCookiesMergeUnderTheServersByName) {
  // Either alone stands as it is, so an engine without presets sends what
  // its server set, byte for byte.
  EXPECT_EQ(MergeCookies("", "a=1;b=2"), "a=1;b=2");
  EXPECT_EQ(MergeCookies("kl=wt-wt; x=y ", ""), "kl=wt-wt; x=y ");
  EXPECT_EQ(MergeCookies("kl=wt-wt; theme=dark", "theme=light;sid=42"),
            "kl=wt-wt; theme=light; sid=42");
  EXPECT_EQ(MergeCookies(" a=1 ;; flag ;a=3", "b=2; flag=on"), "a=3; flag=on; b=2");
}

TEST(EngineRequestTest, AnEngineMayOnlyShortenTheProgramsTimeOuts) {
  ProgramOptions program;
  program.connectTimeoutSeconds = 5;
  program.readTimeoutSeconds = 0;  // none
  program.maxPagesPerEngine = 7;
  EngineExtensions web;
  ProgramOptions same = EngineTimeouts(program, web);
  EXPECT_EQ(same.connectTimeoutSeconds, 5);
  EXPECT_EQ(same.readTimeoutSeconds, 0);
  EXPECT_EQ(same.maxPagesPerEngine, 7);

  web.connectTimeoutSeconds = 9;  // longer: the program's holds
  web.readTimeoutSeconds = 3;     // the program has none: the engine's holds
  ProgramOptions engine = EngineTimeouts(program, web);
  EXPECT_EQ(engine.connectTimeoutSeconds, 5);
  EXPECT_EQ(engine.readTimeoutSeconds, 3);
  web.connectTimeoutSeconds = 2;
  web.readTimeoutSeconds = -4;  // not a time-out: the program's holds
  engine = EngineTimeouts(program, web);
  EXPECT_EQ(engine.connectTimeoutSeconds, 2);
  EXPECT_EQ(engine.readTimeoutSeconds, 0);
}

TEST(EngineRequestTest, ValidationFetchesCarryNoneOfTheEnginesHeaders) {
  EngineDefinition e;
  e.web.userAgent = "Agent/1 ({contact})";
  e.web.headers = {{"Referer", "https://engine.test/"}};
  e.web.http11 = true;
  e.web.acceptCompression = true;
  ProgramOptions program;
  program.contact = "mailto:ops@team.test";
  const RequestOptions own = EngineRequestOptions(e, program);
  EXPECT_EQ(own.userAgent, "Agent/1 (mailto:ops@team.test)");
  EXPECT_EQ(own.extraHeaders, e.web.headers);
  EXPECT_TRUE(own.http11 && own.acceptCompression);
  RequestOptions validation = ValidationRequestOptions(e, program);
  EXPECT_TRUE(validation.extraHeaders.empty());
  validation.extraHeaders = own.extraHeaders;
  EXPECT_EQ(validation, own);
  // An engine without extensions asks for nothing beyond the plain request.
  EXPECT_EQ(EngineRequestOptions(EngineDefinition{}, program), RequestOptions{});
}

}  // namespace
}  // namespace trovelane
