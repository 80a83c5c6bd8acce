#include "search/answer_fetch.h"

#include <optional>
#include <vector>

#include "engines/api_results.h"
#include "engines/search_expression.h"
#include "search/engine_loop.h"
#include "search/request_builder.h"
#include "search/search_text.h"

namespace trovelane {
namespace {

// Why Open found no answer, for the user.
std::string OpenFailureText(const CHttpURL& connection, const NetworkSettings& settings) {
  const std::string server = connection.GetHost() + ":" + std::to_string(connection.GetPort());
  const std::string where = settings.proxy.enabled ? "the proxy" : server;
  switch (connection.GetFailure()) {
    case OpenFailure::kResolve:
      return "The name of " + where + " does not resolve.";
    case OpenFailure::kConnect:
      return "Cannot connect to " + where + ".";
    case OpenFailure::kProxy:
      return "The proxy failed for " + server + ".";
    case OpenFailure::kTls:
      return "TLS with " + server + " failed.";
    case OpenFailure::kTimedOut:
      return "Timed out: " + where + " did not answer in time.";
    case OpenFailure::kHeadTooLarge:
      return "The answer's head is too large.";
    case OpenFailure::kInsecureRedirect:
      return "The engine redirected from https to http.";
    case OpenFailure::kNotHttp:
      return "The search URL is not an HTTP address.";
    case OpenFailure::kMalformedRedirect:
      return "The engine redirected to a malformed address.";
    case OpenFailure::kCancelled:
      return "Cancelled.";
    case OpenFailure::kNone:
      break;
  }
  return "No answer from " + server + ".";
}

FetchedAnswer Failed(FetchedAnswer answer, Status status) {
  answer.status = std::move(status);
  return answer;
}

}  // namespace

FetchedAnswer FetchFirstAnswer(CHttpURL& connection, EngineDefinition engine,
                               std::string_view query, const NetworkSettings& settings) {
  FetchedAnswer answer;
  if (Status address = FillInstanceAddress(engine, settings.program); !address.ok()) {
    return Failed(std::move(answer), address);
  }
  std::optional<SearchExpression> expression =
      ParseExpression(NormalizeSearchText(query, settings.search.defaultOperator));
  if (!expression) {
    return Failed(std::move(answer),
                  Status::InvalidArgument("The test query is not a valid search expression."));
  }
  EngineRequest request = BuildRequest(engine, *expression, IterationValue(engine, 0));
  if (!request.ok()) return Failed(std::move(answer), request.status);
  answer.url = request.url;

  connection.Close();
  connection.SetRequestOptions(EngineRequestOptions(engine, settings.program));
  connection.SetTimeouts(EngineTimeouts(settings.program, engine.web));
  if (!connection.SetURL(request.url, engine.method == POST).ok()) {
    return Failed(std::move(answer),
                  Status::InvalidArgument("The search URL is malformed: " + request.url));
  }
  if (!engine.web.cookies.empty()) connection.cookieToSend = engine.web.cookies.c_str();
  const char* body = engine.method == POST ? request.body.c_str() : nullptr;
  if (!connection.Open(settings.program.userAgent.c_str(), engine.referer.c_str(), body,
                       &settings.proxy)) {
    answer.cancelled = connection.GetFailure() == OpenFailure::kCancelled;
    return Failed(std::move(answer), Status::IoError(OpenFailureText(connection, settings)));
  }
  connection.cookieToSend = nullptr;
  if (!connection.HasStatusLine()) {
    connection.Close();
    return Failed(std::move(answer), Status::IoError("The server closed without an answer."));
  }
  answer.httpStatus = connection.GetStatus();

  std::vector<char> buffer(kPageReadSize);
  bool tooLarge = false;
  for (;;) {
    const int n = connection.Read(buffer.data(), kPageReadSize);
    if (n < 1) break;
    if (static_cast<size_t>(n) > kMaxApiAnswerBytes - answer.body.size()) {
      tooLarge = true;
      break;
    }
    answer.body.append(buffer.data(), static_cast<size_t>(n));
  }
  const ReadFailure readFailure = connection.GetReadFailure();
  connection.Close();
  if (tooLarge || readFailure == ReadFailure::kTooLarge) {
    answer.body.clear();
    return Failed(std::move(answer), Status::Corruption("The answer is larger than " +
                                                        std::to_string(kMaxApiAnswerBytes) +
                                                        " bytes, more than is read."));
  }
  if (readFailure == ReadFailure::kCancelled) {
    answer.cancelled = true;
    return Failed(std::move(answer), Status::IoError("Cancelled."));
  }
  if (readFailure == ReadFailure::kTimedOut) {
    return Failed(std::move(answer), Status::IoError("Timed out while the answer came."));
  }
  if (readFailure != ReadFailure::kNone) {
    return Failed(std::move(answer), Status::IoError("The answer was cut short."));
  }
  if (answer.httpStatus >= 400) {
    return Failed(std::move(answer), Status::IoError("The server answered HTTP " +
                                                     std::to_string(answer.httpStatus) + "."));
  }
  return answer;
}

}  // namespace trovelane
