// A search expression as typed on the command line, prepared the way the
// search bar prepares it: trimmed, the default operator inserted, parsed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "engines/search_expression.h"

namespace trovelane::cli {

inline constexpr const char* kInvalidExpressionText =
    "The search expression you have entered is either invalid or empty.\n"
    "Please refer to trovelane Help or use the trovelane Expression Wizard !";
inline constexpr const char* kNothingToSearchText = "Nothing to search for !";

// Several words on the command line are one expression typed with blanks.
std::string JoinWords(const std::vector<std::string>& words);

// An invalid expression ends the command with exit code 2.
SearchExpression ParseTypedExpression(std::string_view typed, int defaultOperator,
                                      std::string* normalizedOut = nullptr);

// Ends the command with "Nothing to search for !" (exit code 2) when the
// expression has no term to send; returns its plain text otherwise.
std::string RequireSendableTerms(const SearchExpression& expression);

}  // namespace trovelane::cli
