#include "engines/page_marker.h"

#include <gtest/gtest.h>

#include <string>

#include "engines/result_link.h"

namespace trovelane {
namespace {

std::string Between(std::string_view page, const ResultList& list) {
  return std::string(page.substr(list.begin, list.end - list.begin));
}

TEST(PageMarkerTest, AnElementMarkerHasTheShapeOfASelectorAndNothingElse) {
  for (const char* element : {"ul.mw-search-results", "div#results", "DIV.result.result--ad",
                              "div#b_results.list", "h2.x_y"}) {
    EXPECT_TRUE(IsElementMarker(element)) << element;
  }
  // Markup copied from a page, a bare word and sentences stay text to find.
  for (const char* literal : {"<ul class=\"mw-search-results\"", "results", "div.", ".result",
                              "div.a b", "Results 1.5", "</main>", "div..x"}) {
    EXPECT_FALSE(IsElementMarker(literal)) << literal;
  }
  const PageMarker m = ParsePageMarker("DIV#main.result.result--ad");
  EXPECT_EQ(m.element, "div");
  EXPECT_EQ(m.id, "main");
  EXPECT_EQ(m.classes, (std::vector<std::string>{"result", "result--ad"}));
}

TEST(PageMarkerTest, AnElementIsFoundWhateverItsQuotesOrderAndOtherClasses) {
  const PageMarker marker = ParsePageMarker("div.result.result--ad");
  for (const char* tag :
       {"<div class=\"result result--ad\">", "<div class='result--ad x result'>",
        "<DIV data-x=\"a>b\" class=\"result--ad result\"\tclass2=z class=ignored>",
        "<div id=r class = \" result  result--ad \" >"}) {
    const std::string page = std::string("<p>x</p>") + tag + "<a href=1>ad</a></div>";
    const MarkerHit hit = FindPageMarker(page, marker);
    ASSERT_TRUE(hit.found()) << tag;
    EXPECT_EQ(hit.begin, 8u) << tag;
    EXPECT_EQ(page.substr(hit.end, 9), "<a href=1") << tag;
  }
  // Only whole class words, only the element named, only real tags.
  for (const char* page :
       {"<div class=\"result result--ad-free\">", "<divx class=\"result result--ad\">",
        "<span class=\"result result--ad\">", "<div class=\"result\">",
        "<img alt='<div class=\"result result--ad\">'>",
        "<div class=\"result result--ad"}) {  // the tag never ends: its classes do not either
    EXPECT_FALSE(FindPageMarker(page, marker).found()) << page;
  }
  // A second class attribute is not read, as a browser reads none.
  EXPECT_FALSE(FindPageMarker("<div class=result class=result--ad>", marker).found());
  // An id is compared exactly; a literal in any case.
  EXPECT_TRUE(FindPageMarker("<main><DIV ID=\"results\">", ParsePageMarker("div#results")).found());
  EXPECT_FALSE(FindPageMarker("<div id=\"Results\">", ParsePageMarker("div#results")).found());
  EXPECT_EQ(FindPageMarker("xx<DIV id=", ParsePageMarker("<div id=")).begin, 2u);
}

TEST(PageMarkerTest, AListElementHoldsTheListUpToItsOwnEnd) {
  // The encyclopedia writes its list with single quotes.
  const std::string page =
      "<ul class='nav'><li><a href=n>n</a></li></ul>"
      "<ul class='mw-search-results' data-x=1><li><ul><li>inner</li></ul></li>"
      "<script>var s = \"</ul>\";</script><!-- </ul> --><li>last</li></ul>"
      "<ul><li>after</li></ul>";
  EngineExtensions web;
  web.resultListStart = "ul.mw-search-results";
  EXPECT_EQ(Between(page, FindResultList(page, web)),
            "<li><ul><li>inner</li></ul></li><script>var s = \"</ul>\";</script>"
            "<!-- </ul> --><li>last</li>");
  // An end marker, when given, ends it instead; an element end marker where
  // that element begins.
  web.resultListEnd = "ul.other";
  EXPECT_EQ(FindResultList(page, web).end, page.size());
  web.resultListEnd = "</li>";
  EXPECT_EQ(Between(page, FindResultList(page, web)), "<li><ul><li>inner");
  web = {};
  web.resultListStart = "div#results";
  web.resultListEnd = "div.footer";
  const std::string brave = "<DIV  id=results class=x>r1 r2<div class='a footer'>f</div></div>";
  EXPECT_EQ(Between(brave, FindResultList(brave, web)), "r1 r2");
  // An element that is never closed holds the rest of the page.
  web.resultListEnd.clear();
  EXPECT_EQ(FindResultList("<div id=results><div>r", web).end, 22u);
}

TEST(PageMarkerTest, AHeadingStandsRightBeforeTheAnchorBlanksBetween) {
  const std::string page =
      "<DIV class='mw-search-result-heading x'>\n  <a href=1>x</a> <span><a href=2>y</a></span>"
      "<div class=mw-search-result-heading><b></b><a href=3>z</a></div><a href=4>";
  for (const char* heading :
       {"div.mw-search-result-heading", "<div class='mw-search-result-heading x'>"}) {
    const PageMarker marker = ParsePageMarker(heading);
    EXPECT_TRUE(MarkerStandsBefore(page, page.find("<a href=1"), marker)) << heading;
    EXPECT_FALSE(MarkerStandsBefore(page, page.find("<a href=2"), marker)) << heading;
    EXPECT_FALSE(MarkerStandsBefore(page, page.find("<a href=3"), marker)) << heading;
    EXPECT_FALSE(MarkerStandsBefore(page, page.find("<a href=4"), marker)) << heading;
    EXPECT_FALSE(MarkerStandsBefore(page, 0, marker)) << heading;
    EXPECT_FALSE(MarkerStandsBefore(page, 5, marker)) << heading;
  }
  EXPECT_TRUE(MarkerStandsBefore(page, 0, ParsePageMarker("")));
}

TEST(PageMarkerTest, SkippedBlocksCoverTheirWholeElementsNestedOrNot) {
  const std::string page =
      "<a href=r1>1</a>"
      "<div class='result-cluster'><div><a href=s1>s</a></div><a href=s2>s</a></div>"
      "<a href=r2>2</a>"
      "<section class=\"carousel videos\"><a href=v1>v</a></section>"
      "<div class=result--ad><div class=result-cluster><a href=s3>s</a></div></div>"
      "<a href=r3>3</a>"
      "<aside>literal<a href=x>x</a></aside>"
      "<div class=result-cluster><a href=s4>never closed";
  SkippedBlocks blocks(page,
                       {ParsePageMarker("div.result-cluster"), ParsePageMarker("section.videos"),
                        ParsePageMarker("div.result--ad"), ParsePageMarker("<ASIDE>")});
  std::vector<std::string> outside;
  for (size_t at = page.find("<a "); at != std::string::npos; at = page.find("<a ", at + 1)) {
    if (!blocks.Holds(at)) outside.push_back(page.substr(at + 8, 2));
  }
  EXPECT_EQ(outside, (std::vector<std::string>{"r1", "r2", "r3"}));
}

}  // namespace
}  // namespace trovelane
