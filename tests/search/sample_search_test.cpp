// Whole searches against the sample engines: what each engine was sent, what
// came back, the result limit, duplicates across engines and the run's end.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/search/search_fixture.h"

namespace trovelane::testing {
namespace {

using Strings = std::vector<std::string>;

TEST_F(SampleSearchTest, EachTechniqueRequestsItsOwnValues) {
  Use({"offset0", "offset1", "page0", "page1", "auto1", "auto2"});
  ASSERT_TRUE(Search("river"));
  EXPECT_EQ(SearchValues("offset0", "start"), (Strings{"0", "10", "20"}));
  EXPECT_EQ(SearchValues("offset1", "first"), (Strings{"1", "11", "21"}));
  EXPECT_EQ(SearchValues("page0", "page"), (Strings{"0", "1", "2"}));
  EXPECT_EQ(SearchValues("page1", "pg"), (Strings{"1", "2", "3"}));

  // Auto 1 sends the harvested cursor from the second page on; Auto 2 never
  // sends its result id and pages by the harvested state.
  Strings cursors = SearchValues("auto1", "cursor");
  ASSERT_EQ(cursors.size(), 3u);
  EXPECT_EQ(cursors[0], "");
  EXPECT_NE(cursors[1], "");
  EXPECT_NE(cursors[2], cursors[1]);
  EXPECT_EQ(SearchValues("auto2", "more"), (Strings{"", "", ""}));
  Strings states = SearchValues("auto2", "state");
  ASSERT_EQ(states.size(), 3u);
  EXPECT_NE(states[1], "");
  for (const char* name : {"auto1", "auto2"}) {
    for (const auto& r : Requests(name)) EXPECT_EQ(r["status"], 200) << name << r.dump();
  }
  // Every engine's row ends "Not Active", and the run ends "Ready".
  for (size_t i = 0; i < catalogue_.engines.size(); ++i) EXPECT_EQ(events_.rows[i], "Not Active");
  ASSERT_FALSE(events_.panes.empty());
  EXPECT_EQ(events_.panes.back(), "Ready");
  EXPECT_FALSE(run_->searching());
  EXPECT_FALSE(SpoolFilesLeft());
}

TEST_F(SampleSearchTest, PagesBySeparatorAndLeadingDigitsButNotToAnotherHost) {
  Use({"page0", "suffix", "offhost"});
  ASSERT_TRUE(Search("river"));
  // page0 writes "q=river;page=1": it pages only when ';' splits the pairs.
  EXPECT_EQ(SearchValues("page0", "page").size(), 3u);
  // suffix writes "start=10n": the leading digits count.
  EXPECT_EQ(SearchValues("suffix", "start"), (Strings{"0", "10", "20"}));
  // offhost's next link names localhost and another port.
  EXPECT_EQ(SearchValues("offhost", "start"), (Strings{"0"}));
}

TEST_F(SampleSearchTest, LimitFromAllEnginesEndsEveryEngine) {
  Use({"offset0", "page1", "suffix"});
  settings_.search.maxResults = 12;
  settings_.search.duplicateMode = kDuplicateNone;
  ASSERT_TRUE(Search("river"));
  // The test before each link and the count at the hand-off are apart, so
  // each other engine may pass the test once more.
  EXPECT_GE(events_.results.size(), 12u);
  EXPECT_LE(events_.results.size(), 14u);
  // Nobody asked for a third page.
  for (const char* name : {"offset0", "page1", "suffix"}) EXPECT_LE(Requests(name).size(), 2u);
}

TEST_F(SampleSearchTest, LimitPerEngineCountsFromThePageNumber) {
  Use({"offset0", "page1"});
  settings_.search.maxResults = 15;
  settings_.search.perEngine = 1;
  settings_.search.duplicateMode = kDuplicateNone;
  ASSERT_TRUE(Search("river"));
  std::map<std::string, int> perEngine;
  for (const auto& r : events_.results) ++perEngine[r.engineName];
  EXPECT_EQ(perEngine["offset0"], 15);
  EXPECT_EQ(perEngine["page1"], 15);
  EXPECT_EQ(SearchValues("offset0", "start"), (Strings{"0", "10"}));
}

TEST_F(SampleSearchTest, DuplicatesAcrossEnginesAreListedOnce) {
  Use({"offset0", "page1", "offset1"});
  ASSERT_TRUE(Search("harbor"));
  Strings urls = ResultUrls();
  ASSERT_FALSE(urls.empty());
  std::set<std::string> unique(urls.begin(), urls.end());
  EXPECT_EQ(unique.size(), urls.size());
  // With duplicates kept the same pages come from several engines.
  events_.results.clear();
  settings_.search.duplicateMode = kDuplicateNone;
  ASSERT_TRUE(Search("harbor"));
  Strings all = ResultUrls();
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()), unique);
  EXPECT_GT(all.size(), unique.size());
}

