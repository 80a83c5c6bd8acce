// Fetching the answer to an engine's first request, as a search would ask
// for it, so that a user writing a definition can see what the engine
// really returns and how its results read. One request, no cookie pages, no
// paging: what the engine wizard's "Fetch" does.
//
// Threads: any thread. The call blocks until the answer is read, fails or
// `connection` is cancelled (CHttpURL::Cancel, from another thread).
#pragma once

#include <string>
#include <string_view>

#include "engines/engine_definition.h"
#include "net/http_url.h"
#include "platform/status.h"
#include "search/settings.h"

namespace trovelane {

struct FetchedAnswer {
  // OK when a whole answer came with a status below 400. Otherwise why not,
  // for the user: the request refused, the server unreachable, a time-out,
  // an error status (the body is then kept too), a body cut short or too
  // large, a cancel (`cancelled` set too).
  Status status;
  bool cancelled = false;
  std::string url;  // the request's URL, when one was built
  int httpStatus = 0;
  std::string body;  // at most kMaxApiAnswerBytes
};

// Asks `engine` for its first result page for the search text `query`
// (parsed with settings.search.defaultOperator between its words), with the
// engine's request options, preset cookies and time-outs and the program's
// proxy, and reads the answer. A body beyond kMaxApiAnswerBytes, more than
// any answer reader takes, is refused.
FetchedAnswer FetchFirstAnswer(CHttpURL& connection, EngineDefinition engine,
                               std::string_view query, const NetworkSettings& settings);

}  // namespace trovelane
