// The pieces the site plug-ins share: text cleaning, the growing page
// buffer, bounded marker searches and the site root file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "plugins/common/plugin_kit.h"
#include "search/plugin_host.h"
#include "tests/support/scratch_folder.h"

namespace trovelane::plugin {
namespace {

TEST(CleanText, DropsTagsAsBlanksAndDecodesTheFiveEntitiesExactly) {
  EXPECT_EQ(CleanText("a<b>c</b>d"), "a c d");
  EXPECT_EQ(CleanText("&nbsp;&quot;&lt;&gt;&amp;"), " \"<>&");
  EXPECT_EQ(CleanText("one\r\ntwo\tthree"), "one  two three");
  // Case-sensitive, whole entities only; others stay as written.
  EXPECT_EQ(CleanText("&AMP; &amp &nbsp &eacute; &"), "&AMP; &amp &nbsp &eacute; &");
  // Blanks are kept as they come, neither collapsed nor trimmed.
  EXPECT_EQ(CleanText("  <i> x </i>  "), "    x    ");
  // The inside of a tag never leaks, also a tag that never ends.
  EXPECT_EQ(CleanText("x<a href=\"&amp;\">y"), "x y");
  EXPECT_EQ(CleanText("x<unfinished &amp; tag"), "x");
  EXPECT_EQ(CleanText(""), "");
}

TEST(PageBuffer, GrowsInStepsOf512AndRefusesWhatPassesItsLimit) {
  PageBuffer buffer(2000);
  EXPECT_EQ(buffer.capacity(), 512u);
  std::string chunk(511, 'x');
  ASSERT_TRUE(buffer.Append(chunk.data(), chunk.size()));
  EXPECT_EQ(buffer.capacity(), 512u);  // 511 bytes and the terminator
  ASSERT_TRUE(buffer.Append("y", 1));
  EXPECT_EQ(buffer.capacity(), 1024u);
  std::string more(1488, 'z');
  ASSERT_TRUE(buffer.Append(more.data(), more.size()));
  EXPECT_EQ(buffer.size(), 2000u);
  EXPECT_FALSE(buffer.Append("!", 1));
  // A size that would wrap the arithmetic is refused, not wrapped.
  EXPECT_FALSE(buffer.Append("!", std::numeric_limits<size_t>::max()));
  EXPECT_EQ(buffer.Take().size(), 2000u);
}

TEST(Find, AMarkerPastTheEndOfItsSectionIsMissing) {
  const std::string_view text = "<a>start<b>middle<c>end";
  EXPECT_EQ(Find(text, "<b>", 0), 8u);
  EXPECT_EQ(Find(text, "<b>", 0, 11), 8u);     // ends exactly at the bound
  EXPECT_EQ(Find(text, "<b>", 0, 10), npos);   // would end past it
  EXPECT_EQ(Find(text, "<c>", 20), npos);
  EXPECT_EQ(Find(text, "<a>", 30), npos);      // a start past the text
  EXPECT_EQ(Find(text, "<a>", 5, 3), npos);    // a start past the bound
  EXPECT_EQ(FindNoCase("text</A>", "</a", 0), 4u);
  EXPECT_EQ(FindNoCase("text</A>", "</a", 0, 6), npos);
  EXPECT_EQ(LeadingNumber("250 found"), 250);
  EXPECT_EQ(LeadingNumber("x250"), 0);
  EXPECT_LT(LeadingNumber(std::string(40, '9')), 2000000000L);
}

// Runs `body` with the current directory in `folder`.
template <typename Body>
void InFolder(const std::filesystem::path& folder, Body body) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  body();
  std::filesystem::current_path(before);
}

TEST(ReadSiteRoot, TakesTheFirstLineOfTheSiteFileOrTheFallback) {
  testing::ScratchFolder folder;
  std::filesystem::create_directories(folder.path() / "plugins");
  testing::WriteFileBytes(folder.File("plugins/good.site"), "  http://127.0.0.1:8080/site/x/ \r\nignored\n");
  testing::WriteFileBytes(folder.File("plugins/bad.site"), "ftp://elsewhere\n");
  InFolder(folder.path(), [] {
    SiteRoot good = ReadSiteRoot("good", "http://fallback.invalid");
    EXPECT_EQ(good.root, "http://127.0.0.1:8080/site/x");
    EXPECT_EQ(good.origin, "http://127.0.0.1:8080");
    EXPECT_EQ(ReadSiteRoot("bad", "http://fallback.invalid").root, "http://fallback.invalid");
    SiteRoot none = ReadSiteRoot("none", "https://fallback.invalid:8443");
    EXPECT_EQ(none.origin, "https://fallback.invalid:8443");
  });
}

}  // namespace
}  // namespace trovelane::plugin

