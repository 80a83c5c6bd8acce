// A search in which one engine's server accepts and never answers: that
// engine ends "Timed out" after the read time-out, and the results of the
// others arrive as they would without it.
#include <gtest/gtest.h>

#include <algorithm>

#include "search/search_status.h"
#include "tests/search/search_fixture.h"
#include "tests/support/loopback_server.h"

namespace trovelane::testing {
namespace {

using test::LoopbackServer;
using test::ServerConnection;

TEST_F(SampleSearchTest, ASilentEngineEndsTimedOutAndTheOtherEnginesResultsArrive) {
  settings_.program.connectTimeoutSeconds = 1;
  settings_.program.readTimeoutSeconds = 1;
  Use({"offset0"});
  ASSERT_TRUE(Search("river"));
  std::vector<std::string> alone = ResultUrls();
  ASSERT_FALSE(alone.empty());

  LoopbackServer silent([](ServerConnection& c) { c.WaitForStop(); });
  EngineDefinition mute = catalogue_.engines[0];
  mute.name = "silent";
  mute.searchUrl = silent.Url("/search");
  catalogue_.engines.push_back(mute);
  events_ = RecordingEvents();
  // Generous: the search should end a little after the one-second time-out.
  ASSERT_TRUE(Search("river", std::chrono::seconds(30))) << "the silent engine held the search";

  std::vector<std::string> together = ResultUrls();
  std::sort(alone.begin(), alone.end());
  std::sort(together.begin(), together.end());
  EXPECT_EQ(together, alone);
  for (const ResultHandoff& r : events_.results) EXPECT_EQ(r.engineName, "offset0");

  const std::vector<std::string>& silentRow = events_.rowHistory[1];
  EXPECT_NE(std::find(silentRow.begin(), silentRow.end(), kStatusTimedOut), silentRow.end());
  const std::vector<std::string>& realRow = events_.rowHistory[0];
  EXPECT_EQ(std::find(realRow.begin(), realRow.end(), kStatusTimedOut), realRow.end());
  EXPECT_EQ(events_.rows[1], kNotActive);
  EXPECT_GE(silent.ConnectionCount(), 1u);
  EXPECT_FALSE(SpoolFilesLeft());
}

TEST_F(SampleSearchTest, APageCutShortOrFallingSilentIsNotScanned) {
  settings_.program.readTimeoutSeconds = 1;
  Use({"offset0"});
  const std::string part =
      "HTTP/1.0 200 OK\r\n\r\n<html><a href=\"http://found.example/a\">a result</a>";
  LoopbackServer stalls([part](ServerConnection& c) {
    c.ReadRequest();
    c.Send(part);
    c.WaitForStop();
  });
  LoopbackServer cut(test::Answer(
      "HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + part.substr(part.find("<html>"))));
  catalogue_.engines[0].name = "stalls";
  catalogue_.engines[0].searchUrl = stalls.Url("/search");
  EngineDefinition cutEngine = catalogue_.engines[0];
  cutEngine.name = "cut";
  cutEngine.searchUrl = cut.Url("/search");
  catalogue_.engines.push_back(cutEngine);
  ASSERT_TRUE(Search("river", std::chrono::seconds(30)));
  EXPECT_TRUE(events_.results.empty()) << events_.results.front().url;
  const std::vector<std::string>& stalled = events_.rowHistory[0];
  EXPECT_NE(std::find(stalled.begin(), stalled.end(), kStatusTimedOut), stalled.end());
  const std::vector<std::string>& cutRow = events_.rowHistory[1];
  EXPECT_EQ(std::find(cutRow.begin(), cutRow.end(), kStatusTimedOut), cutRow.end());
  EXPECT_FALSE(SpoolFilesLeft());
}

}  // namespace
}  // namespace trovelane::testing
