#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include "tests/tools/loopback_fetch.h"
#include "tools/sample_engines/query.h"
#include "tools/sample_engines/sample_server.h"

namespace trovelane::sample {
namespace {

using testing::FetchedPage;
using testing::Get;
using testing::Post;

TEST(SampleQueryTest, TermsGroupsAndWholeWords) {
  TermQuery q = ParseTerms("river -copper OR \"Old Harbor\" (falcon)");
  ASSERT_EQ(q.size(), 2u);
  ASSERT_EQ(q[0].size(), 2u);
  EXPECT_TRUE(q[0][1].negated);
  EXPECT_EQ(q[1][0].text, "old harbor");
  EXPECT_TRUE(Matches(q, "the river bend"));
  EXPECT_FALSE(Matches(q, "river and copper"));
  EXPECT_TRUE(Matches(q, "an old harbor, a falcon"));
  EXPECT_FALSE(Matches(q, "rivers"));  // whole words only
  EXPECT_FALSE(Matches(ParseTerms("-river"), "nothing"));

  QueryPairs pairs = ParseQuery("q=a%22b+c;page=2&x", "&;");
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[0].second, "a\"b c");
  EXPECT_EQ(*FindValue(pairs, "page"), "2");
  EXPECT_EQ(*FindValue(pairs, "x"), "");
}

class SampleServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SampleServerOptions options;
    options.latencyMs = 300;
    server_ = std::make_unique<SampleServer>(options);
    const Status started = server_->Start();
    ASSERT_TRUE(started.ok()) << started.message();
    port_ = server_->Port();
  }
  void TearDown() override { server_->Stop(); }

  // The href values of the anchors whose text is "Next page &gt;".
  static std::vector<std::string> NextLinks(const std::string& html) {
    static const std::regex next(R"(<A HREF=["']?([^"' >]*)["']?>Next page)");
    std::vector<std::string> links;
    for (std::sregex_iterator it(html.begin(), html.end(), next), end; it != end; ++it) {
      links.push_back((*it)[1]);
    }
    return links;
  }
  static std::vector<std::string> ResultLinks(const std::string& html) {
    static const std::regex item(R"(<LI><A HREF=["']?([^"' >]*))");
    std::vector<std::string> links;
    for (std::sregex_iterator it(html.begin(), html.end(), item), end; it != end; ++it) {
      links.push_back((*it)[1]);
    }
    return links;
  }
  static std::string FieldValue(const std::string& html, const std::string& name) {
    std::smatch m;
    std::regex field("NAME=\"" + name + "\" VALUE=\"([^\"]*)\"");
    return std::regex_search(html, m, field) ? m[1].str() : std::string();
  }
  nlohmann::json EngineStats(const std::string& name) {
    return nlohmann::json::parse(Get(port_, "/_stats").body)["engines"][name];
  }

  std::unique_ptr<SampleServer> server_;
  uint16_t port_ = 0;
};

// Walks every counted technique from its first value: each page's next link
// must carry the technique's next value, the pages must not overlap, and
// the walk ends at the bound on result pages.
TEST_F(SampleServerTest, CountedTechniquesPageWithTheirValues) {
  struct Case {
    std::string engine, resultId, separator;
    std::vector<int> values;
  };
  const std::vector<Case> cases = {{"offset0", "start", "&amp;", {0, 10, 20, 30, 40}},
                                   {"offset1", "first", "&", {1, 11, 21, 31, 41}},
                                   {"page0", "page", ";", {0, 1, 2, 3, 4}},
                                   {"page1", "pg", "&", {1, 2, 3, 4, 5}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.engine);
    std::set<std::string> seen;
    for (size_t k = 0; k < c.values.size(); ++k) {
      std::string sep = c.separator == ";" ? ";" : "&";
      FetchedPage page = Get(port_, "/" + c.engine + "/search?q=river" + sep + c.resultId + "=" +
                                        std::to_string(c.values[k]));
      ASSERT_EQ(page.status, 200);
      for (const auto& link : ResultLinks(page.body)) EXPECT_TRUE(seen.insert(link).second) << link;
      std::vector<std::string> next = NextLinks(page.body);
      if (k + 1 == c.values.size()) {
        EXPECT_TRUE(next.empty());  // "river" has more matches than five pages hold
      } else {
        ASSERT_EQ(next.size(), 1u);
        EXPECT_NE(next[0].find(c.separator + c.resultId + "=" + std::to_string(c.values[k + 1])),
                  std::string::npos)
            << next[0];
      }
    }
    EXPECT_EQ(seen.size(), 50u);
  }
  // Link forms: absolute, single-quoted root-relative, unquoted host-relative.
  std::string base = server_->BaseUrl();
  EXPECT_EQ(ResultLinks(Get(port_, "/offset0/search?q=river").body)[0].rfind(base + "/pages/", 0),
            0u);
  EXPECT_EQ(ResultLinks(Get(port_, "/page0/search?q=river").body)[0].rfind("pages/", 0), 0u);
}

