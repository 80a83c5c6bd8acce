#include "engines/anchor_parser.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "engines/html_scan.h"

namespace trovelane {
namespace {

bool IsQuote(char c) { return c == '"' || c == '\''; }

std::size_t SkipBlanks(std::string_view page, std::size_t at) {
  while (at < page.size() && IsAsciiBlank(page[at])) ++at;
  return at;
}

// Where the href value of the tag starting at `at` (just after "<A") begins,
// or kNotFound when the tag ends, or the page ends, before an "href =".
// "href" inside a double-quoted attribute value does not count.
std::size_t FindHrefValue(std::string_view page, std::size_t at, AnchorPageMemo& memo) {
  // The walk's quote state at x is parity(x) xor parity(start): two walks
  // whose starts have the same parity agree from the later start on. The
  // parity is counted only once a walk is remembered that may apply, so a
  // single read pays nothing for it.
  std::size_t stop = kNotFound;
  bool found = false;
  for (const AnchorPageMemo::HrefWalk& walk : memo.hrefWalks) {
    if (walk.from != kNotFound && walk.from <= at && at <= walk.stop) {
      const AnchorPageMemo::HrefWalk& same = memo.hrefWalks[memo.QuoteParityAt(page, at)];
      if (same.from != kNotFound && same.from <= at && at <= same.stop) {
        stop = same.stop;
        found = same.found;
      }
      break;
    }
  }
  if (stop == kNotFound) {
    const std::size_t start = at;
    bool inQuotes = false;
    for (; at < page.size(); ++at) {
      const char c = page[at];
      if (c == '"') {
        inQuotes = !inQuotes;
      } else if (!inQuotes) {
        if (c == '>') break;
        if (EqualsNoCase(page.substr(at, 4), "href")) {
          found = true;
          break;
        }
      }
    }
    stop = at;
    // Only a long walk is worth the parity count that remembering it needs.
    if (stop - start > 64) memo.hrefWalks[memo.QuoteParityAt(page, start)] = {start, stop, found};
  }
  if (!found) return kNotFound;
  at = SkipBlanks(page, stop + 4);
  if (at >= page.size() || page[at] != '=') return kNotFound;
  return SkipBlanks(page, at + 1);
}

// The href value starting at `at`; `end` gets the position just behind it.
// A value in either kind of quote ends at the next quote of either kind.
// None when the value runs on for kMaxRawHrefLength bytes: it could not be
// kept, and reading it to its end for every anchor of a page of never-ending
// tags would read the page once per anchor.
std::optional<std::string_view> ReadHrefValue(std::string_view page, std::size_t at,
                                              std::size_t& end, AnchorPageMemo& memo) {
  const bool quoted = at < page.size() && IsQuote(page[at]);
  if (quoted) ++at;
  const std::size_t stop = memo.FindValueEnd(page, at, quoted);
  if (stop - at >= kMaxRawHrefLength) return std::nullopt;
  end = stop;
  return page.substr(at, stop - at);
}

}  // namespace

std::string DecodeHrefReferences(std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, char>, 8> kReferences = {{
      {"&amp;", '&'},
      {"&#38;", '&'},
      {"&#x26;", '&'},
      {"&#X26;", '&'},
      {"&lt;", '<'},
      {"&gt;", '>'},
      {"&quot;", '"'},
      {"&#39;", '\''},
  }};
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size();) {
    bool decoded = false;
    if (value[i] == '&') {
      for (const auto& [reference, character] : kReferences) {
        if (value.substr(i, reference.size()) == reference) {
          out += character;
          i += reference.size();
          decoded = true;
          break;
        }
      }
    }
    if (!decoded) out += value[i++];
  }
  return out;
}

bool AnchorPageMemo::QuoteParityAt(std::string_view page, std::size_t at) {
  if (parityBase_ == std::string_view::npos || at < parityBase_) {
    // Parities counted from another base do not compare with the new ones.
    parityBase_ = at;
    parityAt_ = at;
    parity_ = false;
    hrefWalks[0] = hrefWalks[1] = HrefWalk{};
  }
  for (; parityAt_ < at && parityAt_ < page.size(); ++parityAt_) {
    if (page[parityAt_] == '"') parity_ = !parity_;
  }
  return parity_;
}

std::size_t AnchorPageMemo::FindTagClose(std::string_view page, std::size_t from) {
  // Remembered: a search from closeFrom_ found closeAt_, so any search from
  // between the two finds the same; with none found, none is found later.
  if (closeFrom_ != std::string_view::npos && from >= closeFrom_ && from <= closeAt_) {
    return closeAt_;
  }
  closeFrom_ = from;
  closeAt_ = page.find('>', from);
  return closeAt_;
}

