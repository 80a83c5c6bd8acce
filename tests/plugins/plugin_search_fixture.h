// Searches in this process over the sample server's plug-in sites: an
// install folder whose "plugins" holds the site files, a catalogue of plug-in
// (and definition) engines, and a front end that records every event.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "search/search_run.h"
#include "tests/support/scratch_folder.h"
#include "tools/sample_engines/sample_server.h"

namespace trovelane::testing {

class PluginEvents : public SearchEvents {
 public:
  void OnResult(const ResultHandoff& result) override { results.push_back(result); }
  void OnEngineRow(int engineIndex, const std::string& text) override {
    rows[engineIndex].push_back(text);
  }
  std::vector<ResultHandoff> results;
  std::map<int, std::vector<std::string>> rows;  // every text of each row
};

class PluginSearchTest : public ::testing::Test {
 protected:
  static sample::SampleServerOptions Options() {
    sample::SampleServerOptions o;
    o.maxResultPages = 3;
    o.latencyMs = 0;
    return o;
  }
  explicit PluginSearchTest(sample::SampleServerOptions options = Options()) : server_(options) {}

  void SetUp() override {
    const Status started = server_.Start();
    ASSERT_TRUE(started.ok()) << started.message();
    const Status written = server_.WritePluginSiteFiles((folder_.path() / "plugins").string());
    ASSERT_TRUE(written.ok()) << written.message();
    settings_.search.maxResults = 1000;
    settings_.search.duplicateMode = kDuplicateUrl;
  }
  void TearDown() override {
    run_.reset();
    server_.Stop();
  }

  void UsePlugins(const std::vector<std::string>& plugins) {
    catalogue_.engines.clear();
    for (const std::string& p : plugins) catalogue_.engines.push_back(sample::PluginEngineDefinition(p));
  }

  void Start(const std::string& text) {
    events_ = PluginEvents();
    run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
    ASSERT_EQ(run_->StartSearch(text), StartOutcome::kStarted);
  }
  bool Search(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    Start(text);
    return run_->ServeUntilDone(limit);
  }

  const sample::PluginSite& Site(const std::string& plugin) const {
    for (const auto& site : sample::PluginSites()) {
      if (site.plugin == plugin) return site;
    }
    throw std::logic_error("no site " + plugin);
  }
  // What the site lists for `query` over all its pages, as absolute URLs.
  std::vector<std::string> SiteUrls(const std::string& plugin, const std::string& query,
                                    int maxPages) const {
    std::vector<std::string> urls;
    for (const auto* page :
         sample::PluginSiteResults(Site(plugin), server_.Pages(), query, maxPages)) {
      urls.push_back(server_.BaseUrl() + page->path);
    }
    return urls;
  }
  std::vector<std::string> ResultUrls() const {
    std::vector<std::string> urls;
    for (const auto& r : events_.results) urls.push_back(r.url);
    return urls;
  }
  int SiteRequests(const std::string& plugin) const {
    nlohmann::json stats = server_.Stats();
    if (!stats["engines"].contains(plugin)) return 0;
    return static_cast<int>(stats["engines"][plugin]["requests"].size());
  }
  bool SpoolFilesLeft() const {
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      if (entry.path().filename().string().rfind("sdump", 0) == 0) return true;
    }
    return false;
  }

  sample::SampleServer server_;
  EngineCatalogue catalogue_;
  NetworkSettings settings_;
  ScratchFolder folder_;
  PluginEvents events_;
  std::unique_ptr<SearchRun> run_;
};

// Waits until `done` holds, at most `limit`; whether it did.
template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace trovelane::testing
