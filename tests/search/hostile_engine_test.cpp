// Engines that misbehave: endless or huge result pages, paging that brings
// nothing new, a spool file that cannot be written, results validated by
// several engines at once against the limit, more results a page than the
// engine says, a start the system refuses part-way, and Stop while a worker
// reads its spool file back. Every server is a scripted one on 127.0.0.1.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "results/results_store.h"
#include "search/engine_loop.h"
#include "search/search_status.h"
#include "tests/engines/engine_samples.h"
#include "tests/search/search_fixture.h"
#include "tests/support/loopback_server.h"

namespace trovelane::testing {
namespace {

using namespace std::chrono_literals;
using test::LoopbackServer;
using test::ServerConnection;

// The value of query parameter `name` in the request line of `request`.
std::string Param(const std::string& request, const std::string& name) {
  const size_t lineEnd = request.find(' ', request.find(' ') + 1);
  const std::string target = request.substr(0, lineEnd);
  const size_t at = target.find(name + "=");
  if (at == std::string::npos) return "";
  const size_t value = at + name.size() + 1;
  return target.substr(value, target.find_first_of("& ", value) - value);
}

std::string Path(const std::string& request) {
  const size_t from = request.find(' ') + 1;
  return request.substr(from, request.find(' ', from) - from);
}

constexpr const char* kHtmlHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

// A page of links /doc/<name>/<from>.html ... (<from + count - 1>).html and,
// when `next` is not empty, a link to start=<next>.
std::string ResultPage(const std::string& name, int from, int count, const std::string& next) {
  std::string page = "<html><body>";
  for (int i = from; i < from + count; ++i) {
    page += "<a href=\"/doc/" + name + "/" + std::to_string(i) + ".html\">river " +
            std::to_string(i) + "</a>\n";
  }
  if (!next.empty()) page += "<a href=\"/search?q=river&start=" + next + "\">Next</a>";
  return page + "</body></html>";
}

class HostileEngineTest : public SearchRunTest {
 protected:
  void SetUp() override {
    settings_.search.maxResults = 1000;
    settings_.search.duplicateMode = kDuplicateUrl;
    settings_.search.validationMode = kValidationNone;
  }

  bool Search(std::chrono::milliseconds limit = 30s) {
    return SearchRunTest::Search("river", limit);
  }

  bool SpoolFilesLeft() const {
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      if (entry.path().filename().string().rfind("sdump", 0) == 0) return true;
    }
    return false;
  }
};

TEST_F(HostileEngineTest, AnEndlessPageEndsTheEngineAtTheCapAndLeavesNoSpoolFile) {
  // Sends 64 KiB pieces until the client goes away (bounded, so a client
  // that never stops reading still ends the test).
  LoopbackServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Send(kHtmlHead);
    const std::string piece(65536, 'x');
    for (size_t sent = 0; sent < kMaxResultPageBytes + (8u << 20); sent += piece.size()) {
      c.Send(piece);
    }
  });
  catalogue_.engines = {TestEngine("Endless", server.Url("/search"))};
  ASSERT_TRUE(Search());
  EXPECT_EQ(run_->lastStatus(), kStatusPageTooLarge);
  EXPECT_FALSE(SpoolFilesLeft());
  EXPECT_TRUE(events_.results.empty());
}

TEST_F(HostileEngineTest, ASpoolFileThatCannotBeWrittenSaysSoAndIsNotReadBack) {
  LoopbackServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Send(kHtmlHead);
    c.Send(std::string(4u << 20, ' ') + ResultPage("big", 0, 5, ""));
  });
  catalogue_.engines = {TestEngine("Full disk", server.Url("/search"))};
  // A file-size limit of 1 MiB makes the spool writes fail part-way, as a
  // full disk would; the limit is the process's own and restored at once.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous {};
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 1u << 20;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool ended = Search();
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &previous, nullptr);

  ASSERT_TRUE(ended);
  EXPECT_EQ(run_->lastStatus().rfind("The result page could not be written to ", 0), 0u)
      << run_->lastStatus();
  EXPECT_TRUE(events_.results.empty());  // the cut page was not scanned
  EXPECT_FALSE(SpoolFilesLeft());
}

TEST_F(HostileEngineTest, PagingThatBringsNothingNewEnds) {
  std::atomic<int> requests{0};
  // Every page lists the same ten links and a link to the next page.
  LoopbackServer same([&](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    ++requests;
    const int start = std::stoi("0" + Param(request, "start"));
    c.Send(kHtmlHead + ResultPage("same", 0, 10, std::to_string(start + 10)));
  });
  catalogue_.engines = {TestEngine("Same page", same.Url("/search"))};
  ASSERT_TRUE(Search());
  EXPECT_EQ(requests.load(), 2);
  EXPECT_EQ(run_->lastStatus(), kStatusNoNewResults);
  EXPECT_EQ(events_.results.size(), 10u);
}

