// The validation fetches of a search run side by side, within their bounds
// per engine and in all; the result limit still holds exactly with many of
// them in flight; Stop ends every one of them; and the results view's
// Validate command keeps to its own bound. Every server is a scripted one on
// 127.0.0.1 that counts the fetches open at once; nothing here reads a clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "search/row_validation.h"
#include "tests/engines/engine_samples.h"
#include "tests/search/search_fixture.h"
#include "tests/support/loopback_server.h"

namespace trovelane::testing {
namespace {

using namespace std::chrono_literals;
using test::LoopbackServer;
using test::ServerConnection;

constexpr int kLinksPerEngine = 8;

// Engines at /<name>/search list /doc/<name>/<i>.html for i below
// kLinksPerEngine, on one page. Every other path is a page to validate: it
// is held until `gate` of them are open at once or the test calls Release
// (then it and all later ones answer with the search word), or, with `gate`
// 0, until its client closes the connection. Counts the fetches open at
// once, in all and per engine.
class CheckServer {
 public:
  static constexpr int kUntilReleased = 1 << 30;

  explicit CheckServer(int gate)
      : gate_(gate), server_([this](ServerConnection& c) { Serve(c); }) {}

  std::string SearchUrl(const std::string& engine) const {
    return server_.Url("/" + engine + "/search");
  }
  std::string PageUrl(const std::string& engine, int i) const {
    return server_.Url("/doc/" + engine + "/" + std::to_string(i) + ".html");
  }
  void Release() {
    std::lock_guard lock(mutex_);
    gateOpened_ = true;
    changed_.notify_all();
  }

  // Waits (at most 20 s, so that a broken run still ends) until `n` fetches
  // are open at once.
  bool WaitUntilOpen(int n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return open_ >= n; });
  }
  bool WaitUntilClosed(int n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return closed_ >= n; });
  }
  int open() {
    std::lock_guard lock(mutex_);
    return open_;
  }
  int maxOpen() {
    std::lock_guard lock(mutex_);
    return maxOpen_;
  }
  int maxOpen(const std::string& engine) {
    std::lock_guard lock(mutex_);
    return maxOpenByEngine_[engine];
  }
  bool gateOpened() {
    std::lock_guard lock(mutex_);
    return gateOpened_;
  }

 private:
  void Serve(ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const size_t blank = request.find(' ');
    if (blank == std::string::npos) return;
    const std::string path = request.substr(blank + 1, request.find(' ', blank + 1) - blank - 1);
    if (path.find("/search") != std::string::npos) {
      const std::string name = path.substr(1, path.find('/', 1) - 1);
      std::string body = "<html><body>";
      for (int i = 0; i < kLinksPerEngine; ++i) {
        body += "<a href=\"/doc/" + name + "/" + std::to_string(i) + ".html\">river " +
                std::to_string(i) + "</a>\n";
      }
      c.Send(test::HttpResponse("HTTP/1.0 200 OK", "", body + "</body></html>"));
      return;
    }
    // A client stopped before it sent its request leaves nothing to count.
    if (path.rfind("/doc/", 0) != 0) return;
    const std::string engine = path.substr(5, path.find('/', 5) - 5);  // /doc/ENGINE/...
    {
      std::unique_lock lock(mutex_);
      ++open_;
      maxOpen_ = std::max(maxOpen_, open_);
      int& mine = openByEngine_[engine];
      ++mine;
      maxOpenByEngine_[engine] = std::max(maxOpenByEngine_[engine], mine);
      if (gate_ > 0 && open_ >= gate_) gateOpened_ = true;
      changed_.notify_all();
      if (gate_ > 0) {
        changed_.wait_for(lock, 20s, [&] { return gateOpened_; });
        // No longer open once its answer may go: the client can start its
        // next fetch only after it has read this one.
        Close(engine);
      }
    }
    if (gate_ > 0) {
      c.Send(test::HttpResponse("HTTP/1.0 200 OK", "", "<html><body>river</body></html>"));
    } else {
      c.ReadToEnd();  // until the client gives up the fetch
      std::lock_guard lock(mutex_);
      Close(engine);
    }
  }
  // Under mutex_.
  void Close(const std::string& engine) {
    --open_;
    --openByEngine_[engine];
    ++closed_;
    changed_.notify_all();
  }

  const int gate_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int open_ = 0;
  int maxOpen_ = 0;
  int closed_ = 0;
  bool gateOpened_ = false;
  std::map<std::string, int> openByEngine_;
  std::map<std::string, int> maxOpenByEngine_;
  LoopbackServer server_;  // last: stops before the counts go
};

