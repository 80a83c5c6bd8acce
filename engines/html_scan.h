// Small scanners over raw page text: a case-insensitive search, the start of
// an INPUT tag, one name=value attribute inside a tag, and the text between a
// tag and its closing tag.
//
// Page text is handled as bytes: no entity is decoded and no character set is
// converted. Only the ASCII letters fold case; every other byte compares
// exactly. The end of the view is the end of the text; a NUL byte inside it
// is an ordinary byte. The routines keep no state and never fail on malformed
// or truncated HTML.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ascii.h"

namespace trovelane {

// Returned by FindNoCase when the pattern does not occur.
inline constexpr std::size_t kNotFound = std::string_view::npos;

// Position of the first occurrence of pattern in text, ASCII letters compared
// without regard to case, or kNotFound. An empty pattern is found at 0, also
// in an empty text.
std::size_t FindNoCase(std::string_view text, std::string_view pattern);

// When `at` begins with "<", optional whitespace and the letters "INPUT" in
// any case: the number of bytes up to just after "INPUT". Otherwise 0. What
// follows "INPUT" is not checked.
std::size_t IsInputTag(std::string_view at);

// Reads one name=value attribute at the start of `at` (leading whitespace is
// skipped). Returns the number of bytes consumed, or 0 when no attribute could
// be read: at the end of the text, at a bare attribute without "=", and when
// the text ends inside the value. A value in double quotes runs to the next
// double quote or ">"; an unquoted one to whitespace, a double quote or ">".
// A double quote that ends the value is consumed. Single quotes are ordinary
// characters. Name and value are kept whole, whatever their length, and are
// set only when an attribute was read.
std::size_t ParseTagAttribute(std::string_view at, std::string& name, std::string& value);

// The position of the ">" that ends the tag starting at `at`: the first one
// outside double quotes. kNotFound when there is none.
std::size_t FindTagEnd(std::string_view at);

// The text between the tag that starts at `at` (its "<") and the first
// "</"+tagName after it (case-insensitive, so "</B" also ends at "</BODY").
// The tag ends at the first ">" outside double quotes. None when the tag has
// no ">" or no closing tag. The view points into `at`.
std::optional<std::string_view> GetInnerText(std::string_view at, std::string_view tagName);

// Calls visit(name, value) for each attribute of a tag from `from` on, until
// one is not readable (ParseTagAttribute gives 0), the tag ends (a ">" or "<"
// where the next name would begin, so text after the tag is never taken for
// its attributes) or visit returns true; returns whether one did. `end`, when
// given, gets the position just behind the last attribute read.
template <typename Visit>
bool AnyTagAttribute(std::string_view text, std::size_t from, Visit visit,
                     std::size_t* end = nullptr) {
  std::string name;
  std::string value;
  std::size_t pos = from;
  bool stopped = false;
  for (;;) {
    std::size_t next = pos;
    while (next < text.size() && IsAsciiBlank(text[next])) ++next;
    if (next < text.size() && (text[next] == '>' || text[next] == '<')) break;
    const std::size_t used = ParseTagAttribute(text.substr(next), name, value);
    if (used == 0) break;
    pos = next + used;
    if (visit(name, value)) {
      stopped = true;
      break;
    }
  }
  if (end) *end = pos;
  return stopped;
}

}  // namespace trovelane
