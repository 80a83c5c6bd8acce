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

}  // namespace
}  // namespace trovelane::testing
