#include "engines/anchor_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace trovelane {
namespace {

struct Anchor {
  std::size_t length = 0;
  std::string url;
  std::string text;
};

Anchor Parse(std::string_view page, std::size_t pos = 0) {
  Anchor a;
  a.url = a.text = "stale";
  a.length = ParseAnchor(page, pos, a.url, a.text);
  return a;
}

TEST(ParseAnchorTest, ReadsLinkAndTextAndStopsAtTheClosingLetter) {
  const std::string page = "xx<a href=\"/r/1.html\">First result</a> after";
  const Anchor a = Parse(page, 2);
  EXPECT_EQ(a.url, "/r/1.html");
  EXPECT_EQ(a.text, "First result");
  // The length reaches the "a" of "</a".
  EXPECT_EQ(page.substr(2 + a.length, 2), "a>");
}

TEST(ParseAnchorTest, QuotingOfTheHrefValue) {
  EXPECT_EQ(Parse("<A HREF='/single.htm'>s</A>").url, "/single.htm");
  EXPECT_EQ(Parse("<a href=/bare.htm class=x>b</a>").url, "/bare.htm");
  EXPECT_EQ(Parse("<a href=/bare.htm>b</a>").url, "/bare.htm");
  EXPECT_EQ(Parse("<a  href  =  \"/spaced\" >b</a>").url, "/spaced");
  // Either kind of quote ends a quoted value.
  EXPECT_EQ(Parse("<a href=\"/it's.htm\">b</a>").url, "/it");
  EXPECT_EQ(Parse("<a href=''>empty</a>").url, "");
}

TEST(ParseAnchorTest, HrefInsideAQuotedAttributeIsNotTheLink) {
  const Anchor a = Parse("<a title=\"href\" href=\"/real.htm\">t</a>");
  EXPECT_EQ(a.url, "/real.htm");
  // Single quotes do not hide it: only double quotes are tracked in the tag.
  EXPECT_EQ(Parse("<a title='x' href=\"/r\">t</a>").url, "/r");
}

TEST(ParseAnchorTest, TagsWithoutAUsableHrefGiveNothing) {
  for (const char* page :
       {"<a name=top>x</a>", "<a title=\"href=x\">x</a>", "<a href>x</a>", "<a href \"/x\">x</a>",
        "<a href=\"/x", "<a href=\"/x\">", "<b href=x>x</b>", "a href=x>x</a>", "<", ""}) {
    const Anchor a = Parse(page);
    EXPECT_EQ(a.length, 0u) << page;
    EXPECT_EQ(a.url, "") << page;
    EXPECT_EQ(a.text, "") << page;
  }
  EXPECT_EQ(Parse("<a href=x>y</a>", 20).length, 0u);  // beyond the page
}

TEST(ParseAnchorTest, TagsInTheTextAreDroppedAndTheirTextKept) {
  EXPECT_EQ(Parse("<a href=x>the <b>bold</b> word</a>").text, "the bold word");
  EXPECT_EQ(Parse("<a href=x><img alt=\"a > b\" src=i.gif>pic</a>").text, "pic");
  EXPECT_EQ(Parse("<a href=x>1 < 2</a>").text, "1  2");  // "<" before a blank is dropped
  EXPECT_EQ(Parse("<a href=x>R&amp;D&nbsp;\n  lab</a>").text, "R&amp;D&nbsp;\n  lab");
  EXPECT_EQ(Parse("<a href=x>a</ a>").text, "a");  // blanks after "</"
}

TEST(ParseAnchorTest, AnyClosingTagStartingWithAEndsTheAnchor) {
  const std::string page = "<a href=x>home</address> more</a>";
  const Anchor a = Parse(page);
  EXPECT_EQ(a.text, "home");
  EXPECT_EQ(page.substr(a.length, 7), "address");
  // Tags whose names begin with A are read as anchors too.
  EXPECT_EQ(Parse("<AREA href=\"/map.htm\" alt=m>m</a>").url, "/map.htm");
}

TEST(ParseAnchorTest, AnUnclosedAnchorHasAnEmptyText) {
  const std::string page = "<a href=/x>no end <b>here";
  const Anchor a = Parse(page);
  EXPECT_EQ(a.url, "/x");
  EXPECT_EQ(a.text, "");
  EXPECT_EQ(a.length, page.size());
}

TEST(ParseAnchorTest, CharacterReferencesOfTheHrefAreDecoded) {
  const Anchor a =
      Parse("<a href=\"/s?q=a&amp;start=10&#38;n=1&#x26;m=2&#X26;k=3\">next &amp; more</a>");
  EXPECT_EQ(a.url, "/s?q=a&start=10&n=1&m=2&k=3");
  EXPECT_EQ(a.text, "next &amp; more");  // the text keeps its entities
  EXPECT_EQ(Parse("<a href='/q?x=&lt;b&gt;&quot;c&quot;&#39;'>t</a>").url, "/q?x=<b>\"c\"'");
  // Decoding is done once: "&amp;lt;" is the text "&lt;".
  EXPECT_EQ(Parse("<a href=/q?a=&amp;lt;>t</a>").url, "/q?a=&lt;");
  // Unknown or unterminated references stay as written.
  EXPECT_EQ(Parse("<a href=/q?a=1&b=2&amp&nbsp;&#40;>t</a>").url, "/q?a=1&b=2&amp&nbsp;&#40;");
}

TEST(ParseAnchorTest, OverlongLinksAreSkippedAndOverlongTextsCut) {
  const std::string longest(kMaxLinkLength - 1, 'p');
  EXPECT_EQ(Parse("<a href=/" + longest + ">t</a>").url.size(), kMaxLinkLength);
  EXPECT_EQ(Parse("<a href=/" + longest + "q>t</a>").length, 0u);
  // The limit is on the decoded link: five bytes "&amp;" make one.
  EXPECT_EQ(Parse("<a href=/" + longest.substr(1) + "&amp;>t</a>").url.size(), kMaxLinkLength);

  const std::string page = "<a href=/x>" + std::string(5000, 't') + "</a>tail";
  const Anchor a = Parse(page);
  EXPECT_EQ(a.text, std::string(kMaxAnchorTextLength, 't'));
  EXPECT_EQ(page.substr(a.length, 2), "a>");  // still read to its end
}

TEST(ParseAnchorTest, RandomMarkupStaysInsideThePage) {
  // Pieces of markup in random order: every cut-off and unbalanced form.
  const char* pieces[] = {"<a", "<A ", "href", "=", "\"",    "'",  ">", "</",
                          "a>", "<b>", " ",    "x", "&amp;", "\n", "<", "/"};
  std::mt19937 random(1);
  std::string url;
  std::string text;
  for (int round = 0; round < 2000; ++round) {
    std::string page;
    const int count = static_cast<int>(random() % 24);
    for (int i = 0; i < count; ++i) page += pieces[random() % std::size(pieces)];
    for (std::size_t pos = 0; pos < page.size(); ++pos) {
      const std::size_t used = ParseAnchor(page, pos, url, text);
      ASSERT_LE(used, page.size() - pos) << page;
      if (used == 0) {
        EXPECT_TRUE(url.empty() && text.empty()) << page;
      } else {
        EXPECT_LE(url.size(), page.size()) << page;
      }
    }
  }
}

// A page read forward with one memo, as a result page is scanned, gives what
// each anchor read on its own gives; the memo only saves the rereading.
TEST(ParseAnchorTest, APageMemoChangesNoResult) {
  const char* pieces[] = {"<a",        "<A ", "href", "=",  "\"", "'",        ">", "</",
                          "a>",        " ",   "x",    "<a x", "<a href=x", "<a href=\"u\"", "t"};
  std::mt19937 random(2);
  std::string url, text, memoUrl, memoText;
  for (int round = 0; round < 3000; ++round) {
    std::string page;
    const int count = static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) page += pieces[random() % std::size(pieces)];
    AnchorPageMemo memo;
    for (std::size_t pos = 0; pos < page.size();) {
      const std::size_t used = ParseAnchor(page, pos, url, text);
      ASSERT_EQ(ParseAnchor(page, pos, memoUrl, memoText, memo), used) << page << " @" << pos;
      ASSERT_EQ(memoUrl, url) << page << " @" << pos;
      ASSERT_EQ(memoText, text) << page << " @" << pos;
      pos += used == 0 ? 1 : used;
    }
  }
}

