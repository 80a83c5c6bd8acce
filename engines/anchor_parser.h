// Reading one anchor of a result page: its link and its text.
//
// The page is raw bytes: no tag tree is built and the text is not converted.
// The href value is HTML, so its character references (&amp; &#38; &#x26;
// &lt; &gt; &quot; &#39;) are decoded, the way a browser would follow the
// link; the anchor text keeps its entities as they stand.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trovelane {

// Longest link and longest anchor text kept, in bytes. A longer (decoded)
// link is skipped: cut, it would point somewhere else. A longer anchor text
// is cut to this length.
inline constexpr std::size_t kMaxLinkLength = 1023;
inline constexpr std::size_t kMaxAnchorTextLength = 1023;

// The longest raw href value that can still decode to kMaxLinkLength bytes:
// a character reference is at most six bytes ("&quot;") for one.
inline constexpr std::size_t kMaxRawHrefLength = 6 * (kMaxLinkLength + 1);

// Reads the anchor at `pos` (where "<A" starts, any case). Returns the length
// consumed from pos, 0 when the tag has no usable href. `url` gets the href
// value with its character references decoded (&amp; &#38; &#x26; &lt; &gt;
// &quot; &#39;), `text` the anchor text as written (entities kept).
//
// Tags whose names merely begin with A (AREA, ADDRESS) are read the same way,
// and any closing tag whose name begins with A ends the anchor. The returned
// length reaches the "a" of that closing tag. Tags inside the text are
// dropped, their text kept. An anchor that is never closed gets an empty text
// and the length up to the end of the page.
std::size_t ParseAnchor(std::string_view page, std::size_t pos, std::string& url,
                        std::string& text);

// What the reads of one page have learnt about its rest, so that a page full
// of tags that never end (hostile or broken: "<a <a <a ...", "<ahref=<ahref=
// ...") is read in one pass instead of one pass per "<a". Use one per page,
// reading forward; the results are those of the plain ParseAnchor.
class AnchorPageMemo {
 public:
  // The parity of the double quotes between the first position this memo
  // was asked about and `at` (only parities of two positions are compared).
  // Asking about an earlier position starts the memo afresh.
  bool QuoteParityAt(std::string_view page, std::size_t at);
  // page.find('>', from), remembered.
  std::size_t FindTagClose(std::string_view page, std::size_t from);
  // Where an href value starting at `from` ends: the next quote of either
  // kind (quoted) or the next blank or ">" (unquoted), or the page end. A
  // value that runs on for kMaxRawHrefLength bytes is not read further: then
  // from + kMaxRawHrefLength. What was read is remembered.
  std::size_t FindValueEnd(std::string_view page, std::size_t from, bool quoted);

  // The last walk for "href" from a start of each quote parity: it started
  // at `from` and ended at `stop`, on "href" (found) or on a ">" outside
  // quotes or the end of the page (not found). A later start of the same
  // parity up to `stop` ends the same way.
  struct HrefWalk {
    std::size_t from = std::string_view::npos;
    std::size_t stop = 0;
    bool found = false;
  };
  HrefWalk hrefWalks[2];

 private:
  std::size_t parityBase_ = std::string_view::npos;
  std::size_t parityAt_ = 0;
  bool parity_ = false;
  std::size_t closeFrom_ = std::string_view::npos;  // a search from here...
  std::size_t closeAt_ = std::string_view::npos;    // ...found this (npos: none)
  struct ValueScan {
    std::size_t from = std::string_view::npos;
    std::size_t to = 0;  // read from `from` up to here
    bool ended = false;  // `to` is where the value ends
  };
  ValueScan valueScans_[2];  // unquoted, quoted
};

// As above, with the memo of the page. When the anchor was read and
// `openingTagEnd` is given, it gets the position of the ">" that ends the
// anchor's opening tag, so that page[pos, *openingTagEnd) is that tag.
std::size_t ParseAnchor(std::string_view page, std::size_t pos, std::string& url,
                        std::string& text, AnchorPageMemo& memo,
                        std::size_t* openingTagEnd = nullptr);

// Whether the opening tag `tag` (from its "<" up to, not including, its ">")
// has a class attribute that holds `word` as one of its blank-separated
// words, compared exactly, as a style sheet's ".word" selects it. Attributes
// are read the way a browser reads them: a name, and optionally "=" and a
// value in double quotes, single quotes or bare; a name without a value is
// skipped. The first class attribute counts. Linear in the tag's length.
bool TagHasClass(std::string_view tag, std::string_view word);

// The character references of an href value, decoded: the named ones amp,
// lt, gt and quot, and &#38; &#x26; (any case of x) and &#39;. Others, and an
// "&" without a known reference behind it, stay as written.
std::string DecodeHrefReferences(std::string_view value);

}  // namespace trovelane
