#include "search/rank_order.h"

#include <algorithm>
#include <numeric>

#include "net/url.h"

namespace trovelane {

double RankRules::EngineWeight(int engineIndex) const {
  if (engineIndex < 0 || static_cast<size_t>(engineIndex) >= engineWeights.size()) return 1;
  return engineWeights[static_cast<size_t>(engineIndex)];
}

double RankRules::DomainFactorOf(std::string_view url) const {
  if (domainFactors.empty()) return 1;
  Url parsed;
  if (!ParseUrl(url, &parsed).ok()) return 1;
  const DomainFactor* best = nullptr;
  for (const DomainFactor& rule : domainFactors) {
    if (HostInDomain(parsed.host, rule.domain) &&
        (!best || rule.domain.size() > best->domain.size())) {
      best = &rule;
    }
  }
  return best ? best->factor : 1;
}

RankRules RankRulesFor(const std::vector<EngineDefinition>& engines,
                       const ProgramOptions& program) {
  RankRules rules;
  for (const EngineDefinition& engine : engines) rules.engineWeights.push_back(engine.web.weight);
  rules.domainFactors = program.domainFactors;
  return rules;
}

double RankScore(const std::vector<ResultFinder>& finders, const RankRules& rules,
                 std::string_view url) {
  double weights = 1;
  double positions = 0;
  for (const ResultFinder& f : finders) {
    weights *= rules.EngineWeight(f.engineIndex);
    positions += 1.0 / std::max(f.position, 1);
  }
  return static_cast<double>(finders.size()) * weights * positions * rules.DomainFactorOf(url);
}

std::vector<size_t> RankOrder(const std::vector<std::vector<ResultFinder>>& finders,
                              const RankRules& rules, const std::vector<std::string>& urls) {
  std::vector<double> scores(finders.size());
  for (size_t i = 0; i < finders.size(); ++i) {
    scores[i] = RankScore(finders[i], rules, i < urls.size() ? urls[i] : std::string_view{});
  }
  std::vector<size_t> order(finders.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return scores[a] > scores[b]; });
  return order;
}

std::vector<size_t> RankRows(std::span<const ResultRecord> records,
                             const std::vector<std::vector<ResultFinder>>& finders,
                             const RankRules& rules) {
  std::vector<std::vector<ResultFinder>> byRow(records.size());
  std::vector<std::string> urls(records.size());
  for (size_t row = 0; row < records.size(); ++row) {
    const int32_t arrival = records[row].arrival;
    if (arrival >= 0 && static_cast<size_t>(arrival) < finders.size()) {
      byRow[row] = finders[static_cast<size_t>(arrival)];
    }
    urls[row] = std::string(records[row].url());
  }
  return RankOrder(byRow, rules, urls);
}

}  // namespace trovelane
