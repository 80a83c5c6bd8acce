#include "engines/result_link.h"

#include <gtest/gtest.h>

#include <string>

namespace trovelane {
namespace {

std::string Absolute(std::string_view searchUrl, std::string link) {
  MakeAbsoluteLink(searchUrl, link);
  return link;
}

TEST(MakeAbsoluteLinkTest, JoinsToTheRootOfTheSearchHost) {
  const char* search = "http://engine.test/cgi/search?q=x";
  EXPECT_EQ(Absolute(search, "/r/1.html"), "http://engine.test/r/1.html");
  EXPECT_EQ(Absolute(search, "r/1.html"), "http://engine.test/r/1.html");  // not /cgi/r/1.html
  EXPECT_EQ(Absolute(search, "mailto:me@x"), "http://engine.test/mailto:me@x");
  EXPECT_EQ(Absolute(search, ""), "http://engine.test/");
}

TEST(MakeAbsoluteLinkTest, WritesThePortOnlyWhenItIsNotTheDefault) {
  EXPECT_EQ(Absolute("http://127.0.0.1:8080/search", "/a.htm"), "http://127.0.0.1:8080/a.htm");
  EXPECT_EQ(Absolute("http://127.0.0.1:8080/search", "a.htm"), "http://127.0.0.1:8080/a.htm");
  EXPECT_EQ(Absolute("http://h:80/search", "/a.htm"), "http://h/a.htm");
  EXPECT_EQ(Absolute("https://h/search", "/a.htm"), "https://h/a.htm");
  EXPECT_EQ(Absolute("HTTPS://h:443/search", "a.htm"), "https://h/a.htm");
  EXPECT_EQ(Absolute("https://h:80/search", "/a.htm"), "https://h:80/a.htm");
  EXPECT_EQ(Absolute("ftp://h/pub", "/a.txt"), "ftp://h/a.txt");
  EXPECT_EQ(Absolute("ftp://h:2121/pub", "a.txt"), "ftp://h:2121/a.txt");
  EXPECT_EQ(Absolute("ftp://u:p@h/pub", "/a.txt"), "ftp://u:p@h/a.txt");
}

TEST(MakeAbsoluteLinkTest, KeepsAbsoluteLinksAndRefusesAMalformedBase) {
  for (const char* link : {"http://other/x", "HTTP://other:81/x", "https://other/x", "ftp://f/x"}) {
    EXPECT_EQ(Absolute("http://h:9/s", link), link);
  }
  // A leading slash always joins, even before a scheme-like text.
  EXPECT_EQ(Absolute("http://h/s", "/http://x"), "http://h/http://x");
  EXPECT_EQ(Absolute("http://:80/s", "/a.htm"), "");
  EXPECT_EQ(Absolute("http://h:0/s", "a.htm"), "");
}

TEST(ApplyLinkRulesTest, TellsTypesApartAndRejectsBeforeTheDuplicateFilter) {
  EngineDefinition engine;
  engine.searchedFileTypes = {"html"};
  engine.autoAddFileTypes = {"pdf"};
  engine.skippedDomains = {"ads.test"};
  EXPECT_EQ(ApplyLinkRules(engine, "http://s.test/a.HTML"), LinkVerdict::kSearched);
  EXPECT_EQ(ApplyLinkRules(engine, "http://s.test/dir/"), LinkVerdict::kSearched);
  EXPECT_EQ(ApplyLinkRules(engine, "http://s.test/p.pdf"), LinkVerdict::kAutoAdd);
  EXPECT_EQ(ApplyLinkRules(engine, "http://s.test/p.zip"), LinkVerdict::kNotSearched);
  EXPECT_EQ(ApplyLinkRules(engine, "http://x.ads.test/a.html"), LinkVerdict::kRejected);
  EXPECT_EQ(ApplyLinkRules(engine, "http://s.test:0/a.html"), LinkVerdict::kRejected);
  EXPECT_EQ(ApplyLinkRules(engine, "a.html"), LinkVerdict::kRejected);

  engine.linkType = INDIRECT;
  engine.indirectLinkName = "go.cgi";
  EXPECT_EQ(ApplyLinkRules(engine, "http://s.test/go.cgi?u=1"), LinkVerdict::kSearched);
  EXPECT_EQ(ApplyLinkRules(engine, "http://s.test/a.html"), LinkVerdict::kRejected);
  engine.searchedFileTypes.clear();
  EXPECT_EQ(ApplyLinkRules(engine, "http://s.test/go.cgi?u=1"), LinkVerdict::kAutoAdd);
}

}  // namespace
}  // namespace trovelane
