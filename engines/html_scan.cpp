#include "engines/html_scan.h"

#include <cstring>

namespace trovelane {
namespace {

unsigned char UpperAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

unsigned char LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Next occurrence of byte c in [from, end), or end.
const char* NextByte(const char* from, const char* end, unsigned char c) {
  if (from >= end) return end;
  const void* hit = std::memchr(from, c, static_cast<std::size_t>(end - from));
  return hit ? static_cast<const char*>(hit) : end;
}

bool TailEqualsNoCase(const char* text, const char* pattern, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (UpperAscii(static_cast<unsigned char>(text[i])) !=
        UpperAscii(static_cast<unsigned char>(pattern[i]))) {
      return false;
    }
  }
  return true;
}

// Bytes of page text from frequent to rare (letters in either case); bytes not
// listed are rarer still.
constexpr std::string_view kFrequentBytes =
    " etao<>\"=/inrshlcdpmu.f:gwybv-_0123456789k&;#\n\t,x?j%qz()!'+[]{}|*@$^~\\";

// The index of the pattern byte to look for first: the rarest one, the first
// of equals.
std::size_t RarestByteIndex(std::string_view pattern) {
  std::size_t best = 0;
  std::size_t bestRank = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const std::size_t found =
        kFrequentBytes.find(static_cast<char>(LowerAscii(static_cast<unsigned char>(pattern[i]))));
    const std::size_t rank = found == std::string_view::npos ? kFrequentBytes.size() : found;
    if (rank > bestRank || i == 0) {
      best = i;
      bestRank = rank;
    }
  }
  return best;
}

std::size_t SkipBlanks(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsAsciiBlank(text[pos])) ++pos;
  return pos;
}

}  // namespace

std::size_t FindNoCase(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return 0;
  if (pattern.size() > text.size()) return kNotFound;

  // Candidates come from memchr over both spellings of the pattern's rarest
  // byte; the next position of each spelling is remembered, so no byte is
  // scanned twice. Positions of that byte rise with the start they imply, so
  // the first candidate that compares equal is the first occurrence.
  const std::size_t anchor = RarestByteIndex(pattern);
  const unsigned char upper = UpperAscii(static_cast<unsigned char>(pattern[anchor]));
  const unsigned char lower = LowerAscii(upper);
  const char* base = text.data();
  const char* from = base + anchor;
  const char* end = from + (text.size() - pattern.size() + 1);  // past the last start
  const char* nextUpper = NextByte(from, end, upper);
  const char* nextLower = lower == upper ? end : NextByte(from, end, lower);

  for (;;) {
    const char* hit = nextUpper < nextLower ? nextUpper : nextLower;
    if (hit == end) return kNotFound;
    const char* start = hit - anchor;
    if (TailEqualsNoCase(start, pattern.data(), pattern.size())) {
      return static_cast<std::size_t>(start - base);
    }
    if (hit == nextUpper) nextUpper = NextByte(hit + 1, end, upper);
    if (hit == nextLower) nextLower = NextByte(hit + 1, end, lower);
  }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && TailEqualsNoCase(a.data(), b.data(), a.size());
}

std::size_t IsInputTag(std::string_view at) {
  if (at.empty() || at[0] != '<') return 0;
  const std::size_t name = SkipBlanks(at, 1);
  constexpr std::string_view kInput = "INPUT";
  if (at.size() - name < kInput.size()) return 0;
  if (!EqualsNoCase(at.substr(name, kInput.size()), kInput)) return 0;
  return name + kInput.size();
}

std::size_t ParseTagAttribute(std::string_view at, std::string& name, std::string& value) {
  std::size_t pos = SkipBlanks(at, 0);
  if (pos == at.size()) return 0;

  const std::size_t nameStart = pos;
  while (pos < at.size() && !IsAsciiBlank(at[pos]) && at[pos] != '=') ++pos;
  const std::size_t nameEnd = pos;

  pos = SkipBlanks(at, pos);
  if (pos == at.size() || at[pos] != '=') return 0;  // a bare attribute ends the tag
  pos = SkipBlanks(at, pos + 1);
  if (pos == at.size()) return 0;

  const bool quoted = at[pos] == '"';
  if (quoted) ++pos;
  const std::size_t valueStart = pos;
  while (pos < at.size()) {
    const char c = at[pos];
    if (c == '"' || c == '>') break;
    if (!quoted && IsAsciiBlank(c)) break;
    ++pos;
  }
  if (pos == at.size()) return 0;  // the text ended inside the value

  name.assign(at.substr(nameStart, nameEnd - nameStart));
  value.assign(at.substr(valueStart, pos - valueStart));
  if (at[pos] == '"') ++pos;
  return pos;
}

std::optional<std::string_view> GetInnerText(std::string_view at, std::string_view tagName) {
  bool inQuotes = false;
  std::size_t pos = 0;
  for (; pos < at.size(); ++pos) {
    if (at[pos] == '"') {
      inQuotes = !inQuotes;
    } else if (at[pos] == '>' && !inQuotes) {
      break;
    }
  }
  if (pos == at.size()) return std::nullopt;

  const std::string_view inner = at.substr(pos + 1);
  std::string closing = "</";
  closing.append(tagName);
  const std::size_t end = FindNoCase(inner, closing);
  if (end == kNotFound) return std::nullopt;
  return inner.substr(0, end);
}

}  // namespace trovelane