std::size_t AnchorPageMemo::FindValueEnd(std::string_view page, std::size_t from, bool quoted) {
  auto isEnd = [quoted](char c) {
    return quoted ? IsQuote(c) : IsAsciiBlank(c) || c == '>';
  };
  // A search from scan.from has read up to scan.to without finding an end
  // before it, so a search from between the two goes on from scan.to. Each
  // search reads at most kMaxRawHrefLength bytes past its start: a longer
  // value is never kept.
  ValueScan& scan = valueScans_[quoted];
  std::size_t stop;
  if (scan.from != std::string_view::npos && from >= scan.from && from <= scan.to) {
    if (scan.ended) return scan.to;
    stop = scan.to;
  } else {
    scan.from = from;
    stop = std::min(from, page.size());
  }
  const std::size_t limit = std::min(page.size(), from + kMaxRawHrefLength);
  while (stop < limit && !isEnd(page[stop])) ++stop;
  scan.to = stop;
  scan.ended = stop < page.size() && isEnd(page[stop]);
  return stop;
}

std::size_t ParseAnchor(std::string_view page, std::size_t pos, std::string& url,
                        std::string& text) {
  AnchorPageMemo memo;
  return ParseAnchor(page, pos, url, text, memo);
}

std::size_t ParseAnchor(std::string_view page, std::size_t pos, std::string& url,
                        std::string& text, AnchorPageMemo& memo, std::size_t* openingTagEnd) {
  url.clear();
  text.clear();
  if (pos >= page.size() || page[pos] != '<' || pos + 1 >= page.size() ||
      (page[pos + 1] != 'a' && page[pos + 1] != 'A')) {
    return 0;
  }
  const std::size_t valueAt = FindHrefValue(page, SkipBlanks(page, pos + 2), memo);
  if (valueAt == kNotFound) return 0;
  std::size_t at = 0;
  const std::optional<std::string_view> raw = ReadHrefValue(page, valueAt, at, memo);
  if (!raw) return 0;
  std::string link = DecodeHrefReferences(*raw);
  if (link.size() > kMaxLinkLength) return 0;

  const std::size_t tagEnd = memo.FindTagClose(page, at);
  if (tagEnd == std::string_view::npos || tagEnd + 1 >= page.size()) return 0;
  if (openingTagEnd) *openingTagEnd = tagEnd;

  enum class State { kText, kTag, kQuotedValue };
  State state = State::kText;
  std::string collected;
  for (at = tagEnd + 1; at < page.size(); ++at) {
    const char c = page[at];
    switch (state) {
      case State::kText:
        if (c != '<') {
          if (collected.size() < kMaxAnchorTextLength) collected += c;
        } else if (at + 1 < page.size() && page[at + 1] == '/') {
          const std::size_t name = SkipBlanks(page, at + 2);
          if (name < page.size() && (page[name] == 'a' || page[name] == 'A')) {
            url = std::move(link);
            text = std::move(collected);
            return name - pos;
          }
          state = State::kTag;
        } else if (!(at + 1 < page.size() && IsAsciiBlank(page[at + 1]))) {
          state = State::kTag;
        }
        break;
      case State::kTag:
        if (c == '"') state = State::kQuotedValue;
        if (c == '>') state = State::kText;
        break;
      case State::kQuotedValue:
        if (c == '"') state = State::kTag;
        break;
    }
  }
  url = std::move(link);
  return page.size() - pos;
}

bool TagHasClass(std::string_view tag, std::string_view word) {
  if (word.empty()) return false;
  std::size_t at = 1;  // after "<"
  while (at < tag.size() && !IsAsciiBlank(tag[at]) && tag[at] != '/') ++at;  // the tag name
  while (at < tag.size()) {
    while (at < tag.size() && (IsAsciiBlank(tag[at]) || tag[at] == '/')) ++at;
    const std::size_t nameFrom = at;
    while (at < tag.size() && !IsAsciiBlank(tag[at]) && tag[at] != '=' && tag[at] != '/') ++at;
    const std::string_view name = tag.substr(nameFrom, at - nameFrom);
    at = SkipBlanks(tag, at);
    if (at >= tag.size() || tag[at] != '=') continue;  // an attribute without a value
    at = SkipBlanks(tag, at + 1);
    std::string_view value;
    if (at < tag.size() && IsQuote(tag[at])) {
      const std::size_t close = tag.find(tag[at], at + 1);
      const std::size_t end = close == std::string_view::npos ? tag.size() : close;
      value = tag.substr(at + 1, end - at - 1);
      at = end + 1;
    } else {
      const std::size_t valueFrom = at;
      while (at < tag.size() && !IsAsciiBlank(tag[at])) ++at;
      value = tag.substr(valueFrom, at - valueFrom);
    }
    if (!EqualsNoCase(name, "class")) continue;
    for (std::size_t from = 0; from < value.size();) {
      while (from < value.size() && IsAsciiBlank(value[from])) ++from;
      std::size_t to = from;
      while (to < value.size() && !IsAsciiBlank(value[to])) ++to;
      if (to > from && value.substr(from, to - from) == word) return true;
      from = to;
    }
    return false;
  }
  return false;
}

}  // namespace trovelane
