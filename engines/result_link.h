// Turning a link found on a result page into a candidate result: making it
// absolute, and the engine's own link rules (skip lists, file types, link
// type). What a search does with a link that passes them - the duplicate
// filter, validation - is search/accept_link.h.
#pragma once

#include <string>
#include <string_view>

#include "engines/engine_definition.h"

namespace trovelane {

// Rewrites `link` in place to an absolute link against searchUrl (http, https
// and ftp kept). A link that begins with "http://", "https://" or "ftp://"
// (any case) stays as it is; any other is joined to the scheme, host and port
// of searchUrl (the port only when it is not the scheme's default), with a
// "/" between when the link does not begin with one. Relative links resolve
// against the root of the host, not the directory of searchUrl. When
// searchUrl is malformed the link becomes empty, which every later test
// rejects. Never throws.
void MakeAbsoluteLink(std::string_view searchUrl, std::string& link);

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
// searched. A malformed URL is kRejected. Throws only std::bad_alloc.
LinkVerdict ApplyLinkRules(const EngineDefinition& engine, const std::string& url);

}  // namespace trovelane
