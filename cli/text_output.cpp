#include "cli/text_output.h"

#include <algorithm>

namespace trovelane::cli {
namespace {

unsigned char Byte(std::string_view s, size_t i) {
  return i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
}

bool IsContinuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// The length of the well-formed UTF-8 sequence that starts at s[i], or 0.
size_t Utf8SequenceAt(std::string_view s, size_t i) {
  const unsigned char lead = Byte(s, i);
  const unsigned char second = Byte(s, i + 1);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (second < low || second > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (!IsContinuation(Byte(s, i + k))) return 0;
  }
  return length;
}

// At s[i]: the length of a control character (1 or 2 bytes, 0 for none) in
// `control`, and the length of whatever character stands there in the result.
size_t CharacterAt(std::string_view s, size_t i, size_t& control) {
  const unsigned char c = Byte(s, i);
  control = 0;
  if (const size_t n = Utf8SequenceAt(s, i); n != 0) {
    if (c == 0xC2 && Byte(s, i + 1) <= 0x9F) control = 2;  // U+0080..U+009F
    return n;
  }
  if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) control = 1;
  return 1;
}

}  // namespace

void PrintTextTable(const std::vector<std::vector<std::string>>& rows, std::ostream& out) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 2, ' ');
    }
    out << line << "\n";
  }
}

std::string OneLine(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size();) {
    size_t control = 0;
    const size_t n = CharacterAt(value, i, control);
    if (control != 0) {
      out.push_back(' ');
    } else {
      out.append(value.substr(i, n));
    }
    i += n;
  }
  return out;
}

std::string TsvField(std::string_view value) {
  static const char* const kDigits = "0123456789abcdef";
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size();) {
    size_t control = 0;
    const size_t n = CharacterAt(value, i, control);
    const char c = value[i];
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (control != 0) {
      for (size_t k = 0; k < control; ++k) {
        const auto b = static_cast<unsigned char>(value[i + k]);
        out += "\\x";
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
      }
    } else {
      out.append(value.substr(i, n));
    }
    i += n;
  }
  return out;
}

}  // namespace trovelane::cli
