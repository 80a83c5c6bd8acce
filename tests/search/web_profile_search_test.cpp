// The shipped web profile searched by the core itself (SearchRun), over the
// modelled pages of its five engines on loopback: the addresses come from
// the program's resolve setting, and the run's own per-engine reports and
// result positions (which the rank order sums) are checked, apart from any
// front end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "engines/profile.h"
#include "search/engine_suspension.h"
#include "tests/search/search_fixture.h"
#include "tests/support/web_engines_fixture.h"

namespace trovelane::testing {
namespace {

using namespace std::chrono_literals;
using test::WebEngine;
using test::WebEngineMode;
using test::WebEnginesFixture;

class WebProfileSearchTest : public SearchRunTest {
 protected:
  void SetUp() override {
    if (!test::HttpsFixtureServer::CanListenOnPort443()) {
      GTEST_SKIP() << "port 443 of loopback is not open to this process (needs root)";
    }
    setenv("SSL_CERT_FILE", WebEnginesFixture::CaFile().c_str(), 1);
    fixture_ = std::make_unique<WebEnginesFixture>();
    ASSERT_TRUE(LoadProfile(TROVELANE_DATA_DIR "/web.prf", catalogue_).ok());
    // The engines the fixture models; the others are read in
    // tests/cli/captured_pages_test.cpp.
    for (EngineDefinition& e : catalogue_.engines) {
      e.selected = 0;
      for (WebEngine modelled : test::kWebEngines) {
        if (e.name == WebEnginesFixture::Name(modelled)) e.selected = 1;
      }
    }
    settings_.search.maxResults = 1000;
    settings_.search.validationMode = kValidationNone;
    const std::vector<std::string> resolve = fixture_->ResolveArguments();
    for (size_t i = 1; i < resolve.size(); i += 2) {
      ResolveEntry entry;
      const Status read = ParseResolveEntry(resolve[i], &entry);
      ASSERT_TRUE(read.ok()) << read.message();
      settings_.program.resolve.push_back(entry);
    }
  }

  // The run ends before the engines' server goes away.
  void TearDown() override {
    SearchRunTest::TearDown();
    fixture_.reset();
  }

  // Searches and serves the run until every engine ended.
  void Search() {
    ASSERT_TRUE(SearchRunTest::Search(WebEnginesFixture::kQuery, 60s, [this](SearchRun& run) {
      run.SetSuspensions(&suspensions_, /*ignore=*/false);
    }));
  }

  const EngineReport& Report(WebEngine engine) const {
    for (const EngineReport& r : run_->engineReports()) {
      if (r.engineName == WebEnginesFixture::Name(engine)) return r;
    }
    throw std::runtime_error("no report");
  }

  std::unique_ptr<WebEnginesFixture> fixture_;
  EngineSuspensions suspensions_;
};

TEST_F(WebProfileSearchTest, EveryEngineReadsThreePagesAndNumbersItsResultsInPageOrder) {
  Search();
  EXPECT_TRUE(fixture_->Refusals().empty()) << fixture_->Refusals().front();
  ASSERT_EQ(events_.results.size(), 45u);
  for (WebEngine engine : test::kWebEngines) {
    const EngineReport& r = Report(engine);
    EXPECT_EQ(r.ending, EngineEnding::kDone) << r.engineName << ": " << EndingText(r);
    EXPECT_EQ(r.pages, 3) << r.engineName;
    EXPECT_EQ(r.results, 9) << r.engineName;
    EXPECT_EQ(r.httpStatus, 200) << r.engineName;
  }
  // Each result was found by one engine, at the place it had in that
  // engine's listing: 1 to 9 over the three pages.
  std::map<int, std::vector<int>> positions;
  for (const std::vector<ResultFinder>& finders : run_->resultFinders()) {
    ASSERT_EQ(finders.size(), 1u);
    positions[finders[0].engineIndex].push_back(finders[0].position);
  }
  ASSERT_EQ(positions.size(), 5u);
  for (auto& [engine, found] : positions) {
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9})) << "engine " << engine;
  }
}

TEST_F(WebProfileSearchTest, ASilentEngineAndABlockEndOnlyThoseEngines) {
  fixture_->SetMode(WebEngine::kWikipedia, WebEngineMode::kSilent);
  fixture_->SetMode(WebEngine::kBrave, WebEngineMode::kBlock);
  settings_.program.readTimeoutSeconds = 3;
  Search();
  EXPECT_EQ(Report(WebEngine::kWikipedia).ending, EngineEnding::kTimedOut);
  EXPECT_EQ(Report(WebEngine::kBrave).ending, EngineEnding::kBlocked);
  EXPECT_EQ(Report(WebEngine::kBrave).blockStatus, 429);
  ASSERT_TRUE(Report(WebEngine::kBrave).suspendedUntil.has_value());
  const Suspension* kept = suspensions_.Active("Brave Search", WallClock::now());
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->kind, BlockKind::kHttpStatus);
  EXPECT_EQ(kept->httpStatus, 429);
  EXPECT_EQ(suspensions_.all().size(), 1u);  // a time-out suspends nothing
  for (WebEngine engine : {WebEngine::kDuckDuckGo, WebEngine::kMojeek, WebEngine::kWiby}) {
    EXPECT_EQ(Report(engine).results, 9) << WebEnginesFixture::Name(engine);
  }
  EXPECT_EQ(events_.results.size(), 27u);
}

}  // namespace
}  // namespace trovelane::testing
