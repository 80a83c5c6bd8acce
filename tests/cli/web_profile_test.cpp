// The shipped web profile, end to end: a first start of trovelane-cli makes it
// current, and its five definitions search modelled pages of their engines,
// served on loopback under the engines' real host names (--resolve). The
// fixture answers 400 to any request that an engine would not take, so a
// definition that sends the wrong request fails here. Nothing reaches a
// public engine: every search goes through --resolve to loopback, and the
// loopback guard ends the program if anything tries otherwise.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "tests/cli/cli_home.h"
#include "tests/support/web_engines_fixture.h"

namespace trovelane::testing {
namespace {

using test::WebEngine;
using test::WebEngineMode;
using test::WebEnginesFixture;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct SearchOutput {
  int exitCode = -1;
  std::vector<nlohmann::json> results;
  std::map<std::string, nlohmann::json> engines;  // by engine name
  std::string err;
  std::string all;  // for failure messages
};

class WebProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HttpsFixtureServer::CanListenOnPort443()) {
      GTEST_SKIP() << "port 443 of loopback is not open to this process (needs root)";
    }
    setenv("SSL_CERT_FILE", WebEnginesFixture::CaFile().c_str(), 1);
    setenv("TROVELANE_LOOPBACK_ONLY", "1", 1);
    fixture_ = std::make_unique<WebEnginesFixture>();
  }

  // `args` (a "search" command) with --resolve for every engine host.
  std::vector<std::string> WithResolve(std::vector<std::string> args) const {
    std::vector<std::string> resolve = fixture_->ResolveArguments();
    args.insert(args.begin() + 1, resolve.begin(), resolve.end());
    return args;
  }

  // The engines the fixture models; the profile's other engines have no
  // model of their paging here (tests/cli/captured_pages_test.cpp reads them).
  static std::vector<std::string> ModelledEngines(std::string option) {
    std::vector<std::string> args;
    for (WebEngine engine : test::kWebEngines) {
      if (!option.empty()) args.push_back(option);
      args.push_back(WebEnginesFixture::Name(engine));
    }
    return args;
  }

  SearchOutput Search(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"search", "--format", "json", "--validate", "none",
                                     "--max",  "1000"};
    const std::vector<std::string> engines = ModelledEngines("--engine");
    args.insert(args.end(), engines.begin(), engines.end());
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(WebEnginesFixture::kQuery);
    SplitOutcome run = home_.RunSplit(WithResolve(args));
    SearchOutput out;
    out.exitCode = run.exitCode;
    out.err = run.err;
    out.all = run.out + run.err;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
      if (line.empty() || line[0] != '{') continue;
      nlohmann::json json = nlohmann::json::parse(line);
      if (json.contains("url")) out.results.push_back(json);
      if (json.contains("engine")) out.engines[json["engine"].get<std::string>()] = json;
    }
    return out;
  }

  static std::set<std::string> UrlsOf(const SearchOutput& out, const std::string& engine) {
    std::set<std::string> urls;
    for (const nlohmann::json& r : out.results) {
      if (r["engineName"] == engine) urls.insert(r["url"].get<std::string>());
    }
    return urls;
  }

  CliHome home_{CliHome::kFirstStart};
  std::unique_ptr<WebEnginesFixture> fixture_;
};

