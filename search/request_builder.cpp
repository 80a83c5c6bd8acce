#include "search/request_builder.h"

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ascii.h"

#include "search/search_text.h"

namespace trovelane {
namespace {

std::string Pair(const std::string& name, const std::string& value) { return name + "=" + value; }

// A value taken from the previous result page: sent only after the first page.
std::string FromPreviousPage(const EngineParameter& p, int iterationValue) {
  return iterationValue != 0 && p.found ? Pair(p.name, p.currentValue) : "";
}

std::string Piece(const EngineParameter& p, const EngineDefinition& engine,
                  const SearchExpression& expression, int iterationValue) {
  switch (p.roleCode) {
    case SEARCH_TEXT:
      return SearchTextParameter(expression, engine);
    case RESULT_POSITION:
      if (engine.iterationTechnique == AUTO_1) return FromPreviousPage(p, iterationValue);
      if (engine.iterationTechnique == AUTO_2) return "";
      if (engine.web.positionFromSecondPage && iterationValue == IterationValue(engine, 0)) {
        return "";
      }
      return Pair(p.name, std::to_string(iterationValue));
    case FIXED:
      if (p.defaultValue == kFromPageMarker) return FromPreviousPage(p, iterationValue);
      return Pair(p.name, p.defaultValue);
    default:
      return "";  // a role this program does not know sends nothing
  }
}

}  // namespace

int PageOffset(const EngineDefinition& engine, int pageIndex) {
  const long long offset = static_cast<long long>(pageIndex) * engine.resultsPerPage;
  return static_cast<int>(std::clamp<long long>(offset, INT_MIN, INT_MAX));
}

int IterationValue(const EngineDefinition& engine, int pageIndex) {
  // Both factors are ints, so no product or sum below leaves long long.
  long long k = pageIndex;
  long long offset = k * engine.resultsPerPage;
  long long value = offset;
  switch (engine.iterationTechnique) {
    case RESULT_PLUS_1:
      value = offset + 1;
      break;
    case RELATIVE_0:
      value = k;
      break;
    case RELATIVE_1:
      value = k + 1;
      break;
    default:
      break;
  }
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

std::string SearchTextParameter(const SearchExpression& expression,
                                const EngineDefinition& engine) {
  const ExpressionNode& root = expression.Root();
  std::string text = engine.useBoolean
                         ? RenderWithOperators(root, engine.andOperator, engine.orOperator,
                                               engine.notOperator, engine.exactOperator)
                         : RenderPlain(root, " ");
  return text.empty() ? "" : Pair(engine.searchTextId, text);
}

EngineRequest BuildRequest(const EngineDefinition& engine, const SearchExpression& expression,
                           int iterationValue) {
  const bool post = engine.method != GET;
  std::string query = post ? "" : engine.searchUrl + "?";
  for (size_t i = 0; i < engine.parameters.size(); ++i) {
    std::string piece = Piece(engine.parameters[i], engine, expression, iterationValue);
    if (i > 0 && !piece.empty()) query += engine.separator;
    query += piece;
  }
  EngineRequest request;
  if (post) {
    request.url = engine.searchUrl;
    request.body = std::move(query);
  } else {
    request.url = std::move(query);
  }
  size_t longest = std::max(request.url.size(), request.body.size());
  if (longest > kMaxRequestLength) {
    request = {};
    request.status = Status::InvalidArgument(
        "The request for " + engine.name + " is " + std::to_string(longest) +
        " characters long, more than the " + std::to_string(kMaxRequestLength) +
        " that can be sent; the engine was left out.");
  }
  return request;
}

Status FillInstanceAddress(EngineDefinition& engine, const ProgramOptions& program) {
  const size_t at = engine.searchUrl.find(kSearxngPlaceholder);
  if (at == std::string::npos) return Status::Ok();
  std::string_view address = program.searxng;
  while (!address.empty() && address.back() == '/') address.remove_suffix(1);
  if (address.empty()) {
    return Status::InvalidArgument(
        "no SearXNG instance is set (trovelane-cli settings set searxng https://HOST)");
  }
  engine.searchUrl.replace(at, kSearxngPlaceholder.size(), address);
  return Status::Ok();
}

RequestOptions EngineRequestOptions(const EngineDefinition& engine, const ProgramOptions& program) {
  RequestOptions options = ValidationRequestOptions(engine, program);
  options.extraHeaders = engine.web.headers;
  return options;
}

RequestOptions ValidationRequestOptions(const EngineDefinition& engine,
                                        const ProgramOptions& program) {
  RequestOptions options;
  options.userAgent = engine.web.userAgent;
  static constexpr std::string_view kContact = "{contact}";
  if (const size_t at = options.userAgent.find(kContact); at != std::string::npos) {
    options.userAgent.replace(at, kContact.size(), program.contact);
  }
  options.http11 = engine.web.http11;
  options.acceptCompression = engine.web.acceptCompression;
  return options;
}

ProgramOptions EngineTimeouts(const ProgramOptions& program, const EngineExtensions& web) {
  auto shorter = [](int32_t programSeconds, int engineSeconds) {
    if (engineSeconds <= 0) return programSeconds;
    return programSeconds <= 0 ? engineSeconds : std::min(programSeconds, engineSeconds);
  };
  ProgramOptions options = program;
  options.connectTimeoutSeconds = shorter(program.connectTimeoutSeconds, web.connectTimeoutSeconds);
  options.readTimeoutSeconds = shorter(program.readTimeoutSeconds, web.readTimeoutSeconds);
  return options;
}

std::string MergeCookies(std::string_view preset, std::string_view received) {
  if (preset.empty()) return std::string(received);
  if (received.empty()) return std::string(preset);
  // The pairs in order of first appearance; a later pair of a known name
  // takes the earlier one's place.
  std::vector<std::string_view> pairs;
  std::unordered_map<std::string_view, size_t> byName;
  auto add = [&pairs, &byName](std::string_view text) {
    for (size_t from = 0; from <= text.size();) {
      const size_t semicolon = std::min(text.find(';', from), text.size());
      std::string_view pair = text.substr(from, semicolon - from);
      while (!pair.empty() && IsAsciiBlank(pair.front())) pair.remove_prefix(1);
      while (!pair.empty() && IsAsciiBlank(pair.back())) pair.remove_suffix(1);
      from = semicolon + 1;
      if (pair.empty()) continue;
      const std::string_view name = pair.substr(0, pair.find('='));
      const auto [known, added] = byName.try_emplace(name, pairs.size());
      if (added) {
        pairs.push_back(pair);
      } else {
        pairs[known->second] = pair;
      }
    }
  };
  add(preset);
  add(received);
  std::string merged;
  for (std::string_view pair : pairs) {
    if (!merged.empty()) merged += "; ";
    merged += pair;
  }
  return merged;
}

}  // namespace trovelane
