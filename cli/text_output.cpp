#include "cli/text_output.h"

#include <algorithm>

#include "platform/ascii.h"

namespace trovelane::cli {
namespace {

unsigned char Byte(std::string_view s, size_t i) {
  return i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
}

// At s[i]: the length of a control character (1 or 2 bytes, 0 for none) in
// `control`, and the length of whatever character stands there in the result.
size_t CharacterAt(std::string_view s, size_t i, size_t& control) {
  const unsigned char c = Byte(s, i);
  control = 0;
  if (const size_t n = c >= 0x80 ? Utf8SequenceLength(s, i) : 0; n != 0) {
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

std::string JsonUrl(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (size_t at = 0; at < url.size();) {
    if (const size_t length = Utf8SequenceLength(url, at); length > 0) {
      out.append(url.substr(at, length));
      at += length;
    } else {
      const auto byte = static_cast<unsigned char>(url[at++]);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

}  // namespace trovelane::cli