TEST_F(WebProfileTest, FirstStartSearchesTheModelledEnginesThroughThreePagesEach) {
  SearchOutput out = Search();
  ASSERT_EQ(out.exitCode, 0) << out.all;
  EXPECT_THAT(fixture_->Refusals(), IsEmpty());

  for (WebEngine engine : test::kWebEngines) {
    const std::string name = WebEnginesFixture::Name(engine);
    EXPECT_THAT(fixture_->PagesServed(engine), ElementsAre(1, 2, 3)) << name;
    ASSERT_TRUE(out.engines.count(name)) << name << "\n" << out.all;
    const nlohmann::json& report = out.engines[name];
    EXPECT_EQ(report["ending"], "done") << report;
    EXPECT_EQ(report["pages"], WebEnginesFixture::kPages) << report;
    EXPECT_EQ(report["results"], WebEnginesFixture::kPages * WebEnginesFixture::kResultsPerPage)
        << report;
    EXPECT_EQ(UrlsOf(out, name).size(),
              static_cast<size_t>(WebEnginesFixture::kPages * WebEnginesFixture::kResultsPerPage))
        << name;
    EXPECT_THAT(out.err, HasSubstr("[" + name + "] 9 results, 3 pages, done"));
  }
  EXPECT_EQ(out.results.size(), 45u);

  // DuckDuckGo's redirect links are unwrapped to the address they carry;
  // its advertisement (a link to its own host) is dropped.
  const std::set<std::string> duck = UrlsOf(out, "DuckDuckGo");
  EXPECT_TRUE(duck.count("https://river1.example/lantern?page=1&lang=en"));
  EXPECT_TRUE(duck.count("https://river9.example/lantern?page=9&lang=en"));
  // Brave's links without a host are advertisements.
  const std::set<std::string> brave = UrlsOf(out, "Brave Search");
  EXPECT_TRUE(brave.count("https://river4.example/lantern-4/"));
  // Wikipedia's articles are its own pages, whatever their names end in; a
  // redirect's note and a thumbnail beside a result are not results.
  const std::set<std::string> wiki = UrlsOf(out, "Wikipedia");
  EXPECT_TRUE(wiki.count("https://en.wikipedia.org/wiki/Toro_nagashi"));
  EXPECT_TRUE(wiki.count("https://en.wikipedia.org/wiki/River_lanterns_(St._Ives)"));
  EXPECT_FALSE(wiki.count("https://en.wikipedia.org/wiki/St._Ives_lanterns"));
  EXPECT_FALSE(wiki.count("https://en.wikipedia.org/wiki/File:Floating_lantern.jpg"));
  EXPECT_TRUE(UrlsOf(out, "Wiby").count("http://lantern-river7.example/index.html"));
  EXPECT_TRUE(UrlsOf(out, "Mojeek").count("https://lantern2.example/river/2.html"));
  // Each result keeps the text of its anchor.
  std::map<std::string, std::string> titles;
  for (const nlohmann::json& r : out.results) titles[r["url"]] = r["text"];
  EXPECT_EQ(titles["https://river1.example/lantern?page=1&lang=en"], "River lantern 1");
  EXPECT_EQ(titles["https://lantern2.example/river/2.html"], "Lantern on the river 2");
  EXPECT_EQ(titles["https://en.wikipedia.org/wiki/Toro_nagashi"], "Toro nagashi");
  EXPECT_EQ(titles["http://lantern-river7.example/index.html"], "Lantern River home page 7");
  for (const nlohmann::json& r : out.results) {
    const std::string url = r["url"];
    EXPECT_EQ(url.find("duckduckgo.com"), std::string::npos) << url;
    EXPECT_EQ(url.find("/a/redirect"), std::string::npos) << url;
    EXPECT_EQ(url.find("search.brave.com"), std::string::npos) << url;
    EXPECT_EQ(url.find("www.mojeek.com"), std::string::npos) << url;
    EXPECT_EQ(url.find("Main_Page"), std::string::npos) << url;
  }
}

