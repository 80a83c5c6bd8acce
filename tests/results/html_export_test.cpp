#include "results/html_export.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/results/test_files.h"

namespace trovelane {
namespace {

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += "\r\n";
    out += lines[i];
  }
  return out;
}

// The page of an empty document, line by line, with the search text "Q".
std::vector<std::string> EmptyPage() {
  const std::string web = kProductWebAddress;
  return {
      // banner
      "<HTML>", "<HEAD>", "<META NAME=\"GENERATOR\" Content=\"trovelane 2.5\">",
      "<TITLE>trovelane Search Results for Q</TITLE>", "</HEAD>", "<BODY bgColor=#191970>", "",
      "<TABLE width = \"100%\">", "\t<TR>", "\t\t<TD align=left>",
      "\t\t\t<FONT face=\"verdana\" size = 6 color = #ffffff>",
      "\t\t\t\t<strong>t r o<FONT color=#ff8c00> v e l a n e</font></strong>", "\t\t\t</font>",
      "\t\t</TD>", "\t\t<TD align=right>", "\t\t\t<FONT face=\"verdana\" size = 6 color = #ffffff>",
      "\t\t\t\t<strong>t|<FONT color=#ff8c00>v </font></strong>", "\t\t\t</font>", "\t\t</TD>",
      "\t</TR>", "</TABLE>", "", "<FONT face = \"verdana\" size = 2 color = #ffffff>",
      "The fast,easy and accurate search tool!", "</FONT>", "<br>", "<br>", "",
      "<hr color = #b0c4de >", "<br>",
      // table head
      "<TABLE width = \"100%\">", "\t<tr>", "\t\t<td>",
      "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>", "\t\t\t<strong>Rel</strong>",
      "\t\t\t</FONT>", "\t\t</td>", "\t\t<td>",
      "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>", "\t\t\t<strong>Result</strong>",
      "\t\t\t</FONT>", "\t\t</td>", "\t\t<td>",
      "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>", "\t\t\t<strong>Engine</strong>",
      "\t\t\t</FONT>", "\t\t</td>", "\t</tr>", "\t<tr>", "\t\t<td>", "\t\t\t<br>", "\t\t</td>",
      "\t\t<td>", "\t\t\t<br>", "\t\t</td>", "\t\t<td>", "\t\t\t<br>", "\t\t</td>", "\t</tr>",
      // footer
      "</TABLE>", "<br>", "<br>", "", "<hr color = #b0c4de >", "<br>", "<center>",
      "<font face = \"verdana\" size = 3 color = #ffffff>", "<strong>Download your free copy of ",
      "</font>", "<font face = \"verdana\" size = 3 color = #ffffff>", "<strong>t r o</strong>",
      "</font>", "<font face = \"verdana\" size = 3 color = #ff8c00>",
      "<strong>v e l a n e</strong>", "</font>",
      "<font face = \"verdana\" size = 3 color = #ffffff>", "<strong>from</strong>", "</font>",
      "<a href = \"" + web + "\">", "<font face = \"verdana\" size = 3 color = #ffffff>",
      "<strong>" + web + "</strong>", "</font>", "</A>", "</font>", "<center>", "</BODY>",
      "</HTML>"};
}

std::vector<std::string> Row(const std::string& rel, const std::string& url,
                             const std::string& text, const std::string& engine) {
  return {"<TR>",
          "\t\t<TD>",
          "\t\t\t<FONT face = \"verdana\" color = #ffff00 size = 2>",
          "\t\t\t<strong>" + rel + "</strong>",
          "\t\t\t</FONT>",
          "\t\t</TD>\t\t",
          "\t\t<TD>",
          "\t\t\t<A href=\"" + url + "\">",
          "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>",
          "\t\t\t<strong>" + text + "</strong>",
          "\t\t\t</FONT>",
          "\t\t\t</A>",
          "\t\t</TD>\t\t",
          "\t\t<TD>",
          "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>",
          "\t\t\t" + engine,
          "\t\t\t</FONT>",
          "\t\t</TD>",
          "\t</TR>\t"};
}

TEST(HtmlExportTest, EmptyDocumentIsBannerTableHeadAndFooter) {
  ResultsStore store;
  store.SetSearchText("Q");
  std::vector<std::string> page = EmptyPage();
  ASSERT_EQ(page.size(), 30u + 29u + 28u);
  EXPECT_EQ(RenderResultsHtml(store), JoinCrLf(page));
}

