// Turning a link found on a result page into a candidate result: making it
// absolute, and the engine's own link rules (skip lists, file types, link
// type). What a search does with a link that passes them - the duplicate
// filter, validation - is search/accept_link.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engines/engine_definition.h"

namespace trovelane {

// Rewrites `link` in place to an absolute link against searchUrl (http, https
// and ftp kept). A link that begins with "http://", "https://" or "ftp://"
// (any case) stays as it is; a protocol-relative one ("//host/path") gets the
// scheme of searchUrl, as a browser gives it; any other is joined to the scheme, host and port
// of searchUrl (the port only when it is not the scheme's default), with a
// "/" between when the link does not begin with one. Relative links resolve
// against the root of the host, not the directory of searchUrl. When
// searchUrl is malformed the link becomes empty, which every later test
// rejects. Never throws.
void MakeAbsoluteLink(std::string_view searchUrl, std::string& link);

// Whether a link as written on a page names its host: it begins with
// "http://", "https://" or "ftp://" (any case) or is protocol-relative
// ("//host..."). A relative link points into the engine's own site.
bool LinkNamesHost(std::string_view link);

// The part of a result page where an engine's results lie, [begin, end):
// after the first resultListStart up to the first resultListEnd after it, or
// the end of the page when there is none. Both are markers
// (engines/page_marker.h): literal text found in any case, or an element
// such as "ul.mw-search-results", whose opening tag the list follows. A start
// element without an end marker holds the list: it ends where that element
// is closed. An empty start marker begins at the top of the page, an empty
// end marker runs to its end. A page without the start marker has no result
// list: begin == end == page size. Linear in the page.
struct ResultList {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool Holds(std::size_t at) const { return at >= begin && at < end; }
};
ResultList FindResultList(std::string_view page, const EngineExtensions& web);

// The percent-decoding of a URL component: "%XX" (hex, any case) becomes its
// byte; a "%" without two hex digits, and "+", stay as written.
std::string PercentDecode(std::string_view text);

enum class RedirectLink {
  kNotRedirect,  // the link has no such query parameter: it stands as it is
  kUnwrapped,    // `link` now holds the address the parameter named
  kRefused,      // the parameter names no web address: the link is no result
};

// When the query of `link` has a pair named `parameter` (the first such pair;
// pairs split at "&"), replaces `link` by its percent-decoded value. The
// value must be a web address: beginning with "http://" or "https://" (any
// case) or protocol-relative "//", with no blank or control character and
// at most kMaxLinkLength bytes; else kRefused and `link` is left as it was.
RedirectLink UnwrapRedirectLink(std::string& link, std::string_view parameter);

// What the rules of an engine say about one absolute link.
enum class LinkVerdict {
  kRejected,     // a skipped URL or domain, no path or host, not the indirect link name
  kNotSearched,  // passes the skip tests but is neither a searched nor an auto-add type
  kAutoAdd,      // to be accepted without validation
  kSearched,     // a page of a searched type: accepted, or validated when the search validates
};

// Applies the engine's rules to `url`, in this order: the URL skip list
// (whole URL, any case); a URL without path or host; the link type
// (indirect: the URL must contain indirectLinkName, case-sensitive; direct:
// the host must not contain a skipped domain, any case); then the file type.
// A direct link not of a searched type is kAutoAdd when its extension is an
// auto-add type, else kNotSearched; an indirect link of an engine without
// searched types is kAutoAdd.
//
// The extension is the text after the last "." of the path's last "/"
// segment ("htm" when it has no "."); a path ending in "/" counts as
// searched. An engine with web.anyFileType takes a direct link of any other
// type that is not an auto-add type as kSearched: its results are ordinary
// web addresses, whatever their path ends in. A malformed URL is kRejected.
// Throws only std::bad_alloc.
LinkVerdict ApplyLinkRules(const EngineDefinition& engine, const std::string& url);

}  // namespace trovelane