TEST_F(HostileEngineTest, AnEngineListingMoreThanItsResultsPerPageKeepsItsOwnLimit) {
  // It says five results a page and lists eight: its second page starts
  // counting at five, but not below the eight it has already handed over.
  LoopbackServer many([&](ServerConnection& c) {
    const int start = std::stoi("0" + Param(c.ReadRequest(), "start"));
    c.Send(kHtmlHead + ResultPage("many", start * 10, 8, std::to_string(start + 5)));
  });
  EngineDefinition engine = TestEngine("Many", many.Url("/search"));
  engine.resultsPerPage = 5;
  catalogue_.engines = {engine};
  settings_.search.maxResults = 10;
  settings_.search.perEngine = 1;
  ASSERT_TRUE(Search());
  EXPECT_EQ(events_.results.size(), 10u);
}

TEST_F(HostileEngineTest, ARedirectToNoUrlEndsOnlyThatEngineAndKeepsItsResults) {
  // The second page redirects to a Location that no URL form accepts.
  LoopbackServer broken([&](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    if (Param(request, "start").empty() || Param(request, "start") == "0") {
      c.Send(kHtmlHead + ResultPage("broken", 0, 10, "10"));
    } else {
      c.Send("HTTP/1.0 302 Found\r\nLocation: http://:0/\r\n\r\n");
    }
  });
  LoopbackServer fine([&](ServerConnection& c) {
    c.ReadRequest();
    c.Send(kHtmlHead + ResultPage("fine", 0, 5, ""));
  });
  catalogue_.engines = {TestEngine("Broken", broken.Url("/search")),
                        TestEngine("Fine", fine.Url("/search"))};
  ASSERT_TRUE(Search());
  const std::vector<EngineReport>& reports = run_->engineReports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].ending, EngineEnding::kError);
  EXPECT_EQ(reports[0].detail, "malformed address");
  EXPECT_EQ(reports[0].results, 10);
  EXPECT_EQ(reports[1].ending, EngineEnding::kDone);
  EXPECT_EQ(events_.results.size(), 15u);
}

TEST_F(HostileEngineTest, ARequestSentBeforeEndsTheEngine) {
  std::atomic<int> requests{0};
  // "Auto 1": the page always names the same next position, with new links.
  LoopbackServer server([&](ServerConnection& c) {
    c.ReadRequest();
    const int n = requests++;
    c.Send(kHtmlHead + ResultPage("auto", n * 10, 10, "") +
           "<form><input name=start value=10></form>");
  });
  catalogue_.engines = {TestEngine("Auto loop", server.Url("/search"), AUTO_1)};
  ASSERT_TRUE(Search());
  EXPECT_EQ(requests.load(), 2);  // the first page, then start=10 once
  EXPECT_EQ(run_->lastStatus(), kStatusRepeatedRequest);
}

TEST_F(HostileEngineTest, PagesPerEngineAreCappedByTheSetting) {
  std::atomic<int> requests{0};
  LoopbackServer server([&](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    ++requests;
    const int start = std::stoi("0" + Param(request, "start"));
    c.Send(kHtmlHead + ResultPage("endless", start, 10, std::to_string(start + 10)));
  });
  settings_.program.maxPagesPerEngine = 4;
  catalogue_.engines = {TestEngine("Endless paging", server.Url("/search"))};
  ASSERT_TRUE(Search());
  EXPECT_EQ(requests.load(), 4);
  EXPECT_EQ(run_->lastStatus(), FormatStatus(kStatusPageLimit, "4"));
  EXPECT_EQ(events_.results.size(), 40u);
}

TEST_F(HostileEngineTest, TheLargestResultsPerPageNeverWrapsTheOffset) {
  std::mutex mutex;
  std::vector<std::string> starts;
  LoopbackServer server([&](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const std::string start = Param(request, "start");
    int n = 0;
    {
      std::lock_guard lock(mutex);
      starts.push_back(start);
      n = static_cast<int>(starts.size());
    }
    // Each page links to the number its successor would carry.
    c.Send(kHtmlHead + ResultPage("wide", n * 10, 10, start == "1" ? "2147483648" : "4294967295"));
  });
  EngineDefinition wide = TestEngine("Wide", server.Url("/search"), RESULT_PLUS_1);
  wide.resultsPerPage = 2147483647;
  catalogue_.engines = {wide};
  ASSERT_TRUE(Search());
  // The third page's value clamps to the second's: asked once, not again.
  EXPECT_EQ(starts, (std::vector<std::string>{"1", "2147483647"}));
  EXPECT_EQ(run_->lastStatus(), kStatusRepeatedRequest);
  EXPECT_EQ(events_.results.size(), 20u);
}