TEST_F(SampleServerTest, NextLinkVariantsAndBadValues) {
  std::vector<std::string> off = NextLinks(Get(port_, "/offhost/search?q=river").body);
  ASSERT_EQ(off.size(), 2u);
  EXPECT_EQ(off[0].rfind("http://localhost:" + std::to_string(port_) + "/", 0), 0u);
  EXPECT_EQ(off[1].rfind("http://127.0.0.1:" + std::to_string(port_ + 1) + "/", 0), 0u);
  std::vector<std::string> suffix = NextLinks(Get(port_, "/suffix/search?q=river&start=10").body);
  ASSERT_EQ(suffix.size(), 1u);
  EXPECT_TRUE(suffix[0].ends_with("start=20n"));
  // Values that count by their leading digits, and values that do not count.
  EXPECT_EQ(Get(port_, "/suffix/search?q=river&start=20n").status, 200);
  EXPECT_EQ(Get(port_, "/offset0/search?q=river&start=x").status, 400);
  EXPECT_EQ(Get(port_, "/page1/search?q=river&pg=0").status, 400);
  // Past the last page: an empty list without a next link.
  FetchedPage beyond = Get(port_, "/offset0/search?q=river&start=500");
  EXPECT_TRUE(ResultLinks(beyond.body).empty());
  EXPECT_TRUE(NextLinks(beyond.body).empty());
  // A word no page holds.
  EXPECT_TRUE(ResultLinks(Get(port_, "/offset0/search?q=zebra").body).empty());
  // A phrase arrives with its blank as it stands in the request line.
  FetchedPage phrase = Get(port_, "/offset0/search?q=%22on the raven%22");
  ASSERT_EQ(phrase.status, 200);
  EXPECT_FALSE(ResultLinks(phrase.body).empty());
  EXPECT_LT(ResultLinks(phrase.body).size(),
            ResultLinks(Get(port_, "/offset0/search?q=raven").body).size());
}

TEST_F(SampleServerTest, AutoTechniquesPageByHarvestedFields) {
  // Auto 1: the cursor of one page brings the next one, five pages in all.
  std::string target = "/auto1/search?q=river";
  std::set<std::string> seen;
  int pages = 0;
  for (; pages < 10; ++pages) {
    FetchedPage page = Get(port_, target);
    ASSERT_EQ(page.status, 200);
    for (const auto& link : ResultLinks(page.body)) EXPECT_TRUE(seen.insert(link).second);
    EXPECT_TRUE(NextLinks(page.body).empty());  // no anchors to page by
    std::string cursor = FieldValue(page.body, "cursor");
    if (cursor.empty()) break;
    target = "/auto1/search?q=river&cursor=" + cursor;
  }
  EXPECT_EQ(pages + 1, 5);
  EXPECT_EQ(seen.size(), 50u);
  EXPECT_EQ(Get(port_, "/auto1/search?q=river&cursor=p10-00000000").status, 400);
  EXPECT_EQ(Get(port_, "/auto1/search?q=copper&cursor=" +
                           FieldValue(Get(port_, "/auto1/search?q=river").body, "cursor"))
                .status,
            400);  // a cursor belongs to its query

  // Auto 2: pages by the harvested state; "more" is present while there is a next page.
  FetchedPage first = Get(port_, "/auto2/search?q=river");
  EXPECT_EQ(FieldValue(first.body, "more"), "More results");
  std::string state = FieldValue(first.body, "state");
  ASSERT_FALSE(state.empty());
  FetchedPage second = Get(port_, "/auto2/search?q=river&state=" + state);
  ASSERT_EQ(second.status, 200);
  EXPECT_NE(ResultLinks(second.body), ResultLinks(first.body));
  FetchedPage rare = Get(port_, "/auto2/search?q=raven");
  EXPECT_EQ(rare.body.find("NAME=\"more\""), std::string::npos);  // one page only
}