TEST(TagHasClassTest, MatchesAWholeWordOfTheFirstClassAttribute) {
  const char* word = "result__a";
  for (const char* tag : {"<a class=\"result__a\" href=x", "<a href=x class='big result__a'",
                          "<A CLASS = result__a href=\"x\"", "<a rel=nofollow\tclass=\"a\tresult__a\"",
                          "<a data-x title=\"class=none\" class=\"result__a\"",
                          "<a/class=\"result__a\""}) {
    EXPECT_TRUE(TagHasClass(tag, word)) << tag;
  }
  for (const char* tag :
       {"<a href=x", "<a class=\"result__ab\"", "<a class=\"Result__a\"", "<a data-class=\"result__a\"",
        "<a title=\"class=result__a\"", "<a class=\"other\" class=\"result__a\"",
        "<a class", "<a class=", "<aclass=result__a"}) {
    EXPECT_FALSE(TagHasClass(tag, word)) << tag;
  }
  EXPECT_FALSE(TagHasClass("<a class=\"\"", ""));
}

TEST(TagHasClassTest, TheScanGivesTheOpeningTagOfEachAnchor) {
  const std::string page = "<p><a class=ob href=\"/1\">one</a> <a href='/2' class=\"x\">two</a></p>";
  AnchorPageMemo memo;
  std::string url, text;
  size_t tagEnd = 0;
  const size_t first = page.find("<a");
  ASSERT_GT(ParseAnchor(page, first, url, text, memo, &tagEnd), 0u);
  EXPECT_EQ(page.substr(first, tagEnd - first), "<a class=ob href=\"/1\"");
  EXPECT_TRUE(TagHasClass(page.substr(first, tagEnd - first), "ob"));
  const size_t second = page.find("<a", first + 1);
  ASSERT_GT(ParseAnchor(page, second, url, text, memo, &tagEnd), 0u);
  EXPECT_FALSE(TagHasClass(page.substr(second, tagEnd - second), "ob"));
}

}  // namespace
}  // namespace trovelane