TEST_F(HostileEngineTest, ResultsAnotherEngineListedFirstStillCountAsProgress) {
  // Two engines with the same three pages: whichever is second meets only
  // duplicates, and must still page on to the end.
  std::mutex mutex;
  std::map<std::string, int> requests;
  LoopbackServer server([&](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const int start = std::stoi("0" + Param(request, "start"));
    {
      std::lock_guard lock(mutex);
      ++requests[Path(request).substr(0, Path(request).find('?'))];
    }
    c.Send(kHtmlHead +
           ResultPage("shared", start, 10, start < 20 ? std::to_string(start + 10) : ""));
  });
  catalogue_.engines = {TestEngine("One", server.Url("/one/search")),
                        TestEngine("Two", server.Url("/two/search"))};
  ASSERT_TRUE(Search());
  EXPECT_EQ(requests["/one/search"], 3);
  EXPECT_EQ(requests["/two/search"], 3);
  EXPECT_EQ(events_.results.size(), 30u);
}

TEST_F(HostileEngineTest, NoResultsPerPageIsRefusedWithItsReason) {
  std::atomic<int> requests{0};
  LoopbackServer server([&](ServerConnection& c) {
    c.ReadRequest();
    ++requests;
    c.Send(kHtmlHead + ResultPage("zero", 0, 10, "0"));
  });
  EngineDefinition zero = TestEngine("Zero", server.Url("/search"));
  zero.resultsPerPage = 0;
  catalogue_.engines = {zero};
  ASSERT_TRUE(Search());
  EXPECT_EQ(requests.load(), 0);
  EXPECT_EQ(run_->lastStatus(), CheckPaging(zero).message());
}

TEST_F(HostileEngineTest, TheLimitHoldsWhileSeveralEnginesValidateAtOnce) {
  // Every validation fetch waits until all five engines have one in flight,
  // so all five pass the first limit test before any result is handed over.
  constexpr int kEngines = 5;
  std::mutex mutex;
  std::condition_variable changed;
  int inFlight = 0;
  LoopbackServer server([&](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const std::string path = Path(request);
    if (path.find("/search") != std::string::npos) {
      const std::string name = path.substr(1, path.find('/', 1) - 1);
      c.Send(kHtmlHead + ResultPage(name, 0, 3, ""));
      return;
    }
    {
      std::unique_lock lock(mutex);
      ++inFlight;
      changed.notify_all();
      changed.wait_for(lock, 10s, [&] { return inFlight >= kEngines; });
    }
    c.Send(std::string(kHtmlHead) + "<html><body>river</body></html>");
  });
  for (int i = 0; i < kEngines; ++i) {
    const std::string name = "e" + std::to_string(i);
    catalogue_.engines.push_back(TestEngine(name, server.Url("/" + name + "/search")));
  }
  settings_.search.validationMode = kValidationVal;
  settings_.search.maxResults = 1;
  settings_.search.perEngine = 0;
  ASSERT_TRUE(Search());
  EXPECT_EQ(events_.results.size(), 1u);
  EXPECT_EQ(run_->resultTotal(), 1);
}

// Workers whose requests are never answered, so that they are busy when a
// later part of the start fails.
class RefusedStartTest : public HostileEngineTest {
 protected:
  RefusedStartTest()
      : silent_([](ServerConnection& c) {
          c.ReadRequest();
          c.WaitForStop();
        }) {
    for (const char* name : {"a", "b", "c"}) {
      catalogue_.engines.push_back(TestEngine(name, silent_.Url("/search")));
    }
  }

  StartOutcome StartFailingAt(StartStep failing, int engineIndex) {
    run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
    run_->SetStartFaultFake([=](StartStep step, int index) {
      if (step == failing && index == engineIndex) {
        throw std::system_error(EAGAIN, std::generic_category(), "thread");
      }
    });
    return run_->StartSearch("river");
  }

  void ExpectNothingRuns() {
    EXPECT_FALSE(run_->searching());
    EXPECT_TRUE(run_->workers().empty());
    EXPECT_NE(run_->startError().find("The search could not start: thread"), std::string::npos)
        << run_->startError();
    EXPECT_TRUE(events_.results.empty());
    // A start after the failure works, and destroying the run is clean.
    run_->SetStartFaultFake({});
    EXPECT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
    EXPECT_EQ(run_->workers().size(), 3u);
    run_->StopSearch();
    run_.reset();
    EXPECT_FALSE(SpoolFilesLeft());
  }

