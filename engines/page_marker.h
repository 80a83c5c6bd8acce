// Markers: how an engine definition points at places of its result pages
// (where the result list starts and ends, the heading before each result,
// blocks whose anchors are no results, what marks a CAPTCHA page).
//
// A marker is written in one of two ways:
//   - as an element with class words and/or an id, as a style sheet names it:
//     "ul.mw-search-results", "div#results", "div.result.result--ad". It
//     stands at every opening tag of that element whose class attribute holds
//     each of the words (exact case, blank-separated) and whose id is the one
//     named, whatever the quotes, the order of the attributes and the other
//     classes;
//   - as any other text, which stands where the page holds that text, in any
//     case (ASCII), as markers always were.
// A text is an element marker when it is an element name (letters and
// digits, beginning with a letter) followed by at least one ".word" or
// "#id", words made of letters, digits, "-" and "_". HTML copied from a page
// ("<ul class=...") never has that shape, so old definitions read as before.
//
// Every search here runs forward over the page, and a page of hostile shapes
// (tags that never end, elements that never close) is read about once.
// Never throws but std::bad_alloc.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trovelane {

struct PageMarker {
  std::string literal;  // the text to find, when the marker names no element
  std::string element;  // the element's name in lower case; empty: a literal marker
  std::string id;
  std::vector<std::string> classes;

  bool NamesElement() const { return !element.empty(); }
  bool empty() const { return literal.empty() && element.empty(); }
};

// Reads a marker as written in a definition.
PageMarker ParsePageMarker(std::string_view text);

// Whether `text` reads as an element marker.
bool IsElementMarker(std::string_view text);

// Where a marker stands: a literal's bytes, or an element's opening tag from
// its "<" to just behind its ">" (the page's end when the tag never ends).
struct MarkerHit {
  std::size_t begin = std::string_view::npos;
  std::size_t end = std::string_view::npos;
  bool found() const { return begin != std::string_view::npos; }
};

// The first place at or after `from` where `marker` stands. An empty marker
// stands at `from`.
MarkerHit FindPageMarker(std::string_view page, const PageMarker& marker, std::size_t from = 0);

// The end of the element whose opening tag ends at `contentBegin` (just
// behind its ">"): where its own closing tag begins, counting the same
// elements opened inside it; comments and the text of scripts and styles are
// passed over. The page's end when it is never closed.
std::size_t ElementContentEnd(std::string_view page, std::size_t contentBegin,
                              std::string_view element);

// Whether `marker` stands right before offset `at` (an anchor's "<"), with
// only blanks between: a literal's text ends there, or the opening tag of a
// matching element does. An empty marker stands everywhere. Looks back over
// the blanks and one tag only, so a page's scan stays linear.
bool MarkerStandsBefore(std::string_view page, std::size_t at, const PageMarker& marker);

// The parts of a page inside any of the `markers`' elements, as sorted,
// disjoint [begin, end) ranges from each opening tag's "<" to the end of its
// element. A literal marker that begins with a tag ("<div class=ad") covers
// that element; another literal covers its own text only. One pass per
// marker, however the page is made.
class SkippedBlocks {
 public:
  SkippedBlocks(std::string_view page, const std::vector<PageMarker>& markers);
  // Whether `at` lies in a skipped block. Positions must be asked in rising
  // order (an anchor scan), which keeps each question constant on average.
  bool Holds(std::size_t at);
  const std::vector<std::pair<std::size_t, std::size_t>>& ranges() const { return ranges_; }

 private:
  std::vector<std::pair<std::size_t, std::size_t>> ranges_;
  std::size_t next_ = 0;
};

}  // namespace trovelane
