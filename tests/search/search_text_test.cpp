#include "search/search_text.h"

#include <gtest/gtest.h>

#include <string>

namespace trovelane {
namespace {

constexpr int kDefaultAnd = 0;
constexpr int kDefaultOr = 1;

SearchExpression Parse(std::string_view text) {
  auto expression = ParseExpression(text);
  EXPECT_TRUE(expression) << text;
  return expression ? std::move(*expression) : SearchExpression(std::make_unique<ExpressionNode>());
}

std::string Plain(std::string_view text, std::string_view separator = " ") {
  return RenderPlain(Parse(text).Root(), separator);
}

std::string WithOperators(std::string_view text, std::string_view andText, std::string_view orText,
                          std::string_view notText, std::string_view exactText) {
  return RenderWithOperators(Parse(text).Root(), andText, orText, notText, exactText);
}

TEST(NormalizeSearchTextTest, BlanksBecomeTheDefaultOperator) {
  EXPECT_EQ(NormalizeSearchText("a b c", kDefaultAnd), "a&b&c");
  EXPECT_EQ(NormalizeSearchText("a b c", kDefaultOr), "a|b|c");
  EXPECT_EQ(NormalizeSearchText("a \t\r\n b", kDefaultAnd), "a&b");
  EXPECT_EQ(NormalizeSearchText("a b", -1), "a&b");
  EXPECT_EQ(NormalizeSearchText("a  ", kDefaultAnd), "a");
  EXPECT_EQ(NormalizeSearchText("", kDefaultAnd), "");
}

TEST(NormalizeSearchTextTest, BlanksNextToOperatorsAreKept) {
  EXPECT_EQ(NormalizeSearchText("a  (b | c)", kDefaultAnd), "a  (b | c)");
  EXPECT_EQ(NormalizeSearchText("(a b) c", kDefaultAnd), "(a&b) c");
  EXPECT_EQ(NormalizeSearchText("a ! b", kDefaultAnd), "a ! b");
  EXPECT_EQ(NormalizeSearchText("a !b", kDefaultAnd), "a !b");
  EXPECT_EQ(NormalizeSearchText("! a", kDefaultAnd), "! a");
}

TEST(NormalizeSearchTextTest, QuotedStretchesAreCopied) {
  EXPECT_EQ(NormalizeSearchText("\"big  cat\" dog", kDefaultAnd), "\"big  cat\"&dog");
  EXPECT_EQ(NormalizeSearchText("x 'TITLE,QMINNERTEXT,a b'", kDefaultOr),
            "x|'TITLE,QMINNERTEXT,a b'");
  EXPECT_EQ(NormalizeSearchText("don't stop", kDefaultAnd), "don't stop");  // open to the end
  EXPECT_EQ(NormalizeSearchText("a \"b c", kDefaultAnd), "a&\"b c");
}

TEST(NormalizeSearchTextTest, ResultParses) {
  const auto expression = ParseExpression(NormalizeSearchText("\"big cat\" dog | (x y)", 0));
  ASSERT_TRUE(expression);
  EXPECT_EQ(RenderPlain(expression->Root(), "_"), "big cat_dog_x_y");
}

TEST(RenderPlainTest, SendableTermsOnly) {
  EXPECT_EQ(Plain("cat"), "cat");
  EXPECT_EQ(Plain("\"big cat\" & !dog | x", "_"), "big cat_dog_x");
  EXPECT_EQ(Plain("'QMNOSEND,TITLE,QMINNERTEXT,x' & cat"), "cat");
  EXPECT_EQ(Plain("cat & 'QMNOSEND,TITLE,QMINNERTEXT,x'", "_"), "cat_");  // separator stays
  EXPECT_EQ(Plain("'TITLE,QMINNERTEXT,offer' & cat"), "offer cat");
  EXPECT_EQ(Plain("'QMNOSEND,A,HREF,x' | 'QMNOSEND,B,QMINNERTEXT,y'"), "");
}

TEST(RenderWithOperatorsTest, OperatorSpellings) {
  EXPECT_EQ(WithOperators("x & y", "AND", "OR", "NOT", "\""), "x AND y");
  EXPECT_EQ(WithOperators("x & y", "+", "|", "-", "\""), "x+y");
  EXPECT_EQ(WithOperators("x | y", "+", "", "-", "\""), "x y");
  EXPECT_EQ(WithOperators("x | y & z", "+AND+", "+OR+", "-", "\""), "x+OR+y+AND+z");
  EXPECT_EQ(WithOperators("x & (y | z)", " ", "OR", "-", "\""), "x y OR z");
}

TEST(RenderWithOperatorsTest, NegationAndPhrases) {
  EXPECT_EQ(WithOperators("!\"big cat\"", "+", "|", "-", "%22"), "-%22big cat%22");
  EXPECT_EQ(WithOperators("x & !y", "AND", "OR", "NOT", "\""), "x AND NOT y");
  EXPECT_EQ(WithOperators("!(x | y)", "AND", "OR", "NOT", "\""), "NOT x AND NOT y");
  EXPECT_EQ(WithOperators("'A,HREF,a b'", "+", "|", "-", "\""), "\"a b\"");  // tag value as phrase
}

TEST(RenderWithOperatorsTest, TermsNotSentLeaveNoOperatorBehind) {
  const std::string hidden = "'QMNOSEND,TITLE,QMINNERTEXT,x'";
  EXPECT_EQ(WithOperators(hidden, "AND", "OR", "NOT", "\""), "");
  EXPECT_EQ(WithOperators("cat & " + hidden, "AND", "OR", "NOT", "\""), "cat");
  EXPECT_EQ(WithOperators(hidden + " | cat", "AND", "OR", "NOT", "\""), "cat");
  // A group of held-back terms counts as held back as a whole.
  EXPECT_EQ(WithOperators("(" + hidden + " | " + hidden + ") & cat", "AND", "OR", "NOT", "\""),
            "cat");
}

}  // namespace
}  // namespace trovelane
