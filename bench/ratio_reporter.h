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
// ratios to `baseline` (a benchmark name) under the column `ratioLabel`.
inline int RunWithRatios(int argc, char** argv, const std::string& baseline,
                         const std::string& ratioLabel) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(baseline, ratioLabel);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

}  // namespace trovelane::bench
