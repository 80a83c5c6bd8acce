// The fixtures of the search tests: a front end that records everything a
// run tells it, the layers every search test builds on (a sandbox, then a
// run), and a search run against the sample engines in this process.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "search/search_run.h"
#include "tests/support/scratch_folder.h"
#include "tools/sample_engines/sample_server.h"

namespace trovelane::testing {

// Records every event, in order, on the owner thread.
class RecordingEvents : public SearchEvents {
 public:
  void OnResult(const ResultHandoff& result) override {
    results.push_back(result);
    if (onResult) onResult(result);
  }
  void OnStatusPane(const std::string& text) override { panes.push_back(text); }
  void OnEngineRow(int engineIndex, const std::string& text) override {
    rows[engineIndex] = text;
    rowHistory[engineIndex].push_back(text);
  }
  void OnSearchingChanged(bool searching) override { searchingChanges.push_back(searching); }
  void OnSuspensionsChanged() override { ++suspensionChanges; }

  std::vector<ResultHandoff> results;
  std::vector<std::string> panes;
  std::map<int, std::string> rows;                     // the last text of each row
  std::map<int, std::vector<std::string>> rowHistory;  // every text of each row, in order
  std::vector<bool> searchingChanges;
  int suspensionChanges = 0;
  std::function<void(const ResultHandoff&)> onResult;
};

// The search tests in layers, as the program meets the system: first a
// sandbox (a scratch work folder and the program's settings, nothing
// running), then a search run over a catalogue with its events recorded. The
// fixtures of each kind of engine (the sample engines, scripted servers, the
// web profile's modelled engines) build on the second layer.
class SandboxedSearchTest : public ::testing::Test {
 protected:
  NetworkSettings settings_;
  ScratchFolder folder_;
};

class SearchRunTest : public SandboxedSearchTest {
 protected:
  // A derived fixture that stops its servers calls this first: the run ends
  // before anything it talks to goes away.
  void TearDown() override { run_.reset(); }

  // Starts a search of `text` over catalogue_, after `prepare` has set the
  // new run up (suspensions, a clock), and serves it to its end; false when
  // it did not end within `limit` (the search is then stopped).
  bool Search(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(20),
              const std::function<void(SearchRun&)>& prepare = {}) {
    run_ = std::make_unique<SearchRun>(settings_, catalogue_, folder_.path(), events_);
    if (prepare) prepare(*run_);
    EXPECT_EQ(run_->StartSearch(text), StartOutcome::kStarted);
    const bool ended = run_->ServeUntilDone(limit);
    if (!ended) run_->StopSearch();
    return ended;
  }

  std::vector<std::string> ResultUrls() const {
    std::vector<std::string> urls;
    for (const auto& r : events_.results) urls.push_back(r.url);
    return urls;
  }

  EngineCatalogue catalogue_;
  RecordingEvents events_;
  std::unique_ptr<SearchRun> run_;
};

class SampleSearchTest : public SearchRunTest {
 protected:
  explicit SampleSearchTest(sample::SampleServerOptions options = Options()) : server_(options) {}

  static sample::SampleServerOptions Options() {
    sample::SampleServerOptions o;
    o.maxResultPages = 3;
    o.latencyMs = 50;
    return o;
  }

  void SetUp() override {
    const Status started = server_.Start();
    ASSERT_TRUE(started.ok()) << started.message();
    all_ = server_.Catalogue();
    settings_.search.maxResults = 1000;
    settings_.search.duplicateMode = kDuplicateUrl;
  }
  void TearDown() override {
    SearchRunTest::TearDown();
    server_.Stop();
  }

  // The catalogue holds these engines of the server, in this order.
  void Use(const std::vector<std::string>& names) {
    catalogue_.engines.clear();
    for (const std::string& name : names) {
      bool found = false;
      for (const EngineDefinition& e : all_.engines) {
        if (e.name == name) {
          catalogue_.engines.push_back(e);
          found = true;
        }
      }
      ASSERT_TRUE(found) << name;
    }
  }

  // The requests engine `name` received, as the server recorded them.
  nlohmann::json Requests(const std::string& name) const {
    nlohmann::json stats = server_.Stats();
    if (!stats["engines"].contains(name)) return nlohmann::json::array();
    return stats["engines"][name]["requests"];
  }
  // The value of parameter `param` in each request to the engine's search
  // path ("" when the request lacks it).
  std::vector<std::string> SearchValues(const std::string& name, const std::string& param) const {
    std::vector<std::string> values;
    for (const auto& r : Requests(name)) {
      if (r["path"].get<std::string>().find("/search") == std::string::npos) continue;
      std::string value;
      for (const auto& pair : r["params"]) {
        if (pair[0] == param) {
          value = pair[1].get<std::string>();
          break;
        }
      }
      values.push_back(value);
    }
    return values;
  }
  bool SpoolFilesLeft() const {
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      std::string name = entry.path().filename().string();
      if (name.rfind("sdump", 0) == 0) return true;
    }
    return false;
  }

  sample::SampleServer server_;
  EngineCatalogue all_;
};

}  // namespace trovelane::testing
