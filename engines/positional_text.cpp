#include "engines/positional_text.h"

#include <climits>

namespace trovelane {

std::string_view CutAtLineEnd(std::string_view text) {
  size_t end = text.find_first_of("\r\n");
  return end == std::string_view::npos ? text : text.substr(0, end);
}

bool ReadTextLine(std::istream& in, std::string& line) {
  return static_cast<bool>(std::getline(in, line));
}

std::string_view LineValue(std::string_view line) {
  size_t pos = 0;
  for (int token = 0; token < 2; ++token) {
    while (pos < line.size() && !IsAsciiBlank(line[pos])) ++pos;
    if (pos >= line.size()) return {};
    ++pos;  // the whitespace character that ends the token
  }
  return CutAtLineEnd(line.substr(pos));
}

int ParseIntPrefix(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsAsciiBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  long long value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (text[pos] - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace trovelane
