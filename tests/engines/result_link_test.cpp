#include "engines/result_link.h"

#include <gtest/gtest.h>

#include <string>

#include "engines/anchor_parser.h"

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
  // A protocol-relative link names its own host and takes the page's scheme,
  // as a browser follows it; joined like a path it would point at the engine.
  EXPECT_EQ(Absolute("https://e.test/s", "//r.test/l/?u=1"), "https://r.test/l/?u=1");
  EXPECT_EQ(Absolute("http://e.test:8080/s", "//r.test:81/x"), "http://r.test:81/x");
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

TEST(ApplyLinkRulesTest, AnyFileTypeTakesOrdinaryAddressesAsSearched) {
  EngineDefinition engine;
  engine.searchedFileTypes = {"html"};
  engine.autoAddFileTypes = {"pdf"};
  engine.skippedDomains = {"ads.test"};
  engine.web.anyFileType = true;
  EXPECT_EQ(ApplyLinkRules(engine, "https://s.test/page.php?id=3"), LinkVerdict::kSearched);
  EXPECT_EQ(ApplyLinkRules(engine, "https://s.test/about"), LinkVerdict::kSearched);
  // Auto-add types and the skip rules keep their meaning.
  EXPECT_EQ(ApplyLinkRules(engine, "https://s.test/p.pdf"), LinkVerdict::kAutoAdd);
  EXPECT_EQ(ApplyLinkRules(engine, "https://x.ads.test/page.php"), LinkVerdict::kRejected);
  EXPECT_EQ(ApplyLinkRules(engine, "page.php"), LinkVerdict::kRejected);
}

TEST(ResultListTest, LiesBetweenTheMarkers) {
  const std::string page = "<nav><a>x</a></nav><OL class=r><li>1</li><li>2</li></ol><ol>3</ol>";
  EngineExtensions web;
  ResultList all = FindResultList(page, web);
  EXPECT_EQ(all.begin, 0u);
  EXPECT_EQ(all.end, page.size());

  web.resultListStart = "<ol class=r>";  // any case
  web.resultListEnd = "</ol>";
  ResultList list = FindResultList(page, web);
  EXPECT_EQ(page.substr(list.begin, list.end - list.begin), "<li>1</li><li>2</li>");

  web.resultListEnd = "</table>";  // never found: to the end of the page
  EXPECT_EQ(FindResultList(page, web).end, page.size());
  web.resultListStart = "";
  web.resultListEnd = "</nav>";
  EXPECT_EQ(FindResultList(page, web).begin, 0u);
  EXPECT_EQ(FindResultList(page, web).end, page.find("</nav>"));

  // A page without the start marker has no results at all (a block page, an
  // empty answer), and no position lies in it.
  web.resultListStart = "<ul id=results>";
  ResultList none = FindResultList(page, web);
  for (size_t at : {size_t{0}, page.size() / 2, page.size() - 1}) EXPECT_FALSE(none.Holds(at));
}

TEST(RedirectLinkTest, UnwrapsThePercentDecodedParameter) {
  auto unwrap = [](std::string link, std::string_view parameter, RedirectLink expect) {
    EXPECT_EQ(UnwrapRedirectLink(link, parameter), expect) << link;
    return link;
  };
  EXPECT_EQ(unwrap("https://r.test/l/?uddg=https%3A%2F%2Fa.test%2Fp%3Fx%3D1%26y%3D%c3%a9&rut=9",
                   "uddg", RedirectLink::kUnwrapped),
            "https://a.test/p?x=1&y=\xc3\xa9");
  // Only a pair of exactly that name, and not the fragment.
  EXPECT_EQ(unwrap("https://r.test/l/?xuddg=http%3A%2F%2Fb&uddg=http://c.test/#uddg=x", "uddg",
                   RedirectLink::kUnwrapped),
            "http://c.test/");
  EXPECT_EQ(unwrap("https://r.test/l/?q=1#uddg=http://c.test/", "uddg", RedirectLink::kNotRedirect),
            "https://r.test/l/?q=1#uddg=http://c.test/");
  EXPECT_EQ(unwrap("https://a.test/direct", "uddg", RedirectLink::kNotRedirect),
            "https://a.test/direct");
  EXPECT_EQ(unwrap("/l/?uddg=%2F%2Fc.test%2Fx", "uddg", RedirectLink::kUnwrapped), "//c.test/x");
  // A bad escape stays as written; "+" is no blank in an address.
  EXPECT_EQ(unwrap("/l/?u=http://c.test/a%2g+b%", "u", RedirectLink::kUnwrapped),
            "http://c.test/a%2g+b%");

  // What is no web address is no result, and nothing of it gets through:
  // neither a script, nor line breaks that would write header lines into a
  // later request, nor blanks, nor a relative address on the engine's host.
  for (const char* refused :
       {"/l/?uddg=javascript%3Aalert(1)", "/l/?uddg=http%3A%2F%2Fc.test%2F%0D%0AX-Evil%3A%201",
        "/l/?uddg=http%3A%2F%2Fc.test%2Fa%20b", "/l/?uddg=%2Fhelp", "/l/?uddg=",
        "/l/?uddg=http%3A%2F%2Fc.test%2F%00"}) {
    EXPECT_EQ(unwrap(refused, "uddg", RedirectLink::kRefused), refused);
  }
  std::string longTarget = "/l/?u=http://c.test/" + std::string(kMaxLinkLength, 'x');
  EXPECT_EQ(unwrap(longTarget, "u", RedirectLink::kRefused), longTarget);
}

TEST(RedirectLinkTest, LinksThatNameAHost) {
  for (const char* link : {"http://a/x", "HTTPS://a", "ftp://a/", "//a/x"}) {
    EXPECT_TRUE(LinkNamesHost(link)) << link;
  }
  for (const char* link : {"/a/x", "a/x", "?q=1", "", "/", "mailto:x@y", "https:/a"}) {
    EXPECT_FALSE(LinkNamesHost(link)) << link;
  }
}

}  // namespace
}  // namespace trovelane