TEST_F(WebProfileTest, EachEngineGetsTheRequestItNeeds) {
  SearchOutput out = Search();
  ASSERT_EQ(out.exitCode, 0) << out.all;
  EXPECT_THAT(fixture_->Refusals(), IsEmpty());

  // DuckDuckGo: a POST of q with the region, then the hidden fields of each
  // page's Next form, with the headers of a browser's page load.
  std::vector<test::FixtureRequest> duck = fixture_->Requests(WebEngine::kDuckDuckGo);
  ASSERT_EQ(duck.size(), 3u);
  EXPECT_EQ(duck[0].method, "POST");
  EXPECT_EQ(duck[0].body, "q=river+lantern&b=&kl=wt-wt");
  EXPECT_EQ(duck[1].body,
            "q=river+lantern&s=10&nextParams=&v=l&o=json&dc=11&api=d.js&vqd=4-2718281828459045"
            "&b=&kl=wt-wt");
  EXPECT_EQ(duck[2].Header("Referer"), "https://html.duckduckgo.com/");
  EXPECT_EQ(duck[2].Header("Sec-Fetch-Mode"), "navigate");

  // Mojeek: language and region in cookies, the query alone in the URL of
  // the first page (a position there trips its rate limit).
  std::vector<test::FixtureRequest> mojeek = fixture_->Requests(WebEngine::kMojeek);
  ASSERT_EQ(mojeek.size(), 3u);
  EXPECT_EQ(mojeek[0].Header("Cookie"), "lb=en; arc=us");
  EXPECT_EQ(mojeek[0].target, "/search?q=river+lantern");
  EXPECT_EQ(mojeek[1].target, "/search?q=river+lantern&s=11");
  EXPECT_EQ(mojeek[2].target, "/search?q=river+lantern&s=21");

  // Brave: the offset from the second page on, its preferences in cookies.
  std::vector<test::FixtureRequest> brave = fixture_->Requests(WebEngine::kBrave);
  ASSERT_EQ(brave.size(), 3u);
  EXPECT_EQ(brave[0].target, "/search?q=river+lantern&source=web");
  EXPECT_EQ(brave[2].target, "/search?q=river+lantern&source=web&offset=2");
  EXPECT_THAT(brave[0].Header("Cookie"), HasSubstr("useLocation=0"));

  // Wikipedia: the program and the contact address Wikimedia's policy asks for.
  std::vector<test::FixtureRequest> wiki = fixture_->Requests(WebEngine::kWikipedia);
  ASSERT_EQ(wiki.size(), 3u);
  EXPECT_EQ(wiki[1].target, "/w/index.php?search=river+lantern&fulltext=1&limit=20&offset=20");
  EXPECT_THAT(wiki[0].Header("User-Agent"), HasSubstr("trovelane/"));
  EXPECT_THAT(wiki[0].Header("User-Agent"), HasSubstr(kDefaultContact));

  // The engines without a User-Agent of their own get the program's browser one.
  for (WebEngine engine : {WebEngine::kMojeek, WebEngine::kBrave, WebEngine::kWiby}) {
    for (const test::FixtureRequest& r : fixture_->Requests(engine)) {
      EXPECT_THAT(r.Header("User-Agent"), ::testing::StartsWith("Mozilla/5.0 ("));
      EXPECT_EQ(r.version, "HTTP/1.1");
    }
  }
}

TEST_F(WebProfileTest, BlocksSuspendTheirEnginesAcrossRunsWhileTheOthersSearch) {
  fixture_->SetMode(WebEngine::kDuckDuckGo, WebEngineMode::kBlock);  // CAPTCHA page
  fixture_->SetMode(WebEngine::kBrave, WebEngineMode::kBlock);       // 429
  fixture_->SetMode(WebEngine::kMojeek, WebEngineMode::kBlock);      // 403
  // The files of the old format are not where the new state goes.
  ASSERT_EQ(home_.Run({"settings", "set", "results.max", "500"}).exitCode, 0);
  const std::string settingsBefore = ReadFileBytes(home_.HomeFile("qmknet.dat"));
  const std::string profileBefore = ReadFileBytes(home_.HomeFile("web.prf"));
  SearchOutput first = Search();
  ASSERT_EQ(first.exitCode, 0) << first.all;
  EXPECT_EQ(first.engines["DuckDuckGo"]["ending"], "blocked") << first.all;
  EXPECT_EQ(first.engines["DuckDuckGo"]["block"], "CAPTCHA");
  EXPECT_EQ(first.engines["Brave Search"]["ending"], "blocked");
  EXPECT_EQ(first.engines["Brave Search"]["block"], "HTTP 429");
  EXPECT_EQ(first.engines["Mojeek"]["block"], "HTTP 403");
  EXPECT_EQ(first.engines["Wiby"]["results"], 9);
  EXPECT_EQ(first.engines["Wikipedia"]["results"], 9);
  EXPECT_EQ(first.results.size(), 18u);
  EXPECT_EQ(fixture_->Requests(WebEngine::kDuckDuckGo).size(), 1u);
  EXPECT_EQ(fixture_->Requests(WebEngine::kBrave).size(), 1u);

  // The suspensions are kept in the install folder: a CAPTCHA for an hour,
  // an HTTP block for three minutes, or as long as its Retry-After says
  // (Brave's 429 names 60 seconds).
  std::ifstream file(home_.HomeFile("suspensions.json"));
  ASSERT_TRUE(file) << "no suspensions.json";
  const nlohmann::json kept = nlohmann::json::parse(file);
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  std::map<std::string, long long> until;
  for (const nlohmann::json& s : kept["suspensions"]) until[s["engine"]] = s["until"];
  ASSERT_EQ(until.size(), 3u) << kept;
  EXPECT_NEAR(until["DuckDuckGo"] - now, 3600, 120);
  EXPECT_NEAR(until["Brave Search"] - now, 60, 30);
  EXPECT_NEAR(until["Mojeek"] - now, 180, 120);

  // The next run leaves the suspended engines alone, even once they answer.
  for (WebEngine engine : test::kWebEngines) fixture_->SetMode(engine, WebEngineMode::kServe);
  SearchOutput second = Search();
  ASSERT_EQ(second.exitCode, 0) << second.all;
  for (const char* name : {"DuckDuckGo", "Brave Search", "Mojeek"}) {
    EXPECT_EQ(second.engines[name]["ending"], "suspended") << second.all;
  }
  EXPECT_THAT(second.err, HasSubstr("suspended until"));
  EXPECT_EQ(fixture_->Requests(WebEngine::kDuckDuckGo).size(), 1u);
  EXPECT_EQ(fixture_->Requests(WebEngine::kBrave).size(), 1u);
  EXPECT_EQ(second.results.size(), 18u);
  EXPECT_EQ(ReadFileBytes(home_.HomeFile("qmknet.dat")), settingsBefore);
  EXPECT_EQ(ReadFileBytes(home_.HomeFile("web.prf")), profileBefore);

  // --ignore-suspension searches them again.
  SearchOutput third = Search({"--ignore-suspension"});
  ASSERT_EQ(third.exitCode, 0) << third.all;
  EXPECT_EQ(third.engines["DuckDuckGo"]["ending"], "done") << third.all;
  EXPECT_EQ(third.results.size(), 45u);
}

