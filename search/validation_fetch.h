// Fetching a result page to check that it is there and satisfies the search,
// and, when asked, to score its relevance.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engines/search_expression.h"
#include "net/http_url.h"
#include "search/settings.h"

namespace trovelane {

// Status text after each piece read: the connection's path and the piece's size.
inline constexpr int kScanningStatusId = 61462;
inline constexpr const char* kScanningStatusFormat = "Scanning %s...%d bytes";

// Most bytes of a page kept for scoring; the page is taken to end there.
inline constexpr std::size_t kMaxScoredPageBytes = 64 * 1024 * 1024;

// Sets up `connection` for the validation fetches and page checks it is
// going to carry: the request options they send (the ValidationRequestOptions
// of the engine whose results it checks, or none), the program's time-outs
// and address overrides. Every connection of a validation - a search's
// checks (search/result_checks.h), a plug-in's CheckRelevance, the results
// view's Validate - is set up here once, before its first fetch, so that
// what they share is decided in one place.
// With `pool`, the connection takes kept connections, TLS sessions and name
// lookups from it and gives its own back (net/connection_pool.h).
void SetUpValidationConnection(CHttpURL& connection, const RequestOptions& options,
                               const ProgramOptions& program, ConnectionPool* pool = nullptr);

// 1 when the page was fetched and satisfies the expression; in VAL+REL
// (relevanceOut given) stores the relevance. Uses `connection` afresh
// (SetURL/Open/Read/Close) with the RequestOptions it keeps
// (SetUpValidationConnection); returns 0 at once when it is cancelled.
// `expression` holds the matching state: one fetch at a time per copy.
//
// Without relevanceOut (VAL) the page is read in pieces of readChunkSize
// bytes and the expression is tested on each piece together with the one
// before, so that a term split between two reads is found; the fetch ends as
// soon as the expression holds (negated terms not waited for), and otherwise
// gives the final match with negations at the end of the page. With
// relevanceOut the whole page is read, matched and, when it matches, scored.
// An answer with an HTTP error status (400 and above) is a page that is gone:
// 0. A malformed url gives 0. The fetch keeps the time-outs of
// settings.program; a page cut short (time-out, reset, short of its
// Content-Length) gives 0 unless the expression already held on what came. `status` (may be empty)
// gets the text "Scanning PATH...N bytes" after every piece.
int ValidationFetch(CHttpURL& connection, std::string_view url, SearchExpression& expression,
                    const NetworkSettings& settings, int* relevanceOut,
                    const std::function<void(const std::string&)>& status);

// ValidationFetch without its last Close: the caller closes the connection
// once it has handed the result over, because Close may first read the rest
// of an answer that the fetch stopped reading early, to keep the connection
// for the next fetch (net/connection_pool.h).
int ValidationFetchLeavingOpen(CHttpURL& connection, std::string_view url,
                               SearchExpression& expression, const NetworkSettings& settings,
                               int* relevanceOut,
                               const std::function<void(const std::string&)>& status);

// What CheckPage found of a page.
enum class PageCheck {
  kThere,    // an answer below 400 (a redirect followed to its end)
  kGone,     // 404 or 410, the host name no longer resolves, or the connection
             // is refused (or the host unreachable)
  kUnknown,  // anything else: another error status, a time-out, TLS, a proxy
             // failure, a malformed URL, a cancel - nothing that proves it gone
};

// Whether the page at `url` is still there, asked as ValidationFetch asks
// (same request, time-outs and proxy) but reading only the answer's head.
PageCheck CheckPage(CHttpURL& connection, std::string_view url, const NetworkSettings& settings);

}  // namespace trovelane
