// Engines of today's web against scripted servers on 127.0.0.1: results
// chosen by anchor class or by the result list's markers, redirect links
// unwrapped, relative links of "any file type" engines left out, preset
// cookies under the server's, an engine's own shorter time-out, the
// request options of its definition on every request, and its connection
// kept from one page to the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

#include "search/search_status.h"
#include "tests/engines/engine_samples.h"
#include "tests/search/search_fixture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/test_certificates.h"

namespace trovelane::testing {
namespace {

using namespace std::chrono_literals;
using test::LoopbackServer;
using test::ServerConnection;

// The value of query parameter `name` in the request line of `request`.
std::string Param(const std::string& request, const std::string& name) {
  const std::string line = request.substr(0, request.find("\r\n"));
  const size_t at = line.find(name + "=");
  if (at == std::string::npos) return "";
  const size_t value = at + name.size() + 1;
  return line.substr(value, line.find_first_of("& ", value) - value);
}

// The value of header `name` in `request`, "" without one.
std::string Header(const std::string& request, const std::string& name) {
  const size_t at = request.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "";
  const size_t value = at + name.size() + 4;
  return request.substr(value, request.find("\r\n", value) - value);
}

constexpr const char* kHtmlHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

// A server whose result page for start=N is pages[N]; other requests (and
// other starts) get an empty page.
class PageServer {
 public:
  PageServer()
      : server_([this](ServerConnection& c) {
          const std::string request = c.ReadRequest();
          std::string body = "<html></html>";
          if (auto page = pages.find(Param(request, "start")); page != pages.end()) {
            body = page->second;
          }
          c.Send(kHtmlHead + body);
        }) {}
  std::string Url(std::string_view path) const { return server_.Url(path); }
  int port() const { return server_.port(); }
  std::string Received(size_t index) { return server_.Received(index); }

  std::map<std::string, std::string> pages;  // set before the search starts

 private:
  LoopbackServer server_;
};

std::string NextLink(int start) {
  return "<a href=\"/search?q=river&amp;start=" + std::to_string(start) + "\">Next</a>";
}

class WebEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.search.maxResults = 1000;
    settings_.search.duplicateMode = kDuplicateUrl;
    settings_.search.validationMode = kValidationNone;
  }

  bool Search(std::chrono::milliseconds limit = 30s, const std::string& text = "river") {
    run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
    EXPECT_EQ(run_->StartSearch(text), StartOutcome::kStarted);
    const bool ended = run_->ServeUntilDone(limit);
    if (!ended) run_->StopSearch();
    return ended;
  }

  std::vector<std::string> Results() const {
    std::vector<std::string> urls;
    for (const ResultHandoff& r : events_.results) urls.push_back(r.url);
    return urls;
  }

  NetworkSettings settings_;
  EngineCatalogue catalogue_;
  ScratchFolder folder_;
  RecordingEvents events_;
  std::unique_ptr<SearchRun> run_;
};

TEST_F(WebEngineTest, AnchorsOfTheResultClassAreTheResultsOverThreePages) {
  PageServer server;
  for (int page = 0; page < 3; ++page) {
    const std::string n = std::to_string(page);
    std::string body = "<a href=\"http://nav.test/help.html\">Help</a>";
    body += "<div class=\"result\"><a rel=\"nofollow\" class=\"result__a\" href=\"http://r" + n +
            ".test/a.html\">A" + n + "</a><a class=\"result__snippet\" href=\"http://r" + n +
            ".test/snippet.html\">s</a></div>";
    body += "<div class=result><a href='http://s" + n +
            ".test/b.html' class='big result__a'>B</a></div>";
    if (page < 2) body += NextLink((page + 1) * 10);
    server.pages[std::to_string(page * 10)] = body;
  }
  EngineDefinition engine = TestEngine("web", server.Url("/search"));
  engine.web.resultClass = "result__a";
  catalogue_.engines = {engine};
  ASSERT_TRUE(Search());
  EXPECT_EQ(Results(), (std::vector<std::string>{"http://r0.test/a.html", "http://s0.test/b.html",
                                                 "http://r1.test/a.html", "http://s1.test/b.html",
                                                 "http://r2.test/a.html", "http://s2.test/b.html"}));
  EXPECT_EQ(events_.results[0].title, "A0");
}