TEST(HtmlExportTest, RowsCarryRelevanceTextAndEscapedValuesInStoreOrder) {
  ResultsStore store;
  store.SetSearchText("Q");
  store.AppendResult("http://a/?x=1&y=\"2\"", "<script>alert(1)</script> & co", "E<1>", 0, 0, 7);
  store.AppendResult("http://b/", "plain", "E2", 0, 0, 0);
  store.AppendResult("http://c/", "negative", "E3", 0, 0, -1);

  std::vector<std::string> page = EmptyPage();
  std::vector<std::string> rows;
  for (const auto& row :
       {Row("7%", "http://a/?x=1&amp;y=&quot;2&quot;",
            "&lt;script&gt;alert(1)&lt;/script&gt; &amp; co", "E&lt;1&gt;"),
        Row("n/a", "http://b/", "plain", "E2"), Row("n/a", "http://c/", "negative", "E3")}) {
    rows.insert(rows.end(), row.begin(), row.end());
  }
  page.insert(page.begin() + 59, rows.begin(), rows.end());
  EXPECT_EQ(RenderResultsHtml(store), JoinCrLf(page));
}

// A crafted document may hold any URL; the page links only web addresses.
TEST(HtmlExportTest, OnlyHttpHttpsAndFtpUrlsBecomeLinks) {
  ResultsStore store;
  const char* links[] = {"http://a/", "HTTPS://b/", "ftp://c/"};
  const char* texts[] = {"javascript:alert(document.cookie)",
                         "data:text/html,<script>alert(1)</script>",
                         "JavaScript:alert(1)",
                         " javascript:alert(1)",
                         "file:///etc/passwd",
                         "http:\x01//control/",
                         "vbscript:msgbox(1)"};
  for (const char* url : links) store.AppendResult(url, "web", "E");
  for (const char* url : texts) store.AppendResult(url, "not web", "E");
  const std::string page = RenderResultsHtml(store);

  for (const char* url : links) {
    EXPECT_NE(page.find("<A href=\"" + EscapeHtml(url) + "\">"), std::string::npos) << url;
  }
  for (const char* url : texts) {
    EXPECT_NE(page.find("\t\t\t<SPAN title=\"" + EscapeHtml(url) + "\">\r\n"), std::string::npos)
        << url;
  }
  size_t anchors = 0, spans = 0, closes = 0;
  for (size_t at = page.find("<A href="); at != std::string::npos;
       at = page.find("<A href=", at + 1))
    ++anchors;
  for (size_t at = page.find("<SPAN "); at != std::string::npos; at = page.find("<SPAN ", at + 1))
    ++spans;
  for (size_t at = page.find("</SPAN>"); at != std::string::npos; at = page.find("</SPAN>", at + 1))
    ++closes;
  EXPECT_EQ(anchors, 3u);
  EXPECT_EQ(spans, 7u);
  EXPECT_EQ(closes, 7u);
}

TEST(HtmlExportTest, SearchTextIsEscapedInTheTitleAndPercentSignsSurvive) {
  ResultsStore store;
  store.SetSearchText("<b>\"100%\" & %s</b>");
  std::string page = RenderResultsHtml(store);
  EXPECT_NE(page.find("<TITLE>trovelane Search Results for "
                      "&lt;b&gt;&quot;100%&quot; &amp; %s&lt;/b&gt;</TITLE>\r\n"),
            std::string::npos);
  // A line break inside a value is written as CR LF too.
  store.SetSearchText("a\nb");
  page = RenderResultsHtml(store);
  for (size_t at = page.find('\n'); at != std::string::npos; at = page.find('\n', at + 1)) {
    ASSERT_EQ(page[at - 1], '\r') << "bare line feed at " << at;
  }
}

TEST(HtmlExportTest, ExportWritesThePageAndReportsAFileItCannotCreate) {
  testfiles::ScratchDir dir;
  ResultsStore store;
  store.AppendResult("http://a/", "a", "e", 0, 0, 9);
  const std::string path = dir / "out.htm";
  ASSERT_TRUE(ExportResultsHtml(store, path).ok());
  EXPECT_EQ(testfiles::ReadFile(path), RenderResultsHtml(store));

  const std::string bad = dir / "missing/out.htm";
  Status status = ExportResultsHtml(store, bad);
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Error while opening file " + bad);
}

}  // namespace
}  // namespace trovelane
