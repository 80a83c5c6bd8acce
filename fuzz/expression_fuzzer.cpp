// libFuzzer target: any text given to ParseExpression either is refused or
// gives a tree that copies, weighs, renders and matches cleanly. The first
// line of the input is the expression, the rest a page it is matched on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engines/expression_match.h"
#include "engines/search_expression.h"
#include "search/relevance.h"
#include "search/search_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 16) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t lineEnd = input.find('\n');
  const std::string_view text = input.substr(0, lineEnd);
  const std::string_view page =
      lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);

  std::optional<trovelane::SearchExpression> expression = trovelane::ParseExpression(text);
  if (!expression) return 0;
  trovelane::SearchExpression copy = *expression;
  (void)trovelane::ExpressionWeight(copy.Root());
  (void)trovelane::RenderPlain(copy.Root(), "_");
  (void)trovelane::RenderWithOperators(copy.Root(), "AND", "OR", "NOT", "\"");
  (void)trovelane::MatchExpression(copy.Root(), page);
  trovelane::ResetMatches(copy.Root());
  trovelane::AccumulateMatches(copy.Root(), page);
  (void)trovelane::FinalMatch(copy.Root());
  trovelane::SearchOptions options;
  (void)trovelane::ScoreRelevance(copy.Root(), page, options);
  return 0;
}