namespace trovelane::plugin {
namespace {

// Host services that answer from a fixed body; stands in for the search
// worker so that the plug-in side can be driven alone.
struct FakeHost {
  static FakeHost* current;
  std::string body;
  size_t sent = 0;
  int connects = 0;
  int closes = 0;
  std::vector<std::string> offered;

  static int32_t Connect(HostContext*, const char*, int32_t, const char*, const char*, const char*,
                         char*) {
    ++current->connects;
    current->sent = 0;
    return 1;
  }
  static int32_t Read(HostContext*, char* buffer, int32_t size) {
    size_t n = std::min(current->body.size() - current->sent, static_cast<size_t>(size));
    std::memcpy(buffer, current->body.data() + current->sent, n);
    current->sent += n;
    return static_cast<int32_t>(n);
  }
  static int32_t Close(HostContext*) {
    ++current->closes;
    return 1;
  }
  static int32_t AddResult(HostContext*, const char* url, const char*, const char*, int32_t,
                           int32_t) {
    current->offered.push_back(url);
    return 1;
  }
  static int32_t FindNextLink(HostContext*, const char* html, char* urlOut, char* titleOut) {
    return FindNextLinkInText(html, urlOut, titleOut);
  }
  HostContext Context() {
    HostContext context{};
    context.connect = Connect;
    context.read = Read;
    context.close = Close;
    context.addResult = AddResult;
    context.findNextLink = FindNextLink;
    return context;
  }
};
FakeHost* FakeHost::current = nullptr;

TEST(FetchToSpool, ASpoolFileThatCannotBeCreatedEndsThePageQuietly) {
  testing::ScratchFolder folder;
  FakeHost host;
  FakeHost::current = &host;
  host.body = std::string(200000, 'p');
  HostContext context = host.Context();
  PluginState state;
  InFolder(folder.path(), [&] {
    Initialize(state, &context, true, "none", "http://fallback.invalid");
    ASSERT_EQ(state.spoolName, "sdump" + std::to_string(::gettid()) + ".bin");
    // The spool name is taken by a folder: the file cannot be created.
    std::filesystem::create_directory(state.spoolName);
    EXPECT_FALSE(FetchToSpool(state, "http://127.0.0.1:9/x"));
    EXPECT_EQ(host.closes, 1);  // the request is ended all the same
    EXPECT_EQ(state.spool, nullptr);
    EXPECT_TRUE(state.page.empty());

    // Once it can be, the whole body comes back and the file is gone.
    std::filesystem::remove(state.spoolName);
    EXPECT_TRUE(FetchToSpool(state, "http://127.0.0.1:9/x"));
    EXPECT_EQ(state.page, host.body);
    EXPECT_FALSE(std::filesystem::exists(state.spoolName));
    Terminate(state);
  });
}

TEST(FetchToMemory, HoldsTheWholeBodyReadInChunks) {
  FakeHost host;
  FakeHost::current = &host;
  host.body = std::string(20000, 'm') + "end";
  HostContext context = host.Context();
  PluginState state;
  Initialize(state, &context, false, "none", "http://fallback.invalid");
  EXPECT_TRUE(state.spoolName.empty());
  EXPECT_TRUE(FetchToMemory(state, "http://127.0.0.1:9/x"));
  EXPECT_EQ(state.page, host.body);
  EXPECT_EQ(host.closes, 1);
  Terminate(state);
  EXPECT_TRUE(state.page.empty());
}

// An anchor without a link, or with an empty one, is passed over: the walk
// goes on to the anchors behind it.
TEST(WalkAnchors, AnchorsWithoutALinkDoNotEndTheSection) {
  FakeHost host;
  FakeHost::current = &host;
  HostContext context = host.Context();
  PluginState state;
  Initialize(state, &context, false, "none", "http://fallback.invalid");
  const char* section =
      "<a href=\"http://s/1\">One</a><a href=\"\">Empty</a><a href=''></a>"
      "<a href=\"http://s/2\">Two</a><a name=top>Top</a><a href=\"http://s/3\">Three</a>";
  EXPECT_EQ(WalkAnchors(state, section, QM_VALIDATION_NONE, "walk",
                        [](std::string&, std::string&) { return true; }),
            1);
  EXPECT_EQ(host.offered, (std::vector<std::string>{"http://s/1", "http://s/2", "http://s/3"}));
  Terminate(state);
}

}  // namespace
}  // namespace trovelane::plugin
