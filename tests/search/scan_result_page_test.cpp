// The result-page loop driven through a fake worker (no search run, no
// threads): what it hands over, what it counts as new, when it stops.
#include <gtest/gtest.h>

#include <cstdlib>

#include "search/engine_loop.h"
#include "search/search_status.h"
#include "tests/search/fake_engine_run_context.h"
#include "tests/support/loopback_server.h"

namespace trovelane {
namespace {

using test::FakeEngineRunContext;
using test::LoopbackServer;
using test::ServerConnection;

EngineDefinition Engine(std::string searchUrl = "http://127.0.0.1:8080/find/search") {
  EngineDefinition e;
  e.name = "Fake";
  e.searchUrl = std::move(searchUrl);
  e.resultId = "start";
  e.resultsPerPage = 10;
  e.iterationTechnique = RESULT_PLUS_0;
  e.separator = "&";
  e.searchedFileTypes = {"htm", "html"};
  return e;
}

constexpr const char* kPage =
    "<html><body>"
    "<a href=\"http://one.test/a.html\">First river</a>"
    "<a href=\"/local/b.htm\"></a>"
    "<a href=\"http://127.0.0.1:8080/find/search?q=river&start=10\">Next</a>"
    "<a href=\"http://one.test/a.html\">The same again</a>"
    "</body></html>";

TEST(ScanResultPageTest, HandsOverEachNewLinkAbsoluteAndFindsTheNextPage) {
  FakeEngineRunContext worker;
  EngineDefinition engine = Engine();
  EXPECT_TRUE(ScanResultPage(kPage, 0, 0, engine, worker));

  ASSERT_EQ(worker.handedOver.size(), 2u);
  EXPECT_EQ(worker.handedOver[0].url, "http://one.test/a.html");
  EXPECT_EQ(worker.handedOver[0].title, "First river");
  // A link without text is listed by its address.
  EXPECT_EQ(worker.handedOver[1].url, "http://127.0.0.1:8080/local/b.htm");
  EXPECT_EQ(worker.handedOver[1].title, "/local/b.htm");
  EXPECT_EQ(worker.handedOver[1].validated, 0);
  // Each carries its place among the engine's result links.
  EXPECT_EQ(worker.handedOver[0].position, 1);
  EXPECT_EQ(worker.handedOver[1].position, 2);
  EXPECT_EQ(worker.pageMemory().newLinksOnPage, 2);
  EXPECT_FALSE(engine.stopRequested);

  // The same page again brings nothing new for the loop to page on with.
  EXPECT_TRUE(ScanResultPage(kPage, 0, 0, engine, worker));
  EXPECT_EQ(worker.pageMemory().newLinksOnPage, 0);
  EXPECT_EQ(worker.handedOver.size(), 2u);  // the duplicate filter kept them out
}

TEST(ScanResultPageTest, StopsTheEngineAtTheLimitAndWhenStopped) {
  FakeEngineRunContext limited;
  limited.limit = 1;
  EngineDefinition engine = Engine();
  EXPECT_FALSE(ScanResultPage(kPage, 0, 0, engine, limited));
  EXPECT_EQ(limited.handedOver.size(), 1u);
  EXPECT_TRUE(engine.stopRequested);

  FakeEngineRunContext stopped;
  stopped.cancelled_ = true;
  EngineDefinition other = Engine();
  EXPECT_FALSE(ScanResultPage(kPage, 0, 0, other, stopped));
  EXPECT_TRUE(stopped.handedOver.empty());
}

TEST(RunEngineLoopTest, PagesOnUntilAPageBringsNothingNewAndSaysWhy) {
  // Every page lists the same result and links to the page after the one
  // asked for: the second page brings no new link and ends the engine.
  LoopbackServer server([](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const size_t at = request.find("start=");
    const int start = at == std::string::npos ? 0 : std::atoi(request.c_str() + at + 6);
    c.Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n");
    c.Send("<a href=\"http://one.test/a.html\">A</a><a href=\"/find/search?q=river&start=" +
           std::to_string(start + 10) + "\">Next</a>");
  });
  FakeEngineRunContext worker;
  EngineDefinition engine = Engine(server.Url("/find/search"));
  engine.parameters.resize(2);
  engine.parameters[0].name = "q";
  engine.parameters[0].roleCode = SEARCH_TEXT;
  engine.parameters[1].name = "start";
  engine.parameters[1].roleCode = RESULT_POSITION;
  RunEngineLoop(worker, engine);

  EXPECT_EQ(server.ConnectionCount(), 2u);
  ASSERT_EQ(worker.handedOver.size(), 1u);
  EXPECT_EQ(worker.handedOver[0].url, "http://one.test/a.html");
  ASSERT_FALSE(worker.statuses.empty());
  EXPECT_EQ(worker.statuses.back(), kStatusNoNewResults);
  EXPECT_EQ(worker.report.ending, EngineEnding::kDone);
  EXPECT_EQ(worker.report.pages, 2);
}

TEST(RunEngineLoopTest, ASpoolFileThatFailsEndsTheEngineWithItsPath) {
  LoopbackServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"http://one.test/a.html\">A</a>");
  });
  FakeEngineRunContext worker;
  worker.spoolFails = true;
  EngineDefinition engine = Engine(server.Url("/find/search"));
  RunEngineLoop(worker, engine);

  EXPECT_TRUE(worker.handedOver.empty());
  ASSERT_FALSE(worker.statuses.empty());
  EXPECT_NE(worker.statuses.back().find("could not be written to /nonexistent/sdump"),
            std::string::npos)
      << worker.statuses.back();
  EXPECT_EQ(worker.report.ending, EngineEnding::kError);
  EXPECT_EQ(worker.report.detail, worker.statuses.back());
}

}  // namespace
}  // namespace trovelane
