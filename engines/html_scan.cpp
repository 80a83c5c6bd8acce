#include "engines/html_scan.h"

#include <cstring>

namespace trovelane {
namespace {

// Next occurrence of byte c in [from, end), or end.
const char* NextByte(const char* from, const char* end, unsigned char c) {
  if (from >= end) return end;
  const void* hit = std::memchr(from, c, static_cast<std::size_t>(end - from));
  return hit ? static_cast<const char*>(hit) : end;
}

bool TailEqualsNoCase(const char* text, const char* pattern, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (ToUpperAscii(text[i]) != ToUpperAscii(pattern[i])) {
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
        kFrequentBytes.find(ToLowerAscii(pattern[i]));
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
  // byte. Positions of that byte rise with the start they imply, so the first
  // candidate that compares equal is the first occurrence. The text is taken
  // in growing windows, so that a spelling that is rare or absent is not
  // looked for far beyond the match (callers that walk all occurrences would
  // otherwise pay for the whole rest of the text on every call).
  const std::size_t anchor = RarestByteIndex(pattern);
  const unsigned char upper = static_cast<unsigned char>(ToUpperAscii(pattern[anchor]));
  const unsigned char lower = static_cast<unsigned char>(ToLowerAscii(pattern[anchor]));
  const char* base = text.data();
  const char* end = base + anchor + (text.size() - pattern.size() + 1);  // past the last anchor
  std::size_t window = 256;

  for (const char* from = base + anchor; from < end;) {
    const char* windowEnd = end - from > static_cast<std::ptrdiff_t>(window) ? from + window : end;
    const char* nextUpper = NextByte(from, windowEnd, upper);
    const char* nextLower = lower == upper ? windowEnd : NextByte(from, windowEnd, lower);
    for (;;) {
      const char* hit = nextUpper < nextLower ? nextUpper : nextLower;
      if (hit == windowEnd) break;
      const char* start = hit - anchor;
      if (TailEqualsNoCase(start, pattern.data(), pattern.size())) {
        return static_cast<std::size_t>(start - base);
      }
      if (hit == nextUpper) nextUpper = NextByte(hit + 1, windowEnd, upper);
      if (hit == nextLower) nextLower = NextByte(hit + 1, windowEnd, lower);
    }
    from = windowEnd;
    if (window < (std::size_t{1} << 16)) window *= 2;
  }
  return kNotFound;
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

std::size_t FindTagEnd(std::string_view at) {
  bool inQuotes = false;
  for (std::size_t pos = 0; pos < at.size(); ++pos) {
    if (at[pos] == '"') {
      inQuotes = !inQuotes;
    } else if (at[pos] == '>' && !inQuotes) {
      return pos;
    }
  }
  return kNotFound;
}

std::optional<std::string_view> GetInnerText(std::string_view at, std::string_view tagName) {
  const std::size_t tagEnd = FindTagEnd(at);
  if (tagEnd == kNotFound) return std::nullopt;
  const std::string_view inner = at.substr(tagEnd + 1);
  std::string closing = "</";
  closing.append(tagName);
  const std::size_t end = FindNoCase(inner, closing);
  if (end == kNotFound) return std::nullopt;
  return inner.substr(0, end);
}

}  // namespace trovelane
