// Matching a search expression against page text.
//
// A page may be fed in pieces: AccumulateMatches only ever sets `matched` and
// `seen`, so a term found in one piece stays found. For each word or phrase
// only its first occurrence in a piece is tested, and it counts when it starts
// the piece or is not followed by a letter or digit. A negated term that
// counts sets `seen`, never `matched`.
//
// Two results are read from the state:
// - the positive result, root.matched after AccumulateMatches: negated terms
//   give false, so it never waits for the end of the page;
// - FinalMatch, once the whole page was accumulated: a negated term gives
//   true exactly when it was never seen.
//
// A tree carries match state: one tree must not be matched by two threads at
// once (give each its own copy).
#pragma once

#include <string_view>

#include "engines/html_scan.h"
#include "engines/search_expression.h"

namespace trovelane {

// Clears `matched` and `seen` in every node.
void ResetMatches(ExpressionNode& node);

// Evaluates the tree against one piece of text. Both children of an operator
// node are always evaluated, so every leaf is brought up to date. Never fails
// on malformed or truncated HTML.
void AccumulateMatches(ExpressionNode& node, std::string_view text);

// ResetMatches, AccumulateMatches and the positive result.
bool MatchExpression(ExpressionNode& node, std::string_view text);

// The word rule of plain terms: whether the first occurrence of `term` in
// `text` (any case) counts. It counts at the start of the text, or when no
// letter or digit follows it; what stands before it is not tested.
bool FirstOccurrenceCounts(std::string_view text, std::string_view term);

// The same rule on the piece [begin, end) of `text`, the term's occurrences
// found through `finder` over the whole text: the first occurrence inside
// the piece counts at its start, or when no letter or digit follows it
// inside the piece.
bool OccursAsWordWithin(std::string_view text, std::size_t begin, std::size_t end,
                        OccurrenceFinder& finder);

// The result with negations applied, after every piece was accumulated.
bool FinalMatch(const ExpressionNode& node);

}  // namespace trovelane
