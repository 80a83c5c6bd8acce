// The validation modes over a whole search: gone pages and pages that lost
// their words are dropped by VAL and VAL+REL, and VAL+REL drops what scores
// below the minimum relevance.
#include <gtest/gtest.h>

#include <set>

#include "app/settings_file.h"
#include "search/relevance.h"
#include "tests/search/search_fixture.h"

namespace trovelane::testing {
namespace {

using sample::PageState;

class ValidationSearchTest : public SampleSearchTest {
 protected:
  void SetUp() override {
    SampleSearchTest::SetUp();
    Use({"offset0"});
    // One term: a page with it in the title only scores 49, in the first H1
    // only 51, in both 100.
    settings_.search.weights = {49, 51, 0, 0, 0, 0, 0, 0};
    settings_.search.maxRelevance = ComputeMaxRelevance(settings_.search.weights);
    settings_.search.validationMode = kValidationNone;
    ASSERT_TRUE(Search("river"));
    for (const auto& r : events_.results) candidates_.push_back(r.url);
    events_.results.clear();
    ASSERT_EQ(candidates_.size(), 30u);
  }

  const sample::CorpusPage& Page(const std::string& url) const {
    const sample::CorpusPage* page =
        server_.Pages().FindByPath(url.substr(server_.BaseUrl().size()));
    EXPECT_NE(page, nullptr) << url;
    return *page;
  }
  int Score(const std::string& url) const {
    std::optional<SearchExpression> e = ParseExpression("river");
    return ScoreRelevance(e->Root(), Page(url).html, settings_.search);
  }
  std::set<std::string> Listed() const {
    Strings urls = ResultUrls();
    return {urls.begin(), urls.end()};
  }
  using Strings = std::vector<std::string>;

  Strings candidates_;  // what the engine lists, unvalidated
};

TEST_F(ValidationSearchTest, ValDropsGoneAndStalePages) {
  std::set<std::string> live;
  int dead = 0;
  for (const auto& url : candidates_) {
    if (Page(url).state == PageState::kLive) {
      live.insert(url);
    } else {
      ++dead;
    }
  }
  ASSERT_GT(dead, 0) << "the listing holds no gone or stale page";
  settings_.search.validationMode = kValidationVal;
  ASSERT_TRUE(Search("river"));
  EXPECT_EQ(Listed(), live);
  for (const auto& r : events_.results) {
    EXPECT_EQ(r.validated, 1);
    EXPECT_EQ(r.relevance, -1);
  }
}

TEST_F(ValidationSearchTest, ValRelDropsWhatScoresBelowTheMinimum) {
  settings_.search.validationMode = kValidationValRel;
  settings_.search.minRelevancy = 50;
  std::set<std::string> expected;
  int scored49 = 0;
  for (const auto& url : candidates_) {
    if (Page(url).state != PageState::kLive) continue;
    int score = Score(url);
    if (score == 49) ++scored49;
    if (score >= 50) expected.insert(url);
  }
  ASSERT_GT(scored49, 0) << "no listed page scores 49";
  ASSERT_FALSE(expected.empty());
  ASSERT_TRUE(Search("river"));
  EXPECT_EQ(Listed(), expected);
  for (const auto& r : events_.results) {
    EXPECT_EQ(r.relevance, Score(r.url)) << r.url;
    EXPECT_GE(r.relevance, 50);
  }
}

TEST_F(ValidationSearchTest, NoneListsEverythingUnchecked) {
  // Already run in SetUp: every listed page, none validated, no relevance.
  settings_.search.validationMode = kValidationNone;
  ASSERT_TRUE(Search("river"));
  EXPECT_EQ(ResultUrls(), candidates_);
  for (const auto& r : events_.results) {
    EXPECT_EQ(r.validated, 0);
    EXPECT_EQ(r.relevance, -1);
  }
}

}  // namespace
}  // namespace trovelane::testing
