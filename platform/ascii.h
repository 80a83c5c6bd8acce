// ASCII character classes and case folding, the same whatever the process
// locale. Page text, header lines and data files are handled as bytes: only
// the ASCII letters fold case, bytes above ASCII are neither blanks nor
// letters, and every other byte compares exactly. Plain functions without
// state; any thread.
#pragma once

#include <string_view>

namespace trovelane {

// The blanks of the C locale: space, tab, LF, VT, FF and CR.
constexpr bool IsAsciiBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsAsciiLetterOrDigit(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

constexpr char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
constexpr char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

// Whether a and b are equal with ASCII letters compared without case.
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

// Whether `text` begins with `prefix`, ASCII letters compared without case.
constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// `text` without the ASCII blanks on either side; a view into `text`.
constexpr std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsAsciiBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace trovelane
