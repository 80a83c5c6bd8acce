// How each engine of a search ends, against scripted engines on 127.0.0.1:
// the report per engine (results, pages, ending), blocks and the suspension
// they start, the engines that found each result and the rank order.
#include "search/engine_report.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "search/engine_check.h"
#include "search/engine_suspension.h"
#include "search/rank_order.h"
#include "search/search_status.h"
#include "tests/engines/engine_samples.h"
#include "tests/search/search_fixture.h"
#include "tests/support/loopback_server.h"

namespace trovelane::testing {
namespace {

using namespace std::chrono_literals;
using test::HttpResponse;
using test::LoopbackServer;
using test::ServerConnection;

// 2026-12-08 12:00:00 UTC, the tests' "now".
const WallClock::time_point kNoon = WallClock::time_point(std::chrono::seconds(1796731200));

// The tests read clock texts in UTC.
class UtcZone {
 public:
  UtcZone() {
    const char* old = getenv("TZ");
    if (old) old_ = old;
    hadOld_ = old != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  ~UtcZone() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

// Links /doc/<i>.html for every i of `ids`, and a next-page link when `next`.
std::string Links(const std::vector<int>& ids, const std::string& next = "") {
  std::string page = "<html><body>";
  for (int i : ids) {
    page += "<a href=\"/doc/" + std::to_string(i) + ".html\">river " + std::to_string(i) + "</a>\n";
  }
  if (!next.empty()) page += "<a href=\"/search?q=river&start=" + next + "\">Next</a>";
  return page + "</body></html>";
}

// Answers every request with `status` and `body`, counting the requests.
LoopbackServer::Handler Always(std::string statusLine, std::string body,
                               std::atomic<int>* count = nullptr) {
  return [statusLine, body, count](ServerConnection& c) {
    c.ReadRequest();
    if (count) ++*count;
    c.Send(HttpResponse(statusLine, "Content-Type: text/html\r\n", body));
  };
}

class EngineReportTest : public SearchRunTest {
 protected:
  void SetUp() override {
    settings_.search.maxResults = 1000;
    settings_.search.duplicateMode = kDuplicateUrl;
    settings_.search.validationMode = kValidationNone;
  }

  bool Search(bool ignoreSuspension = false) {
    return SearchRunTest::Search("river", 30s, [&](SearchRun& run) {
      run.SetSuspensions(&suspensions_, ignoreSuspension);
      run.SetClock([this] { return now_; });
    });
  }
  const EngineReport& Report(size_t index) const { return run_->engineReports().at(index); }

  UtcZone utc_;
  EngineSuspensions suspensions_;
  WallClock::time_point now_ = kNoon;
};

TEST_F(EngineReportTest, EachEngineSaysHowItEndedWithItsResultsAndPages) {
  // Two pages, then no next link: done.
  LoopbackServer paging([](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const bool second = request.find("start=10") != std::string::npos;
    c.Send(HttpResponse("HTTP/1.0 200 OK", "",
                        second ? Links({10, 11, 12}) : Links({0, 1, 2, 3, 4}, "10")));
  });
  // An error page full of links: not scanned.
  LoopbackServer missing(Always("HTTP/1.0 404 Not Found", Links({90, 91})));
  // Nobody listens on a closed port.
  int closedPort = 0;
  {
    LoopbackServer gone(Always("HTTP/1.0 200 OK", ""));
    closedPort = gone.port();
  }
  // Plain text where TLS is expected: no handshake can come of it.
  LoopbackServer plain([](ServerConnection& c) {
    c.Send("HTTP/1.0 200 OK\r\n\r\nplain text, no TLS here\r\n");
    c.ShutdownWrite();
    c.ReadToEnd();
  });

  catalogue_.engines = {
      TestEngine("paging", paging.Url("/search")), TestEngine("missing", missing.Url("/search")),
      TestEngine("gone", "http://127.0.0.1:" + std::to_string(closedPort) + "/search"),
      TestEngine("tls", "https://127.0.0.1:" + std::to_string(plain.port()) + "/search"),
      TestEngine("off", paging.Url("/search"))};
  catalogue_.engines[4].selected = 0;
  ASSERT_TRUE(Search());

  EXPECT_EQ(Report(0).ending, EngineEnding::kDone);
  EXPECT_EQ(Report(0).results, 8);
  EXPECT_EQ(Report(0).pages, 2);
  EXPECT_TRUE(Report(0).reached);
  EXPECT_EQ(EngineSummary(Report(0)), "8 results, 2 pages, done");

  EXPECT_EQ(Report(1).ending, EngineEnding::kHttpStatus);
  EXPECT_EQ(Report(1).httpStatus, 404);
  EXPECT_EQ(Report(1).results, 0);
  EXPECT_TRUE(Report(1).reached);
  EXPECT_EQ(EndingText(Report(1)), "HTTP 404");

  EXPECT_EQ(Report(2).ending, EngineEnding::kUnreachable);
  EXPECT_FALSE(Report(2).reached);
  EXPECT_EQ(EngineSummary(Report(2)), "0 results, 0 pages, unreachable");

  EXPECT_EQ(Report(3).ending, EngineEnding::kTlsFailure);
  EXPECT_EQ(EndingText(Report(3)), "TLS failure");

  EXPECT_EQ(Report(4).ending, EngineEnding::kNotRun);
  EXPECT_EQ(events_.results.size(), 8u);
  EXPECT_EQ(suspensions_.all().size(), 0u);
}

TEST_F(EngineReportTest, ResultLimitSilenceAndStopAreEndingsToo) {
  LoopbackServer many(Always("HTTP/1.0 200 OK", Links({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, "10")));
  // Sends its head, then nothing.
  LoopbackServer silent([](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.0 200 OK\r\n\r\n<html>");
    c.WaitForStop();
  });
  settings_.search.maxResults = 4;
  settings_.search.perEngine = 1;
  settings_.program.readTimeoutSeconds = 1;
  catalogue_.engines = {TestEngine("many", many.Url("/search")),
                        TestEngine("silent", silent.Url("/search"))};
  ASSERT_TRUE(Search());
  EXPECT_EQ(Report(0).ending, EngineEnding::kLimit);
  EXPECT_EQ(Report(0).results, 4);
  EXPECT_EQ(Report(1).ending, EngineEnding::kTimedOut);
  EXPECT_EQ(EndingText(Report(1)), "timed out");

  // Stopped while the silent engine waits.
  settings_.program.readTimeoutSeconds = 60;
  catalogue_.engines = {TestEngine("silent", silent.Url("/search"))};
  run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
  ASSERT_EQ(run_->StartSearch("river"), StartOutcome::kStarted);
  run_->ServeUntilDone(100ms);
  run_->StopSearch();
  EXPECT_EQ(Report(0).ending, EngineEnding::kStopped);
}

TEST_F(EngineReportTest, ACaptchaPageSuspendsTheEngineForAnHourAcrossSearches) {
  std::atomic<int> requests{0};
  LoopbackServer captcha(Always("HTTP/1.0 200 OK",
                                "<html><FORM ID=\"challenge-form\" action=/x>" + Links({1, 2}),
                                &requests));
  LoopbackServer fine(Always("HTTP/1.0 200 OK", Links({5, 6})));
  catalogue_.engines = {TestEngine("guarded", captcha.Url("/search")),
                        TestEngine("fine", fine.Url("/search"))};
  catalogue_.engines[0].web.blockMarkers = {"<form id=\"challenge-form\""};
  ASSERT_TRUE(Search());

  EXPECT_EQ(Report(0).ending, EngineEnding::kBlocked);
  EXPECT_EQ(Report(0).block, BlockKind::kCaptcha);
  EXPECT_EQ(Report(0).results, 0);  // the block page's links are not results
  EXPECT_EQ(Report(0).pages, 1);
  EXPECT_EQ(EndingText(Report(0)), "blocked (CAPTCHA), suspended until 13:00");
  EXPECT_EQ(events_.rows[0], "Suspended until 13:00 (CAPTCHA)");
  EXPECT_EQ(events_.suspensionChanges, 1);
  ASSERT_NE(suspensions_.Active("guarded", kNoon), nullptr);
  EXPECT_EQ(suspensions_.Active("guarded", kNoon)->until, kNoon + 1h);
  EXPECT_EQ(Report(1).ending, EngineEnding::kDone);

  // Half an hour later the engine is skipped without a request.
  now_ = kNoon + 30min;
  ASSERT_TRUE(Search());
  EXPECT_EQ(requests.load(), 1);
  EXPECT_EQ(Report(0).ending, EngineEnding::kSuspended);
  EXPECT_EQ(EngineSummary(Report(0)), "0 results, 0 pages, suspended until 13:00 (CAPTCHA)");
  EXPECT_EQ(events_.rows[0], "Suspended until 13:00 (CAPTCHA)");
  EXPECT_EQ(Report(1).ending, EngineEnding::kDone);

  // Searched anyway on request: still a CAPTCHA, so the hour starts again.
  ASSERT_TRUE(Search(/*ignoreSuspension=*/true));
  EXPECT_EQ(requests.load(), 2);
  EXPECT_EQ(suspensions_.Active("guarded", now_)->until, now_ + 1h);

  // After the hour the engine is searched again.
  now_ += 1h;
  ASSERT_TRUE(Search());
  EXPECT_EQ(requests.load(), 3);
}

TEST_F(EngineReportTest, HttpBlocksSuspendForThreeMinutes) {
  LoopbackServer limited(Always("HTTP/1.0 429 Too Many Requests", Links({1})));
  LoopbackServer forbidden(Always("HTTP/1.0 403 Forbidden", "no"));
  // An empty 202 is a rate-limit answer; one with results is a page.
  LoopbackServer accepted(Always("HTTP/1.0 202 Accepted", "<html>Please wait</html>"));
  LoopbackServer accepting(Always("HTTP/1.0 202 Accepted", Links({7, 8})));
  catalogue_.engines = {TestEngine("limited", limited.Url("/search")),
                        TestEngine("forbidden", forbidden.Url("/search")),
                        TestEngine("accepted", accepted.Url("/search")),
                        TestEngine("accepting", accepting.Url("/search"))};
  ASSERT_TRUE(Search());
  EXPECT_EQ(EndingText(Report(0)), "blocked (HTTP 429), suspended until 12:03");
  EXPECT_EQ(events_.rows[0], "Suspended until 12:03 (HTTP 429)");
  EXPECT_EQ(EndingText(Report(1)), "blocked (HTTP 403), suspended until 12:03");
  EXPECT_EQ(EndingText(Report(2)), "blocked (HTTP 202), suspended until 12:03");
  EXPECT_EQ(Report(3).ending, EngineEnding::kDone);
  EXPECT_EQ(Report(3).results, 2);
  EXPECT_EQ(suspensions_.all().size(), 3u);
  EXPECT_EQ(suspensions_.Active("limited", kNoon)->until, kNoon + 3min);
  EXPECT_EQ(events_.rows[3], kNotActive);
}

// Absolute links to one documents host (never fetched: no validation).
std::string HostLinks(const std::vector<int>& ids) {
  std::string page = "<html><body>";
  for (int i : ids) {
    page += "<a href=\"http://docs.test/" + std::to_string(i) + ".html\">doc " + std::to_string(i) +
            "</a>\n";
  }
  return page + "</body></html>";
}

TEST_F(EngineReportTest, EveryEngineThatFoundAResultIsListedWithItsPositionAndRanked) {
  LoopbackServer a(Always("HTTP/1.0 200 OK", HostLinks({1, 2, 3})));
  // b repeats 3 on its own page: its position stays the first one.
  LoopbackServer b(Always("HTTP/1.0 200 OK", HostLinks({9, 3, 3, 1})));
  catalogue_.engines = {TestEngine("a", a.Url("/search")), TestEngine("b", b.Url("/search"))};
  ASSERT_TRUE(Search());
  ASSERT_EQ(events_.results.size(), 4u);

  // Which engine handed a shared result over depends on the race; who found
  // it where does not.
  const auto& finders = run_->resultFinders();
  ASSERT_EQ(finders.size(), 4u);
  std::map<std::string, std::set<std::pair<int, int>>> found;
  for (size_t i = 0; i < finders.size(); ++i) {
    EXPECT_EQ(finders[i].front().engineIndex, events_.results[i].engineIndex);
    for (const ResultFinder& f : finders[i]) {
      found[events_.results[i].url].insert({f.engineIndex, f.position});
    }
  }
  using Found = std::set<std::pair<int, int>>;
  EXPECT_EQ(found["http://docs.test/1.html"], (Found{{0, 1}, {1, 3}}));
  EXPECT_EQ(found["http://docs.test/2.html"], (Found{{0, 2}}));
  EXPECT_EQ(found["http://docs.test/3.html"], (Found{{0, 3}, {1, 2}}));
  EXPECT_EQ(found["http://docs.test/9.html"], (Found{{1, 1}}));
  EXPECT_EQ(Report(0).results + Report(1).results, 4);

  // 2 × (1 + 1/3), then 2 × (1/3 + 1/2), then 1, then 1/2.
  std::vector<std::string> ranked;
  for (size_t i : RankOrder(finders)) ranked.push_back(events_.results[i].url);
  EXPECT_EQ(ranked,
            (std::vector<std::string>{"http://docs.test/1.html", "http://docs.test/3.html",
                                      "http://docs.test/9.html", "http://docs.test/2.html"}));
}

TEST(RankOrderTest, EqualScoresKeepArrivalOrderAndPositionsBelowOneCountAsOne) {
  std::vector<std::vector<ResultFinder>> finders = {
      {{0, 2}}, {{1, 2}}, {{0, 1}, {1, 4}}, {{2, 0}}, {}};
  EXPECT_DOUBLE_EQ(RankScore(finders[2]), 2 * 1.25);
  EXPECT_DOUBLE_EQ(RankScore(finders[3]), 1.0);
  EXPECT_EQ(RankOrder(finders), (std::vector<size_t>{2, 3, 0, 1, 4}));
  EXPECT_TRUE(RankOrder({}).empty());
}

TEST(RankOrderTest, EngineWeightsAndDomainFactorsSteerTheScore) {
  RankRules rules;
  rules.engineWeights = {2, 0.5};  // engine 2 has none: 1
  rules.domainFactors = {{"example.com", 3}, {"docs.example.com", 0.25}, {"Spam.TEST", 0.1}};
  // 2 sightings × 2 × 0.5 × (1 + 1/2), on a host the longest rule covers.
  EXPECT_DOUBLE_EQ(RankScore({{0, 1}, {1, 2}}, rules, "https://a.docs.example.com/x"),
                   2 * 1.0 * 1.5 * 0.25);
  EXPECT_DOUBLE_EQ(RankScore({{2, 1}}, rules, "http://www.example.com/"), 3.0);
  EXPECT_DOUBLE_EQ(RankScore({{2, 1}}, rules, "http://badexample.com/"), 1.0);
  EXPECT_DOUBLE_EQ(RankScore({{2, 1}}, rules, "not a url"), 1.0);
  // The first place of the heavy engine beats two sightings on a spam host.
  const std::vector<std::vector<ResultFinder>> finders = {{{1, 1}, {2, 1}}, {{0, 1}}, {{2, 1}}};
  EXPECT_EQ(RankOrder(finders, rules, {"http://x.spam.test/", "http://a.test/", "http://b.test/"}),
            (std::vector<size_t>{1, 2, 0}));
}

TEST(EngineSuspensionTest, BlocksAreFoundByMarkerInAnyCaseOrBy403And429) {
  EngineDefinition engine;
  engine.web.blockMarkers = {"", "<form id=\"challenge-form\""};
  EXPECT_EQ(DetectBlock(engine, 200, "<FORM ID=\"challenge-form\" method=post>"),
            BlockKind::kCaptcha);
  // A CAPTCHA behind a 403 is a CAPTCHA: the longer suspension.
  EXPECT_EQ(DetectBlock(engine, 403, "<form id=\"challenge-form\">"), BlockKind::kCaptcha);
  EXPECT_EQ(DetectBlock(engine, 403, "forbidden"), BlockKind::kHttpStatus);
  EXPECT_EQ(DetectBlock(engine, 429, ""), BlockKind::kHttpStatus);
  // An empty marker matches nothing; 202 is left to the scan.
  EXPECT_EQ(DetectBlock(engine, 200, "<html>results</html>"), BlockKind::kNone);
  EXPECT_EQ(DetectBlock(engine, 202, ""), BlockKind::kNone);
  EXPECT_EQ(DetectBlock(EngineDefinition{}, 500, "<form id=\"challenge-form\">"), BlockKind::kNone);
}

TEST(EngineSuspensionTest, ElementMarkersAndHeaderLinesMarkACaptchaToo) {
  EngineDefinition engine;
  engine.web.blockMarkers = {"form#challenge-form.altcha"};
  engine.web.blockHeaders = {"X-Yandex-Captcha: CAPTCHA", "x-blocked"};
  EXPECT_EQ(DetectBlock(engine, 200, "<form class='x altcha' id=challenge-form>"),
            BlockKind::kCaptcha);
  EXPECT_EQ(DetectBlock(engine, 200, "<form id=challenge-form>"), BlockKind::kNone);
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
  EXPECT_EQ(DetectBlock(engine, 200, "", head + "x-yandex-captcha: captcha\r\n\r\n"),
            BlockKind::kCaptcha);
  EXPECT_EQ(DetectBlock(engine, 200, "", head + "X-Blocked:\r\n\r\n"), BlockKind::kCaptcha);
  // Another value, the name only in the body or the status line: no block.
  EXPECT_EQ(DetectBlock(engine, 200, "x-blocked: 1", head + "x-yandex-captcha: none\r\n\r\n"),
            BlockKind::kNone);
  EXPECT_EQ(DetectBlock(engine, 200, "", "x-blocked: 1\r\n\r\n"), BlockKind::kNone);
}

TEST_F(EngineReportTest, AnAnswerThatNamesItsWaitSuspendsUntilThen) {
  auto answer = [](std::string status, std::string head, std::string body) {
    return [=](ServerConnection& c) {
      c.ReadRequest();
      c.Send(HttpResponse(status, head, body));
    };
  };
  std::atomic<int> lastRequests{0};
  LoopbackServer retry(answer("HTTP/1.0 429 Too Many Requests", "Retry-After: 600\r\n", ""));
  LoopbackServer day(answer("HTTP/1.0 403 Forbidden", "Retry-After: 999999\r\n", ""));
  // Requests used up, and nothing listed: a block until the reset.
  LoopbackServer used(answer("HTTP/1.0 200 OK",
                             "X-RateLimit-Remaining: 0\r\nX-RateLimit-Reset: 7200\r\n",
                             "<html>limit</html>"));
  // The last request allowed, with results: they are taken, and the next
  // page, which would be refused, is not asked for.
  LoopbackServer last([&](ServerConnection& c) {
    c.ReadRequest();
    ++lastRequests;
    c.Send(HttpResponse("HTTP/1.0 200 OK", "x-ratelimit-remaining: 0\r\n", Links({1, 2}, "10")));
  });
  catalogue_.engines = {
      TestEngine("retry", retry.Url("/search")), TestEngine("day", day.Url("/search")),
      TestEngine("used", used.Url("/search")), TestEngine("last", last.Url("/search"))};
  ASSERT_TRUE(Search());
  EXPECT_EQ(EndingText(Report(0)), "blocked (HTTP 429), suspended until 12:10");
  EXPECT_EQ(suspensions_.Active("day", kNoon)->until, kNoon + 24h);
  EXPECT_EQ(EndingText(Report(2)), "blocked (HTTP 200), suspended until 14:00");
  EXPECT_EQ(EngineSummary(Report(3)), "2 results, 1 page, done");
  EXPECT_EQ(lastRequests.load(), 1);
  EXPECT_EQ(suspensions_.Active("last", kNoon), nullptr);
}

TEST(EngineSuspensionTest, TheWaitAnAnswerNames) {
  const std::string status = "HTTP/1.1 429 Too Many Requests\r\n";
  const WallClock::time_point date =  // Wed, 21 Oct 2015 07:28:00 GMT
      WallClock::time_point(std::chrono::seconds(1445412480));
  EXPECT_EQ(ServerNamedWait(status + "retry-after:  120 \r\n\r\n", kNoon), 120s);
  EXPECT_EQ(ServerNamedWait(status + "Retry-After: Wed, 21 Oct 2015 07:28:00 GMT\r\n", date - 90s),
            90s);
  EXPECT_EQ(ServerNamedWait(status + "Retry-After: Wed, 21 Oct 2015 07:28:00 GMT\r\n", date + 1s),
            0s);
  EXPECT_EQ(ServerNamedWait(status + "Retry-After: 99999999999\r\n", kNoon), 24h);
  EXPECT_EQ(ServerNamedWait(status + "Retry-After: soon\r\n", kNoon), std::nullopt);
  EXPECT_EQ(ServerNamedWait(status + "Retry-After: Wed, 31 Feb 2015 07:28:00 GMT\r\n", kNoon),
            std::nullopt);
  // A code host's rate limit: the reset is a Unix time, or with a small
  // number a count of seconds; it counts only once the requests are used up.
  const std::string reset = "X-RateLimit-Reset: " + std::to_string(1796731200 + 300) + "\r\n";
  EXPECT_EQ(ServerNamedWait(status + "X-RateLimit-Remaining: 0\r\n" + reset, kNoon), 300s);
  EXPECT_EQ(ServerNamedWait(status + "RateLimit-Remaining: 0\r\nRateLimit-Reset: 42\r\n", kNoon),
            42s);
  EXPECT_EQ(ServerNamedWait(status + "X-RateLimit-Remaining: 5\r\n" + reset, kNoon), std::nullopt);
  EXPECT_FALSE(RateLimitExhausted(status + "X-RateLimit-Remaining: 10\r\n"));
  EXPECT_FALSE(RateLimitExhausted("X-RateLimit-Remaining: 0\r\n"));  // a status line, no header
  // A CAPTCHA keeps its hour when the server asks for less.
  EXPECT_EQ(SuspensionLength(BlockKind::kCaptcha, 10s), 1h);
  EXPECT_EQ(SuspensionLength(BlockKind::kCaptcha, 2h), 2h);
  EXPECT_EQ(SuspensionLength(BlockKind::kHttpStatus, 10s), 10s);
  EXPECT_EQ(SuspensionLength(BlockKind::kHttpStatus), 3min);
}

TEST(EngineSuspensionTest, ASuspensionRunsUntilItsTimeAndIsReplacedByTheNext) {
  UtcZone utc;
  EngineSuspensions list;
  list.Suspend({"a", kNoon + 3min, BlockKind::kHttpStatus, 429});
  list.Suspend({"b", kNoon + 1h, BlockKind::kCaptcha, 0});
  EXPECT_EQ(SuspendedText(*list.Active("a", kNoon)), "Suspended until 12:03 (HTTP 429)");
  EXPECT_EQ(list.Active("a", kNoon + 3min), nullptr);  // over at its minute
  EXPECT_EQ(list.Active("c", kNoon), nullptr);
  list.Suspend({"a", kNoon + 2h, BlockKind::kCaptcha, 0});
  EXPECT_EQ(list.all().size(), 2u);
  EXPECT_EQ(SuspendedText(*list.Active("a", kNoon + 1h)), "Suspended until 14:00 (CAPTCHA)");
  EXPECT_TRUE(list.DropExpired(kNoon + 1h));
  EXPECT_EQ(list.all().size(), 1u);
  EXPECT_FALSE(list.DropExpired(kNoon + 1h));
}

TEST(EngineCheckTest, OnePagePerEngineWithItsStatusBytesResultsAndNextPage) {
  std::atomic<int> requests{0};
  LoopbackServer listing([&](ServerConnection& c) {
    c.ReadRequest();
    ++requests;
    c.Send(HttpResponse("HTTP/1.0 200 OK", "", Links({0, 1, 2}, "10")));
  });
  LoopbackServer empty(Always("HTTP/1.0 200 OK", "<html>nothing</html>"));
  LoopbackServer limited(Always("HTTP/1.0 429 Too Many Requests", ""));
  ScratchFolder folder;
  EngineCatalogue catalogue;
  catalogue.engines = {TestEngine("listing", listing.Url("/search")),
                       TestEngine("empty", empty.Url("/search")),
                       TestEngine("limited", limited.Url("/search"))};
  catalogue.engines[0].selected = 0;  // a check looks at every engine asked for
  EngineSuspensions suspensions;
  // Suspended engines are checked anyway.
  suspensions.Suspend({"empty", WallClock::now() + 1h, BlockKind::kCaptcha, 0});
  int changed = 0;
  EngineCheckOptions options;
  options.suspensions = &suspensions;
  options.suspensionsChanged = [&] { ++changed; };
  NetworkSettings settings;
  settings.search.maxResults = 1;  // the check keeps every link of the page
  std::vector<EngineReport> reports =
      CheckEngines(catalogue, {0, 1, 2, 7}, settings, folder.path(), options);
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(requests.load(), 1);  // one page only, though it links to a next
  EXPECT_EQ(reports[0].engineName, "listing");
  EXPECT_EQ(reports[0].httpStatus, 200);
  EXPECT_EQ(reports[0].results, 3);
  EXPECT_TRUE(reports[0].nextPage);
  EXPECT_EQ(reports[0].bytes, static_cast<long long>(Links({0, 1, 2}, "10").size()));
  EXPECT_EQ(reports[1].results, 0);
  EXPECT_FALSE(reports[1].nextPage);
  EXPECT_EQ(reports[1].ending, EngineEnding::kDone);
  EXPECT_EQ(reports[2].ending, EngineEnding::kBlocked);
  EXPECT_EQ(reports[2].blockStatus, 429);
  EXPECT_EQ(changed, 1);
  EXPECT_NE(suspensions.Active("limited", WallClock::now()), nullptr);
  EXPECT_EQ(reports[3].ending, EngineEnding::kNotRun);
}

}  // namespace
}  // namespace trovelane::testing