  LoopbackServer silent_;
};

TEST_F(RefusedStartTest, AThreadRefusedPartWayStopsAndJoinsTheStartedOnes) {
  EXPECT_EQ(StartFailingAt(StartStep::kStartThread, 2), StartOutcome::kStartFailed);
  ExpectNothingRuns();
}

TEST_F(RefusedStartTest, AWorkerRefusedPartWayStartsNothing) {
  EXPECT_EQ(StartFailingAt(StartStep::kCreateWorker, 1), StartOutcome::kStartFailed);
  ExpectNothingRuns();
}

TEST_F(HostileEngineTest, StopDoesNotWaitForASpoolFileBeingReadBack) {
  LoopbackServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Send(kHtmlHead + ResultPage("slow", 0, 10, ""));
  });
  catalogue_.engines = {TestEngine("Slow disk", server.Url("/search"))};
  run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
  // The read-back stalls, as on a slow disk, until the worker is stopped
  // (or 10 s have passed: then Stop waited for the disk).
  std::atomic<bool> reading{false};
  std::atomic<bool> stopSeenWhileReading{false};
  run_->SetReadBackFake([&](const std::atomic<bool>& cancelled) {
    reading = true;
    const auto give_up = std::chrono::steady_clock::now() + 10s;
    while (!cancelled && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(1ms);
    }
    stopSeenWhileReading = cancelled.load();
  });
  ASSERT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
  run_->ServeUntilDone(20s, [&] { return reading.load(); });
  run_.reset();  // joins the worker
  EXPECT_TRUE(stopSeenWhileReading.load());
  EXPECT_TRUE(events_.results.empty());
  EXPECT_FALSE(SpoolFilesLeft());
}

TEST_F(HostileEngineTest, AnErrorOnTheWorkerEndsOnlyItsEngineAndSaysWhy) {
  LoopbackServer server([](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const std::string name = Path(request).substr(1, Path(request).find('/', 1) - 1);
    c.Send(kHtmlHead + ResultPage(name, 0, 10, ""));
  });
  catalogue_.engines = {TestEngine("Fails", server.Url("/fails/search")),
                        TestEngine("Works", server.Url("/works/search"))};
  // Every text of every row, in order.
  struct RowHistory : RecordingEvents {
    void OnEngineRow(int engineIndex, const std::string& text) override {
      history.push_back(text);
      RecordingEvents::OnEngineRow(engineIndex, text);
    }
    std::vector<std::string> history;
  } events;
  run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events);
  // Reading back the first page read runs out of memory.
  std::atomic<bool> thrown{false};
  run_->SetReadBackFake([&](const std::atomic<bool>&) {
    if (!thrown.exchange(true)) throw std::bad_alloc();
  });
  ASSERT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
  ASSERT_TRUE(run_->ServeUntilDone(30s));
  EXPECT_NE(std::find(events.history.begin(), events.history.end(), kStatusOutOfMemory),
            events.history.end());
  EXPECT_EQ(events.results.size(), 10u);  // the other engine's page
  run_.reset();
  EXPECT_FALSE(SpoolFilesLeft());
}

// URLs longer than 511 bytes are handed over, told apart by the duplicate
// filter and kept by the results store exactly as they were found; only one
// too long for the hand-off (1024 bytes and more) is dropped.
TEST_F(HostileEngineTest, LongUrlsArriveWholeAndStayDistinct) {
  const std::string shared = "/doc/" + std::string(600, 'p') + "/";
  const std::string tooLong = "/doc/" + std::string(1100, 'q') + ".html";
  LoopbackServer server([&](ServerConnection& c) {
    c.ReadRequest();
    c.Send(std::string(kHtmlHead) + "<a href=\"" + shared + "a.html\">river a</a>" + "<a href=\"" +
           shared + "b.html\">river b</a>" + "<a href=\"" + tooLong + "\">river c</a>");
  });
  catalogue_.engines = {TestEngine("Long links", server.Url("/search"))};
  ASSERT_TRUE(Search());
  ASSERT_EQ(events_.results.size(), 2u);
  ResultsStore store;
  for (const ResultHandoff& r : events_.results) store.AppendResult(r.url, r.title, r.engineName);
  EXPECT_EQ(store.record(0).url(), server.Url(shared + "a.html"));
  EXPECT_EQ(store.record(1).url(), server.Url(shared + "b.html"));
  EXPECT_GT(store.record(1).url().size(), 600u);
}

}  // namespace
}  // namespace trovelane::testing
