// What trovelane-cli says about each engine after a search: a line per
// engine on standard error, the engines in the JSON output, exit status 4
// when no engine was reached, the rank order, suspended engines, and
// `engines check`. Every engine is a sample engine or a scripted server on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/suspension_file.h"
#include "engines/profile.h"
#include "tests/cli/cli_home.h"
#include "tests/engines/engine_samples.h"
#include "tests/support/loopback_server.h"
#include "tools/sample_engines/sample_server.h"

namespace trovelane::testing {
namespace {

using namespace std::chrono_literals;
using test::HttpResponse;
using test::LoopbackServer;
using test::ServerConnection;

std::vector<nlohmann::json> JsonLines(const std::string& output, const char* key) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] != '{') continue;
    nlohmann::json json = nlohmann::json::parse(line);
    if (json.contains(key)) lines.push_back(json);
  }
  return lines;
}

class SearchReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sample::SampleServerOptions o;
    o.maxResultPages = 2;
    server_ = std::make_unique<sample::SampleServer>(o);
    ASSERT_TRUE(server_->Start().ok());
    profile_ = home_.File("sample.prf");
    std::ofstream(profile_) << server_->ProfileText();
  }
  void TearDown() override { server_->Stop(); }

  SplitOutcome Search(const std::string& profile, std::vector<std::string> args) {
    args.insert(args.begin(), {"search", "--profile", profile});
    return home_.RunSplit(args);
  }

  // A profile of `engines`, written next to the install folder.
  std::string Profile(const std::string& name, std::vector<EngineDefinition> engines) {
    EngineCatalogue catalogue;
    catalogue.engines = std::move(engines);
    const std::string path = home_.File(name);
    EXPECT_TRUE(SaveProfile(path, catalogue).ok());
    return path;
  }

  CliHome home_;
  std::unique_ptr<sample::SampleServer> server_;
  std::string profile_;
};

TEST_F(SearchReportTest, EveryEngineEndsWithALineOnStandardErrorAndInTheJson) {
  SplitOutcome out = Search(profile_, {"--engine", "offset0", "--engine", "page1", "--max", "5",
                                       "--per-engine", "--format", "json", "river"});
  ASSERT_EQ(out.exitCode, 0) << out.err;
  EXPECT_NE(out.err.find("[offset0] 5 results, 1 page, limit\n"), std::string::npos) << out.err;
  EXPECT_NE(out.err.find("[page1] 5 results, 1 page, limit\n"), std::string::npos) << out.err;
  EXPECT_EQ(out.err.find("[page0]"), std::string::npos);  // not searched: no line

  std::vector<nlohmann::json> engines = JsonLines(out.out, "engine");
  ASSERT_EQ(engines.size(), 2u) << out.out;
  for (const auto& e : engines) {
    EXPECT_EQ(e["results"], 5);
    EXPECT_EQ(e["pages"], 1);
    EXPECT_EQ(e["ending"], "limit");
    EXPECT_EQ(e["httpStatus"], 200);
    EXPECT_EQ(e["reached"], true);
  }
  std::vector<nlohmann::json> results = JsonLines(out.out, "url");
  ASSERT_EQ(results.size(), 10u);
  for (const auto& r : results) {
    ASSERT_GE(r["engines"].size(), 1u) << r;
    // The engine that handed it over comes first, with its position there.
    EXPECT_EQ(r["engines"][0]["name"], r["engineName"]);
    EXPECT_GE(r["engines"][0]["position"], 1);
    EXPECT_LE(r["engines"][0]["position"], 5);
  }
}

