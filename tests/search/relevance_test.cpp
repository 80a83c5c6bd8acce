#include "search/relevance.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "engines/html_scan.h"

namespace trovelane {
namespace {

// Weights in the order Title, Heading 1-4, Font Size 6, Font Size 3, None;
// maxRelevance as the settings keep it: Title plus the largest of the rest.
SearchOptions Weights(std::initializer_list<int16_t> weights) {
  SearchOptions options;
  int i = 0;
  for (int16_t w : weights) options.weights[i++] = w;
  int16_t best = 0;
  for (int k = 1; k < kWeightCount; ++k) best = std::max(best, options.weights[k]);
  options.maxRelevance = static_cast<int16_t>(options.weights[0] + best);
  return options;
}

int Score(const std::string& expression, const std::string& page, const SearchOptions& options) {
  auto parsed = ParseExpression(expression);
  EXPECT_TRUE(parsed.has_value()) << expression;
  return ScoreRelevance(parsed->Root(), page, options);
}

TEST(ScoreRelevanceTest, TitleAndHeadingWeights) {
  const SearchOptions titleOnly = Weights({10});
  EXPECT_EQ(Score("river", "<html><title>River news</title><h1>x</h1>", titleOnly), 100);

  const SearchOptions mixed = Weights({5, 3, 9});
  ASSERT_EQ(mixed.maxRelevance, 14);
  EXPECT_EQ(Score("river", "<TITLE>river</TITLE><h1>river</h1><H2 class=a>the river</H2>", mixed),
            100);
  EXPECT_EQ(Score("river", "<title>river</title><h1>other</h1><h2>other</h2>", mixed), 35);
  // The highest heading weight stays, whatever the order of the levels.
  EXPECT_EQ(Score("river", "<h2>river</h2><h1>river</h1>", mixed), 9 * 100 / 14);

  EXPECT_EQ(Score("river & lantern", "<title>river</title><p>lantern</p>", titleOnly), 50);
}

TEST(ScoreRelevanceTest, OnlyTheFirstElementOfEachHeadingLevelCounts) {
  const SearchOptions options = Weights({0, 10});
  EXPECT_EQ(Score("river", "<h1>harbor</h1><p>text</p><h1>river</h1>", options), 0);
  EXPECT_EQ(Score("river", "<h1>river</h1><h1>harbor</h1>", options), 100);
  EXPECT_EQ(Score("river", "<title>a</title><p>river</p>", options), 0);  // plain text
}

TEST(ScoreRelevanceTest, FontSizesPickTheirWeightAndTheLastFontDecides) {
  const SearchOptions options = Weights({0, 6, 0, 0, 0, 8, 4, 2});
  ASSERT_EQ(options.maxRelevance, 8);
  EXPECT_EQ(Score("river", "<font size=7>river</font>", options), 100);
  EXPECT_EQ(Score("river", "<FONT SIZE=\"4\">river</FONT>", options), 50);
  EXPECT_EQ(Score("river", "<font color=red>river</font>", options), 25);
  EXPECT_EQ(Score("river", "<font size=+6>river</font>", options), 100);  // "+6" reads as 6
  EXPECT_EQ(Score("river", "<font size=-1>river</font>", options), 25);
  // A FONT element overwrites the heading weight, even with a lower one.
  EXPECT_EQ(Score("river", "<h1>river</h1><font>river</font>", options), 25);
  EXPECT_EQ(Score("river", "<font size=7>river</font><font size=1>river</font>", options), 25);
  EXPECT_EQ(Score("river", "<font size=1>river</font><font size=7>river</font>", options), 100);
}

TEST(ScoreRelevanceTest, FontTextRunsToTheFirstClosingTag) {
  const SearchOptions options = Weights({0, 0, 0, 0, 0, 8, 4, 2});
  // The outer element's text ends at the inner "</font>".
  const std::string nested = "<font size=7>river <font size=1>lantern</font> harbor</font>";
  EXPECT_EQ(Score("river", nested, options), 100);
  EXPECT_EQ(Score("lantern", nested, options), 25);
  EXPECT_EQ(Score("harbor", nested, options), 0);
  EXPECT_EQ(Score("river", "<font size=7>river", options), 0);  // never closed
  // Many elements closed late: each runs to the same closing tag.
  std::string many;
  for (int i = 0; i < 2000; ++i) many += "<font size=1>x ";
  EXPECT_EQ(Score("river", many + "<font size=4>river</font>", options), 50);
}

TEST(ScoreRelevanceTest, WordRuleTagTermsAndNegatedTerms) {
  const SearchOptions options = Weights({10});
  EXPECT_EQ(Score("river", "<title>big rivers</title>", options), 0);
  EXPECT_EQ(Score("river", "<title>rivers</title>", options), 100);  // at the start it counts
  EXPECT_EQ(Score("river", "<title>river-side</title>", options), 100);
  EXPECT_EQ(Score("\"big river\"", "<title>The Big River</title>", options), 100);
  // Tag terms are matched, never scored, and do not count.
  EXPECT_EQ(Score("river & 'TITLE,QMINNERTEXT,river'", "<title>river</title>", options), 100);
  // A term the page must not contain neither scores nor counts.
  EXPECT_EQ(Score("river & !lantern", "<title>river</title>", options), 100);
  EXPECT_EQ(Score("river | !lantern", "<title>lantern</title>", options), 0);
}

TEST(ScoreRelevanceTest, AZeroDenominatorGivesZero) {
  EXPECT_EQ(Score("river", "<title>river</title>", Weights({})), 0);
  EXPECT_EQ(Score("'TITLE,QMINNERTEXT,river'", "<title>river</title>", Weights({10})), 0);
  EXPECT_EQ(Score("!river", "<title>river</title>", Weights({10})), 0);
}

TEST(ScoreRelevanceTest, CountersStartAfreshForEachPage) {
  const SearchOptions options = Weights({10});
  auto expression = ParseExpression("river");
  ASSERT_TRUE(expression);
  EXPECT_EQ(ScoreRelevance(expression->Root(), "<title>river</title>", options), 100);
  EXPECT_EQ(ScoreRelevance(expression->Root(), "<title>harbor</title>", options), 0);
}

TEST(AccumulateRelevanceTest, HeadingsOnlyRaiseAndTitleSetsItsOwnCounter) {
  const SearchOptions options = Weights({7, 3, 9});
  auto expression = ParseExpression("river");
  ASSERT_TRUE(expression);
  ExpressionNode& leaf = expression->Root();
  AccumulateRelevance(leaf, 2, "river", 0, options);
  AccumulateRelevance(leaf, 1, "river", 0, options);
  EXPECT_EQ(leaf.textScore, 9);
  AccumulateRelevance(leaf, 0, "a river", 0, options);
  EXPECT_EQ(leaf.titleScore, 7);
  EXPECT_EQ(leaf.textScore, 9);
  AccumulateRelevance(leaf, 5, "nothing", 7, options);  // not there: unchanged
  EXPECT_EQ(leaf.textScore, 9);
}

// FONT elements scored through remembered searches against each element
// read alone (FindTagEnd, the first "</FONT" after it, its SIZE attribute),
// over nested, unclosed and never-ending tags.
TEST(ScoreRelevanceTest, FontElementsAgreeWithEachElementReadAlone) {
  const SearchOptions options = Weights({1, 0, 0, 0, 0, 7, 5, 3});
  auto reference = [&](ExpressionNode& root, std::string_view page) {
    for (std::size_t from = 0;;) {
      const std::size_t found = FindNoCase(page.substr(from), "<FONT");
      if (found == kNotFound) return;
      const std::size_t at = from + found;
      from = at + 5;
      const std::size_t tagEnd = FindTagEnd(page.substr(at));
      if (tagEnd == kNotFound) continue;
      const std::string_view inner = page.substr(at + tagEnd + 1);
      const std::size_t close = FindNoCase(inner, "</FONT");
      if (close == kNotFound) return;
      int size = 0;
      std::string name, value;
      for (std::size_t pos = at + 5;;) {
        std::size_t next = pos;
        while (next < page.size() && IsAsciiBlank(page[next])) ++next;
        if (next < page.size() && (page[next] == '>' || page[next] == '<')) break;
        const std::size_t used = ParseTagAttribute(page.substr(next), name, value);
        if (used == 0) break;
        pos = next + used;
        if (EqualsNoCase(name, "size")) {
          size = std::atoi(value.c_str());
          break;
        }
      }
      AccumulateRelevance(root, kRelevanceFont, inner.substr(0, close), size, options);
    }
  };
  auto counters = [](ExpressionNode& root) {
    std::string out;
    std::vector<ExpressionNode*> pending{&root};
    while (!pending.empty()) {
      ExpressionNode* node = pending.back();
      pending.pop_back();
      if (node->IsLeaf()) out += std::to_string(node->textScore) + ",";
      if (node->left) pending.push_back(node->left.get());
      if (node->right) pending.push_back(node->right.get());
    }
    return out;
  };
  const char* pieces[] = {"<font", "<FONT ", "size=", "7", "3", "\"", ">", "</font>", "</FONT",
                          "cat", "dog", " ", "cats", "<", "x"};
  std::mt19937 random(9);
  for (int round = 0; round < 4000; ++round) {
    std::string page;
    for (int n = random() % 24; n > 0; --n) page += pieces[random() % std::size(pieces)];
    auto scored = ParseExpression("cat | dog");
    auto expected = ParseExpression("cat | dog");
    ScoreRelevance(scored->Root(), page, options);
    reference(expected->Root(), page);
    ASSERT_EQ(counters(scored->Root()), counters(expected->Root())) << page;
  }
}

}  // namespace
}  // namespace trovelane
