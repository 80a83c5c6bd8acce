#include "engines/expression_match.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "engines/html_scan.h"

namespace trovelane {
namespace {

// Accumulates the whole text at once and gives the final result.
bool PageMatches(std::string_view expressionText, std::string_view page) {
  auto expression = ParseExpression(expressionText);
  EXPECT_TRUE(expression) << expressionText;
  if (!expression) return false;
  ResetMatches(expression->Root());
  AccumulateMatches(expression->Root(), page);
  return FinalMatch(expression->Root());
}

TEST(WordRuleTest, FirstOccurrenceMustEndAWord) {
  EXPECT_TRUE(PageMatches("cat", "Cat food"));
  EXPECT_TRUE(PageMatches("cat", "I saw the cat."));
  EXPECT_TRUE(PageMatches("cat", "the cat"));
  EXPECT_TRUE(PageMatches("cat", "bobcat runs"));         // what stands before is not tested
  EXPECT_FALSE(PageMatches("cat", "a category of cat"));  // only the first occurrence counts
  EXPECT_TRUE(PageMatches("cat", "category of cat"));     // except at the very start
  EXPECT_FALSE(PageMatches("cat", "the cats? a cat9"));
  EXPECT_TRUE(PageMatches("cat", "a cat\xc3\xa9"));  // bytes above ASCII are no letters
  EXPECT_TRUE(PageMatches("\"big cat\"", "a BIG CAT!"));
  EXPECT_FALSE(PageMatches("cat", ""));
}

TEST(WordRuleTest, OperatorsCombineAndEvaluateBothSides) {
  EXPECT_TRUE(PageMatches("cat & dog", "dog and cat"));
  EXPECT_FALSE(PageMatches("cat & dog", "dog only"));
  EXPECT_TRUE(PageMatches("cat | dog", "dog only"));

  auto expression = ParseExpression("cat | dog");
  ASSERT_TRUE(expression);
  AccumulateMatches(expression->Root(), "cat and dog");
  EXPECT_TRUE(expression->Root().left->matched);
  EXPECT_TRUE(expression->Root().right->matched);  // no short cut
}

TEST(AccumulateTest, PiecesKeepWhatWasFound) {
  auto expression = ParseExpression("cat & dog");
  ASSERT_TRUE(expression);
  ExpressionNode& root = expression->Root();
  AccumulateMatches(root, "a cat here");
  EXPECT_FALSE(root.matched);
  AccumulateMatches(root, "no pets");
  AccumulateMatches(root, "a dog there");
  EXPECT_TRUE(root.matched);
  EXPECT_TRUE(FinalMatch(root));

  ResetMatches(root);
  EXPECT_FALSE(root.matched);
  EXPECT_FALSE(root.left->matched);
  EXPECT_FALSE(FinalMatch(root));
}

TEST(NegationTest, SeenVersusMatched) {
  auto expression = ParseExpression("cat & !dog");
  ASSERT_TRUE(expression);
  ExpressionNode& root = expression->Root();
  ExpressionNode& dog = *root.right;

  AccumulateMatches(root, "a cat");
  EXPECT_FALSE(dog.matched);
  EXPECT_FALSE(dog.seen);
  EXPECT_FALSE(root.matched);  // the positive result never counts a negated term
  EXPECT_TRUE(FinalMatch(root));

  AccumulateMatches(root, "a dog");
  EXPECT_TRUE(dog.seen);
  EXPECT_FALSE(dog.matched);
  EXPECT_FALSE(FinalMatch(root));

  EXPECT_FALSE(MatchExpression(root, "a cat"));  // a negated leaf gives 0 here
  EXPECT_TRUE(PageMatches("!(cat | dog)", "a bird"));
  EXPECT_FALSE(PageMatches("!(cat | dog)", "a bird and a dog"));
  EXPECT_TRUE(PageMatches("!dog | cat", "dog and cat"));
}

TEST(TagTermTest, InnerText) {
  const std::string page = "<html><TITLE>Special Offer today</TITLE><b>x</b></html>";
  EXPECT_TRUE(PageMatches("'QMNOSEND,TITLE,QMINNERTEXT,offer'", page));
  // A value expression gives its positive result: a negated term never counts.
  EXPECT_FALSE(PageMatches("'TITLE,QMINNERTEXT,today & !gift'", page));
  EXPECT_TRUE(PageMatches("'TITLE,QMINNERTEXT,\"offer today\"'", page));
  EXPECT_FALSE(PageMatches("'TITLE,QMINNERTEXT,x'", page));
  EXPECT_TRUE(PageMatches("'B,QMINNERTEXT,x'", page));
  // A tag name also matches longer names that begin with it, closing tags too.
  EXPECT_TRUE(PageMatches("'B,QMINNERTEXT,x'", "<body>x</body>"));
  // A later occurrence of the tag may satisfy the term.
  EXPECT_TRUE(PageMatches("'B,QMINNERTEXT,two'", "<b>one</b> <b>two</b>"));
  // Unparsable value: a plain search whose occurrence must not touch letters.
  EXPECT_TRUE(PageMatches("'B,QMINNERTEXT,a b'", "<b>-a b-</b>"));
  EXPECT_FALSE(PageMatches("'B,QMINNERTEXT,a b'", "<b>xa b</b>"));
  EXPECT_FALSE(PageMatches("'B,QMINNERTEXT,a b'", "<b>a bx</b>"));
  EXPECT_TRUE(PageMatches("'B,QMINNERTEXT,a b'", "<b>a b</b>"));
  // Unclosed and unterminated tags do not count.
  EXPECT_FALSE(PageMatches("'TITLE,QMINNERTEXT,offer'", "<TITLE>offer"));
  EXPECT_FALSE(PageMatches("'TITLE,QMINNERTEXT,offer'", "<TITLE offer"));
  EXPECT_TRUE(PageMatches("'title,qminnertext,offer'", page));
}

// Inner-text terms against the plain reading: each occurrence's GetInnerText
// tested on its own, over overlapping and unclosed tags.
TEST(TagTermTest, InnerTextAgreesWithEachTagReadAlone) {
  auto reference = [](std::string_view page, std::string_view value) {
    auto valueExpression = ParseExpression(value);
    for (std::size_t from = 0;;) {
      const std::size_t found = FindNoCase(page.substr(from), "<b");
      if (found == kNotFound) return false;
      const std::size_t at = from + found;
      from = at + 1;
      const auto inner = GetInnerText(page.substr(at), "b");
      if (!inner) continue;
      if (valueExpression) {
        if (MatchExpression(valueExpression->Root(), *inner)) return true;
        continue;
      }
      const std::size_t pos = FindNoCase(*inner, value);
      if (pos == kNotFound || (pos > 0 && IsAsciiLetter((*inner)[pos - 1]))) continue;
      const std::size_t after = pos + value.size();
      if (after == inner->size() || !IsAsciiLetter((*inner)[after])) return true;
    }
  };
  const char* pieces[] = {"<b>", "</b>", "<br>", "<b \">\">", "a",      "b",
                          "ab",  "A",    " ",    "1",         "</body>"};
  const char* values[] = {"a", "ab", "a & !b", "b | ba", "\"a b\"", "a b", "a1"};
  std::mt19937 random(5);
  for (int round = 0; round < 4000; ++round) {
    std::string page;
    for (int n = random() % 16; n > 0; --n) page += pieces[random() % std::size(pieces)];
    for (const char* value : values) {
      const std::string term = std::string("'B,QMINNERTEXT,") + value + "'";
      ASSERT_EQ(PageMatches(term, page), reference(page, value)) << term << " on " << page;
    }
  }
}

// Each attribute of a tag read on its own with ParseTagAttribute, as a
// plain reading of the tag would; stops where AnyTagAttribute stops.
template <typename Visit>
bool EachAttributeAlone(std::string_view page, std::size_t from, Visit visit) {
  std::string name, value;
  for (;;) {
    while (from < page.size() && IsAsciiBlank(page[from])) ++from;
    if (from < page.size() && (page[from] == '>' || page[from] == '<')) return false;
    const std::size_t used = ParseTagAttribute(page.substr(from), name, value);
    if (used == 0) return false;
    from += used;
    if (visit(name, value)) return true;
  }
}

// Attribute and META terms against that plain reading, with each value
// copied out and matched alone, over tags that never end and values that
// run on to the end of the page.
TEST(TagTermTest, AttributeAndMetaTermsAgreeWithEachTagReadAlone) {
  auto valueSatisfies = [](std::string_view term, const std::string& value) {
    auto valueExpression = ParseExpression(term);
    return valueExpression ? MatchExpression(valueExpression->Root(), value)
                           : EqualsNoCase(value, term);
  };
  auto attribute = [&](std::string_view page, std::string_view tag, std::string_view property,
                       std::string_view term) {
    const std::string open = "<" + std::string(tag);
    for (std::size_t from = 0;;) {
      const std::size_t found = FindNoCase(page.substr(from), open);
      if (found == kNotFound) return false;
      const std::size_t at = from + found;
      from = at + 1;
      if (EachAttributeAlone(page, at + open.size(), [&](const std::string& n, const std::string& v) {
            return EqualsNoCase(n, property) && valueSatisfies(term, v);
          })) {
        return true;
      }
    }
  };
  auto meta = [&](std::string_view page, std::string_view property, std::string_view term) {
    for (std::size_t from = 0;;) {
      const std::size_t found = FindNoCase(page.substr(from), "<META");
      if (found == kNotFound) return false;
      const std::size_t at = from + found;
      from = at + 1;
      bool keySeen = false;
      bool decided = false;
      EachAttributeAlone(page, at + 5, [&](const std::string& n, const std::string& v) {
        if (!keySeen) {
          keySeen = EqualsNoCase(n, "NAME") && EqualsNoCase(v, property);
          return false;
        }
        if (!EqualsNoCase(n, "content")) return false;
        decided = valueSatisfies(term, v);
        return true;
      });
      if (decided) return true;
    }
  };
  const char* pieces[] = {"<a", "<A ", "<Ax", "href", "=", "\"", ">", " ", "x", "kw",
                          "<meta", "name=kw ", "content=", "go", "go1", "<", "\t"};
  const char* terms[] = {"go", "go & !x", "x | go1", "\"go x\"", "a b"};
  std::mt19937 random(11);
  for (int round = 0; round < 3000; ++round) {
    std::string page;
    for (int n = random() % 24; n > 0; --n) page += pieces[random() % std::size(pieces)];
    for (const char* term : terms) {
      const std::string a = std::string("'A,HREF,") + term + "'";
      ASSERT_EQ(PageMatches(a, page), attribute(page, "A", "HREF", term)) << a << " on " << page;
      const std::string m = std::string("'METANAME,kw,") + term + "'";
      ASSERT_EQ(PageMatches(m, page), meta(page, "kw", term)) << m << " on " << page;
    }
  }
}

TEST(TagTermTest, Attribute) {
  const std::string page = "<img src=cat.gif><A class=x HREF=\"http://travel.example/\">go</A>";
  EXPECT_TRUE(PageMatches("'A,HREF,travel'", page));
  EXPECT_TRUE(PageMatches("'a,href,http://travel.example/'", page));
  EXPECT_FALSE(PageMatches("'A,HREF,flights'", page));
  EXPECT_FALSE(PageMatches("'A,SRC,cat'", page));
  EXPECT_TRUE(PageMatches("'IMG,SRC,cat'", page));
  // Unparsable value: the attribute must equal it.
  EXPECT_TRUE(PageMatches("'A,TITLE,a b'", "<a title=\"A B\">"));
  EXPECT_FALSE(PageMatches("'A,TITLE,a b'", "<a title=\"a b c\">"));
  // Text after the tag is not read as its attributes.
  EXPECT_FALSE(PageMatches("'A,WIDTH,5'", "<a href=x>=y width=5>"));
  // A bare attribute ends the reading of a tag.
  EXPECT_FALSE(PageMatches("'INPUT,VALUE,q'", "<input checked value=q>"));
  EXPECT_TRUE(PageMatches("'INPUT,VALUE,q'", "<input checked value=x> <input value=q>"));
}

TEST(TagTermTest, MetaFields) {
  const std::string page =
      "<meta name=\"description\" content=\"about travel\">"
      "<META NAME=\"keywords\" CONTENT=\"cheap travel, flights\">"
      "<meta http-equiv=refresh content=\"5\">";
  EXPECT_TRUE(PageMatches("'METANAME,keywords,travel'", page));
  EXPECT_TRUE(PageMatches("'METANAME,KEYWORDS,flights & cheap'", page));
  EXPECT_FALSE(PageMatches("'METANAME,keywords,about'", page));
  EXPECT_TRUE(PageMatches("'METAEQUIV,refresh,5'", page));
  EXPECT_FALSE(PageMatches("'METAEQUIV,keywords,travel'", page));
  // The content must come after the key pair within the same tag.
  EXPECT_FALSE(
      PageMatches("'METANAME,keywords,travel'", "<meta content=\"travel\" name=\"keywords\">"));
  EXPECT_FALSE(PageMatches("'METANAME,keywords,travel'",
                           "<meta name=\"keywords\"><meta content=\"travel\">"));
  // Unparsable value: equality in any case.
  EXPECT_TRUE(PageMatches("'METANAME,author,a b'", "<meta name=author content=\"A B\">"));
  EXPECT_FALSE(PageMatches("'METANAME,author,a b'", "<meta name=author content=\"A B C\">"));
}

TEST(TagTermTest, NegatedTagTerm) {
  const std::string page = "<title>cheap offer</title>";
  EXPECT_FALSE(PageMatches("cheap & !'TITLE,QMINNERTEXT,offer'", page));
  EXPECT_TRUE(PageMatches("cheap & !'TITLE,QMINNERTEXT,gift'", page));
}

TEST(MalformedHtmlTest, TruncatedPagesNeverFail) {
  const std::string page =
      "<html><head><meta name=\"keywords\" content=\"a b\"><title>The offer</title>"
      "<a href=\"http://x/\" title=x>link</a><b>bold</b></html>";
  const char* expressions[] = {"'TITLE,QMINNERTEXT,offer'", "'METANAME,keywords,a'", "'A,HREF,x'",
                               "'B,QMINNERTEXT,bold'", "offer & !bold"};
  for (const char* text : expressions) {
    auto expression = ParseExpression(text);
    ASSERT_TRUE(expression) << text;
    for (std::size_t cut = 0; cut <= page.size(); ++cut) {
      // An exact-size copy, so that reading past the end is caught by ASan.
      std::unique_ptr<char[]> piece(new char[cut + 1]);
      page.copy(piece.get(), cut);
      MatchExpression(expression->Root(), std::string_view(piece.get(), cut));
      FinalMatch(expression->Root());
    }
  }
}

TEST(MalformedHtmlTest, RandomMarkupNeverFails) {
  const std::string alphabet = "<>/=\" \tabtAB,";
  const char* expressions[] = {"'A,B,a'", "'B,QMINNERTEXT,a'", "'METANAME,a,b'",
                               "'METAEQUIV,a,a b'", "'A,B,a b' | !'B,QMINNERTEXT,t a'"};
  std::mt19937 random(11);
  for (int round = 0; round < 3000; ++round) {
    const std::size_t size = random() % 64;
    std::unique_ptr<char[]> page(new char[size + 1]);
    for (std::size_t i = 0; i < size; ++i) page[i] = alphabet[random() % alphabet.size()];
    for (const char* text : expressions) {
      auto expression = ParseExpression(text);
      ASSERT_TRUE(expression) << text;
      MatchExpression(expression->Root(), std::string_view(page.get(), size));
      FinalMatch(expression->Root());
    }
  }
}

}  // namespace
}  // namespace trovelane
