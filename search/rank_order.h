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
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_definition.h"
#include "net/connection_settings.h"

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

}  // namespace trovelane
