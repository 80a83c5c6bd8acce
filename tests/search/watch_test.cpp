// ApplyWatch: what a search run again makes of a document's records, with
// page checks faked.
#include "search/watch.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "net/http_url.h"
#include "tests/support/loopback_server.h"

namespace trovelane {
namespace {

ResultHandoff Found(const std::string& url, int engineIndex, const std::string& engineName) {
  ResultHandoff r;
  r.url = url;
  r.title = "title of " + url;
  r.engineIndex = engineIndex;
  r.engineName = engineName;
  return r;
}

EngineReport Report(const std::string& name, EngineEnding ending) {
  EngineReport report;
  report.engineName = name;
  report.ending = ending;
  report.reached = true;
  return report;
}

class WatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"alpha", "beta"}) {
      EngineDefinition engine;
      engine.name = name;
      engine.selected = 1;
      catalogue_.engines.push_back(engine);
    }
    reports_ = {Report("alpha", EngineEnding::kDone), Report("beta", EngineEnding::kLimit)};
  }

  WatchSummary Watch(int64_t now, int maxChecks = 50) {
    WatchRun run;
    run.found = &found_;
    run.finders = &finders_;
    run.reports = &reports_;
    run.catalogue = &catalogue_;
    run.search = DescribeWatchedSearch(catalogue_, SearchOptions{});
    run.now = now;
    run.documentTime = 500;
    run.maxChecks = maxChecks;
    run.checkPage = [this](const std::string& url) {
      checked_.push_back(url);
      auto at = pages_.find(url);
      return at == pages_.end() ? PageCheck::kThere : at->second;
    };
    return ApplyWatch(store_, run);
  }

  std::map<std::string, WatchState> Changes(const WatchSummary& summary) {
    std::map<std::string, WatchState> changes;
    for (const WatchChange& c : summary.changes) changes[c.url] = c.change;
    return changes;
  }

  EngineCatalogue catalogue_;
  ResultsStore store_;
  std::vector<ResultHandoff> found_;
  std::vector<std::vector<ResultFinder>> finders_;
  std::vector<EngineReport> reports_;
  std::map<std::string, PageCheck> pages_;
  std::vector<std::string> checked_;
};

TEST_F(WatchTest, NewKeptDroppedAndDeadAndNothingIsRemoved) {
  store_.AppendResult("http://kept.test/", "Kept", "alpha");
  store_.AppendResult("http://gone.test/", "Gone", "alpha");
  store_.AppendResult("http://moved.test/", "Moved", "beta");
  store_.AppendResult("http://unsure.test/", "Unsure", "beta");
  pages_ = {{"http://gone.test/", PageCheck::kGone}, {"http://unsure.test/", PageCheck::kUnknown}};
  // Found again with other case and blanks; and one new result that both
  // engines found.
  found_ = {Found(" HTTP://KEPT.test/ ", 0, "alpha"), Found("http://new.test/", 1, "beta")};
  finders_ = {{{0, 1}}, {{1, 2}, {0, 5}}};

  WatchSummary summary = Watch(1000);
  EXPECT_EQ(Changes(summary),
            (std::map<std::string, WatchState>{{"http://new.test/", WatchState::kNew},
                                               {"http://gone.test/", WatchState::kDead},
                                               {"http://moved.test/", WatchState::kDropped},
                                               {"http://unsure.test/", WatchState::kDropped}}));
  EXPECT_EQ(summary.changes.front().engines, (std::vector<std::string>{"beta", "alpha"}));
  EXPECT_EQ(WatchCountsText(summary), "1 new, 1 dead, 2 dropped, 1 kept");
  ASSERT_EQ(store_.count(), 5);
  EXPECT_EQ(store_.record(4).url(), "http://new.test/");
  EXPECT_EQ(*store_.record(4).watch(), (RecordWatch{1000, 1000, 0, WatchState::kNew}));
  // A record from before the first watch was seen when the document was saved.
  EXPECT_EQ(*store_.record(0).watch(), (RecordWatch{500, 1000, 0, WatchState::kKept}));
  EXPECT_EQ(*store_.record(1).watch(), (RecordWatch{500, 500, 1000, WatchState::kDead}));
  ASSERT_TRUE(store_.watchedSearch().has_value());
  EXPECT_EQ(store_.watchedSearch()->engines, (std::vector<std::string>{"alpha", "beta"}));
  EXPECT_EQ(store_.watchedSearch()->lastWatch, 1000);

  // The same again: no change is listed twice; the new one is kept now.
  checked_.clear();
  summary = Watch(2000);
  EXPECT_TRUE(summary.changes.empty());
  EXPECT_EQ(summary.kept, 2);
  EXPECT_EQ(store_.record(4).watch()->state, WatchState::kKept);
  EXPECT_EQ(checked_.size(), 3u);
}

