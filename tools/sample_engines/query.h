// Reading what a request asks for: the name=value pairs of a query string
// or form body, and the search terms of the query text.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovelane::sample {

// name=value pairs in request order; a name may occur more than once.
using QueryPairs = std::vector<std::pair<std::string, std::string>>;

// Decodes %XX escapes and '+' (a blank in form encoding). A '%' that is not
// followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text);

// Escapes everything but letters, digits and "-_.~" so that a text can be
// put back into a link.
std::string PercentEncode(std::string_view text);

// Splits at every character of `separators`; names and values are decoded.
// A piece without '=' becomes a name with an empty value.
QueryPairs ParseQuery(std::string_view query, std::string_view separators);

// The value of the first pair named `name` (exact), or null.
const std::string* FindValue(const QueryPairs& pairs, std::string_view name);

// One search term: a word or a quoted phrase, lower-cased.
struct SearchTerm {
  std::string text;
  bool negated = false;
};

// An OR of AND groups: a page matches when every term of some group is
// satisfied (present, or absent when negated).
using TermQuery = std::vector<std::vector<SearchTerm>>;

// Reads a decoded query text: blanks separate terms, "AND" is implied,
// "OR" (or '|') starts a new group, a leading '-' or '!' negates, double
// quotes make a phrase, '&' and parentheses are ignored.
TermQuery ParseTerms(std::string_view text);

// True when `lowerText` holds `term` as whole words.
bool ContainsWords(std::string_view lowerText, std::string_view term);

// True when some group of `query` is satisfied by `lowerText`. An empty
// query matches nothing.
bool Matches(const TermQuery& query, std::string_view lowerText);

}  // namespace trovelane::sample
