// The FindNextLink service that spooling plug-ins walk their pages with.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "search/plugin_host.h"

namespace trovelane {
namespace {

struct Link {
  int32_t offset;
  std::string url;
  std::string title;
};

Link Next(const std::string& html) {
  char url[QM_LINK_BUFFER_SIZE];
  char title[QM_LINK_BUFFER_SIZE];
  std::memset(url, 'u', sizeof url);
  std::memset(title, 't', sizeof title);
  int32_t offset = FindNextLinkInText(html.c_str(), url, title);
  return {offset, url, title};
}

TEST(FindNextLink, ReadsTheNextAnchorAndTellsWhereToGoOn) {
  const std::string html = "text <A HREF=\"/one\">First</A> and <a href=/two>Second</a>";
  Link first = Next(html);
  EXPECT_EQ(first.url, "/one");  // as written: not made absolute
  EXPECT_EQ(first.title, "First");
  ASSERT_GT(first.offset, 0);
  EXPECT_EQ(html.substr(static_cast<size_t>(first.offset) - 2, 2), "</") << first.offset;
  Link second = Next(html.substr(static_cast<size_t>(first.offset)));
  EXPECT_EQ(second.url, "/two");
  EXPECT_EQ(second.title, "Second");
  Link none = Next(html.substr(static_cast<size_t>(first.offset + second.offset)));
  EXPECT_EQ(none.offset, 0);
  EXPECT_EQ(none.url, "");
  EXPECT_EQ(none.title, "");
}

TEST(FindNextLink, EmptyTextBecomesTheUrlAndUnreadableAnchorsGiveTheirPlace) {
  Link empty = Next("<a href=\"http://127.0.0.1/x\"></a>");
  EXPECT_EQ(empty.title, "http://127.0.0.1/x");
  Link named = Next("ab<a name=top>Top</a><a href=\"/b\">B</a>");
  EXPECT_EQ(named.offset, 2);
  EXPECT_EQ(named.url, "");
  EXPECT_EQ(Next("<ABBR>x</ABBR>").offset, 0);
  EXPECT_EQ(Next("").offset, 0);
  EXPECT_EQ(FindNextLinkInText(nullptr, nullptr, nullptr), 0);
}

TEST(FindNextLink, NeverWritesPastTheOutBuffers) {
  const std::string longTitle(5000, 'T');
  Link link = Next("<a href=\"/x\">" + longTitle + "</a>");
  EXPECT_EQ(link.title.size(), QM_LINK_BUFFER_SIZE - 1u);
  // A link too long for its buffer is not cut (it would point elsewhere).
  Link longUrl = Next("<a href=\"/" + std::string(3000, 'p') + "\">x</a>");
  EXPECT_EQ(longUrl.url, "");
}

}  // namespace
}  // namespace trovelane
