#include "engines/search_expression.h"

#include <gtest/gtest.h>

#include <string>

namespace trovelane {
namespace {

using namespace std::string_literals;

// One line per tree: (left & right), !term, "phrase", <tag.property=value>,
// and a leading ~ for a term that is not sent.
std::string Show(const ExpressionNode& node) {
  if (!node.IsLeaf()) {
    return "(" + Show(*node.left) + " " + node.op + " " + Show(*node.right) + ")";
  }
  std::string out = node.sendable ? "" : "~";
  if (node.negated) out += "!";
  if (node.IsTagTerm()) return out + "<" + *node.tag + "." + *node.property + "=" + node.term + ">";
  return out + (node.exact ? "\"" + node.term + "\"" : node.term);
}

std::string Parsed(std::string_view text) {
  const auto expression = ParseExpression(text);
  return expression ? Show(expression->Root()) : "invalid";
}

// Parent links must lead back to the root from every node.
void ExpectParentsConsistent(const ExpressionNode& node) {
  for (const ExpressionNode* child : {node.left.get(), node.right.get()}) {
    if (child == nullptr) continue;
    EXPECT_EQ(child->parent, &node);
    ExpectParentsConsistent(*child);
  }
}

TEST(ParseExpressionTest, TermsAndPhrases) {
  EXPECT_EQ(Parsed("cat"), "cat");
  EXPECT_EQ(Parsed("  cat\t"), "cat");
  EXPECT_EQ(Parsed("\"big cat\""), "\"big cat\"");
  EXPECT_EQ(Parsed("\"big cat\"&dog"), "(\"big cat\" & dog)");
  EXPECT_EQ(Parsed("a&b|c"), "((a & b) | c)");
  EXPECT_EQ(Parsed("caf\xc3\xa9&na\0ve"s), "(caf\xc3\xa9 & na\0ve)"s);
  EXPECT_EQ(Parsed("don\"t\""), "don\"t\"");  // a quote inside a word joins the word
}

TEST(ParseExpressionTest, PhraseFlagsAndTermText) {
  const auto expression = ParseExpression("\"big cat\"");
  ASSERT_TRUE(expression);
  EXPECT_TRUE(expression->Root().exact);
  EXPECT_TRUE(expression->Root().sendable);
  EXPECT_EQ(expression->Root().term, "big cat");
  EXPECT_FALSE(ParseExpression("cat")->Root().exact);
}

TEST(ParseExpressionTest, PrecedenceAndGrouping) {
  EXPECT_EQ(Parsed("a | b & c"), "((a | b) & c)");
  EXPECT_EQ(Parsed("a & (b | c)"), "(a & (b | c))");
  EXPECT_EQ(Parsed("(a & b) | (c & d)"), "((a & b) | (c & d))");
  EXPECT_EQ(Parsed("a & b & c & d"), "(((a & b) & c) & d)");
  EXPECT_EQ(Parsed("((a))"), "a");
  EXPECT_EQ(Parsed("!a & b"), "(!a & b)");
  EXPECT_EQ(Parsed("a & !b"), "(a & !b)");
  EXPECT_EQ(Parsed("a&b)"), "(a & b)");  // a ")" without "(" is accepted
}

TEST(ParseExpressionTest, NegationIsPushedToTheLeaves) {
  EXPECT_EQ(Parsed("!(a | b)"), "(!a & !b)");
  EXPECT_EQ(Parsed("!(a & !b)"), "(!a | b)");
  EXPECT_EQ(Parsed("!!a"), "a");
  EXPECT_EQ(Parsed("!!!a"), "!a");
  EXPECT_EQ(Parsed("!(a | !(b & c))"), "(!a & (b & c))");
  const auto expression = ParseExpression("!(a | (b & !c))");
  ASSERT_TRUE(expression);
  EXPECT_FALSE(expression->Root().negated);
  EXPECT_FALSE(expression->Root().right->negated);  // operator nodes carry no negation
  ExpectParentsConsistent(expression->Root());
}

TEST(ParseExpressionTest, TagTerms) {
  EXPECT_EQ(Parsed("'TITLE,QMINNERTEXT,offer'"), "<TITLE.QMINNERTEXT=offer>");
  EXPECT_EQ(Parsed("'qmnosend,TITLE,QMINNERTEXT,offer'"), "~<TITLE.QMINNERTEXT=offer>");
  // Only the fourth field keeps commas; a third field ends at one.
  EXPECT_EQ(Parsed("'QMNOSEND,A,HREF,x,y'"), "~<A.HREF=x,y>");
  EXPECT_EQ(Parsed("'A,HREF,x,y'"), "<A.HREF=x>");
  EXPECT_EQ(Parsed("cat & !'METANAME,keywords,travel'"), "(cat & !<METANAME.keywords=travel>)");

  const auto expression = ParseExpression("'A,HREF,x'");
  ASSERT_TRUE(expression);
  EXPECT_TRUE(expression->Root().exact);
  EXPECT_TRUE(expression->Root().sendable);
  EXPECT_FALSE(ParseExpression("cat")->Root().IsTagTerm());
}

TEST(ParseExpressionTest, InvalidForms) {
  for (const std::string& text : {""s,
                                  "   "s,
                                  "!"s,
                                  "&"s,
                                  "a &"s,
                                  "& a"s,
                                  "a | | b"s,
                                  "a b"s,
                                  "a ! b"s,
                                  "(a"s,
                                  "(a & b"s,
                                  "()"s,
                                  "\"open"s,
                                  "don't"s,
                                  "\"a\"b"s,
                                  "\"\""s,
                                  "a & \"\""s,
                                  "'A,HREF'"s,
                                  "',HREF,x'"s,
                                  "'A,,x'"s,
                                  "'A'"s,
                                  "''"s,
                                  "'QMNOSEND,A,HREF'"s,
                                  "'QMNOSEND'"s,
                                  "a (b)"s,
                                  "(a)(b)"s,
                                  "a&"s}) {
    EXPECT_FALSE(ParseExpression(text)) << "accepted: " << text;
  }
}

TEST(ParseExpressionTest, LengthLimit) {
  std::string text = "a";
  while (text.size() + 2 <= kMaxExpressionLength) text += "&a";
  ASSERT_LE(text.size(), kMaxExpressionLength);
  EXPECT_TRUE(ParseExpression(text));
  EXPECT_FALSE(ParseExpression(text + "&a"));
  EXPECT_FALSE(ParseExpression(std::string(1 << 20, '(')));
  EXPECT_FALSE(ParseExpression(std::string(kMaxExpressionLength + 1, 'x')));
}

TEST(ParseExpressionTest, ArbitraryBytesNeverCrash) {
  // Every short string over an alphabet of the syntax's special characters.
  const std::string alphabet = "a!&|()\"' ,\0"s;
  std::string text;
  std::size_t accepted = 0;
  for (int length = 1; length <= 5; ++length) {
    std::size_t count = 1;
    for (int i = 0; i < length; ++i) count *= alphabet.size();
    for (std::size_t n = 0; n < count; ++n) {
      text.clear();
      for (std::size_t k = n, i = 0; i < static_cast<std::size_t>(length); ++i) {
        text += alphabet[k % alphabet.size()];
        k /= alphabet.size();
      }
      if (const auto expression = ParseExpression(text)) {
        ++accepted;
        ExpectParentsConsistent(expression->Root());
      }
    }
  }
  EXPECT_GT(accepted, 0u);
}

TEST(SearchExpressionTest, CopyIsDeepAndKeepsState) {
  auto original = ParseExpression("a & ('TITLE,QMINNERTEXT,x' | !b)");
  ASSERT_TRUE(original);
  original->Root().right->right->seen = true;
  SearchExpression copy = *original;
  EXPECT_EQ(Show(copy.Root()), Show(original->Root()));
  EXPECT_TRUE(copy.Root().right->right->seen);
  EXPECT_EQ(copy.Root().parent, nullptr);
  ExpectParentsConsistent(copy.Root());

  copy.Root().left->term = "changed";
  EXPECT_EQ(original->Root().left->term, "a");
  copy = *ParseExpression("z");
  EXPECT_EQ(Show(copy.Root()), "z");
  EXPECT_EQ(Show(original->Root()), "(a & (<TITLE.QMINNERTEXT=x> | !b))");
}

TEST(ExpressionWeightTest, CountsOperatorsAndTagTerms) {
  auto weight = [](std::string_view text) {
    return ExpressionWeight(ParseExpression(text)->Root());
  };
  EXPECT_EQ(weight("a"), 0);
  EXPECT_EQ(weight("a & b"), 2);
  EXPECT_EQ(weight("a & b & c"), 4);
  EXPECT_EQ(weight("!(a | b)"), 2);
  EXPECT_EQ(weight("'TITLE,QMINNERTEXT,x'"), 2);
  EXPECT_EQ(weight("a & 'TITLE,QMINNERTEXT,x'"), 1 + 4);
  EXPECT_EQ(weight("(a | b) & (c | d)"), 3 + 3);
}

}  // namespace
}  // namespace trovelane