class ValidationChecksTest : public SearchRunTest {
 protected:
  void SetUp() override {
    settings_.search.validationMode = kValidationVal;
    settings_.search.duplicateMode = kDuplicateUrl;
    settings_.search.maxResults = 1000;
  }
};

TEST_F(ValidationChecksTest, ChecksRunSideBySideWithinTheirBoundsAndTheLimitHoldsExactly) {
  // Four fetches are held until all four are open: only checks that run
  // side by side get past them, and then four valid results arrive at
  // once for a limit of three.
  CheckServer server(/*gate=*/4);
  catalogue_.engines = {TestEngine("a", server.SearchUrl("a")),
                        TestEngine("b", server.SearchUrl("b"))};
  settings_.program.validationsPerEngine = 3;
  settings_.program.validationsPerSearch = 4;
  settings_.search.maxResults = 3;
  ASSERT_TRUE(Search("river"));
  EXPECT_TRUE(server.gateOpened());
  EXPECT_EQ(server.maxOpen(), 4);
  EXPECT_LE(server.maxOpen("a"), 3);
  EXPECT_LE(server.maxOpen("b"), 3);
  EXPECT_EQ(events_.results.size(), 3u);
  EXPECT_EQ(run_->resultTotal(), 3);
  // Positions are those of the page, whichever check ended first.
  for (const ResultHandoff& r : events_.results) {
    EXPECT_EQ(r.validated, 1);
    const std::string name = r.url.substr(r.url.rfind('/') + 1);
    EXPECT_EQ(r.position, std::stoi(name) + 1) << r.url;
  }
}

TEST_F(ValidationChecksTest, StopEndsAValidatingSearchAndEveryFetchInFlight) {
  CheckServer server(/*gate=*/0);  // no fetch is ever answered
  catalogue_.engines = {TestEngine("a", server.SearchUrl("a"))};
  settings_.program.validationsPerEngine = 6;
  run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
  ASSERT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
  // Served until six fetches wait at the server, then stopped.
  bool waiting = false;
  run_->ServeUntilDone(20s, [&] { return waiting = server.open() >= 6; });
  ASSERT_TRUE(waiting);
  EXPECT_FALSE(run_->searching());
  EXPECT_EQ(events_.rows[0], "Not Active");
  // Each fetch was cancelled: its client closed the connection.
  EXPECT_TRUE(server.WaitUntilClosed(6));
  EXPECT_EQ(server.maxOpen(), 6);
  run_->queue().WaitAndDrain(100ms);
  EXPECT_TRUE(events_.results.empty());
}

TEST(RowValidationTest, RowsAreCheckedABoundedNumberAtOnceAndACancelledOneNeverRuns) {
  CheckServer server(CheckServer::kUntilReleased);
  NetworkSettings settings;
  settings.program.validationsPerSearch = 2;
  const SearchExpression expression = *ParseExpression("river");
  std::mutex mutex;
  std::vector<std::string> reachable;
  std::vector<std::shared_ptr<RowValidation>> jobs;
  for (int i = 0; i < 5; ++i) {
    jobs.push_back(RowValidation::Start(server.PageUrl("r", i), expression, settings,
                                        [&mutex, &reachable, i](const RowValidation::Outcome& o) {
                                          std::lock_guard lock(mutex);
                                          if (o.reachable) reachable.push_back(std::to_string(i));
                                        }));
  }
  // Two fetches are held at the server; the three others wait for a thread.
  ASSERT_TRUE(server.WaitUntilOpen(2));
  EXPECT_EQ(RowValidation::Waiting(), 3);
  EXPECT_EQ(RowValidation::Running(), 5);
  jobs[4]->Cancel();  // still waiting: taken out, never fetched
  EXPECT_EQ(RowValidation::Waiting(), 2);
  EXPECT_EQ(RowValidation::Running(), 4);

  server.Release();
  for (int i = 0; i < 2000 && RowValidation::Running() > 0; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(RowValidation::Running(), 0);
  EXPECT_EQ(server.maxOpen(), 2);
  std::lock_guard lock(mutex);
  std::sort(reachable.begin(), reachable.end());
  EXPECT_EQ(reachable, (std::vector<std::string>{"0", "1", "2", "3"}));
}

}  // namespace
}  // namespace trovelane::testing
