// The next-page recognition, the iteration values and the small pieces of a
// search run that need no server.
#include "search/engine_loop.h"

#include <gtest/gtest.h>

#include <climits>

#include "search/request_builder.h"
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

TEST(IterationValueTest, FollowsTheTechniqueAndNeverOverflows) {
  // Page 2 of ten results each is the third page.
  EXPECT_EQ(IterationValue(Engine(RESULT_PLUS_0), 2), 20);
  EXPECT_EQ(IterationValue(Engine(RESULT_PLUS_1), 2), 21);
  EXPECT_EQ(IterationValue(Engine(RELATIVE_0), 2), 2);
  EXPECT_EQ(IterationValue(Engine(RELATIVE_1), 2), 3);
  EXPECT_EQ(IterationValue(Engine(AUTO_1), 2), 20);
  EXPECT_EQ(IterationValue(Engine(AUTO_2), 0), 0);

  // RES = INT_MAX: the second page's offset and count clamp instead of
  // wrapping to a negative start value.
  EngineDefinition huge = Engine(RESULT_PLUS_1);
  huge.resultsPerPage = INT_MAX;
  EXPECT_EQ(IterationValue(huge, 1), INT_MAX);
  EXPECT_EQ(PageOffset(huge, 1), INT_MAX);
  EXPECT_EQ(PageOffset(huge, INT_MAX), INT_MAX);
  EXPECT_EQ(IterationValue(Engine(RELATIVE_1), INT_MAX), INT_MAX);
  EXPECT_FALSE(IsNextPageLink("http://127.0.0.1:8080/find/search?start=1", INT_MAX, 1, huge));
}

TEST(CheckPagingTest, NumberedTechniquesNeedResultsPerPage) {
  for (int technique : {RESULT_PLUS_0, RESULT_PLUS_1, RELATIVE_0, RELATIVE_1}) {
    EngineDefinition e = Engine(technique);
    EXPECT_EQ(CheckPaging(e), Status::Ok());
    e.name = "Zero";
    e.resultsPerPage = 0;
    EXPECT_NE(CheckPaging(e).message().find("\"Default No. of Results\" is 0"), std::string::npos);
    e.resultsPerPage = -5;
    EXPECT_EQ(CheckPaging(e).code(), Status::Code::kInvalidArgument);
  }
  EngineDefinition automatic = Engine(AUTO_1);
  automatic.resultsPerPage = 0;
  EXPECT_EQ(CheckPaging(automatic), Status::Ok());
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
