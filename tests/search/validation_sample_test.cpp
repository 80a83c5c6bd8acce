// The validation fetch over the sample engines' corpus: pages that are gone,
// pages that no longer hold their words, and a check that ends early.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "search/validation_fetch.h"
#include "tools/sample_engines/sample_server.h"

namespace trovelane {
namespace {

using sample::PageState;

class SampleCorpusValidation : public ::testing::Test {
 protected:
  void Start(sample::SampleServerOptions options) {
    server = std::make_unique<sample::SampleServer>(options);
    const Status started = server->Start();
    ASSERT_TRUE(started.ok()) << started.message();
  }
  void TearDown() override {
    if (server) server->Stop();
  }

  int Check(const sample::CorpusPage& page, int* relevance) {
    auto expression = ParseExpression(page.words.front().word);
    EXPECT_TRUE(expression);
    CHttpURL connection;
    return ValidationFetch(connection, server->BaseUrl() + page.path, *expression, settings,
                           relevance, nullptr);
  }

  std::unique_ptr<sample::SampleServer> server;
  NetworkSettings settings;
};

TEST_F(SampleCorpusValidation, GoneAndStalePagesFailAndLivePagesScoreTheirTitleWord) {
  sample::SampleServerOptions options;
  options.pageCount = 120;
  Start(options);
  settings.readChunkSize = 512;
  settings.search.weights = {10, 0, 0, 0, 0, 0, 0, 0};
  settings.search.maxRelevance = 10;
  int gone = 0, stale = 0, live = 0;
  for (const sample::CorpusPage& page : server->Pages().Pages()) {
    ASSERT_EQ(page.words.front().where, "title") << page.path;
    int relevance = -1;
    const int expected = page.state == PageState::kLive ? 1 : 0;
    EXPECT_EQ(Check(page, nullptr), expected) << page.path;
    EXPECT_EQ(Check(page, &relevance), expected) << page.path;
    if (expected) {
      EXPECT_EQ(relevance, 100) << page.path;
    }
    (page.state == PageState::kGone ? gone : page.state == PageState::kStale ? stale : live)++;
  }
  EXPECT_GT(gone, 0);
  EXPECT_GT(stale, 0);
  EXPECT_GT(live, 100);
}

TEST_F(SampleCorpusValidation, ValidationEndsBeforeTheRestOfASlowPage) {
  sample::SampleServerOptions options;
  options.pageCount = 30;
  options.pageLatencyMs = 5000;  // each page stops halfway for this long
  Start(options);
  const sample::CorpusPage* page = nullptr;
  for (const auto& p : server->Pages().Pages()) {
    if (p.state == PageState::kLive && (!page || p.html.size() > page->html.size())) page = &p;
  }
  ASSERT_NE(page, nullptr);
  // Pieces small enough that the title comes long before the pause.
  settings.readChunkSize = static_cast<int>(page->html.size() / 8);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Check(*page, nullptr), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  const auto requests = server->Stats()["engines"]["pages"]["requests"];
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0]["complete"].get<bool>());
}

}  // namespace
}  // namespace trovelane
