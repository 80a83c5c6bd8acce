#include "engines/html_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace trovelane {
namespace {

using namespace std::string_literals;

TEST(FindNoCaseTest, FoldsAsciiLettersOnly) {
  EXPECT_EQ(FindNoCase("<p><a href=x>", "<A"), 3u);
  EXPECT_EQ(FindNoCase("xxTiTlE", "title"), 2u);
  EXPECT_EQ(FindNoCase("[{", "{"), 1u);  // '[' is not the upper case of '{'
  EXPECT_EQ(FindNoCase("@`", "`"), 1u);
  EXPECT_EQ(FindNoCase("\xe9t\xc9", "\xc9"), 2u);  // bytes above ASCII compare exactly
  EXPECT_EQ(FindNoCase("abc", "abcd"), kNotFound);
  EXPECT_EQ(FindNoCase("abc", "bd"), kNotFound);
}

TEST(FindNoCaseTest, EmptyPatternAndEmptyText) {
  EXPECT_EQ(FindNoCase("abc", ""), 0u);
  EXPECT_EQ(FindNoCase("", ""), 0u);
  EXPECT_EQ(FindNoCase("", "a"), kNotFound);
}

TEST(FindNoCaseTest, FindsTheFirstOfMixedCaseCandidates) {
  // Both spellings of the first letter occur many times before the match.
  const std::string text = "tTtTtTtTxTeSt tesT";
  EXPECT_EQ(FindNoCase(text, "test"), 9u);
  EXPECT_EQ(FindNoCase("aaaaab", "AAB"), 3u);
  EXPECT_EQ(FindNoCase("xyz\0Abc"s, "aBC"), 4u);  // a NUL byte is an ordinary byte
  EXPECT_EQ(FindNoCase("ab", "b"), 1u);           // a match at the very end
  // Far from the start, with the other spelling of the letter absent.
  EXPECT_EQ(FindNoCase(std::string(100000, 'x') + "Zebra", "zEBRA"), 100000u);
}

TEST(FindNoCaseTest, AgreesWithAPlainScan) {
  auto plain = [](std::string_view text, std::string_view pattern) -> std::size_t {
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    for (std::size_t start = 0; start + pattern.size() <= text.size(); ++start) {
      std::size_t i = 0;
      while (i < pattern.size() && upper(text[start + i]) == upper(pattern[i])) ++i;
      if (i == pattern.size()) return start;
    }
    return kNotFound;
  };
  // Small alphabets make many partial matches; the rarest byte of a pattern
  // may stand anywhere in it.
  const std::string alphabet = "aAbBzZ< \xc1\xe1";
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    // Every tenth text is long enough to span several search windows.
    std::string text(random() % (round % 10 == 0 ? 3000 : 40), ' ');
    std::string pattern(1 + random() % 5, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    for (char& c : pattern) c = alphabet[random() % alphabet.size()];
    ASSERT_EQ(FindNoCase(text, pattern), plain(text, pattern)) << text << " / " << pattern;
  }
}

TEST(IsInputTagTest, LengthUpToTheFiveLetters) {
  EXPECT_EQ(IsInputTag("<input name=q>"), 6u);
  EXPECT_EQ(IsInputTag("<  \tInPuT"), 9u);
  EXPECT_EQ(IsInputTag("<INPUTFIELD>"), 6u);  // what follows is not checked
  EXPECT_EQ(IsInputTag("<inpu"), 0u);
  EXPECT_EQ(IsInputTag(" <input"), 0u);
  EXPECT_EQ(IsInputTag("<select>"), 0u);
  EXPECT_EQ(IsInputTag(""), 0u);
}

TEST(ParseTagAttributeTest, QuotedAndUnquotedValues) {
  std::string name, value;
  EXPECT_EQ(ParseTagAttribute("NAME=\"q\" value=1>", name, value), 8u);
  EXPECT_EQ(name, "NAME");
  EXPECT_EQ(value, "q");

  EXPECT_EQ(ParseTagAttribute("  value = 'a b'>", name, value), 12u);
  EXPECT_EQ(name, "value");
  EXPECT_EQ(value, "'a");  // single quotes are ordinary characters

  EXPECT_EQ(ParseTagAttribute("href=x.html>", name, value), 11u);  // ">" is not consumed
  EXPECT_EQ(value, "x.html");

  EXPECT_EQ(ParseTagAttribute("title=\"a>b\"", name, value), 8u);  // a quoted value ends at ">"
  EXPECT_EQ(value, "a");

  EXPECT_EQ(ParseTagAttribute("a=b\"c", name, value), 4u);  // the stopping quote is consumed
  EXPECT_EQ(value, "b");
}

TEST(ParseTagAttributeTest, ReturnsZeroWhenNothingCanBeRead) {
  std::string name = "keep", value = "keep";
  EXPECT_EQ(ParseTagAttribute("CHECKED name=x>", name, value), 0u);
  EXPECT_EQ(ParseTagAttribute("   ", name, value), 0u);
  EXPECT_EQ(ParseTagAttribute("", name, value), 0u);
  EXPECT_EQ(ParseTagAttribute("name=", name, value), 0u);
  EXPECT_EQ(ParseTagAttribute("name=\"unterminated", name, value), 0u);
  EXPECT_EQ(ParseTagAttribute("name=value", name, value), 0u);  // ends inside the value
  EXPECT_EQ(name, "keep");
  EXPECT_EQ(value, "keep");
}

TEST(ParseTagAttributeTest, LongValuesAreKeptWhole) {
  const std::string longValue(5000, 'v');
  std::string name, value;
  EXPECT_EQ(ParseTagAttribute("n=\"" + longValue + "\">", name, value), longValue.size() + 4);
  EXPECT_EQ(value, longValue);
}

// Reads through a page memo, at rising positions as the scans make them,
// give what each read alone gives.
TEST(PageScanMemoTest, ChangesNoReadOfAttributesOrTagEnds) {
  const char* pieces[] = {"<a", "x", "=", "\"", ">", " ", "\t", "name", "<", "v"};
  std::mt19937 random(4);
  for (int round = 0; round < 3000; ++round) {
    std::string page;
    for (int n = random() % 30; n > 0; --n) page += pieces[random() % std::size(pieces)];
    PageScanMemo memo(page);
    std::string name, value;
    std::string_view memoName, memoValue;
    for (std::size_t pos = 0; pos < page.size(); pos += 1 + random() % 3) {
      const std::size_t used = ParseTagAttribute(page.substr(pos), name, value);
      ASSERT_EQ(ReadTagAttribute(page, pos, memoName, memoValue, &memo), used) << page << " @" << pos;
      if (used != 0) {
        ASSERT_EQ(memoName, name) << page << " @" << pos;
        ASSERT_EQ(memoValue, value) << page << " @" << pos;
      }
      const std::size_t end = FindTagEnd(page.substr(pos));
      ASSERT_EQ(memo.TagEnd(pos), end == kNotFound ? kNotFound : pos + end) << page << " @" << pos;
    }
  }
}

TEST(GetInnerTextTest, TextUpToTheClosingTag) {
  EXPECT_EQ(GetInnerText("<TITLE>Cheap offers</title> rest", "TITLE"), "Cheap offers");
  EXPECT_EQ(GetInnerText("<b title=\"x>y\">bold</b>", "b"), "bold");  // ">" in quotes skipped
  EXPECT_EQ(GetInnerText("<p></p>", "p"), "");
  EXPECT_EQ(GetInnerText("<b>text</body>", "b"), "text");  // a prefix of the name closes too
  const std::string big(70000, 'x');
  EXPECT_EQ(GetInnerText("<TITLE>" + big + "</TITLE>", "TITLE")->size(), big.size());
}

TEST(GetInnerTextTest, MalformedTagsGiveNone) {
  EXPECT_FALSE(GetInnerText("<TITLE no end", "TITLE"));
  EXPECT_FALSE(GetInnerText("<TITLE a=\">\" text", "TITLE"));
  EXPECT_FALSE(GetInnerText("<TITLE>never closed", "TITLE"));
  EXPECT_FALSE(GetInnerText("", "TITLE"));
}

}  // namespace
}  // namespace trovelane
