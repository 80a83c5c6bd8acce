// Stop: within a second, nothing of a stopped engine handed over afterwards,
// no spool file left, every row "Not Active" - also while workers wait to
// hand over results. And the starts that do not start.
#include <gtest/gtest.h>

#include <thread>

#include "tests/search/search_fixture.h"

namespace trovelane::testing {
namespace {

using namespace std::chrono_literals;

class SlowSearchTest : public SampleSearchTest {
 protected:
  static sample::SampleServerOptions SlowOptions() {
    sample::SampleServerOptions o = Options();
    o.latencyMs = 5000;  // a result page stops halfway for this long
    return o;
  }
  SlowSearchTest() : SampleSearchTest(SlowOptions()) {}

  // Serves the run until `ready` holds (at most 5 s), then stops it and
  // returns how long the stop took.
  std::chrono::steady_clock::duration StopWhen(const std::function<bool()>& ready) {
    auto asked = std::chrono::steady_clock::time_point::max();
    run_->ServeUntilDone(5s, [&] {
      if (!ready()) return false;
      asked = std::chrono::steady_clock::now();
      return true;
    });
    EXPECT_NE(asked, std::chrono::steady_clock::time_point::max()) << "never got ready";
    return std::chrono::steady_clock::now() - asked;
  }

  void ExpectStopped() {
    EXPECT_FALSE(run_->searching());
    EXPECT_TRUE(run_->workers().empty());
    for (size_t i = 0; i < catalogue_.engines.size(); ++i) {
      EXPECT_EQ(events_.rows[i], "Not Active") << i;
    }
    EXPECT_EQ(events_.panes.back(), "Ready");
    EXPECT_FALSE(SpoolFilesLeft());
    // Whatever was still on its way is not handed over later.
    size_t results = events_.results.size();
    run_->queue().WaitAndDrain(300ms);
    EXPECT_EQ(events_.results.size(), results);
  }
};

TEST_F(SlowSearchTest, StopDuringADownloadLeavesNoSpoolFile) {
  Use({"slow1", "offset0"});
  run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
  ASSERT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
  // slow1 is in the middle of its first page: its spool file exists.
  auto took = StopWhen([&] {
    return events_.rows[0].rfind("Retrieving", 0) == 0 && SpoolFilesLeft() &&
           !events_.results.empty();
  });
  EXPECT_LT(took, 1s);
  ExpectStopped();
  nlohmann::json slow = Requests("slow1");
  ASSERT_EQ(slow.size(), 1u);
  EXPECT_FALSE(slow[0]["complete"].get<bool>());
  // offset0's results came before the stop and stay.
  for (const auto& r : events_.results) EXPECT_EQ(r.engineName, "offset0");
}

TEST_F(SlowSearchTest, StopWhileTenWorkersHandOverResults) {
  catalogue_.engines.clear();
  for (int i = 0; i < 10; ++i) {
    EngineDefinition e = all_.engines[0];  // offset0
    e.name = "copy" + std::to_string(i);
    catalogue_.engines.push_back(e);
  }
  settings_.search.duplicateMode = kDuplicateNone;
  // A slow view: the workers queue up behind the result lock and the send.
  events_.onResult = [](const ResultHandoff&) { std::this_thread::sleep_for(2ms); };
  run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
  ASSERT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
  auto took = StopWhen([&] { return events_.results.size() >= 25; });
  EXPECT_LT(took, 1s);
  ExpectStopped();
  EXPECT_LT(events_.results.size(), 300u);
}

TEST_F(SampleSearchTest, StartsThatDoNotStart) {
  Use({"offset0"});
  run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
  EXPECT_EQ(run_->StartSearch("river &"), StartOutcome::kInvalidExpression);
  EXPECT_EQ(run_->StartSearch("   "), StartOutcome::kInvalidExpression);
  EXPECT_EQ(run_->StartSearch("'QMNOSEND,TITLE,QMINNERTEXT,river'"),
            StartOutcome::kNothingToSearch);
  EXPECT_FALSE(run_->searching());
  EXPECT_TRUE(events_.searchingChanges.empty());

  ASSERT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
  EXPECT_EQ(run_->StartSearch("harbor"), StartOutcome::kAlreadySearching);
  EXPECT_TRUE(run_->ServeUntilDone(20s));
  EXPECT_EQ(events_.searchingChanges, (std::vector<bool>{true, false}));
  events_.searchingChanges.clear();
  // A profile with no selected engine: the run ends at once instead of
  // waiting for a worker that never reports.
  catalogue_.engines[0].selected = 0;
  ASSERT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
  EXPECT_FALSE(run_->searching());
  EXPECT_EQ(events_.panes.back(), "Ready");
  catalogue_.engines[0].selected = 1;
  // A second search on the same run starts afresh.
  size_t first = events_.results.size();
  ASSERT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
  EXPECT_TRUE(run_->ServeUntilDone(20s));
  EXPECT_EQ(events_.results.size(), 2 * first);
}

}  // namespace
}  // namespace trovelane::testing