TEST_F(WebEngineTest, OnlyAnchorsInsideTheResultListAreResults) {
  PageServer server;
  const std::string list = "<ul class=\"results-standard\">";
  server.pages["0"] = "<a href=\"http://head.test/x.html\">top</a>" + list +
                      "<li><a class=ob href=\"http://one.test/1.html\">1</a></li>"
                      "<li><a class=ob href=\"http://two.test/2.html\">2</a></li></ul>"
                      "<a href=\"http://foot.test/y.html\">foot</a>" +
                      NextLink(10);
  // The second page has no result list: it has no results, and ends the engine.
  server.pages["10"] = "<p>No results.</p><a href=\"http://other.test/z.html\">z</a>" + NextLink(20);
  EngineDefinition engine = TestEngine("web", server.Url("/search"));
  engine.web.resultListStart = list;
  engine.web.resultListEnd = "</ul>";
  catalogue_.engines = {engine};
  ASSERT_TRUE(Search());
  EXPECT_EQ(Results(),
            (std::vector<std::string>{"http://one.test/1.html", "http://two.test/2.html"}));
  const auto& row = events_.rowHistory[0];
  EXPECT_NE(std::find(row.begin(), row.end(), kStatusNoNewResults), row.end());
}

// The shape of an engine whose results go through its own redirect, with
// ordinary web addresses as results and advertisements as relative links.
TEST_F(WebEngineTest, RedirectLinksGiveTheRealAddressAndRelativeLinksAreNoResults) {
  PageServer server;
  const std::string redirect = "//127.0.0.1:" + std::to_string(server.port()) + "/l/?uddg=";
  server.pages["0"] =
      "<a href=\"/settings\">Settings</a>"
      "<a class=\"result__a\" href=\"" + redirect +
      "https%3A%2F%2Fa.test%2Fpage.php%3Fid%3D1%26k%3D2&amp;rut=abc\">A</a>"
      "<a class=\"result__a\" href=\"https://b.test/about\">B</a>"
      "<a class=\"result__a\" href=\"/y.js?ad_domain=ads.test&amp;u3=x\">Ad</a>"
      "<a class=\"result__a\" href=\"" + redirect + "javascript%3Aalert(1)\">bad</a>"
      "<a class=\"result__a\" href=\"" + redirect + "%2F%2Fc.test%2Fdoc\"></a>" +
      NextLink(10);
  server.pages["10"] = "<a class=\"result__a\" href=\"https://d.test/\">D</a>";
  EngineDefinition engine = TestEngine("web", server.Url("/search"));
  engine.web.resultClass = "result__a";
  engine.web.redirectParameter = "uddg";
  engine.web.anyFileType = true;
  catalogue_.engines = {engine};
  ASSERT_TRUE(Search());
  EXPECT_EQ(Results(), (std::vector<std::string>{"https://a.test/page.php?id=1&k=2",
                                                 "https://b.test/about", "http://c.test/doc",
                                                 "https://d.test/"}));
  EXPECT_EQ(events_.results[0].title, "A");
  // An anchor without text is titled by the address it leads to.
  EXPECT_EQ(events_.results[2].title, "http://c.test/doc");

  // Without "any file type" the same pages give only what the file types
  // allow: a folder ("/"), not "about" or "page.php".
  events_ = RecordingEvents();
  catalogue_.engines[0].web.anyFileType = false;
  ASSERT_TRUE(Search());
  EXPECT_EQ(Results(), (std::vector<std::string>{"https://d.test/"}));
}

