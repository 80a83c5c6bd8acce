// Relevance of a page to a search expression, in percent: where the search
// terms stand on the page (the title, the first heading of each level 1 to 4,
// FONT elements by size) and the weights of SearchOptions.
#pragma once

#include <functional>
#include <string_view>

#include "engines/search_expression.h"
#include "search/settings.h"

namespace trovelane {

// Categories of AccumulateRelevance.
enum RelevanceCategory : int {
  kRelevanceTitle = 0,
  kRelevanceHeading1 = 1,  // 1 to 4: heading level
  kRelevanceHeading4 = 4,
  kRelevanceFont = 5,
};

// Scores `page` against the tree: clears every leaf's counters, then
// accumulates the inner text of the first TITLE, of the first H1, H2, H3 and
// H4, and of every FONT element (by its SIZE, 0 without one). The result is
// the sum of the counters of the counted terms times 100, divided by
// maxRelevance times their number. Counted terms are the plain words and
// phrases that are not negated: tag terms are not scored, and a term the
// page must not contain is no part of how well it fits. A zero denominator
// (no counted term, or maxRelevance 0) gives 0. One pass over the page,
// whatever its markup; once `cancelled` (when given; asked now and then)
// says so, the FONT elements not yet read are left out.
int ScoreRelevance(ExpressionNode& root, std::string_view page, const SearchOptions& options,
                   const std::function<bool()>& cancelled = {});

// Adds one text of one category to the counters of every counted term it
// holds (first occurrence, any case, not followed by a letter or digit unless
// it starts the text). Title: titleScore = weights[Title]. Heading n:
// textScore rises to weights[Heading n]. FONT: textScore becomes the weight of
// "Font Size 6" for sizes of 6 and more, "Font Size 3" for 3 to 5, "None"
// for any other, whatever it was before.
void AccumulateRelevance(ExpressionNode& node, int category, std::string_view text, int fontSize,
                         const SearchOptions& options);

}  // namespace trovelane
