// The requests that the request builder makes from the sample profile are
// the ones the sample engines answer: page by page for the counted
// techniques, with operators and phrases in the engines' own spellings.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "search/request_builder.h"
#include "tests/tools/loopback_fetch.h"
#include "tools/sample_engines/sample_server.h"

namespace trovelane::sample {
namespace {

class SampleProfileRequestsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Start().ok()); }

  // Sends the built request; the result links of the answer, or none
  // when it was not answered 200.
  std::vector<std::string> Results(const EngineDefinition& engine, const std::string& expression,
                                   int pageIndex) {
    std::optional<SearchExpression> parsed = ParseExpression(expression);
    EXPECT_TRUE(parsed.has_value());
    EngineRequest request = BuildRequest(engine, *parsed, IterationValue(engine, pageIndex));
    EXPECT_TRUE(request.ok()) << request.status.message();
    std::string target = request.url.substr(server_.BaseUrl().size());
    testing::FetchedPage page = engine.method == POST
                                    ? testing::Post(server_.Port(), target, request.body)
                                    : testing::Get(server_.Port(), target);
    EXPECT_EQ(page.status, 200) << engine.name << " " << request.url << " " << request.body;
    static const std::regex item(R"(<LI><A HREF=["']?[^"' >]*(/?pages/[0-9]+\.html))");
    std::vector<std::string> links;
    for (std::sregex_iterator it(page.body.begin(), page.body.end(), item), end; it != end; ++it) {
      std::string link = (*it)[1];
      links.push_back(link[0] == '/' ? link : "/" + link);
    }
    return links;
  }

  SampleServer server_{SampleServerOptions{.latencyMs = 10}};
};

TEST_F(SampleProfileRequestsTest, CountedTechniquesPageThroughAllResults) {
  for (const EngineDefinition& engine : server_.Catalogue().engines) {
    if (engine.iterationTechnique > RELATIVE_1 || !engine.referer.empty() ||
        engine.requiresCookies || engine.linkType == INDIRECT) {
      continue;
    }
    SCOPED_TRACE(engine.name);
    std::set<std::string> seen;
    for (int k = 0; k < 5; ++k) {
      for (const auto& link : Results(engine, "river", k)) EXPECT_TRUE(seen.insert(link).second);
    }
    EXPECT_EQ(seen.size(), 5u * engine.resultsPerPage);  // five pages at most
    EXPECT_TRUE(Results(engine, "river", 5).empty());
  }
}

TEST_F(SampleProfileRequestsTest, OperatorsAndPhrasesReachTheEngines) {
  const EngineDefinition engine = server_.Catalogue().engines[0];  // offset0, with operators
  ASSERT_EQ(engine.useBoolean, 1);
  for (const auto& path : Results(engine, "raven & !falcon", 0)) {
    const CorpusPage* page = server_.Pages().FindByPath(path);
    ASSERT_NE(page, nullptr);
    EXPECT_NE(page->indexText.find("raven"), std::string::npos);
    EXPECT_EQ(page->indexText.find("falcon"), std::string::npos);
  }
  std::vector<std::string> either = Results(engine, "raven | quartz", 0);
  EXPECT_EQ(either.size(),
            std::min<size_t>(10, server_.Pages().Search(ParseTerms("raven OR quartz")).size()));
  EXPECT_GT(either.size(), Results(engine, "raven", 0).size());
  std::vector<std::string> phrase = Results(engine, "\"on the raven\"", 0);
  EXPECT_FALSE(phrase.empty());
  EXPECT_LT(phrase.size(), Results(engine, "raven", 0).size());
}

}  // namespace
}  // namespace trovelane::sample
