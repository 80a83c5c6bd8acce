// The next-page recognition, the iteration values and the small pieces of a
// search run that need no server.
#include "search/engine_loop.h"

#include <gtest/gtest.h>

#include "search/settings.h"
#include "search/search_run.h"
#include "search/search_status.h"

namespace trovelane {
namespace {

EngineDefinition Engine(int technique, std::string separator = "&") {
  EngineDefinition e;
  e.searchUrl = "http://127.0.0.1:8080/find/search";
  e.resultId = "start";
  e.resultsPerPage = 10;
  e.iterationTechnique = technique;
  e.separator = std::move(separator);
  return e;
}

TEST(IsNextPageLinkTest, MatchesTheNextValueOfEachTechnique) {
  const std::string base = "http://127.0.0.1:8080/find/search?q=x&start=";
  // pageOffset 20, pageIndex 2: the link of the page after it.
  EXPECT_TRUE(IsNextPageLink(base + "30", 20, 2, Engine(RESULT_PLUS_0)));
  EXPECT_FALSE(IsNextPageLink(base + "20", 20, 2, Engine(RESULT_PLUS_0)));
  EXPECT_TRUE(IsNextPageLink(base + "31", 20, 2, Engine(RESULT_PLUS_1)));
  EXPECT_FALSE(IsNextPageLink(base + "30", 20, 2, Engine(RESULT_PLUS_1)));
  EXPECT_TRUE(IsNextPageLink(base + "3", 20, 2, Engine(RELATIVE_0)));
  EXPECT_TRUE(IsNextPageLink(base + "4", 20, 2, Engine(RELATIVE_1)));
  // The Auto techniques page by form values, never by a link.
  EXPECT_FALSE(IsNextPageLink(base + "30", 20, 2, Engine(AUTO_1)));
  EXPECT_FALSE(IsNextPageLink(base + "30", 20, 2, Engine(AUTO_2)));
}

TEST(IsNextPageLinkTest, ReadsOnlyTheLeadingDigitsOfTheValue) {
  EngineDefinition e = Engine(RESULT_PLUS_0);
  EXPECT_TRUE(IsNextPageLink("http://127.0.0.1:8080/find/search?start=10n&q=x", 0, 0, e));
  EXPECT_TRUE(IsNextPageLink("http://127.0.0.1:8080/find/search?start=10", 0, 0, e));
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1:8080/find/search?start=n10", 0, 0, e));
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1:8080/find/search?start=", 0, 0, e));
  EXPECT_FALSE(
      IsNextPageLink("http://127.0.0.1:8080/find/search?start=99999999999999999999999", 0, 0, e));
}

TEST(IsNextPageLinkTest, RefusesAnotherHostOrPort) {
  EngineDefinition e = Engine(RESULT_PLUS_0);
  EXPECT_FALSE(IsNextPageLink("http://localhost:8080/find/search?start=10", 0, 0, e));
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1:8081/find/search?start=10", 0, 0, e));
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1/find/search?start=10", 0, 0, e));
  // The host text is compared as written, case included.
  e.searchUrl = "http://Sample.Test/s";
  EXPECT_FALSE(IsNextPageLink("http://sample.test/s?start=10", 0, 0, e));
  EXPECT_TRUE(IsNextPageLink("http://Sample.Test/other?start=10", 0, 0, e));
}

TEST(IsNextPageLinkTest, TheFirstPairOfTheNameDecides) {
  EngineDefinition e = Engine(RESULT_PLUS_0);
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1:8080/s?start=0&start=10", 0, 0, e));
  // Names are compared exactly: neither a longer name nor another case counts.
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1:8080/s?xstart=10", 0, 0, e));
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1:8080/s?Start=10", 0, 0, e));
  EXPECT_TRUE(IsNextPageLink("http://127.0.0.1:8080/s?xstart=10&start=10", 0, 0, e));
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1:8080/s?", 0, 0, e));
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1:8080/s?start", 0, 0, e));
  EXPECT_FALSE(IsNextPageLink("not a url at all?start=10", 0, 0, e));
}

// An engine whose separator is ';' writes its page links with it; split only
// at '&', "q=x;start=10" would be one pair named "q" and it could never page.
TEST(IsNextPageLinkTest, SplitsAtTheEnginesOwnSeparatorToo) {
  EngineDefinition e = Engine(RELATIVE_0, ";");
  e.resultId = "page";
  EXPECT_TRUE(IsNextPageLink("http://127.0.0.1:8080/s?q=river;page=1", 0, 0, e));
  EXPECT_TRUE(IsNextPageLink("http://127.0.0.1:8080/s?q=river&page=1", 0, 0, e));
  EXPECT_TRUE(IsNextPageLink("http://127.0.0.1:8080/s?a=1&q=river;page=1", 0, 0, e));
  EngineDefinition multi = Engine(RELATIVE_0, "%3B");
  multi.resultId = "page";
  EXPECT_TRUE(IsNextPageLink("http://127.0.0.1:8080/s?q=river%3Bpage=1", 0, 0, multi));
}

TEST(RequestIterationValueTest, FollowsTheTechnique) {
  // pageOffset 20 and pageIndex 2 is the third page of ten results each.
  EXPECT_EQ(RequestIterationValue(Engine(RESULT_PLUS_0), 20, 2), 20);
  EXPECT_EQ(RequestIterationValue(Engine(RESULT_PLUS_1), 20, 2), 21);
  EXPECT_EQ(RequestIterationValue(Engine(RELATIVE_0), 20, 2), 2);
  EXPECT_EQ(RequestIterationValue(Engine(RELATIVE_1), 20, 2), 3);
  EXPECT_EQ(RequestIterationValue(Engine(AUTO_1), 20, 2), 20);
  EXPECT_EQ(RequestIterationValue(Engine(AUTO_2), 0, 0), 0);
}

TEST(SearchRunTest, AutoValidationFollowsTheWeight) {
  EXPECT_EQ(ResolveValidationMode(kValidationAuto, 0), kValidationNone);
  EXPECT_EQ(ResolveValidationMode(kValidationAuto, 1), kValidationNone);
  EXPECT_EQ(ResolveValidationMode(kValidationAuto, 2), kValidationVal);
  EXPECT_EQ(ResolveValidationMode(kValidationAuto, 3), kValidationValRel);
  EXPECT_EQ(ResolveValidationMode(kValidationVal, 9), kValidationVal);
  EXPECT_EQ(ResolveValidationMode(kValidationNone, 9), kValidationNone);
}

TEST(SearchRunTest, StatusTexts) {
  EXPECT_EQ(FormatResultsFound(1), "1 Result Found !");
  EXPECT_EQ(FormatResultsFound(2), "2 Results Found !");
  EXPECT_EQ(FormatResultsFound(0), "0 Results Found !");
  EXPECT_EQ(FormatStatus(kStatusCheckingUrl, "http://a/%s%d", ""), "Checking URL http://a/%s%d...");
  EXPECT_EQ(FormatStatus(kStatusConnecting, "h"), "Connecting to site h...");
}

}  // namespace
}  // namespace trovelane
