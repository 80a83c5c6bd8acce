#include "search/accept_link.h"

#include <gtest/gtest.h>

#include <string>

namespace trovelane {
namespace {

class AcceptResultLinkTest : public ::testing::Test {
 protected:
  AcceptResultLinkTest() : duplicates(options) {
    engine.searchUrl = "http://engine.test/search";
    engine.searchedFileTypes = {"html"};
    check.duplicates = &duplicates;
  }

  int Accept(const std::string& url, const std::string& text = "t") {
    return AcceptResultLink(engine, check, url, text);
  }

  SearchOptions options;
  DuplicateFilter duplicates;
  EngineDefinition engine;
  LinkCheck check;
};

TEST_F(AcceptResultLinkTest, SearchedTypesAndPathsEndingInASlash) {
  EXPECT_NE(Accept("http://site.test/a/page.html"), 0);
  EXPECT_NE(Accept("http://site.test/b/page.HTML"), 0);
  EXPECT_NE(Accept("http://site.test/dir/"), 0);
  EXPECT_NE(Accept("http://site.test"), 0);  // the path is "/"
  EXPECT_EQ(check.autoAdded, false);
  EXPECT_EQ(check.validated, 0);
  EXPECT_EQ(Accept("http://site.test/a/page.htm"), 0);
  // The extension is taken from the last segment only, query included.
  EXPECT_EQ(Accept("http://site.test/v1.html/page"), 0);
  EXPECT_EQ(Accept("http://site.test/page.html?id=1"), 0);
}

TEST_F(AcceptResultLinkTest, AFileWithoutExtensionIsAnHtmFile) {
  EXPECT_EQ(Accept("http://site.test/about"), 0);
  engine.autoAddFileTypes = {"HTM"};
  EXPECT_NE(Accept("http://site.test/contact"), 0);
  EXPECT_TRUE(check.autoAdded);
  EXPECT_EQ(check.relevance, kNoRelevance);
  engine.autoAddFileTypes.clear();
  engine.searchedFileTypes = {"htm"};
  EXPECT_NE(Accept("http://site.test/imprint"), 0);
  EXPECT_FALSE(check.autoAdded);
}

TEST_F(AcceptResultLinkTest, AutoAddTypesAreAcceptedWithoutValidation) {
  engine.autoAddFileTypes = {"pdf"};
  check.validationMode = kValidationValRel;  // no expression: validation would reject
  EXPECT_NE(Accept("http://site.test/paper.PDF"), 0);
  EXPECT_EQ(check.validated, 0);
  EXPECT_TRUE(check.autoAdded);
  EXPECT_EQ(Accept("http://site.test/paper.zip"), 0);
  EXPECT_EQ(Accept("http://site.test/page.html"), 0);  // validated, and nothing to match
  EXPECT_EQ(check.validated, 1);
  EXPECT_FALSE(check.autoAdded);
}

TEST_F(AcceptResultLinkTest, SkipListsInAnyCase) {
  engine.skippedUrls = {"http://site.test/About.html"};
  engine.skippedDomains = {"ADS.example", ""};
  EXPECT_EQ(Accept("HTTP://SITE.TEST/about.html"), 0);
  EXPECT_NE(Accept("http://site.test/about.html/"), 0);       // not the whole URL
  EXPECT_EQ(Accept("http://cdn.ads.example.net/x.html"), 0);  // part of a longer host
  EXPECT_EQ(Accept("http://ads.EXAMPLE/x.html"), 0);
  EXPECT_NE(Accept("http://site.test/ads.example/x.html"), 0);  // the path is not the host
}

TEST_F(AcceptResultLinkTest, IndirectLinksNeedTheirNameAndSkipNoDomain) {
  engine.linkType = INDIRECT;
  engine.indirectLinkName = "download.asp";
  engine.searchedFileTypes.clear();
  engine.skippedDomains = {"engine.test"};
  check.validationMode = kValidationVal;
  EXPECT_EQ(Accept("http://engine.test/page.htm"), 0);
  EXPECT_EQ(Accept("http://engine.test/Download.asp?id=1"), 0);  // the name is case-sensitive
  EXPECT_NE(Accept("http://engine.test/download.asp?id=7"), 0);
  EXPECT_TRUE(check.autoAdded);
  EXPECT_EQ(check.validated, 0);
  // With searched types an indirect link is validated, whatever its extension.
  engine.searchedFileTypes = {"cgi"};
  EXPECT_EQ(Accept("http://engine.test/download.asp?id=8"), 0);
  EXPECT_EQ(check.validated, 1);
  check.validationMode = kValidationNone;
  EXPECT_NE(Accept("http://engine.test/download.asp?id=9"), 0);
  EXPECT_EQ(check.validated, 0);
  EXPECT_FALSE(check.autoAdded);
}

TEST_F(AcceptResultLinkTest, DuplicatesAreRejectedAfterTheSkipTests) {
  EXPECT_NE(Accept("http://site.test/a.html", "A"), 0);
  EXPECT_EQ(Accept("HTTP://SITE.TEST/a.html", "B"), 0);
  // A link rejected by its type was recorded all the same.
  EXPECT_EQ(Accept("http://site.test/b.zip"), 0);
  engine.autoAddFileTypes = {"zip"};
  EXPECT_EQ(Accept("http://site.test/b.zip"), 0);
  // One rejected before the filter was not.
  engine.skippedUrls = {"http://site.test/c.html"};
  EXPECT_EQ(Accept("http://site.test/c.html"), 0);
  engine.skippedUrls.clear();
  EXPECT_NE(Accept("http://site.test/c.html"), 0);
  EXPECT_EQ(duplicates.size(), 3u);
}

TEST_F(AcceptResultLinkTest, MalformedUrlsAreRejected) {
  EXPECT_EQ(Accept("http://:80/a.html"), 0);
  EXPECT_EQ(Accept("http://site.test:x/a.html"), 0);
  EXPECT_EQ(Accept(""), 0);           // no path
  EXPECT_EQ(Accept("page.html"), 0);  // no host
  EXPECT_EQ(duplicates.size(), 0u);
}

}  // namespace
}  // namespace trovelane
