// The console report of a benchmark program plus, at the end, each case's
// throughput in MB/s and its ratio to a baseline case of the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace trovelane::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter(std::string baseline, std::string ratioLabel)
      : baseline_(std::move(baseline)), ratioLabel_(std::move(ratioLabel)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) rates_[run.benchmark_name()] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Each hostile case against the same scan of an ordinary page: the
  // throughput of `hostile` over that of `ordinary` (1 is as fast; a scan
  // that reread the page per tag would fall far below).
  void PrintPairRatios(const std::vector<std::pair<std::string, std::string>>& pairs) const {
    if (pairs.empty()) return;
    std::printf("\n%-28s %-24s %10s\n", "hostile case", "ordinary case", "x ordinary");
    for (const auto& [hostile, ordinary] : pairs) {
      const auto h = rates_.find(hostile);
      const auto o = rates_.find(ordinary);
      if (h == rates_.end() || o == rates_.end() || o->second <= 0) continue;
      std::printf("%-28s %-24s %10.2f\n", hostile.c_str(), ordinary.c_str(),
                  h->second / o->second);
    }
  }

  void PrintRatios() const {
    const auto base = rates_.find(baseline_);
    if (base == rates_.end() || base->second <= 0) return;
    std::printf("\n%-24s %10s %10s\n", "case", "MB/s", ratioLabel_.c_str());
    for (const auto& [name, rate] : rates_) {
      std::printf("%-24s %10.1f %10.2f\n", name.c_str(), rate / 1e6, rate / base->second);
    }
  }

 private:
  std::string baseline_;
  std::string ratioLabel_;
  std::map<std::string, double> rates_;
};

// The main of a benchmark program: runs the registered cases and prints the
// ratios to `baseline` (a benchmark name) under the column `ratioLabel`, and
// of each pair's first case to its second.
inline int RunWithRatios(int argc, char** argv, const std::string& baseline,
                         const std::string& ratioLabel,
                         const std::vector<std::pair<std::string, std::string>>& pairs = {}) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(baseline, ratioLabel);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  reporter.PrintPairRatios(pairs);
  benchmark::Shutdown();
  return 0;
}

}  // namespace trovelane::bench
