#include "engines/anchor_parser.h"

#include <algorithm>
#include <array>
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
  // whose starts have the same parity agree from the later start on.
  // The parity is counted only once a miss is known, so a single read pays
  // nothing for it.
  const bool missKnown = memo.hrefMissFrom[0] <= at || memo.hrefMissFrom[1] <= at;
  if (missKnown && memo.hrefMissFrom[memo.QuoteParityAt(page, at)] <= at) return kNotFound;
  const std::size_t start = at;
  bool inQuotes = false;
  for (; at < page.size(); ++at) {
    const char c = page[at];
    if (c == '"') {
      inQuotes = !inQuotes;
    } else if (!inQuotes) {
      if (c == '>') return kNotFound;
      if (EqualsNoCase(page.substr(at, 4), "href")) break;
    }
  }
  if (at >= page.size()) {
    const bool parity = memo.QuoteParityAt(page, start);
    memo.hrefMissFrom[parity] = std::min(memo.hrefMissFrom[parity], start);
    return kNotFound;
  }
  at = SkipBlanks(page, at + 4);
  if (at >= page.size() || page[at] != '=') return kNotFound;
  return SkipBlanks(page, at + 1);
}

// The href value starting at `at`; `end` gets the position just behind it.
// A value in either kind of quote ends at the next quote of either kind.
std::string_view ReadHrefValue(std::string_view page, std::size_t at, std::size_t& end) {
  std::size_t stop = at;
  if (at < page.size() && IsQuote(page[at])) {
    ++at;
    stop = at;
    while (stop < page.size() && !IsQuote(page[stop])) ++stop;
  } else {
    while (stop < page.size() && !IsAsciiBlank(page[stop]) && page[stop] != '>') ++stop;
  }
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
  if (at < parityAt_) {
    parityAt_ = 0;
    parity_ = false;
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

std::size_t ParseAnchor(std::string_view page, std::size_t pos, std::string& url,
                        std::string& text) {
  AnchorPageMemo memo;
  return ParseAnchor(page, pos, url, text, memo);
}

std::size_t ParseAnchor(std::string_view page, std::size_t pos, std::string& url,
                        std::string& text, AnchorPageMemo& memo) {
  url.clear();
  text.clear();
  if (pos >= page.size() || page[pos] != '<' || pos + 1 >= page.size() ||
      (page[pos + 1] != 'a' && page[pos + 1] != 'A')) {
    return 0;
  }
  const std::size_t valueAt = FindHrefValue(page, SkipBlanks(page, pos + 2), memo);
  if (valueAt == kNotFound) return 0;
  std::size_t at = 0;
  std::string link = DecodeHrefReferences(ReadHrefValue(page, valueAt, at));
  if (link.size() > kMaxLinkLength) return 0;

  const std::size_t tagEnd = memo.FindTagClose(page, at);
  if (tagEnd == std::string_view::npos || tagEnd + 1 >= page.size()) return 0;

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

}  // namespace trovelane
