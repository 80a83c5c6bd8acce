#include "engines/page_marker.h"

#include <algorithm>
#include <cstring>

#include "engines/html_scan.h"
#include "platform/ascii.h"

namespace trovelane {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsWordChar(char c) { return IsAsciiLetterOrDigit(c) || c == '-' || c == '_'; }

// Whether page[at] ends a tag name: a blank, ">", "/" or the page's end.
bool EndsTagName(std::string_view page, std::size_t at) {
  return at >= page.size() || IsAsciiBlank(page[at]) || page[at] == '>' || page[at] == '/';
}

// Whether page[at] is "<" + name + the end of a tag name (any case).
bool OpensElement(std::string_view page, std::size_t at, std::string_view name) {
  return at + 1 + name.size() <= page.size() && page[at] == '<' &&
         EqualsNoCase(page.substr(at + 1, name.size()), name) &&
         EndsTagName(page, at + 1 + name.size());
}

bool ClosesElement(std::string_view page, std::size_t at, std::string_view name) {
  return at + 2 + name.size() <= page.size() && page[at] == '<' && page[at + 1] == '/' &&
         EqualsNoCase(page.substr(at + 2, name.size()), name) &&
         EndsTagName(page, at + 2 + name.size());
}

// The first occurrence of `pattern` in `text` from `from` on, any case
// (ASCII), by Knuth-Morris-Pratt: one pass over the text whatever the two
// hold. Markers are long texts of an engine's page; a plain search compares
// each candidate anew, which a page of near-matches of a marker that repeats
// itself ("=====") would turn into a pass per byte.
std::size_t FindLiteral(std::string_view text, std::string_view pattern, std::size_t from) {
  if (from > text.size()) return kNone;
  if (pattern.empty()) return from;
  std::vector<std::size_t> border(pattern.size(), 0);
  for (std::size_t i = 1, k = 0; i < pattern.size(); ++i) {
    while (k > 0 && ToLowerAscii(pattern[i]) != ToLowerAscii(pattern[k])) k = border[k - 1];
    if (ToLowerAscii(pattern[i]) == ToLowerAscii(pattern[k])) ++k;
    border[i] = k;
  }
  for (std::size_t i = from, k = 0; i < text.size(); ++i) {
    while (k > 0 && ToLowerAscii(text[i]) != ToLowerAscii(pattern[k])) k = border[k - 1];
    if (ToLowerAscii(text[i]) == ToLowerAscii(pattern[k])) ++k;
    if (k == pattern.size()) return i + 1 - pattern.size();
  }
  return kNone;
}

// What the opening tag at `at` (its "<") says of the marker's element: the
// position just behind its ">" (the page's end when it has none), and
// whether its first class attribute holds every class word of `want` and its
// first id attribute is want's id. Attributes are read as a browser reads
// them: a name, then optionally "=" and a value in double quotes, single
// quotes or bare; a ">" inside a quoted value does not end the tag.
struct OpenTag {
  std::size_t end = 0;
  bool ended = false;  // a ">" ends it; a tag cut off by the page's end matches nothing
  bool matches = false;
};

bool ClassesHold(std::string_view value, const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    bool found = false;
    for (std::size_t from = 0; from < value.size() && !found;) {
      while (from < value.size() && IsAsciiBlank(value[from])) ++from;
      std::size_t to = from;
      while (to < value.size() && !IsAsciiBlank(value[to])) ++to;
      found = to > from && value.substr(from, to - from) == word;
      from = to;
    }
    if (!found) return false;
  }
  return true;
}