TEST_F(WatchTest, AWatchOfACopyKeepsWhatChangedInTheStoreMeanwhile) {
  store_.AppendResult("http://kept.test/", "Kept", "alpha");
  store_.AppendResult("http://deleted.test/", "Deleted", "alpha");
  store_.AppendResult("http://gone.test/", "Gone", "alpha");
  pages_ = {{"http://gone.test/", PageCheck::kGone}};
  found_ = {Found("http://kept.test/", 0, "alpha"), Found("http://new.test/", 0, "alpha")};
  finders_ = {{{0, 1}}, {{0, 2}}};
  const ResultsStore live = store_;
  const int32_t arrivals = store_.arrivals();
  Watch(1000);

  // Meanwhile the user deleted a record, marked one and sorted the list.
  ResultsStore current = live;
  current.RemoveResult(1);
  current.record(0).opened = 1;
  current.SortByColumn(kColumnUrl);
  EXPECT_EQ(MergeWatchedCopy(current, store_, arrivals), 1);
  std::map<std::string, WatchState> states;
  for (const ResultRecord& r : current.records()) {
    states[std::string(r.url())] = r.watch() ? r.watch()->state : WatchState::kNone;
  }
  EXPECT_EQ(states, (std::map<std::string, WatchState>{{"http://kept.test/", WatchState::kKept},
                                                       {"http://gone.test/", WatchState::kDead},
                                                       {"http://new.test/", WatchState::kNew}}));
  EXPECT_EQ(current.record(2).url(), "http://new.test/");  // appended at the end
  for (const ResultRecord& r : current.records()) {
    if (r.url() == "http://kept.test/") {
      EXPECT_EQ(r.opened, 1);
    }
  }
  EXPECT_EQ(current.watchedSearch(), store_.watchedSearch());
}

TEST_F(WatchTest, RecordsOfAnEngineThatDidNotFinishKeepTheirState) {
  for (EngineEnding failed : {EngineEnding::kUnreachable, EngineEnding::kTimedOut,
                              EngineEnding::kStopped, EngineEnding::kNotRun}) {
    store_.ResetResults();
    store_.AppendResult("http://a.test/", "A", "alpha");
    store_.AppendResult("http://b.test/", "B", "beta");
    store_.AppendResult("http://p.test/", "P", "a plug-in's own name");
    reports_ = {Report("alpha", EngineEnding::kDone), Report("beta", failed)};
    WatchSummary summary = Watch(1000);
    // A record of an engine the run does not know by that name is compared
    // when every engine that ran finished: not beta when it failed.
    const bool allRan = failed == EngineEnding::kNotRun;
    EXPECT_EQ(summary.dropped, allRan ? 2 : 1) << static_cast<int>(failed);
    EXPECT_EQ(store_.record(0).watch()->state, WatchState::kDropped);
    EXPECT_EQ(store_.record(1).watch()->state, WatchState::kNone);
    EXPECT_EQ(store_.record(2).watch()->state, allRan ? WatchState::kDropped : WatchState::kNone);
  }
}

