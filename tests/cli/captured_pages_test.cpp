// The shipped web engines against real result pages that others captured from
// the engines and published (tests/support/web_captures/SOURCES.md): each
// page is served on loopback under its engine's host name over HTTPS, the
// shipped definition searches it through trovelane-cli, and what it reads
// must be exactly the organic results a person lists from that page
// (<page>.expected), in page order. A block page must end its engine as
// blocked. One result page per search (pages.max 1): the later pages of the
// engines were not captured. Each case prints its figures (expected / read /
// in common); TROVELANE_CAPTURES_PROFILE=FILE measures another profile's
// definitions of the same engines against the same pages.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "tests/cli/captured_results.h"
#include "tests/cli/cli_home.h"
#include "tests/support/https_fixture.h"

namespace trovelane::testing {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::HttpsFixtureServer;

struct CapturedPage {
  const char* page;    // under tests/support/web_captures (or web_engines when modelled)
  const char* engine;  // its engine in data/web.prf
  const char* host;
  const char* query;
  bool block = false;            // a CAPTCHA or bot-check page
  bool modelled = false;         // a hand-made page, for an engine of which no capture was found
  const char* header = nullptr;  // one more header line of the answer, "Name: value"
};

std::string Capture(const CapturedPage& c, const std::string& suffix = "") {
  return std::string(c.modelled ? TROVELANE_WEB_MODELS : TROVELANE_WEB_CAPTURES) + "/" + c.page +
         suffix;
}

class CapturedPagesTest : public ::testing::TestWithParam<CapturedPage> {
 protected:
  void SetUp() override {
    if (!HttpsFixtureServer::CanListenOnPort443()) {
      GTEST_SKIP() << "port 443 of loopback is not open to this process (needs root)";
    }
    setenv("SSL_CERT_FILE", HttpsFixtureServer::CaFile().c_str(), 1);
    setenv("TROVELANE_LOOPBACK_ONLY", "1", 1);
    ASSERT_EQ(home_.Run({"settings", "set", "pages.max", "1"}).exitCode, 0);
  }

  CliHome home_{CliHome::kFirstStart};
};

TEST_P(CapturedPagesTest, TheEngineReadsExactlyTheOrganicResults) {
  const CapturedPage& c = GetParam();
  const std::string body = ReadWhole(Capture(c));
  ASSERT_FALSE(body.empty()) << c.page;
  if (std::string(c.engine) == "SearXNG") {
    ASSERT_EQ(home_.Run({"settings", "set", "searxng", std::string("https://") + c.host}).exitCode,
              0);
  }
  HttpsFixtureServer server({c.host}, [&](const FixtureRequest&) {
    FixtureResponse response;
    response.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    if (c.header) {
      const std::string line = c.header;
      const size_t colon = line.find(": ");
      response.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    }
    response.body = body;
    return response;
  });
  std::vector<std::string> args = {"search",     "--engine", c.engine, "--format", "json",
                                   "--validate", "none",     "--max",  "1000"};
  if (const char* profile = getenv("TROVELANE_CAPTURES_PROFILE")) {
    args.insert(args.end(), {"--profile", profile});
  }
  for (const std::string& resolve : server.ResolveArguments()) args.push_back(resolve);
  args.push_back(c.query);
  const SplitOutcome run = home_.RunSplit(args);

  nlohmann::json report;
  const std::vector<std::string> read = ResultUrlsOf(run.out, &report);
  const std::vector<std::string> expected = ExpectedUrlsIn(Capture(c, ".expected"));
  PrintCaptureFigures(c.page, expected, read);
  EXPECT_EQ(read, expected) << run.out << run.err;
  ASSERT_FALSE(server.Requests().empty());
  if (c.block) {
    EXPECT_EQ(report["ending"], "blocked") << report;
  } else {
    EXPECT_NE(report["ending"], "blocked") << report;
  }
}

INSTANTIATE_TEST_SUITE_P(
    RealPages, CapturedPagesTest,
    ::testing::Values(
        CapturedPage{"duckduckgo/eino_1.html", "DuckDuckGo", "html.duckduckgo.com", "eino"},
        CapturedPage{"duckduckgo/no_results.html", "DuckDuckGo", "html.duckduckgo.com",
                     "testtesttesttesttesttesttesttesttesttesttest"},
        CapturedPage{"duckduckgo/eino_past_end.html", "DuckDuckGo", "html.duckduckgo.com", "eino"},
        CapturedPage{"duckduckgo/anomaly_block.html", "DuckDuckGo", "html.duckduckgo.com", "eino",
                     true},
        CapturedPage{"brave/javascript_tutorial_1.html", "Brave Search", "search.brave.com",
                     "javascript tutorial"},
        CapturedPage{"mojeek/javascript_tutorial_1.html", "Mojeek", "www.mojeek.com",
                     "javascript tutorial"},
        CapturedPage{"mojeek/captcha.html", "Mojeek", "www.mojeek.com", "javascript tutorial",
                     true},
        CapturedPage{"searxng/searx_be_verifying.html", "SearXNG", "searx.be",
                     "javascript tutorial", true},
        // Engines of which no capture was found: pages modelled on their
        // templates, and a CAPTCHA told by a header line alone.
        CapturedPage{"searxng_1.html", "SearXNG", "searx.example.net", "river lantern", false,
                     true},
        CapturedPage{"searchmysite_1.html", "Searchmysite", "searchmysite.net", "river lantern",
                     false, true},
        CapturedPage{"yandex_1.html", "Yandex", "yandex.com", "river lantern", false, true},
        CapturedPage{"yandex_captcha.html", "Yandex", "yandex.com", "river lantern", true, true,
                     "X-Yandex-Captcha: captcha"}),
    [](const ::testing::TestParamInfo<CapturedPage>& info) {
      std::string name = info.param.page;
      for (char& c : name) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

}  // namespace
}  // namespace trovelane::testing
