#include "cli/typed_expression.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "engines/html_scan.h"
#include "platform/ascii.h"
#include "search/search_text.h"

namespace trovelane::cli {

std::string JoinWords(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

SearchExpression ParseTypedExpression(std::string_view typed, int defaultOperator,
                                      std::string* normalizedOut) {
  const std::string normalized = NormalizeSearchText(TrimBlanks(typed), defaultOperator);
  if (normalizedOut != nullptr) *normalizedOut = normalized;
  auto expression = ParseExpression(normalized);
  if (!expression) {
    std::cerr << kInvalidExpressionText << "\n";
    throw CLI::RuntimeError(kExitUsage);
  }
  return std::move(*expression);
}

std::string RequireSendableTerms(const SearchExpression& expression) {
  std::string plain(TrimBlanks(RenderPlain(expression.Root(), "_")));
  if (plain.empty()) {
    std::cerr << kNothingToSearchText << "\n";
    throw CLI::RuntimeError(kExitUsage);
  }
  return plain;
}

}  // namespace trovelane::cli
