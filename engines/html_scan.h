// Small scanners over raw page text: a case-insensitive search, the start of
// an INPUT tag, one name=value attribute inside a tag, and the text between a
// tag and its closing tag.
//
// Page text is handled as bytes: no entity is decoded and no character set is
// converted. Only the ASCII letters fold case; every other byte compares
// exactly. The end of the view is the end of the text; a NUL byte inside it
// is an ordinary byte. The routines keep no state and never fail on malformed
// or truncated HTML.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/ascii.h"

namespace trovelane {

// Returned by FindNoCase when the pattern does not occur.
inline constexpr std::size_t kNotFound = std::string_view::npos;

// Position of the first occurrence of pattern in text, ASCII letters compared
// without regard to case, or kNotFound. An empty pattern is found at 0, also
// in an empty text.
std::size_t FindNoCase(std::string_view text, std::string_view pattern);

// When `at` begins with "<", optional whitespace and the letters "INPUT" in
// any case: the number of bytes up to just after "INPUT". Otherwise 0. What
// follows "INPUT" is not checked.
std::size_t IsInputTag(std::string_view at);

// Reads one name=value attribute at the start of `at` (leading whitespace is
// skipped). Returns the number of bytes consumed, or 0 when no attribute could
// be read: at the end of the text, at a bare attribute without "=", and when
// the text ends inside the value. A value in double quotes runs to the next
// double quote or ">"; an unquoted one to whitespace, a double quote or ">".
// A double quote that ends the value is consumed. Single quotes are ordinary
// characters. Name and value are kept whole, whatever their length, and are
// set only when an attribute was read.
std::size_t ParseTagAttribute(std::string_view at, std::string& name, std::string& value);

// The position of the ">" that ends the tag starting at `at`: the first one
// outside double quotes. kNotFound when there is none.
std::size_t FindTagEnd(std::string_view at);

// The text between the tag that starts at `at` (its "<") and the first
// "</"+tagName after it (case-insensitive, so "</B" also ends at "</BODY").
// The tag ends at the first ">" outside double quotes. None when the tag has
// no ">" or no closing tag. The view points into `at`.
std::optional<std::string_view> GetInnerText(std::string_view at, std::string_view tagName);

// Remembered forward searches over one page. Scans that begin a read at every
// "<TAG" of the page (tag terms, the form harvest, FONT elements) ask for the
// same far stop again and again on a page of tags that never end ("<INPUTx"
// repeated, where an attribute name runs to the end of the page); with a
// memo each search from a position between the last start and its answer is
// answered at once, so the whole scan stays one pass while the positions
// asked for rise. Answers are those of the plain searches. One memo per page
// and thread; `page` must outlive it.
class PageScanMemo {
 public:
  explicit PageScanMemo(std::string_view page) : page_(page) {}
  std::string_view page() const { return page_; }

  // The byte classes a tag attribute's reading stops at.
  enum Stop { kNameEnd, kNonBlank, kQuotedValueEnd, kValueEnd, kStopCount };
  // The first position at or after `from` whose byte is in the class, or
  // the page size when there is none.
  std::size_t Next(Stop stop, std::size_t from);
  // The position of the ">" that ends the tag starting at `at`, as
  // FindTagEnd gives it (the first ">" outside double quotes), counted from
  // the page start; kNotFound when there is none.
  std::size_t TagEnd(std::size_t at);

 private:
  bool QuoteParityAt(std::size_t at);

  std::string_view page_;
  struct Remembered {
    std::size_t from = kNotFound;  // a search from here...
    std::size_t found = 0;         // ...stopped here
  };
  Remembered stops_[kStopCount];
  Remembered tagEnds_[2];  // by the parity of the double quotes before the start
  std::size_t parityAt_ = 0;
  bool parity_ = false;
};

// The first occurrence of a term at or after a position of one text. The
// last answer is remembered: it holds for every later position up to it, so
// while the positions asked for rise the text is searched about once.
class OccurrenceFinder {
 public:
  OccurrenceFinder(std::string_view text, std::string term)
      : text_(text), term_(std::move(term)) {}

  std::size_t From(std::size_t at) {
    if (!(searchedFrom_ != kNotFound && at >= searchedFrom_ && at <= found_)) {
      const std::size_t hit = at > text_.size() ? kNotFound : FindNoCase(text_.substr(at), term_);
      searchedFrom_ = at;
      found_ = hit == kNotFound ? kNotFound : at + hit;
    }
    return found_;
  }

  // The first occurrence inside [begin, end), or kNotFound. Occurrences have
  // one length, so when the first one from begin runs past end, none fits.
  std::size_t Within(std::size_t begin, std::size_t end) {
    const std::size_t pos = From(begin);
    return pos != kNotFound && pos + term_.size() <= end ? pos : kNotFound;
  }

  std::size_t TermSize() const { return term_.size(); }

 private:
  std::string_view text_;
  std::string term_;
  std::size_t searchedFrom_ = kNotFound;
  std::size_t found_ = kNotFound;
};

// ParseTagAttribute at position `from` of `text`, with name and value as
// views into `text`. A memo over the same text makes repeated reads cheap.
std::size_t ReadTagAttribute(std::string_view text, std::size_t from, std::string_view& name,
                             std::string_view& value, PageScanMemo* memo = nullptr);

// Calls visit(name, value) for each attribute of a tag from `from` on, until
// one is not readable (ParseTagAttribute gives 0), the tag ends (a ">" or "<"
// where the next name would begin, so text after the tag is never taken for
// its attributes) or visit returns true; returns whether one did. Name and
// value are string views into `text`. `end`, when given, gets the position
// just behind the last attribute read. `memo`, when given, is over `text`.
template <typename Visit>
bool AnyTagAttribute(std::string_view text, std::size_t from, Visit visit,
                     std::size_t* end = nullptr, PageScanMemo* memo = nullptr) {
  std::string_view name;
  std::string_view value;
  std::size_t pos = from;
  bool stopped = false;
  for (;;) {
    std::size_t next = pos;
    if (memo) {
      next = memo->Next(PageScanMemo::kNonBlank, pos);
    } else {
      while (next < text.size() && IsAsciiBlank(text[next])) ++next;
    }
    if (next < text.size() && (text[next] == '>' || text[next] == '<')) break;
    const std::size_t used = ReadTagAttribute(text, next, name, value, memo);
    if (used == 0) break;
    pos = next + used;
    if (visit(name, value)) {
      stopped = true;
      break;
    }
  }
  if (end) *end = pos;
  return stopped;
}

}  // namespace trovelane
