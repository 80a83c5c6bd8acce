// The request an engine definition receives for one result page: the URL and,
// for POST, the body, assembled from the engine's parameters in order; and
// what every request of the engine carries beyond it (its extensions:
// request options, preset cookies, time-outs). Plain functions of their
// arguments, for any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engines/engine_definition.h"
#include "engines/search_expression.h"
#include "net/connection_settings.h"
#include "net/request_options.h"
#include "platform/status.h"

namespace trovelane {

// The longest request URL and POST body that is sent. A longer one is
// refused whole rather than cut, since a cut query asks something else.
inline constexpr size_t kMaxRequestLength = 1023;

struct EngineRequest {
  std::string url;
  std::string body;  // POST only
  // kInvalidArgument, saying why for the user, when the request was refused;
  // url and body are then empty.
  Status status;
  bool ok() const { return status.ok(); }
};

// The number the RESULT_POSITION parameter carries on result page
// `pageIndex` (0 for the first request): with p = resultsPerPage, k * p for
// "Result + 0", k * p + 1 for "Result + 1", k for "0 Relative(Loop)", k + 1
// for "1 Relative(Loop)", and the page offset k * p for the Auto techniques
// (where it only tells the first page from later ones).
// Computed without overflow and clamped to the range of int. The search
// and `trovelane-cli request --page` both use it.
int IterationValue(const EngineDefinition& engine, int pageIndex);

// The offset of result page `pageIndex`: pageIndex * resultsPerPage, clamped
// to the range of int (the results the engine is taken to have produced
// before that page).
int PageOffset(const EngineDefinition& engine, int pageIndex);

// searchTextId=text, with the expression rendered in the engine's own
// spellings when useBoolean is set and as its words joined by blanks
// otherwise; empty when the expression has nothing to send.
std::string SearchTextParameter(const SearchExpression& expression, const EngineDefinition& engine);

// The request for the page whose iteration value is `iterationValue`. For
// GET the URL is searchUrl, "?" and the query; for POST the URL is searchUrl
// and the query is the body. Pieces are joined by the engine's separator; an
// empty piece is left out with its separator (the first piece never has
// one). A FIXED parameter whose default is the from-page marker, and the
// position of "Auto 1", are sent only after the first page and only when
// their value was found on the page before; "Auto 2" never sends the
// position. A URL or body longer than kMaxRequestLength is refused.
EngineRequest BuildRequest(const EngineDefinition& engine, const SearchExpression& expression,
                           int iterationValue);

// The text of a search URL that stands for the address of the user's
// SearXNG instance.
inline constexpr std::string_view kSearxngPlaceholder = "{searxng}";

// Fills the program's SearXNG address into an engine's search URL that
// holds kSearxngPlaceholder (a trailing "/" of the address dropped). OK when
// there is nothing to fill or it was filled; kInvalidArgument, saying what to
// do, when the URL asks for the address and none is set.
Status FillInstanceAddress(EngineDefinition& engine, const ProgramOptions& program);

// What the requests of the engine's own server carry (result pages and
// cookie pages): its User-Agent (empty: the program's; "{contact}" in it
// becomes the program's contact address), its extra headers, HTTP/1.1 and
// compression as its definition asks.
RequestOptions EngineRequestOptions(const EngineDefinition& engine, const ProgramOptions& program);

// What a validation fetch of one of the engine's results carries: the
// engine's User-Agent, HTTP/1.1 and compression, but none of its headers
// (they were written for the engine's server, such as a Referer naming it,
// and are not for the sites of its results).
RequestOptions ValidationRequestOptions(const EngineDefinition& engine,
                                        const ProgramOptions& program);

// The program's options with the engine's time-outs in force: for each of
// the connect and read time-outs, the engine's when it sets one (above 0)
// and the program has none (0) or a longer one; otherwise the program's.
ProgramOptions EngineTimeouts(const ProgramOptions& program, const EngineExtensions& web);

// The Cookie text of a request: the engine's preset cookies with the cookies
// its server set (`received`, the "a=1;b=2" a connection's cookie sink
// gathers) laid over them, a received cookie replacing a preset one of the
// same name. Either text alone is returned as it stands; together they are
// joined as "name=value" pairs with "; ". Empty pairs are dropped.
std::string MergeCookies(std::string_view preset, std::string_view received);

}  // namespace trovelane
