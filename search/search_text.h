// From the typed search text to the query text an engine receives.
#pragma once

#include <string>
#include <string_view>

#include "engines/search_expression.h"

namespace trovelane {

// Inserts the default operator between blank-separated terms of the trimmed
// search-bar text: OR when defaultOperator is greater than 0, else AND. A run
// of blanks becomes that one operator unless the character before it or after
// it is an operator or parenthesis, in which case it is kept as typed; blanks
// at the end are dropped. Quoted stretches are copied unchanged.
std::string NormalizeSearchText(std::string_view text, int defaultOperator);

// The sendable terms in tree order joined by separator; operators, negation
// and phrase quotes are left out. An operator node writes the separator after
// its left side whenever that side is not empty (so a trailing separator
// remains when the right side sends nothing).
std::string RenderPlain(const ExpressionNode& node, std::string_view separator = " ");

// The sendable part of the tree in an engine's own spellings of AND, OR, NOT
// and the phrase quote, with no escaping: the spellings carry whatever
// encoding the engine needs ("+AND+", "%22"). An empty AND or OR becomes one
// blank; one that begins with a letter or digit gets a blank on each side;
// a NOT that begins with a letter or digit is followed by a blank. A side
// with nothing to send is left out together with its operator.
std::string RenderWithOperators(const ExpressionNode& node, std::string_view andText,
                                std::string_view orText, std::string_view notText,
                                std::string_view exactText);

}  // namespace trovelane
