// The shipped research profile against real API answers that others captured
// from the services and published (tests/support/api_captures/SOURCES.md):
// each answer is served on loopback under its service's host name over
// HTTPS, the profile's definition searches it through trovelane-cli, and what
// it reads must be exactly the results a person lists from that answer
// (<answer>.expected), in order. The request must be the one the service
// documents, with its page size, and name the contact where the service asks
// who is calling. One page per search (pages.max 1). Each case prints its
// figures (expected / read / in common).
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

constexpr const char* kContact = "mailto:research@trovelane.example";

struct CapturedAnswer {
  const char* answer;  // under tests/support/api_captures
  const char* engine;  // its engine in data/research.prf
  const char* host;
  const char* query;
  const char* target;  // the request the service documents for this search
  bool namesContact;   // the service asks for a User-Agent that says who calls
};

class CapturedApisTest : public ::testing::TestWithParam<CapturedAnswer> {
 protected:
  void SetUp() override {
    if (!HttpsFixtureServer::CanListenOnPort443()) {
      GTEST_SKIP() << "port 443 of loopback is not open to this process (needs root)";
    }
    setenv("SSL_CERT_FILE", HttpsFixtureServer::CaFile().c_str(), 1);
    setenv("TROVELANE_LOOPBACK_ONLY", "1", 1);
    ASSERT_EQ(home_.Run({"profiles", "use", "Research"}).exitCode, 0);
    ASSERT_EQ(home_.Run({"settings", "set", "pages.max", "1"}).exitCode, 0);
    ASSERT_EQ(home_.Run({"settings", "set", "contact", kContact}).exitCode, 0);
  }

  CliHome home_{CliHome::kFirstStart};
};

TEST_P(CapturedApisTest, TheEngineReadsExactlyTheListedResults) {
  const CapturedAnswer& c = GetParam();
  const std::string answer = std::string(c.answer);
  const std::string body = ReadWhole(TROVELANE_API_CAPTURES "/" + answer);
  ASSERT_FALSE(body.empty()) << c.answer;
  const bool feed = answer.size() > 4 && answer.compare(answer.size() - 4, 4, ".xml") == 0;
  HttpsFixtureServer server({c.host}, [&](const FixtureRequest&) {
    FixtureResponse response;
    response.headers = {{"Content-Type", feed ? "application/atom+xml; charset=UTF-8"
                                              : "application/json; charset=utf-8"}};
    response.body = body;
    return response;
  });
  std::vector<std::string> args = {"search",     "--engine", c.engine, "--format", "json",
                                   "--validate", "none",     "--max",  "1000"};
  for (const std::string& resolve : server.ResolveArguments()) args.push_back(resolve);
  args.push_back(c.query);
  const SplitOutcome run = home_.RunSplit(args);

  const std::vector<std::string> read = ResultUrlsOf(run.out);
  const std::vector<std::string> expected =
      ExpectedUrlsIn(std::string(TROVELANE_API_CAPTURES "/") + c.answer + ".expected");
  PrintCaptureFigures(c.answer, expected, read);
  EXPECT_EQ(read, expected) << run.out << run.err;

  const std::vector<FixtureRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u) << run.err;
  EXPECT_EQ(requests[0].target, c.target);
  const std::string agent = requests[0].Header("User-Agent");
  EXPECT_EQ(agent.find(kContact) != std::string::npos, c.namesContact) << agent;
  if (std::string(c.engine) == "GitHub") {
    EXPECT_EQ(requests[0].Header("Accept"), "application/vnd.github+json");
  }
}

INSTANTIATE_TEST_SUITE_P(
    RealAnswers, CapturedApisTest,
    ::testing::Values(
        CapturedAnswer{"wikipedia/pinus_1.json", "Wikipedia", "en.wikipedia.org", "Pinus",
                       "/w/api.php?action=query&list=search&format=json&srsearch=Pinus"
                       "&srlimit=10&sroffset=0",
                       true},
        CapturedAnswer{"wikipedia/no_results.json", "Wikipedia", "en.wikipedia.org",
                       "asdfadfaadfadfs",
                       "/w/api.php?action=query&list=search&format=json&srsearch=asdfadfaadfadfs"
                       "&srlimit=10&sroffset=0",
                       true},
        CapturedAnswer{"arxiv/del_maestro_1.xml", "arXiv", "export.arxiv.org", "au:del_maestro",
                       "/api/query?search_query=au:del_maestro&start=0&max_results=10", false},
        CapturedAnswer{"arxiv/testing_1.xml", "arXiv", "export.arxiv.org", "testing",
                       "/api/query?search_query=testing&start=0&max_results=10", false},
        CapturedAnswer{"crossref/ecology_rows2.json", "Crossref", "api.crossref.org", "ecology",
                       "/works?query=ecology&rows=20&offset=0", true},
        CapturedAnswer{"hackernews/ssh_article_url.json", "Hacker News", "hn.algolia.com",
                       "https://medium.com/@shazow/ssh-how-does-it-even-9e43586e4ffc",
                       "/api/v1/search?query=https://medium.com/@shazow/"
                       "ssh-how-does-it-even-9e43586e4ffc&tags=story&hitsPerPage=20&page=0",
                       false},
        CapturedAnswer{"github/github3_python_1.json", "GitHub", "api.github.com",
                       "github3 language:python",
                       "/search/repositories?q=github3+language:python&per_page=30&page=1", true}),
    [](const ::testing::TestParamInfo<CapturedAnswer>& info) {
      std::string name = info.param.answer;
      for (char& c : name) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

}  // namespace
}  // namespace trovelane::testing