TEST_F(WebProfileTest, AnEngineThatNeverAnswersTimesOutWhileTheOthersFinish) {
  fixture_->SetMode(WebEngine::kWiby, WebEngineMode::kSilent);
  // A short read time-out, with room for the answering engines on a busy machine.
  ASSERT_EQ(home_.Run({"settings", "set", "timeout.read", "3"}).exitCode, 0);
  const auto start = std::chrono::steady_clock::now();
  SearchOutput out = Search();
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(out.exitCode, 0) << out.all;
  EXPECT_EQ(out.engines["Wiby"]["ending"], "timeout") << out.all;
  EXPECT_EQ(out.engines["Wiby"]["results"], 0);
  for (const char* name : {"DuckDuckGo", "Mojeek", "Brave Search", "Wikipedia"}) {
    EXPECT_EQ(out.engines[name]["ending"], "done") << out.all;
    EXPECT_EQ(out.engines[name]["results"], 9) << name;
  }
  EXPECT_EQ(out.results.size(), 36u);
  // Only a guard against hanging: the figure itself is measured in bench/.
  EXPECT_LT(took, std::chrono::seconds(60));
}

TEST_F(WebProfileTest, EnginesCheckFindsResultsAndANextPageOnEveryEngine) {
  // This time the addresses come from the program's settings file.
  nlohmann::json options = {{"resolve", nlohmann::json::array()}};
  const std::vector<std::string> resolve = fixture_->ResolveArguments();
  for (size_t i = 1; i < resolve.size(); i += 2) options["resolve"].push_back(resolve[i]);
  std::filesystem::create_directories(home_.Home());
  WriteFileBytes(home_.HomeFile("trovelane.json"), options.dump());
  std::vector<std::string> check = {"engines",       "check",    "--query",
                                    "river lantern", "--format", "json"};
  const std::vector<std::string> modelled = ModelledEngines("");
  check.insert(check.end(), modelled.begin(), modelled.end());
  SplitOutcome checked = home_.RunSplit(check);
  ASSERT_EQ(checked.exitCode, 0) << checked.out << checked.err;
  std::istringstream lines(checked.out);
  int engines = 0;
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json r = nlohmann::json::parse(line);
    ++engines;
    EXPECT_EQ(r["httpStatus"], 200) << r;
    EXPECT_EQ(r["results"], WebEnginesFixture::kResultsPerPage) << r;
    EXPECT_EQ(r["nextPage"], true) << r;
    EXPECT_EQ(r["blocked"], false) << r;
  }
  EXPECT_EQ(engines, 5);

  fixture_->SetMode(WebEngine::kDuckDuckGo, WebEngineMode::kBlock);
  SplitOutcome blocked =
      home_.RunSplit({"engines", "check", "--query", "river lantern", "DuckDuckGo"});
  EXPECT_EQ(blocked.exitCode, 1) << blocked.out << blocked.err;
  EXPECT_THAT(blocked.out, HasSubstr("CAPTCHA"));
}

}  // namespace
}  // namespace trovelane::testing