TEST_F(WatchTest, ChecksAreBoundedOldestFirstAndGoRoundTheRecords) {
  // Five missing records, last seen at 50, 40, 30, 20, 10.
  for (int i = 0; i < 5; ++i) {
    store_.AppendResult("http://r" + std::to_string(i) + ".test/", "", "alpha");
    store_.record(i).EnsureWatch() = {10, 50 - 10 * i, 0, WatchState::kKept};
  }
  for (int i = 0; i < 5; ++i) pages_["http://r" + std::to_string(i) + ".test/"] = PageCheck::kGone;

  WatchSummary summary = Watch(1000, 2);
  EXPECT_EQ(checked_, (std::vector<std::string>{"http://r4.test/", "http://r3.test/"}));
  EXPECT_EQ(summary.dead, 2);
  // Not checked: dropped, for now.
  EXPECT_EQ(summary.dropped, 3);

  checked_.clear();
  summary = Watch(2000, 2);
  EXPECT_EQ(checked_, (std::vector<std::string>{"http://r2.test/", "http://r1.test/"}));
  EXPECT_EQ(summary.dead, 2);
  EXPECT_EQ(summary.dropped, 0);

  // An unchecked dead record stays dead; r0 is checked now.
  checked_.clear();
  pages_.clear();
  summary = Watch(3000, 1);
  EXPECT_EQ(checked_, (std::vector<std::string>{"http://r0.test/"}));
  EXPECT_EQ(Changes(summary), (std::map<std::string, WatchState>{}));
  EXPECT_EQ(store_.record(3).watch()->state, WatchState::kDead);
  EXPECT_EQ(store_.record(0).watch()->state, WatchState::kDropped);
}

TEST_F(WatchTest, AWatchedDocumentSearchesItsOwnEnginesAndOptions) {
  WatchedSearch search;
  search.engines = {"beta", "gone"};
  search.maxResults = 7;
  search.validationMode = 1;
  store_.SetWatchedSearch(search);
  SearchOptions options;
  options.maxResults = 100;
  std::vector<std::string> missing;
  ApplyWatchedSearch(store_, catalogue_, options, &missing);
  EXPECT_FALSE(catalogue_.engines[0].selected);
  EXPECT_TRUE(catalogue_.engines[1].selected);
  EXPECT_EQ(missing, std::vector<std::string>{"gone"});
  EXPECT_EQ(options.maxResults, 7);
  EXPECT_EQ(options.validationMode, 1);
  // A stored limit of 0 would let no result through: it counts as a saved one does.
  search.maxResults = 0;
  store_.SetWatchedSearch(search);
  ApplyWatchedSearch(store_, catalogue_, options, nullptr);
  EXPECT_EQ(options.maxResults, kDefaultMaxResults);
}

// A port of 127.0.0.1 where nothing listens.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

TEST(CheckPageTest, OnlyAMissingPageAHostGoneOrARefusalProveAPageGone) {
  using test::HttpResponse;
  std::map<std::string, std::string> answers = {{"/there", "HTTP/1.0 200 OK"},
                                                {"/moved", "HTTP/1.0 302 Found"},
                                                {"/missing", "HTTP/1.0 404 Not Found"},
                                                {"/gone", "HTTP/1.0 410 Gone"},
                                                {"/broken", "HTTP/1.0 500 Internal Server Error"},
                                                {"/refused", "HTTP/1.0 403 Forbidden"}};
  test::LoopbackServer server([&](test::ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const std::string path = request.substr(4, request.find(' ', 4) - 4);
    const bool redirect = path == "/moved";
    c.Send(HttpResponse(answers.at(path), redirect ? "Location: /there\r\n" : "", "page"));
  });
  NetworkSettings settings;
  CHttpURL page;
  const std::map<std::string, PageCheck> expected = {
      {"/there", PageCheck::kThere},    {"/moved", PageCheck::kThere},
      {"/missing", PageCheck::kGone},   {"/gone", PageCheck::kGone},
      {"/broken", PageCheck::kUnknown}, {"/refused", PageCheck::kUnknown}};
  for (const auto& [path, check] : expected) {
    EXPECT_EQ(CheckPage(page, server.Url(path), settings), check) << path;
  }
  EXPECT_EQ(CheckPage(page, "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", settings),
            PageCheck::kGone);
  EXPECT_EQ(CheckPage(page, "http://no-such-host.invalid/", settings), PageCheck::kGone);
  // No host, a header break, not HTTP: nothing proved, whatever came before.
  for (const char* url : {"not a url", "http://a.test/\r\nX: 1", "ftp://127.0.0.1/f"}) {
    EXPECT_EQ(CheckPage(page, "http://no-such-host.invalid/", settings), PageCheck::kGone);
    EXPECT_EQ(CheckPage(page, url, settings), PageCheck::kUnknown) << url;
  }
}

}  // namespace
}  // namespace trovelane
