#include "engines/html_scan.h"

#include <algorithm>
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

namespace {

bool IsStop(PageScanMemo::Stop stop, char c) {
  switch (stop) {
    case PageScanMemo::kNameEnd:
      return IsAsciiBlank(c) || c == '=';
    case PageScanMemo::kNonBlank:
      return !IsAsciiBlank(c);
    case PageScanMemo::kQuotedValueEnd:
      return c == '"' || c == '>';
    case PageScanMemo::kValueEnd:
      return IsAsciiBlank(c) || c == '"' || c == '>';
    default:
      return true;
  }
}

std::size_t NextStop(std::string_view text, PageScanMemo::Stop stop, std::size_t from,
                     PageScanMemo* memo) {
  if (memo) return memo->Next(stop, from);
  while (from < text.size() && !IsStop(stop, text[from])) ++from;
  return from;
}

}  // namespace

std::size_t PageScanMemo::Next(Stop stop, std::size_t from) {
  // A search from `r.from` stopped at `r.found`: nothing in between is in
  // the class, so any search from there up to `r.found` stops there too.
  Remembered& r = stops_[stop];
  if (r.from != kNotFound && from >= r.from && from <= r.found) return r.found;
  std::size_t at = std::min(from, page_.size());
  while (at < page_.size() && !IsStop(stop, page_[at])) ++at;
  r.from = from;
  r.found = at;
  return at;
}

bool PageScanMemo::QuoteParityAt(std::size_t at) {
  if (at < parityAt_) {
    parityAt_ = 0;
    parity_ = false;
  }
  for (; parityAt_ < at && parityAt_ < page_.size(); ++parityAt_) {
    if (page_[parityAt_] == '"') parity_ = !parity_;
  }
  return parity_;
}

std::size_t PageScanMemo::TagEnd(std::size_t at) {
  // The walk from `at` is inside quotes at x exactly when the parities of
  // the quotes before x and before `at` differ; so walks that start with
  // the same parity end at the same ">" from the later start on.
  const bool parity = QuoteParityAt(at);
  Remembered& r = tagEnds_[parity];
  if (r.from != kNotFound && at >= r.from && at <= r.found) {
    return r.found >= page_.size() ? kNotFound : r.found;
  }
  const std::size_t end = at < page_.size() ? FindTagEnd(page_.substr(at)) : kNotFound;
  r.from = at;
  r.found = end == kNotFound ? page_.size() : at + end;
  return end == kNotFound ? kNotFound : at + end;
}

std::size_t ReadTagAttribute(std::string_view text, std::size_t from, std::string_view& name,
                             std::string_view& value, PageScanMemo* memo) {
  std::size_t pos = NextStop(text, PageScanMemo::kNonBlank, from, memo);
  if (pos >= text.size()) return 0;

  const std::size_t nameStart = pos;
  pos = NextStop(text, PageScanMemo::kNameEnd, pos, memo);
  const std::size_t nameEnd = pos;

  pos = NextStop(text, PageScanMemo::kNonBlank, pos, memo);
  if (pos == text.size() || text[pos] != '=') return 0;  // a bare attribute ends the tag
  pos = NextStop(text, PageScanMemo::kNonBlank, pos + 1, memo);
  if (pos == text.size()) return 0;

  const bool quoted = text[pos] == '"';
  if (quoted) ++pos;
  const std::size_t valueStart = pos;
  pos = NextStop(text, quoted ? PageScanMemo::kQuotedValueEnd : PageScanMemo::kValueEnd, pos, memo);
  if (pos == text.size()) return 0;  // the text ended inside the value

  name = text.substr(nameStart, nameEnd - nameStart);
  value = text.substr(valueStart, pos - valueStart);
  if (text[pos] == '"') ++pos;
  return pos - from;
}

std::size_t ParseTagAttribute(std::string_view at, std::string& name, std::string& value) {
  std::string_view nameView;
  std::string_view valueView;
  const std::size_t used = ReadTagAttribute(at, 0, nameView, valueView);
  if (used == 0) return 0;
  name.assign(nameView);
  value.assign(valueView);
  return used;
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
