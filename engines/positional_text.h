// Reading the positional text files of engines and profiles: lines of a key,
// an equals sign and a value, where the order of the lines and not their keys
// decides what each one holds.
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "platform/ascii.h"

namespace trovelane {

// `text` up to its first CR or LF.
std::string_view CutAtLineEnd(std::string_view text);

// Reads the next line into `line` without its LF (a CR before it stays; the
// value rule below drops it). False when the stream has no further line. A
// last line without a line end still counts.
bool ReadTextLine(std::istream& in, std::string& line);

// The value of a "KEY = value" line: the first token is everything up to the
// first whitespace character, the second token up to the next one, each
// followed by the one whitespace character that ends it; the value is the
// rest up to the first CR or LF. Blanks in and at the end of the value are
// kept. A line that ends before the value gives an empty value. Neither token
// is checked.
std::string_view LineValue(std::string_view line);

// A decimal integer prefix as the files hold numbers: leading whitespace is
// skipped, then an optional sign and the digits up to the first non-digit;
// no digits give 0. Values beyond the range of int are clamped to it.
int ParseIntPrefix(std::string_view text);

}  // namespace trovelane