OpenTag ReadOpenTag(std::string_view page, std::size_t at, const PageMarker* want) {
  std::size_t pos = at + 1;
  while (pos < page.size() && !EndsTagName(page, pos)) ++pos;  // the tag name
  bool ended = false;
  bool classSeen = false;
  bool idSeen = false;
  std::string_view classValue;
  std::string_view idValue;
  while (pos < page.size()) {
    while (pos < page.size() && (IsAsciiBlank(page[pos]) || page[pos] == '/')) ++pos;
    if (pos >= page.size()) break;
    if (page[pos] == '>') {
      ++pos;
      ended = true;
      break;
    }
    const std::size_t nameFrom = pos;
    while (pos < page.size() && !IsAsciiBlank(page[pos]) && page[pos] != '=' && page[pos] != '>' &&
           page[pos] != '/') {
      ++pos;
    }
    const std::string_view name = page.substr(nameFrom, pos - nameFrom);
    std::size_t look = pos;
    while (look < page.size() && IsAsciiBlank(page[look])) ++look;
    if (look >= page.size() || page[look] != '=') continue;  // a name without a value
    pos = look + 1;
    while (pos < page.size() && IsAsciiBlank(page[pos])) ++pos;
    std::string_view value;
    if (pos < page.size() && (page[pos] == '"' || page[pos] == '\'')) {
      const std::size_t close = page.find(page[pos], pos + 1);
      const std::size_t end = close == kNone ? page.size() : close;
      value = page.substr(pos + 1, end - pos - 1);
      pos = end == page.size() ? end : end + 1;
    } else {
      const std::size_t valueFrom = pos;
      while (pos < page.size() && !IsAsciiBlank(page[pos]) && page[pos] != '>') ++pos;
      value = page.substr(valueFrom, pos - valueFrom);
    }
    if (!classSeen && EqualsNoCase(name, "class")) {
      classSeen = true;
      classValue = value;
    } else if (!idSeen && EqualsNoCase(name, "id")) {
      idSeen = true;
      idValue = value;
    }
  }
  OpenTag tag;
  tag.end = std::min(pos, page.size());
  tag.ended = ended;
  if (want && ended) {
    tag.matches = (want->id.empty() || (idSeen && idValue == want->id)) &&
                  (want->classes.empty() || (classSeen && ClassesHold(classValue, want->classes)));
  }
  return tag;
}

// Where the markup that begins at `lt` (a "<") ends, read as a browser reads
// it: a comment to its "-->", a tag through its attributes (quoted values may
// hold ">" and "<"), an end tag to its ">", and a script or style element
// through its text, which is not markup. A "<" that opens none of these is
// text: one byte. Never before lt + 1.
std::size_t SkipMarkup(std::string_view page, std::size_t lt) {
  if (page.substr(lt, 4) == "<!--") {
    const std::size_t close = page.find("-->", lt + 4);
    return close == kNone ? page.size() : close + 3;
  }
  if (lt + 1 < page.size() && page[lt + 1] == '/') {
    const std::size_t close = page.find('>', lt + 2);
    return close == kNone ? page.size() : close + 1;
  }
  if (lt + 1 >= page.size() || !IsAsciiLetter(page[lt + 1])) return lt + 1;
  const std::size_t end = std::max(ReadOpenTag(page, lt, nullptr).end, lt + 1);
  for (const std::string_view raw : {std::string_view("script"), std::string_view("style")}) {
    if (!OpensElement(page, lt, raw)) continue;
    // Their text is not markup: "<div>" in a script's string opens nothing.
    for (std::size_t scan = end; scan < page.size();) {
      const std::size_t c = page.find("</", scan);
      if (c == kNone) break;
      if (ClosesElement(page, c, raw)) return c;
      scan = c + 2;
    }
    return page.size();
  }
  return end;
}

// The element a literal marker opens: the name after its "<", lower case;
// empty when the literal does not begin with a tag.
std::string LiteralElement(std::string_view literal) {
  std::string name;
  if (literal.size() < 2 || literal[0] != '<' || !IsAsciiLetter(literal[1])) return name;
  for (std::size_t i = 1; i < literal.size() && IsAsciiLetterOrDigit(literal[i]); ++i) {
    name += ToLowerAscii(literal[i]);
  }
  return name;
}

}  // namespace

bool IsElementMarker(std::string_view text) {
  std::size_t at = 0;
  if (text.empty() || !IsAsciiLetter(text[0])) return false;
  while (at < text.size() && IsAsciiLetterOrDigit(text[at])) ++at;
  if (at == text.size()) return false;  // a bare word is text to find
  while (at < text.size()) {
    if (text[at] != '.' && text[at] != '#') return false;
    const std::size_t from = ++at;
    while (at < text.size() && IsWordChar(text[at])) ++at;
    if (at == from) return false;
  }
  return true;
}

