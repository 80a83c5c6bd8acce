// The seven site plug-ins searching their sites on the sample server, alone
// and together with engine definitions, directly and through SOCKS 5.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "net/base64.h"
#include "results/html_export.h"
#include "tests/plugins/plugin_search_fixture.h"
#include "tests/support/proxy_process.h"

namespace trovelane::testing {
namespace {

const char* const kQuery = "lantern river";

// The text a plug-in gives a result of its site: the memory-buffer plug-ins
// clean the markup around the title, the spooling ones take the anchor text.
std::string ExpectedText(const std::string& plugin, const sample::CorpusPage& page) {
  const std::string title = EscapeHtml(page.title);
  if (plugin == "plgresearch") return " " + page.title + " ";
  if (plugin == "plgpages") return page.title;
  if (plugin == "plgdownloads") {
    std::string synopsis;
    if (page.id % 5 != 0) {
      for (size_t i = 0; i < page.words.size() && i < 4; ++i) {
        synopsis += (i ? " " : "") + page.words[i].word;
      }
    }
    return " " + page.title + "  (" + synopsis + ")";
  }
  return title;
}

class SitePluginTest : public PluginSearchTest,
                       public ::testing::WithParamInterface<const char*> {};

TEST_P(SitePluginTest, ListsEveryResultOfItsSiteAcrossItsPages) {
  const std::string plugin = GetParam();
  const sample::PluginSite& site = Site(plugin);
  UsePlugins({plugin});
  ASSERT_TRUE(Search(kQuery));

  const auto pages = sample::PluginSiteResults(site, server_.Pages(), kQuery, 3);
  ASSERT_GT(pages.size(), static_cast<size_t>(site.pageSize)) << "the query must need two pages";
  ASSERT_EQ(events_.results.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    const ResultHandoff& r = events_.results[i];
    EXPECT_EQ(r.url, server_.BaseUrl() + pages[i]->path);
    EXPECT_EQ(r.title, ExpectedText(plugin, *pages[i])) << r.url;
    EXPECT_EQ(r.engineName, site.engineName);
    EXPECT_EQ(r.validated, 0);
    EXPECT_EQ(r.relevance, -1);
  }
  // Paging stops where the site says so: no request past the last page,
  // except the counting plug-ins' one empty page when the count is a
  // multiple of their page size.
  const int pageCount = static_cast<int>((pages.size() + site.pageSize - 1) / site.pageSize);
  EXPECT_GE(SiteRequests(plugin), pageCount);
  EXPECT_LE(SiteRequests(plugin), pageCount + 1);
  EXPECT_FALSE(SpoolFilesLeft());
  // The row shows the last status, the spool and the library are gone.
  EXPECT_FALSE(run_->searching());
}

TEST_F(PluginSearchTest, TwoEnginesOfOneLibraryDoNotShareItsRunAtOnce) {
  UsePlugins({"plgresearch", "plgresearch"});
  ASSERT_TRUE(Search(kQuery));
  // The second engine runs only if the first has finished (else it ends
  // at once): whole runs one after the other, each result listed once.
  const std::vector<std::string> urls = SiteUrls("plgresearch", kQuery, 3);
  EXPECT_EQ(ResultUrls(), urls);
  const int pages = static_cast<int>((urls.size() + 9) / 10);
  const int requests = SiteRequests("plgresearch");
  EXPECT_TRUE(requests == pages || requests == 2 * pages) << requests;
  // Runs that never overlap ask for their pages in order, the second run
  // starting over only after the first asked for its last. (The server's
  // in-flight count is no proof: it drops a request only after its answer
  // went out, when the client may already have sent the next one.)
  const nlohmann::json log = server_.Stats()["engines"]["plgresearch"]["requests"];
  std::vector<std::string> targets;
  for (const auto& r : log) targets.push_back(r["target"].get<std::string>());
  ASSERT_EQ(static_cast<int>(targets.size()), requests);
  for (int i = pages; i < requests; ++i) {
    EXPECT_EQ(targets[i], targets[i - pages]) << "request " << i;
  }
  const std::set<std::string> firstRun(targets.begin(), targets.begin() + std::min(pages, requests));
  EXPECT_EQ(static_cast<int>(firstRun.size()), std::min(pages, requests)) << "a page asked twice in one run";
}

TEST_F(PluginSearchTest, DownloadsKeepTheParenthesesOfAnEmptySynopsis) {
  UsePlugins({"plgdownloads"});
  ASSERT_TRUE(Search(kQuery));
  int empty = 0;
  for (const auto& r : events_.results) empty += r.title.ends_with("  ()");
  EXPECT_GT(empty, 0);
}

INSTANTIATE_TEST_SUITE_P(Delivered, SitePluginTest,
                         ::testing::Values("plgpages", "plgfinance", "plgdownloads", "plgresearch",
                                           "plgbiznews", "plgnews", "plgsports"));

TEST_F(PluginSearchTest, ResearchShowsItsValidatingStatusInEveryMode) {
  UsePlugins({"plgresearch"});
  for (int mode : {kValidationNone, kValidationVal, kValidationValRel}) {
    SCOPED_TRACE(mode);
    settings_.search.validationMode = mode;
    ASSERT_TRUE(Search(kQuery));
    const std::vector<std::string> urls = SiteUrls("plgresearch", kQuery, 3);
    const auto& row = events_.rows[0];
    EXPECT_NE(std::find(row.begin(), row.end(), "Validating URL " + urls.front() + "..."),
              row.end());
    ASSERT_FALSE(events_.results.empty());
    for (const ResultHandoff& r : events_.results) {
      EXPECT_EQ(r.validated, mode == kValidationNone ? 0 : 1);
      if (mode == kValidationValRel) {
        EXPECT_GE(r.relevance, 0);
      } else {
        EXPECT_EQ(r.relevance, -1);
      }
    }
    if (mode == kValidationNone) {
      EXPECT_EQ(ResultUrls(), urls);
    } else {
      // Pages that are gone or no longer hold the words are not listed.
      EXPECT_LT(events_.results.size(), urls.size());
    }
  }
}

TEST_F(PluginSearchTest, LimitReachedInTheMiddleOfAPageEndsThePlugin) {
  settings_.search.maxResults = 4;
  settings_.search.perEngine = 1;
  UsePlugins({"plgresearch", "plgfinance"});
  ASSERT_TRUE(Search(kQuery));
  std::map<std::string, int> perEngine;
  for (const ResultHandoff& r : events_.results) ++perEngine[r.engineName];
  EXPECT_EQ(perEngine["Northern Light"], 4);
  EXPECT_EQ(perEngine["ForbesFinder"], 4);
  // Each stopped on its first page.
  EXPECT_EQ(SiteRequests("plgresearch"), 1);
  EXPECT_EQ(SiteRequests("plgfinance"), 1);
}

TEST_F(PluginSearchTest, TheProgramsPageLimitBoundsAPlugin) {
  settings_.program.maxPagesPerEngine = 2;
  UsePlugins({"plgresearch", "plgnews"});
  ASSERT_TRUE(Search(kQuery));
  ASSERT_GT(SiteUrls("plgresearch", kQuery, 3).size(), 20u);
  EXPECT_EQ(SiteRequests("plgresearch"), 2);
  EXPECT_EQ(SiteRequests("plgnews"), 2);
  // Both still had pages to offer: cut off by the limit, not done.
  for (const EngineReport& report : run_->engineReports()) {
    EXPECT_EQ(report.ending, EngineEnding::kLimit) << report.engineName;
  }
}

TEST_F(PluginSearchTest, DuplicatesAcrossPluginsAreDroppedAndNotCounted) {
  settings_.search.maxResults = 15;
  settings_.search.perEngine = 1;
  UsePlugins({"plgnews", "plgbiznews"});
  ASSERT_TRUE(Search(kQuery));
  // Both sites list the same pages: each URL once, and the second plug-in
  // still gets its own 15 distinct ones when the site has them.
  std::set<std::string> unique;
  for (const auto& url : ResultUrls()) EXPECT_TRUE(unique.insert(url).second) << url;
  const size_t siteTotal = SiteUrls("plgnews", kQuery, 3).size();
  EXPECT_EQ(unique.size(), std::min<size_t>(siteTotal, 30));
}

class NewsCapTest : public PluginSearchTest {
 protected:
  static sample::SampleServerOptions ManyPages() {
    sample::SampleServerOptions o = Options();
    o.maxResultPages = 60;
    return o;
  }
  NewsCapTest() : PluginSearchTest(ManyPages()) {}
};

TEST_F(NewsCapTest, AReportedCountAbove100IsTakenAs100) {
  const std::string word = sample::Corpus::Vocabulary().front();
  ASSERT_GT(SiteUrls("plgnews", word, 60).size(), 110u) << "the word must be on many pages";
  UsePlugins({"plgnews"});
  ASSERT_TRUE(Search(word));
  // Pages are requested while 10 n <= 100: eleven of them.
  EXPECT_EQ(SiteRequests("plgnews"), 11);
  EXPECT_EQ(events_.results.size(), 110u);
}

class SlowSiteTest : public PluginSearchTest {
 protected:
  static sample::SampleServerOptions Slow() {
    sample::SampleServerOptions o = Options();
    o.pluginLatencyMs = 30000;  // every result page stops half-way
    return o;
  }
  SlowSiteTest() : PluginSearchTest(Slow()) {}
};

TEST_F(SlowSiteTest, StopDuringASpoolingIterationLeavesNoSpoolFile) {
  UsePlugins({"plgfinance", "plgsports"});
  Start(kQuery);
  ASSERT_TRUE(WaitFor([&] {
    run_->queue().WaitAndDrain(std::chrono::milliseconds(5));
    int spools = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      spools += entry.path().filename().string().rfind("sdump", 0) == 0;
    }
    return spools == 2;
  })) << "both plug-ins spool their first page";
  const auto before = std::chrono::steady_clock::now();
  run_->StopSearch();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  EXPECT_FALSE(run_->searching());
  EXPECT_FALSE(SpoolFilesLeft());
  EXPECT_TRUE(events_.results.empty());
}

// All seven plug-ins and definition engines at once: the merged list holds
// each URL that any of them lists, once.
class WholeSearchTest : public PluginSearchTest {
 protected:
  void UseAll() {
    catalogue_ = EngineCatalogue();
    for (const auto& engine : server_.Catalogue().engines) {
      if (engine.name.rfind("slow", 0) != 0) catalogue_.engines.push_back(engine);
    }
    definitions_ = catalogue_.engines.size();
    for (const auto& engine : server_.PluginCatalogue().engines) catalogue_.engines.push_back(engine);
  }
  std::set<std::string> Expected() {
    // The definitions alone, then what the plug-in sites add.
    EngineCatalogue all = catalogue_;
    catalogue_.engines.resize(definitions_);
    EXPECT_TRUE(Search(kQuery));
    const std::vector<std::string> definitionUrls = ResultUrls();
    std::set<std::string> expected(definitionUrls.begin(), definitionUrls.end());
    for (const auto& site : sample::PluginSites()) {
      for (const auto& url : SiteUrls(site.plugin, kQuery, 3)) expected.insert(url);
    }
    catalogue_ = all;
    return expected;
  }
  void ExpectMerged(const std::set<std::string>& expected) {
    ASSERT_TRUE(Search(kQuery));
    std::vector<std::string> urls = ResultUrls();
    std::set<std::string> merged(urls.begin(), urls.end());
    EXPECT_EQ(merged.size(), urls.size()) << "a URL was listed twice";
    EXPECT_EQ(merged, expected);
    EXPECT_FALSE(SpoolFilesLeft());
  }
  size_t definitions_ = 0;
};

TEST_F(WholeSearchTest, MergesPluginsAndDefinitionsDirectlyAndThroughSocks5) {
  UseAll();
  const std::set<std::string> expected = Expected();
  ExpectMerged(expected);

  test::ProxyProcess socks = test::ProxyProcess::Microsocks("alice", "s3cret");
  settings_.proxy.enabled = 1;
  settings_.proxy.host = "127.0.0.1";
  settings_.proxy.port = socks.port();
  settings_.proxy.type = kProxySocks5;
  settings_.proxy.requiresAuth = 1;
  settings_.proxy.credentials = Base64Encode("alice:s3cret");
  server_.ResetStats();
  ExpectMerged(expected);
  for (const auto& site : sample::PluginSites()) EXPECT_GT(SiteRequests(site.plugin), 0) << site.plugin;
}

}  // namespace
}  // namespace trovelane::testing
