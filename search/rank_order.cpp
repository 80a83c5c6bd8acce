#include "search/rank_order.h"

#include <algorithm>
#include <numeric>

namespace trovelane {

double RankScore(const std::vector<ResultFinder>& finders) {
  double score = 0;
  for (const ResultFinder& f : finders) score += 1.0 / std::max(f.position, 1);
  return score;
}

std::vector<size_t> RankOrder(const std::vector<std::vector<ResultFinder>>& finders) {
  std::vector<double> scores(finders.size());
  for (size_t i = 0; i < finders.size(); ++i) scores[i] = RankScore(finders[i]);
  std::vector<size_t> order(finders.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return scores[a] > scores[b]; });
  return order;
}

}  // namespace trovelane