TEST_F(SampleServerTest, CookieRefererAndMethodGates) {
  EXPECT_EQ(Get(port_, "/cookie/search?q=river").status, 403);
  // Consent without the welcome page first gives no session.
  EXPECT_EQ(Get(port_, "/cookie/consent.html").head.find("session="), std::string::npos);
  EXPECT_EQ(Get(port_, "/cookie/welcome.html").status, 200);
  FetchedPage consent = Get(port_, "/cookie/consent.html");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(consent.head, m, std::regex("Set-Cookie: session=(s[0-9]+)")));
  const std::string session = m[1];
  EXPECT_EQ(Get(port_, "/cookie/search?q=river", "Cookie: session=" + session + "\r\n").status,
            403);  // consent missing
  FetchedPage page =
      Get(port_, "/cookie/search?q=river", "Cookie: session=" + session + ";consent=yes\r\n");
  ASSERT_EQ(page.status, 200);
  EXPECT_EQ(ResultLinks(page.body).size(), 10u);
  // Each result page sets a fresh session for the next request.
  ASSERT_TRUE(std::regex_search(page.head, m, std::regex("Set-Cookie: session=(s[0-9]+)")));
  EXPECT_NE(m[1], session);
  EXPECT_NE(page.head.find("Set-Cookie: consent=yes"), std::string::npos);
  EXPECT_EQ(Get(port_, "/cookie/search?q=river", "Cookie: session=s999;consent=yes\r\n").status,
            403);

  const std::string form = server_->BaseUrl() + "/referer/form.html";
  EXPECT_EQ(Get(port_, "/referer/search?q=river").status, 403);
  EXPECT_EQ(
      Get(port_, "/referer/search?q=river", "Referer: " + server_->BaseUrl() + "/\r\n").status,
      403);
  EXPECT_EQ(Get(port_, "/referer/search?q=river", "Referer: " + form + "\r\n").status, 200);

  EXPECT_EQ(Get(port_, "/post/search?q=river").status, 405);
  FetchedPage posted = Post(port_, "/post/search", "q=river&hl=en&offset=5");
  ASSERT_EQ(posted.status, 200);
  EXPECT_EQ(ResultLinks(posted.body).size(), 5u);
  ASSERT_EQ(NextLinks(posted.body).size(), 1u);
  EXPECT_TRUE(NextLinks(posted.body)[0].ends_with("&offset=10"));
}

TEST_F(SampleServerTest, IndirectLinksGoneAndStalePages) {
  FetchedPage page = Get(port_, "/indirect/search?q=river");
  std::vector<std::string> links = ResultLinks(page.body);
  ASSERT_EQ(links.size(), 10u);
  for (const auto& link : links) {
    EXPECT_EQ(link.rfind("/indirect/jump.cgi?id=", 0), 0u);
    EXPECT_TRUE(link.ends_with("&amp;from=list"));
  }
  EXPECT_NE(page.body.find("HREF=\"/indirect/help.html\""), std::string::npos);
  EXPECT_EQ(Get(port_, links[0]).status, 400);  // "&amp;" kept as written
  FetchedPage jump = Get(port_, std::regex_replace(links[0], std::regex("&amp;"), "&"));
  EXPECT_EQ(jump.status, 302);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(jump.head, m, std::regex("Location: (\\S+)")));
  EXPECT_EQ(m[1].str().rfind(server_->BaseUrl() + "/pages/", 0), 0u);
  EXPECT_EQ(Get(port_, "/indirect/jump.cgi?id=99999").status, 404);

  int gone = 0, stale = 0;
  for (const auto& p : server_->Pages().Pages()) {
    FetchedPage served = Get(port_, p.path);
    if (p.state == PageState::kGone) {
      ++gone;
      EXPECT_EQ(served.status, 404);
    } else {
      EXPECT_EQ(served.status, 200);
      EXPECT_EQ(served.body, p.html);
      std::string lower = served.body;
      for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      for (const auto& w : p.words) {
        bool present = lower.find(w.word) != std::string::npos;
        EXPECT_EQ(present, p.state == PageState::kLive) << p.path << " " << w.word;
      }
      stale += p.state == PageState::kStale;
    }
  }
  EXPECT_GT(gone, 5);
  EXPECT_GT(stale, 5);
  // Engines list gone and stale pages like any other.
  bool listsGone = false;
  for (const auto& word : Corpus::Vocabulary()) {
    for (const auto& link : ResultLinks(Get(port_, "/offset1/search?q=" + word).body)) {
      const CorpusPage* p = server_->Pages().FindByPath(link);
      ASSERT_NE(p, nullptr) << link;
      listsGone = listsGone || p->state == PageState::kGone;
    }
  }
  EXPECT_TRUE(listsGone);
}