TEST_F(SampleSearchTest, CookiePagesAreVisitedAndTheirCookiesSentBack) {
  Use({"cookie"});
  ASSERT_TRUE(Search("river"));
  nlohmann::json requests = Requests("cookie");
  ASSERT_GE(requests.size(), 4u);
  EXPECT_EQ(requests[0]["path"], "/cookie/welcome.html");
  EXPECT_EQ(requests[1]["path"], "/cookie/consent.html");
  std::string previousCookie;
  for (size_t i = 2; i < requests.size(); ++i) {
    const auto& r = requests[i];
    EXPECT_EQ(r["status"], 200) << r.dump();
    std::string cookie = r["cookie"];
    EXPECT_NE(cookie.find("session="), std::string::npos) << cookie;
    EXPECT_NE(cookie.find("consent=yes"), std::string::npos) << cookie;
    // Each result page sets a new session, which the next request carries.
    EXPECT_NE(cookie, previousCookie);
    previousCookie = cookie;
  }
  EXPECT_EQ(events_.results.size(), 30u);
}

TEST_F(SampleSearchTest, PostBodiesCarryQueryAndOffset) {
  Use({"post"});
  ASSERT_TRUE(Search("river"));
  nlohmann::json requests = Requests("post");
  ASSERT_EQ(requests.size(), 3u);
  for (const auto& r : requests) {
    EXPECT_EQ(r["method"], "POST");
    EXPECT_EQ(r["status"], 200);
  }
  EXPECT_EQ(SearchValues("post", "offset"), (Strings{"0", "5", "10"}));
  EXPECT_NE(requests[0]["body"].get<std::string>().find("q=river"), std::string::npos);
  EXPECT_EQ(events_.results.size(), 15u);
}

TEST_F(SampleSearchTest, RefererRules) {
  Use({"page1", "referer"});
  ASSERT_TRUE(Search("river"));
  nlohmann::json plain = Requests("page1");
  ASSERT_EQ(plain.size(), 3u);
  const std::string base = server_.BaseUrl();
  EXPECT_EQ(plain[0]["referer"], "");
  // The page before's request is the referer of the next.
  EXPECT_EQ(plain[1]["referer"], base + plain[0]["target"].get<std::string>());
  EXPECT_EQ(plain[2]["referer"], base + plain[1]["target"].get<std::string>());
  for (const auto& r : Requests("referer")) {
    EXPECT_EQ(r["status"], 200);
    EXPECT_EQ(r["referer"], base + "/referer/form.html");
  }
}

TEST_F(SampleSearchTest, IndirectLinksAreKeptDecoded) {
  Use({"indirect"});
  ASSERT_TRUE(Search("river"));
  ASSERT_FALSE(events_.results.empty());
  for (const auto& r : events_.results) {
    EXPECT_NE(r.url.find("/indirect/jump.cgi?id="), std::string::npos) << r.url;
    EXPECT_EQ(r.url.find("&amp;"), std::string::npos) << r.url;
  }
}

TEST_F(SampleSearchTest, EveryEndingIsQuietAndTheOthersGoOn) {
  Use({"offset0", "offset0", "offset0", "offset0", "cookie"});
  catalogue_.engines[0].name = "closed";
  catalogue_.engines[0].searchUrl = "http://127.0.0.1:1/search";  // nothing listens
  catalogue_.engines[1].name = "malformed";
  catalogue_.engines[1].searchUrl = "http://127.0.0.1:12345678/search";  // port too long
  catalogue_.engines[2].name = "plugin";
  catalogue_.engines[2].isPlugin = true;  // not run yet: it only reports its end
  catalogue_.engines[3].name = "unselected";
  catalogue_.engines[3].selected = 0;
  // An ill-formed cookie page is skipped; the others are still visited.
  auto& cookies = catalogue_.engines[4].cookieUrls;
  cookies.insert(cookies.begin(), "http://127.0.0.1:12345678/welcome.html");
  ASSERT_TRUE(Search("river"));
  for (const auto& r : events_.results) EXPECT_EQ(r.engineName, "cookie");
  EXPECT_EQ(events_.results.size(), 30u);
  for (int i : {0, 1, 2, 4}) EXPECT_EQ(events_.rows[i], "Not Active") << i;
  EXPECT_EQ(events_.rows.count(3), 0u);  // an unselected engine has no worker
  EXPECT_EQ(events_.panes.back(), "Ready");
  EXPECT_EQ(events_.panes.front(), "0 Results Found !");
}

TEST_F(SampleSearchTest, TenEnginesAreSearchedAtOnce) {
  sample::SampleServerOptions o = Options();
  o.slowEngines = 10;
  o.latencyMs = 300;
  o.maxResultPages = 1;
  server_.Stop();
  // A server of its own, with ten slow engines.
  sample::SampleServer slow(o);
  ASSERT_TRUE(slow.Start().ok());
  catalogue_.engines.clear();
  for (const EngineDefinition& e : slow.Catalogue().engines) {
    if (e.name.rfind("slow", 0) == 0) catalogue_.engines.push_back(e);
  }
  ASSERT_EQ(catalogue_.engines.size(), 10u);
  ASSERT_TRUE(Search("river"));
  // All ten were in flight at the same moment.
  EXPECT_GE(slow.Stats()["maxInFlight"].get<int>(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(events_.rows[i], "Not Active");
  Strings urls = ResultUrls();
  EXPECT_GE(urls.size(), 10u);
  EXPECT_EQ(std::set<std::string>(urls.begin(), urls.end()).size(), urls.size());
  slow.Stop();
}

}  // namespace
}  // namespace trovelane::testing
