// The duplicate filter as a search grows, and sorting a large results store.
//
// IsDuplicate is measured with 1 000, 10 000 and 100 000 distinct URLs in
// each duplicate mode; the baseline is the plain sorted array with insertion
// by shifting, measured in the same run. The summary prints the cost per
// call, how it grows from 10 000 to 100 000 keys, and the ratio to the
// baseline. SortByColumn on 100 000 records is compared with std::sort of the
// same texts as std::string.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "search/duplicate_filter.h"
#include "results/results_store.h"

namespace trovelane {
namespace {

constexpr int kSizes[] = {1000, 10000, 100000};
constexpr int kLargest = 100000;

struct Keys {
  std::vector<std::string> urls;
  std::vector<std::string> texts;
};

// Distinct URLs and titles of realistic length, in random order.
const Keys& TestKeys() {
  static const Keys keys = [] {
    Keys k;
    std::mt19937 rng(20261208);
    for (int i = 0; i < kLargest; ++i) {
      unsigned r = rng();
      k.urls.push_back("http://www.site" + std::to_string(r % 997) + ".example/articles/" +
                       std::to_string(i) + "/page-" + std::to_string(r) + ".html");
      k.texts.push_back("Result title " + std::to_string(r) + " number " + std::to_string(i));
    }
    std::vector<int> order(kLargest);
    for (int i = 0; i < kLargest; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    Keys shuffled;
    for (int i : order) {
      shuffled.urls.push_back(k.urls[i]);
      shuffled.texts.push_back(k.texts[i]);
    }
    return shuffled;
  }();
  return keys;
}

void BM_IsDuplicate(benchmark::State& state, int32_t mode, int n) {
  const Keys& keys = TestKeys();
  SearchOptions options;
  options.duplicateMode = mode;
  DuplicateFilter filter(options);
  for (auto _ : state) {
    state.PauseTiming();
    filter.ResetDuplicates();
    state.ResumeTiming();
    for (int i = 0; i < n; ++i) {
      benchmark::DoNotOptimize(filter.IsDuplicate(keys.urls[i], keys.texts[i]));
    }
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// The baseline: keys kept sorted in one array, a binary search, and on a
// miss an insertion that shifts every key behind it.
void BM_SortedVectorBaseline(benchmark::State& state, int n) {
  const Keys& keys = TestKeys();
  auto fold = [](std::string s) {
    for (char& c : s) {
      if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    }
    return s;
  };
  std::vector<std::string> sorted;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::string>().swap(sorted);
    state.ResumeTiming();
    for (int i = 0; i < n; ++i) {
      std::string key = fold(keys.urls[i]);
      auto at = std::lower_bound(sorted.begin(), sorted.end(), key);
      if (at != sorted.end() && *at == key) continue;
      sorted.insert(at, std::move(key));
    }
    benchmark::DoNotOptimize(sorted.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

const ResultsStore& LargeStore() {
  static const ResultsStore store = [] {
    ResultsStore s;
    const Keys& keys = TestKeys();
    std::mt19937 rng(7);
    for (int i = 0; i < kLargest; ++i) {
      s.AppendResult(keys.urls[i], keys.texts[i], "Engine " + std::to_string(rng() % 12), 0, 0,
                     static_cast<int16_t>(static_cast<int>(rng() % 201) - 100));
    }
    return s;
  }();
  return store;
}

void BM_SortByColumn(benchmark::State& state, int column) {
  const ResultsStore& original = LargeStore();
  for (auto _ : state) {
    state.PauseTiming();
    ResultsStore store = original;
    state.ResumeTiming();
    benchmark::DoNotOptimize(store.SortByColumn(column));
  }
  state.SetItemsProcessed(state.iterations() * kLargest);
}

void BM_StdSortStringsBaseline(benchmark::State& state) {
  const Keys& keys = TestKeys();
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::string> texts = keys.texts;
    state.ResumeTiming();
    std::sort(texts.begin(), texts.end());
    benchmark::DoNotOptimize(texts.data());
  }
  state.SetItemsProcessed(state.iterations() * kLargest);
}

// Keeps each run's time per item (nanoseconds) by benchmark name.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      auto items = run.counters.find("items_per_second");
      if (items == run.counters.end() || items->second.value == 0) continue;
      nsPerItem[run.benchmark_name()] = 1e9 / items->second.value;
    }
  }
  std::map<std::string, double> nsPerItem;
};

std::string Name(const char* what, int n) { return std::string(what) + "/" + std::to_string(n); }

void PrintSummary(const CollectingReporter& r) {
  auto get = [&](const std::string& name) {
    auto it = r.nsPerItem.find(name);
    return it == r.nsPerItem.end() ? 0.0 : it->second;
  };
  std::printf("\nIsDuplicate, cost per call of a new key (ns):\n");
  std::printf("%-22s %10s %10s %10s %10s\n", "", "1000", "10000", "100000", "100k/10k");
  for (const char* row :
       {"IsDuplicate/url", "IsDuplicate/title", "IsDuplicate/none", "SortedVectorBaseline/url"}) {
    double a = get(Name(row, 1000)), b = get(Name(row, 10000)), c = get(Name(row, 100000));
    std::printf("%-22s %10.1f %10.1f %10.1f %9.2fx\n", row + (row[0] == 'I' ? 12 : 0), a, b, c,
                b > 0 ? c / b : 0.0);
  }
  std::printf("baseline / filter (url mode):");
  for (int n : kSizes) {
    double ours = get(Name("IsDuplicate/url", n));
    std::printf("  %d: %.1fx", n, ours > 0 ? get(Name("SortedVectorBaseline/url", n)) / ours : 0.0);
  }
  std::printf("\n\nSortByColumn, 100000 records (ms):\n");
  double base = get("StdSortStringsBaseline") * kLargest / 1e6;
  for (const char* column : {"text", "engine", "relevance", "url"}) {
    double ms = get(std::string("SortByColumn/") + column) * kLargest / 1e6;
    std::printf("  %-10s %8.1f   %.2fx std::sort of the texts as std::string (%.1f ms)\n", column,
                ms, base > 0 ? ms / base : 0.0, base);
  }
}

}  // namespace
}  // namespace trovelane

int main(int argc, char** argv) {
  using namespace trovelane;
  const std::pair<const char*, int32_t> modes[] = {
      {"url", kDuplicateUrl}, {"title", kDuplicateTitle}, {"none", kDuplicateNone}};
  for (auto [name, mode] : modes) {
    for (int n : kSizes) {
      benchmark::RegisterBenchmark(Name((std::string("IsDuplicate/") + name).c_str(), n).c_str(),
                                   BM_IsDuplicate, mode, n)
          ->Unit(benchmark::kMillisecond);
    }
  }
  for (int n : kSizes) {
    benchmark::RegisterBenchmark(Name("SortedVectorBaseline/url", n).c_str(),
                                 BM_SortedVectorBaseline, n)
        ->Unit(benchmark::kMillisecond);
  }
  const std::pair<const char*, int> columns[] = {{"text", kColumnText},
                                                 {"engine", kColumnEngine},
                                                 {"relevance", kColumnRelevance},
                                                 {"url", kColumnUrl}};
  for (auto [name, column] : columns) {
    benchmark::RegisterBenchmark((std::string("SortByColumn/") + name).c_str(), BM_SortByColumn,
                                 column)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("StdSortStringsBaseline", BM_StdSortStringsBaseline)
      ->Unit(benchmark::kMillisecond);

  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  return 0;
}