TEST_F(SampleServerTest, StatsRecordRequestsAndConcurrency) {
  Get(port_, "/_reset");
  Get(port_, "/offset0/search?q=river&hl=en&start=10", "Referer: http://x/\r\nCookie: a=1\r\n");
  Post(port_, "/post/search", "q=copper&offset=0");
  Get(port_, "/pages/001.html");
  Get(port_, "/offset0/search?q=caf\xe9");  // not UTF-8

  nlohmann::json offset0 = EngineStats("offset0");
  ASSERT_EQ(offset0["requests"].size(), 2u);
  const auto& r = offset0["requests"][0];
  EXPECT_EQ(r["method"], "GET");
  EXPECT_EQ(r["target"], "/offset0/search?q=river&hl=en&start=10");
  EXPECT_EQ(r["referer"], "http://x/");
  EXPECT_EQ(r["cookie"], "a=1");
  EXPECT_EQ(r["params"][2], nlohmann::json({"start", "10"}));
  EXPECT_EQ(r["status"], 200);
  nlohmann::json post = EngineStats("post");
  EXPECT_EQ(post["requests"][0]["body"], "q=copper&offset=0");
  EXPECT_EQ(post["requests"][0]["params"][1], nlohmann::json({"offset", "0"}));
  EXPECT_EQ(EngineStats("pages")["requests"][0]["path"], "/pages/001.html");

  // Three slow requests at once: all three are in flight together.
  std::vector<std::thread> clients;
  for (int i = 0; i < 3; ++i) {
    clients.emplace_back([&] { EXPECT_EQ(Get(port_, "/slow1/search?q=river").status, 200); });
  }
  for (auto& t : clients) t.join();
  nlohmann::json stats = nlohmann::json::parse(Get(port_, "/_stats").body);
  EXPECT_EQ(stats["engines"]["slow1"]["maxInFlight"], 3);
  EXPECT_GE(stats["maxInFlight"], 3);
  EXPECT_EQ(stats["inFlight"], 0);
  EXPECT_EQ(stats["requests"], 7);
  EXPECT_EQ(stats["engines"]["slow1"]["requests"][2]["complete"], true);

  Get(port_, "/_reset");
  EXPECT_EQ(EngineStats("slow1")["requests"].size(), 0u);
  EXPECT_EQ(EngineStats("slow1")["maxInFlight"], 0);
}

TEST_F(SampleServerTest, StopEndsAPausedDownload) {
  SampleServerOptions options;
  options.latencyMs = 60000;
  SampleServer slow(options);
  ASSERT_TRUE(slow.Start().ok());
  FetchedPage page;
  std::thread client([&] { page = Get(slow.Port(), "/slow1/search?q=river"); });
  for (int i = 0; i < 250 && slow.Stats()["inFlight"] == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the first half is on its way
  auto began = std::chrono::steady_clock::now();
  slow.Stop();
  client.join();
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
  EXPECT_EQ(page.status, 200);  // the head and half the page had arrived
  EXPECT_EQ(page.body.find("</HTML>"), std::string::npos);
  EXPECT_EQ(slow.Stats()["engines"]["slow1"]["requests"][0]["complete"], false);
}

TEST_F(SampleServerTest, AClientThatLeavesEndsThePause) {
  SampleServerOptions options;
  options.latencyMs = 60000;
  SampleServer slow(options);
  ASSERT_TRUE(slow.Start().ok());
  std::thread client([&] {
    // Read the first part of the answer, then hang up.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(slow.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::string request = "GET /slow1/search?q=river HTTP/1.0\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[256];
    EXPECT_GT(recv(fd, buffer, sizeof buffer, 0), 0);
    close(fd);
  });
  client.join();
  nlohmann::json stats;
  for (int i = 0; i < 100; ++i) {
    stats = slow.Stats();
    if (stats["inFlight"] == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(stats["inFlight"], 0);
  EXPECT_EQ(stats["engines"]["slow1"]["requests"][0]["complete"], false);
}

}  // namespace
}  // namespace trovelane::sample