TEST_F(SearchReportTest, RankOrderPutsResultsFoundByMoreEnginesAndEarlierFirst) {
  SplitOutcome out = Search(profile_, {"--engine", "offset0", "--engine", "offset1", "--engine",
                                       "page0", "--engine", "page1", "--max", "1000", "--format",
                                       "json", "--order", "rank", "river"});
  ASSERT_EQ(out.exitCode, 0) << out.err;
  std::vector<nlohmann::json> results = JsonLines(out.out, "url");
  ASSERT_GT(results.size(), 20u);
  double previous = 1e9;
  size_t shared = 0;
  std::set<int> indexes;
  for (const auto& r : results) {
    double score = 0;
    for (const auto& e : r["engines"]) score += 1.0 / e["position"].get<int>();
    score *= static_cast<double>(r["engines"].size());
    EXPECT_NEAR(r["score"].get<double>(), score, 1e-9);
    EXPECT_LE(score, previous + 1e-9) << r;
    previous = score;
    shared += r["engines"].size() > 1;
    indexes.insert(r["index"].get<int>());
  }
  EXPECT_GT(shared, 0u);  // the sample engines overlap
  // "index" stays the arrival number: every one once.
  EXPECT_EQ(indexes.size(), results.size());
  EXPECT_EQ(*indexes.begin(), 1);
  EXPECT_EQ(*indexes.rbegin(), static_cast<int>(results.size()));

  // A table in rank order is numbered in that order.
  SplitOutcome table = Search(profile_, {"--engine", "offset0", "--engine", "page0", "--max",
                                         "1000", "--order", "rank", "river"});
  ASSERT_EQ(table.exitCode, 0) << table.err;
  EXPECT_NE(table.out.find("\n1     n/a"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("Results Found !"), std::string::npos);
  EXPECT_EQ(Search(profile_, {"--order", "best", "river"}).exitCode, 2);
}

TEST_F(SearchReportTest, DomainRulesHideResultsAndSteerTheRankWhicheverEngineFindsThem) {
  const std::string page =
      "<a href=http://a.test/1.html>a</a> <a href=http://www.hidden.test/2.html>h</a> "
      "<a href=http://c.test/3.html>c</a> <a href=http://nothidden.test/4.html>n</a>";
  auto serve = [&page](ServerConnection& c) {
    c.ReadRequest();
    c.Send(HttpResponse("HTTP/1.0 200 OK", "", page));
  };
  LoopbackServer one(serve);
  LoopbackServer two(serve);
  EngineDefinition heavy = TestEngine("heavy", one.Url("/search"));
  heavy.web.weight = 3;
  const std::string profile = Profile("domains.prf", {heavy, TestEngine("plain", two.Url("/search"))});
  ASSERT_EQ(home_.Run({"settings", "set", "rank.hide", "hidden.test"}).exitCode, 0);
  ASSERT_EQ(home_.Run({"settings", "set", "rank.domains", "c.test=4"}).exitCode, 0);
  EXPECT_EQ(home_.Run({"settings", "set", "rank.domains", "c.test=0"}).exitCode, 2);
  EXPECT_EQ(home_.Run({"settings", "set", "rank.hide", "a b/c"}).exitCode, 2);

  SplitOutcome out = Search(profile, {"--format", "json", "--order", "rank", "--domain-factor",
                                      "nothidden.test=0.5", "x"});
  ASSERT_EQ(out.exitCode, 0) << out.err;
  std::vector<std::string> urls;
  std::vector<double> scores;
  for (const nlohmann::json& r : JsonLines(out.out, "url")) {
    urls.push_back(r["url"]);
    scores.push_back(r["score"]);
  }
  // Both engines list every result (2 sightings, weights 3 × 1): 6 × (1/p + 1/p)
  // × the domain factor; the hidden host (a host below hidden.test) is gone,
  // and still takes its place in the engines' positions.
  EXPECT_EQ(urls, (std::vector<std::string>{"http://c.test/3.html", "http://a.test/1.html",
                                            "http://nothidden.test/4.html"}));
  ASSERT_EQ(scores.size(), 3u);
  EXPECT_NEAR(scores[0], 6 * (2.0 / 3) * 4, 1e-9);
  EXPECT_NEAR(scores[1], 6 * 2.0, 1e-9);
  EXPECT_NEAR(scores[2], 6 * (2.0 / 4) * 0.5, 1e-9);
  EXPECT_EQ(Search(profile, {"--hide-domain", "no/domain", "x"}).exitCode, 2);
}

TEST_F(SearchReportTest, NoEngineReachedExitsFour) {
  int closedPort = 0;
  {
    LoopbackServer gone([](ServerConnection&) {});
    closedPort = gone.port();
  }
  const std::string dead = "http://127.0.0.1:" + std::to_string(closedPort) + "/search";
  const std::string none = Profile("none.prf", {TestEngine("dead", dead), TestEngine("dead2", dead)});
  SplitOutcome out = Search(none, {"river"});
  EXPECT_EQ(out.exitCode, 4) << out.out << out.err;
  EXPECT_NE(out.err.find("[dead] 0 results, 0 pages, unreachable"), std::string::npos) << out.err;
  EXPECT_NE(out.out.find("0 Results Found !"), std::string::npos);

  // One engine that answers is enough, even with no result.
  LoopbackServer empty([](ServerConnection& c) {
    c.ReadRequest();
    c.Send(HttpResponse("HTTP/1.0 200 OK", "", "<html>no match</html>"));
  });
  const std::string some =
      Profile("some.prf", {TestEngine("dead", dead), TestEngine("empty", empty.Url("/search"))});
  SplitOutcome reached = Search(some, {"river"});
  EXPECT_EQ(reached.exitCode, 0) << reached.err;
  EXPECT_NE(reached.err.find("[empty] 0 results, 1 page, done"), std::string::npos) << reached.err;
}

TEST_F(SearchReportTest, ABlockSuspendsTheEngineAcrossRunsUnlessSuspensionIsIgnored) {
  std::atomic<int> requests{0};
  LoopbackServer limited([&](ServerConnection& c) {
    c.ReadRequest();
    ++requests;
    c.Send(HttpResponse("HTTP/1.0 429 Too Many Requests", "", "slow down"));
  });
  const std::string profile = Profile("limited.prf", {TestEngine("limited", limited.Url("/search"))});
  SplitOutcome first = Search(profile, {"river"});
  EXPECT_EQ(first.exitCode, 0) << first.err;  // it answered
  EXPECT_NE(first.err.find("[limited] 0 results, 1 page, blocked (HTTP 429), suspended until "),
            std::string::npos)
      << first.err;

  // Remembered in the install folder for the next run.
  EngineSuspensions saved;
  ASSERT_TRUE(LoadSuspensions(home_.HomeFile(kSuspensionFileName), saved, WallClock::now()).ok());
  ASSERT_NE(saved.Active("limited", WallClock::now()), nullptr);
  EXPECT_EQ(saved.Active("limited", WallClock::now())->httpStatus, 429);

  SplitOutcome second = Search(profile, {"river"});
  EXPECT_EQ(second.exitCode, 4);  // nothing was reached
  EXPECT_EQ(requests.load(), 1);
  EXPECT_NE(second.err.find("[limited] 0 results, 0 pages, suspended until "), std::string::npos)
      << second.err;
  EXPECT_NE(second.err.find(" (HTTP 429)\n"), std::string::npos) << second.err;

  SplitOutcome third = Search(profile, {"--ignore-suspension", "--format", "json", "river"});
  EXPECT_EQ(requests.load(), 2);
  std::vector<nlohmann::json> engines = JsonLines(third.out, "engine");
  ASSERT_EQ(engines.size(), 1u);
  EXPECT_EQ(engines[0]["ending"], "blocked");
  EXPECT_EQ(engines[0]["block"], "HTTP 429");
  EXPECT_TRUE(engines[0].contains("suspendedUntil"));

  // A damaged file is named, suspends nothing, and is replaced at the next block.
  WriteFileBytes(home_.HomeFile(kSuspensionFileName), "{\"suspensions\": [");
  SplitOutcome damaged = Search(profile, {"river"});
  EXPECT_EQ(requests.load(), 3);
  EXPECT_NE(damaged.err.find("is damaged"), std::string::npos) << damaged.err;
  ASSERT_TRUE(LoadSuspensions(home_.HomeFile(kSuspensionFileName), saved, WallClock::now()).ok());
}

TEST_F(SearchReportTest, EnginesCheckReportsEachEngineAndFailsWhenOneListsNothing) {
  SplitOutcome good = home_.RunSplit({"engines", "--profile", profile_, "check", "offset0", "auto1"});
  ASSERT_EQ(good.exitCode, 0) << good.out << good.err;
  EXPECT_EQ(good.out.rfind("Engine   HTTP  Bytes", 0), 0u) << good.out;
  EXPECT_NE(good.out.find("offset0  200"), std::string::npos) << good.out;
  EXPECT_NE(good.out.find("yes        -      ok"), std::string::npos) << good.out;
  // One request each, whatever the paging.
  nlohmann::json stats = server_->Stats();
  EXPECT_EQ(stats["engines"]["offset0"]["count"], 1);
  EXPECT_EQ(stats["engines"]["auto1"]["count"], 1);

  LoopbackServer limited([](ServerConnection& c) {
    c.ReadRequest();
    c.Send(HttpResponse("HTTP/1.0 429 Too Many Requests", "", "slow down"));
  });
  EngineCatalogue mixed;
  ASSERT_TRUE(LoadProfile(profile_, mixed).ok());
  mixed.engines.push_back(TestEngine("limited", limited.Url("/search")));
  const std::string path = home_.File("mixed.prf");
  ASSERT_TRUE(SaveProfile(path, mixed).ok());
  SplitOutcome bad =
      home_.RunSplit({"engines", "--profile", path, "check", "offset0", "limited", "--format",
                      "json"});
  EXPECT_EQ(bad.exitCode, 1) << bad.out << bad.err;
  std::vector<nlohmann::json> lines = JsonLines(bad.out, "engine");
  ASSERT_EQ(lines.size(), 2u) << bad.out;
  EXPECT_EQ(lines[0]["results"], 10);
  EXPECT_EQ(lines[0]["nextPage"], true);
  EXPECT_GT(lines[0]["bytes"], 0);
  EXPECT_EQ(lines[1]["httpStatus"], 429);
  EXPECT_EQ(lines[1]["blocked"], true);
  EXPECT_EQ(lines[1]["block"], "HTTP 429");
  EXPECT_EQ(home_.RunSplit({"engines", "--profile", path, "check", "nosuch"}).exitCode, 1);
}

}  // namespace
}  // namespace trovelane::testing