// The shape of an encyclopedia: its articles are its own pages, linked
// without a host inside the result list, their names full of dots; the
// query's phrase goes out in the engine's quote spelling.
TEST_F(WebEngineTest, AnEncyclopediasOwnArticlesAreResultsAndAPhraseKeepsItsBlank) {
  PageServer server;
  server.pages["0"] =
      "<a href=\"/wiki/Main_Page\">Main page</a><ul class=\"mw-search-results\">"
      "<li><a href=\"/wiki/St._Louis\" title=\"St. Louis\">St. Louis</a></li>"
      "<li><a href=\"/wiki/River_lantern\">River lantern</a></li>"
      "<li><a href=\"https://other.test/x.html\">x</a></li></ul>"
      "<a href=\"/wiki/Help:Searching\">Help</a>";
  EngineDefinition engine = TestEngine("web", server.Url("/w/index.php"));
  engine.useBoolean = 1;
  engine.andOperator = "+";
  engine.exactOperator = "%22";
  engine.searchedFileTypes.clear();
  engine.web.resultListStart = "<ul class=\"mw-search-results\"";
  engine.web.resultListEnd = "</ul>";
  engine.web.anyFileType = true;
  engine.web.ownPages = true;
  catalogue_.engines = {engine};
  ASSERT_TRUE(Search(30s, "\"river lantern\" boat"));
  const std::string site = "http://127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(Results(), (std::vector<std::string>{site + "/wiki/St._Louis",
                                                 site + "/wiki/River_lantern",
                                                 "https://other.test/x.html"}));
  EXPECT_EQ(events_.results[0].title, "St. Louis");
  // The phrase's blank is escaped inside the target, not sent raw (which
  // would end the target at "%22river").
  const std::string request = server.Received(0);
  EXPECT_EQ(request.substr(0, request.find("\r\n")),
            "GET /w/index.php?q=%22river%20lantern%22+boat&start=0 HTTP/1.0");

  // Without its own pages the same list gives only the other site's link.
  events_ = RecordingEvents();
  catalogue_.engines[0].web.ownPages = false;
  ASSERT_TRUE(Search(30s, "\"river lantern\" boat"));
  EXPECT_EQ(Results(), (std::vector<std::string>{"https://other.test/x.html"}));
}

TEST_F(WebEngineTest, PresetCookiesGoWithEveryRequestUnderTheServersOwn) {
  LoopbackServer server([](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    if (request.rfind("GET /cookie", 0) == 0) {
      c.Send("HTTP/1.0 200 OK\r\nSet-Cookie: theme=light; path=/\r\nSet-Cookie: sid=42\r\n\r\n");
    } else {
      c.Send(std::string(kHtmlHead) + "<a href=\"http://r.test/a.html\">a</a>");
    }
  });
  EngineDefinition engine = TestEngine("web", server.Url("/search"));
  engine.cookieUrls = {server.Url("/cookie")};
  engine.requiresCookies = 1;
  engine.web.cookies = "kl=wt-wt; theme=dark";
  catalogue_.engines = {engine};
  ASSERT_TRUE(Search());
  ASSERT_EQ(server.ConnectionCount(), 2u);
  EXPECT_EQ(Header(server.Received(0), "Cookie"), "kl=wt-wt; theme=dark");
  EXPECT_EQ(Header(server.Received(1), "Cookie"), "kl=wt-wt; theme=light; sid=42");
  EXPECT_EQ(Results(), (std::vector<std::string>{"http://r.test/a.html"}));

  // An engine without preset cookies sends exactly what its server set.
  catalogue_.engines[0].web.cookies.clear();
  events_ = RecordingEvents();
  ASSERT_TRUE(Search());
  ASSERT_EQ(server.ConnectionCount(), 4u);
  EXPECT_EQ(server.Received(2).find("Cookie:"), std::string::npos);
  EXPECT_EQ(Header(server.Received(3), "Cookie"), "theme=light;sid=42");
}

// The program waits as long as the system allows; the engine asks for one
// second, and the search ends on that.
TEST_F(WebEngineTest, AnEnginesOwnReadTimeOutEndsItsSilentServer) {
  settings_.program.readTimeoutSeconds = 0;
  LoopbackServer silent([](ServerConnection& c) {
    c.ReadRequest();
    c.WaitForStop();
  });
  EngineDefinition engine = TestEngine("web", silent.Url("/search"));
  engine.web.readTimeoutSeconds = 1;
  catalogue_.engines = {engine};
  // Generous: a second or so after the request went out.
  ASSERT_TRUE(Search(30s)) << "the engine's own time-out did not end it";
  const auto& row = events_.rowHistory[0];
  EXPECT_NE(std::find(row.begin(), row.end(), kStatusTimedOut), row.end());
}

