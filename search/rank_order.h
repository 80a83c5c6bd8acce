// Merged rank order: a result found by several engines, found early by them,
// and found by engines the user trusts rises. The score of a result is
//
//   sightings × (product of the weights of the engines that found it)
//             × (sum over those engines of 1 / its position there)
//             × the rank factor of its domain,
//
// the score meta-search engines have long used: a result on the first place
// of two engines scores 2 × 1 × 2 = 4, one on the third place of one engine
// 1/3. Results are ordered by score, highest first, equal scores in arrival
// order.
//
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_definition.h"
#include "net/connection_settings.h"
#include "results/result_record.h"

namespace trovelane {

// One engine that found a result, and where: the 1-based position among the
// result links of that engine's pages, in the order the engine listed them.
struct ResultFinder {
  int engineIndex = -1;
  int position = 0;

  bool operator==(const ResultFinder&) const = default;
};

// What the score weighs besides positions. Empty rules weigh nothing: every
// engine and every domain counts 1.
struct RankRules {
  std::vector<double> engineWeights;  // by engine index; an engine without one weighs 1
  std::vector<DomainFactor> domainFactors;

  double EngineWeight(int engineIndex) const;
  // The factor of the longest listed domain that holds the URL's host; 1
  // when none does or the URL has no host.
  double DomainFactorOf(std::string_view url) const;
};

// The rules of a search over `engines` (their weights, by index) with the
// program's domain factors.
RankRules RankRulesFor(const std::vector<EngineDefinition>& engines, const ProgramOptions& program);

// The score of a result at `url` found by `finders`; a position below 1
// counts as 1.
double RankScore(const std::vector<ResultFinder>& finders, const RankRules& rules = {},
                 std::string_view url = {});

// The arrival indexes of `finders` (one entry per result, in arrival order)
// in rank order. `urls`, when not empty, holds each result's URL, in the same
// order, for the domain factors.
std::vector<size_t> RankOrder(const std::vector<std::vector<ResultFinder>>& finders,
                              const RankRules& rules = {},
                              const std::vector<std::string>& urls = {});

// The rows of a results list in rank order, for a list whose records came
// from one search: record r's finders are `finders[r.arrival]` (SearchRun's
// resultFinders), its URL its own. A record without finders scores 0 and
// goes to the end, in its current place among the others.
std::vector<size_t> RankRows(std::span<const ResultRecord> records,
                             const std::vector<std::vector<ResultFinder>>& finders,
                             const RankRules& rules);

}  // namespace trovelane