PageMarker ParsePageMarker(std::string_view text) {
  PageMarker marker;
  if (!IsElementMarker(text)) {
    marker.literal = text;
    return marker;
  }
  std::size_t at = 0;
  while (at < text.size() && IsAsciiLetterOrDigit(text[at])) {
    marker.element += ToLowerAscii(text[at]);
    ++at;
  }
  while (at < text.size()) {
    const char kind = text[at++];
    const std::size_t from = at;
    while (at < text.size() && IsWordChar(text[at])) ++at;
    const std::string word(text.substr(from, at - from));
    if (kind == '#') {
      marker.id = word;
    } else {
      marker.classes.push_back(word);
    }
  }
  return marker;
}

MarkerHit FindPageMarker(std::string_view page, const PageMarker& marker, std::size_t from) {
  if (from > page.size()) return {};
  if (marker.empty()) return {from, from};
  if (!marker.NamesElement()) {
    const std::size_t at = FindLiteral(page, marker.literal, from);
    if (at == kNone) return {};
    return {at, at + marker.literal.size()};
  }
  // Every tag is read through its attributes, so that markup quoted inside
  // an attribute value is not taken for a tag, and the page is read once.
  for (std::size_t pos = from; pos < page.size();) {
    const std::size_t lt = page.find('<', pos);
    if (lt == kNone) break;
    if (OpensElement(page, lt, marker.element)) {
      const OpenTag tag = ReadOpenTag(page, lt, &marker);
      if (tag.matches) return {lt, tag.end};
    }
    pos = SkipMarkup(page, lt);
  }
  return {};
}

std::size_t ElementContentEnd(std::string_view page, std::size_t contentBegin,
                              std::string_view element) {
  int depth = 1;
  for (std::size_t pos = contentBegin; pos < page.size();) {
    const std::size_t lt = page.find('<', pos);
    if (lt == kNone) break;
    if (ClosesElement(page, lt, element)) {
      if (--depth == 0) return lt;
    } else if (OpensElement(page, lt, element)) {
      ++depth;
    }
    pos = SkipMarkup(page, lt);
  }
  return page.size();
}

bool MarkerStandsBefore(std::string_view page, std::size_t at, const PageMarker& marker) {
  if (marker.empty()) return true;
  std::size_t end = std::min(at, page.size());
  while (end > 0 && IsAsciiBlank(page[end - 1])) --end;
  if (!marker.NamesElement()) {
    return end >= marker.literal.size() &&
           EqualsNoCase(page.substr(end - marker.literal.size(), marker.literal.size()),
                        marker.literal);
  }
  if (end == 0 || page[end - 1] != '>') return false;
  const std::size_t lt = page.rfind('<', end - 1);
  if (lt == kNone || !OpensElement(page, lt, marker.element)) return false;
  const OpenTag tag = ReadOpenTag(page, lt, &marker);
  return tag.matches && tag.end == end;
}

SkippedBlocks::SkippedBlocks(std::string_view page, const std::vector<PageMarker>& markers) {
  for (const PageMarker& marker : markers) {
    if (marker.empty()) continue;
    const std::string element =
        marker.NamesElement() ? marker.element : LiteralElement(marker.literal);
    for (std::size_t pos = 0; pos < page.size();) {
      const MarkerHit hit = FindPageMarker(page, marker, pos);
      if (!hit.found()) break;
      std::size_t end = hit.end;
      if (!element.empty()) {
        const std::size_t tagEnd =
            marker.NamesElement() ? hit.end : ReadOpenTag(page, hit.begin, nullptr).end;
        end = std::max(hit.end, ElementContentEnd(page, tagEnd, element));
      }
      ranges_.emplace_back(hit.begin, end);
      // Blocks inside this one are covered by it.
      pos = std::max(end, hit.begin + 1);
    }
  }
  std::sort(ranges_.begin(), ranges_.end());
  std::vector<std::pair<std::size_t, std::size_t>> merged;
  for (const auto& range : ranges_) {
    if (!merged.empty() && range.first <= merged.back().second) {
      merged.back().second = std::max(merged.back().second, range.second);
    } else {
      merged.push_back(range);
    }
  }
  ranges_ = std::move(merged);
}

bool SkippedBlocks::Holds(std::size_t at) {
  while (next_ < ranges_.size() && ranges_[next_].second <= at) ++next_;
  return next_ < ranges_.size() && ranges_[next_].first <= at;
}

}  // namespace trovelane
