// A whole search over the sample engines in this process: 20 slow engines of
// 3 result pages each, every result page paused 100 ms by the server, against
// the ideal measured in the same run - the slowest engine's own chain, that
// is one such engine searched alone (300 ms plus its transfer). All engines
// run at once, so the ratio should stay near 1. Then the same with VAL, where
// every result page is also fetched and checked.
//
// Then one engine on a server far away, every answer 100 ms late (two round
// trips of 50 ms: connect, then request), searched without validation, with
// VAL and with VAL+REL: the checks run side by side, so validation should
// cost at most half again the search without it. And how long Stop takes
// while a search waits on its validation fetches (it promises a second).
#include <benchmark/benchmark.h>

#include <chrono>
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

constexpr int kRoundTripMs = 50;

sample::SampleServer* StartServer(const sample::SampleServerOptions& o) {
  auto* s = new sample::SampleServer(o);
  if (!s->Start().ok()) std::abort();
  return s;
}

sample::SampleServer& Server() {
  static sample::SampleServer* server = [] {
    sample::SampleServerOptions o;
    o.slowEngines = kEngines;
    o.latencyMs = kLatencyMs;
    o.maxResultPages = kPages;
    return StartServer(o);
  }();
  return *server;
}

// Every answer two round trips late; the engine itself does not pause.
sample::SampleServer& FarServer() {
  static sample::SampleServer* server = [] {
    sample::SampleServerOptions o;
    o.slowEngines = 1;
    o.latencyMs = 0;
    o.maxResultPages = kPages;
    o.answerDelayMs = 2 * kRoundTripMs;
    return StartServer(o);
  }();
  return *server;
}

// Its pages stop halfway for a minute: a VAL+REL check waits there.
sample::SampleServer& HangingPagesServer() {
  static sample::SampleServer* server = [] {
    sample::SampleServerOptions o;
    o.slowEngines = 1;
    o.latencyMs = 0;
    o.maxResultPages = kPages;
    o.pageLatencyMs = 60000;
    return StartServer(o);
  }();
  return *server;
}

class CountingEvents : public SearchEvents {
 public:
  void OnResult(const ResultHandoff&) override { ++results; }
  size_t results = 0;
};

// Searches the first `engines` slow engines of `server` with validation `mode`.
// `perEngine` validation fetches of one engine at once (0: the default).
void RunSearch(benchmark::State& state, int engines, int mode,
               sample::SampleServer& server = Server(), int perEngine = 0) {
  EngineCatalogue catalogue;
  for (const EngineDefinition& e : server.Catalogue().engines) {
    if (e.name.rfind("slow", 0) == 0 && static_cast<int>(catalogue.engines.size()) < engines) {
      catalogue.engines.push_back(e);
    }
  }
  NetworkSettings settings;
  settings.search.maxResults = 1 << 20;
  settings.search.duplicateMode = kDuplicateNone;  // each engine does its whole work
  settings.search.validationMode = mode;
  if (perEngine > 0) settings.program.validationsPerEngine = perEngine;
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

void BM_Far_OneEngine(benchmark::State& s) { RunSearch(s, 1, kValidationNone, FarServer()); }
void BM_Far_OneEngineVal(benchmark::State& s) { RunSearch(s, 1, kValidationVal, FarServer()); }
void BM_Far_OneEngineValRel(benchmark::State& s) {
  RunSearch(s, 1, kValidationValRel, FarServer());
}
// VAL with other bounds per engine than the default, for comparison.
void BM_Far_OneEngineValBound(benchmark::State& s) {
  RunSearch(s, 1, kValidationVal, FarServer(), static_cast<int>(s.range(0)));
}

BENCHMARK(BM_Far_OneEngine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Far_OneEngineVal)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Far_OneEngineValRel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Far_OneEngineValBound)
    ->Arg(4)
    ->Arg(6)
    ->Arg(8)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The time StopSearch takes once the engine has six validation fetches
// waiting halfway through their pages.
void BM_StopWhileValidating(benchmark::State& state) {
  sample::SampleServer& server = HangingPagesServer();
  EngineCatalogue catalogue;
  for (const EngineDefinition& e : server.Catalogue().engines) {
    if (e.name == "slow1") catalogue.engines.push_back(e);
  }
  NetworkSettings settings;
  settings.search.maxResults = 1 << 20;
  settings.search.validationMode = kValidationValRel;
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  for (auto _ : state) {
    server.ResetStats();
    CountingEvents events;
    SearchRun run(settings, catalogue, folder, events);
    run.StartSearch("river");
    auto asked = std::chrono::steady_clock::time_point::max();
    run.ServeUntilDone(std::chrono::seconds(30), [&] {
      if (server.Stats()["engines"]["pages"]["inFlight"].get<int>() < 6) return false;
      asked = std::chrono::steady_clock::now();
      return true;
    });
    if (asked == std::chrono::steady_clock::time_point::max()) {
      state.SkipWithError("the checks never waited");
      break;
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
  }
}

BENCHMARK(BM_StopWhileValidating)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

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
    std::printf("\none engine x %d pages, every answer %d ms late (%d ms round trips)\n", kPages,
                2 * kRoundTripMs, kRoundTripMs);
    Print("VAL", "BM_Far_OneEngine", "BM_Far_OneEngineVal");
    Print("VAL+REL", "BM_Far_OneEngine", "BM_Far_OneEngineValRel");
    for (const char* bound : {"4", "6", "8", "10"}) {
      Print((std::string("VAL, ") + bound + " at once").c_str(), "BM_Far_OneEngine",
            std::string("BM_Far_OneEngineValBound/") + bound);
    }
    if (double stop = Find("BM_StopWhileValidating"); stop > 0) {
      std::printf("\nStop while six validation fetches wait: %.1f ms\n", stop);
    }
  }

 private:
  void Print(const char* label, const std::string& ideal, const std::string& all) const {
    auto i = Find(ideal);
    auto a = Find(all);
    if (i <= 0 || a <= 0) return;
    std::printf("%-16s ideal %7.1f ms  all %7.1f ms  ratio %.2f\n", label, i, a, a / i);
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
  FarServer().Stop();
  HangingPagesServer().Stop();
  benchmark::Shutdown();
  return 0;
}
