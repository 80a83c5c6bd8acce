// A whole search over the sample engines in this process: 20 slow engines of
// 3 result pages each, every result page paused 100 ms by the server, against
// the ideal measured in the same run - the slowest engine's own chain, that
// is one such engine searched alone (300 ms plus its transfer). All engines
// run at once, so the ratio should stay near 1. Then the same with VAL, where
// every result page is also fetched and checked.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "search/search_run.h"
#include "tools/sample_engines/sample_server.h"

namespace {

using namespace trovelane;

constexpr int kEngines = 20;
constexpr int kPages = 3;
constexpr int kLatencyMs = 100;

sample::SampleServer& Server() {
  static sample::SampleServer* server = [] {
    sample::SampleServerOptions o;
    o.slowEngines = kEngines;
    o.latencyMs = kLatencyMs;
    o.maxResultPages = kPages;
    auto* s = new sample::SampleServer(o);
    if (!s->Start().ok()) std::abort();
    return s;
  }();
  return *server;
}

class CountingEvents : public SearchEvents {
 public:
  void OnResult(const ResultHandoff&) override { ++results; }
  size_t results = 0;
};

// Searches the first `engines` slow engines with validation `mode`.
void RunSearch(benchmark::State& state, int engines, int mode) {
  EngineCatalogue catalogue;
  for (const EngineDefinition& e : Server().Catalogue().engines) {
    if (e.name.rfind("slow", 0) == 0 && static_cast<int>(catalogue.engines.size()) < engines) {
      catalogue.engines.push_back(e);
    }
  }
  NetworkSettings settings;
  settings.search.maxResults = 1 << 20;
  settings.search.duplicateMode = kDuplicateNone;  // each engine does its whole work
  settings.search.validationMode = mode;
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  size_t results = 0;
  for (auto _ : state) {
    CountingEvents events;
    SearchRun run(settings, catalogue, folder, events);
    run.StartSearch("river");
    if (!run.ServeUntilDone(std::chrono::seconds(60))) state.SkipWithError("search did not end");
    results = events.results;
  }
  state.counters["results"] = static_cast<double>(results);
}

void BM_Baseline_OneEngine(benchmark::State& s) { RunSearch(s, 1, kValidationNone); }
void BM_TwentyEngines(benchmark::State& s) { RunSearch(s, kEngines, kValidationNone); }
void BM_Baseline_OneEngineVal(benchmark::State& s) { RunSearch(s, 1, kValidationVal); }
void BM_TwentyEnginesVal(benchmark::State& s) { RunSearch(s, kEngines, kValidationVal); }

BENCHMARK(BM_Baseline_OneEngine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TwentyEngines)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Baseline_OneEngineVal)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TwentyEnginesVal)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps the wall time of every run for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations > 0) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\n%d engines x %d pages, %d ms per result page\n", kEngines, kPages, kLatencyMs);
    Print("no validation", "BM_Baseline_OneEngine", "BM_TwentyEngines");
    Print("VAL", "BM_Baseline_OneEngineVal", "BM_TwentyEnginesVal");
  }

 private:
  void Print(const char* label, const std::string& ideal, const std::string& all) const {
    auto i = Find(ideal);
    auto a = Find(all);
    if (i <= 0 || a <= 0) return;
    std::printf("%-14s ideal %7.1f ms  all %7.1f ms  ratio %.2f\n", label, i, a, a / i);
  }
  double Find(const std::string& prefix) const {
    for (const auto& [name, time] : times_) {
      if (name.rfind(prefix + "/", 0) == 0 || name == prefix) return time;
    }
    return 0;
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  Server().Stop();
  benchmark::Shutdown();
  return 0;
}