// Every request of an engine carries what its definition asks for: its
// User-Agent, its headers, HTTP/1.1 and compression, on its cookie pages and
// result pages; the validation fetch of a result carries the User-Agent and
// protocol choices but none of the engine's headers.
TEST_F(WebEngineTest, EveryRequestOfTheEngineCarriesItsOptions) {
  LoopbackServer server([](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    if (request.find(" /cookie ") != std::string::npos) {
      c.Send("HTTP/1.0 200 OK\r\n\r\n");
    } else if (request.find(" /doc.html ") != std::string::npos) {
      c.Send(std::string(kHtmlHead) + "<title>river</title>");
    } else {
      c.Send(std::string(kHtmlHead) + "<a href=\"/doc.html\">river doc</a>");
    }
  });
  settings_.search.validationMode = kValidationVal;
  EngineDefinition engine = TestEngine("web", server.Url("/search"));
  engine.cookieUrls = {server.Url("/cookie")};
  engine.web.userAgent = "Agent/1 (test)";
  engine.web.headers = {{"X-Test", "one two"}};
  engine.web.http11 = true;
  engine.web.acceptCompression = true;
  catalogue_.engines = {engine};
  ASSERT_TRUE(Search());
  ASSERT_EQ(Results(), (std::vector<std::string>{server.Url("/doc.html")}));
  ASSERT_EQ(server.ConnectionCount(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const std::string request = server.Received(i);
    SCOPED_TRACE(request);
    EXPECT_NE(request.find(" HTTP/1.1\r\n"), std::string::npos);
    EXPECT_EQ(Header(request, "User-Agent"), "Agent/1 (test)");
    // A search keeps its HTTP/1.1 connections alive where the server lets it.
    EXPECT_EQ(Header(request, "Connection"), "");
    EXPECT_EQ(Header(request, "Accept-Encoding"), "gzip, deflate");
    // The validation fetch (the third) goes to the result's site.
    EXPECT_EQ(Header(request, "X-Test"), i < 2 ? "one two" : "");
  }
}

}  // namespace
}  // namespace trovelane::testing

namespace trovelane::testing {
namespace {

// An HTTP/1.1 engine over TLS asks for its three pages on one connection and
// one full handshake; where its server closes after every answer, each page
// has a connection of its own and resumes the first one's TLS session.
TEST_F(WebEngineTest, AnHttp11EngineOverTlsKeepsItsConnectionOrResumesItsSession) {
  const test::TestCertificates& certificates = test::GetTestCertificates();
  setenv("SSL_CERT_FILE", certificates.caFile.c_str(), 1);
  for (const bool closeEach : {false, true}) {
    SCOPED_TRACE(closeEach ? "the server closes" : "the server keeps the connection");
    std::mutex mutex;
    std::vector<bool> resumed;  // of each connection, in order
    LoopbackServer server(
        [&](ServerConnection& c) {
          {
            std::lock_guard lock(mutex);
            resumed.push_back(c.SessionReused());
          }
          for (;;) {
            const std::string request = c.ReadRequest();
            if (request.find("\r\n\r\n") == std::string::npos) return;
            const int start = std::atoi(Param(request, "start").c_str());
            std::string body = "<a href=\"http://r" + std::to_string(start) + ".test/a.html\">A</a>";
            if (start < 20) body += NextLink(start + 10);
            c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                   (closeEach ? "Connection: close\r\n" : "") + "\r\n" + body);
            if (closeEach) return;
          }
        },
        certificates.serverCert, certificates.serverKey);
    EngineDefinition engine = TestEngine("tls", server.Url("/search"));
    engine.web.http11 = true;
    catalogue_.engines = {engine};
    const size_t before = events_.results.size();
    ASSERT_TRUE(Search());
    EXPECT_EQ(events_.results.size() - before, 3u);
    run_.reset();
    std::lock_guard lock(mutex);
    const std::vector<bool> expected =
        closeEach ? std::vector<bool>{false, true, true} : std::vector<bool>{false};
    EXPECT_EQ(resumed, expected);
  }
  unsetenv("SSL_CERT_FILE");
}

}  // namespace
}  // namespace trovelane::testing
