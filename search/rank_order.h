// Merged rank order: a result found by several engines, and found early by
// them, rises. The score of a result is the sum, over the engines that found
// it, of 1 / its position on that engine (1 for an engine's first result);
// results are ordered by score, highest first, equal scores in arrival order.
//
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <vector>

namespace trovelane {

// One engine that found a result, and where: the 1-based position among the
// result links of that engine's pages, in the order the engine listed them.
struct ResultFinder {
  int engineIndex = -1;
  int position = 0;

  bool operator==(const ResultFinder&) const = default;
};

// The score of a result found by `finders`; a position below 1 counts as 1.
double RankScore(const std::vector<ResultFinder>& finders);

// The arrival indexes of `finders` (one entry per result, in arrival order)
// in rank order.
std::vector<size_t> RankOrder(const std::vector<std::vector<ResultFinder>>& finders);

}  // namespace trovelane
