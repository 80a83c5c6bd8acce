// Reading the results of an engine that answers with JSON or with an RSS or
// Atom feed instead of an HTML page (EngineExtensions::format; the keys and
// their syntax are docs/engine_file.md). Each reader gives the results of one
// answer in the order the answer lists them; what a search does with them
// (link rules, duplicates, the limit, validation) is the same as for the
// anchors of an HTML page.
//
// Answers are hostile input: every reader bounds the answer's size, its
// nesting and the number of results, never expands an XML entity or loads
// anything from outside, and never throws (std::bad_alloc is reported as an
// answer too large). Plain functions of their arguments, for any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_definition.h"
#include "platform/status.h"

namespace trovelane {

// One result of an answer. `url` is as the answer gives it (ReadApiResults
// makes it absolute); `title` and `snippet` are plain text, markup dropped
// and character references decoded; either may be empty.
struct ApiResult {
  std::string url;
  std::string title;
  std::string snippet;

  bool operator==(const ApiResult&) const = default;
};

// The largest answer read, and the other bounds of the readers.
inline constexpr size_t kMaxApiAnswerBytes = 8 * 1024 * 1024;
inline constexpr int kMaxJsonDepth = 64;
inline constexpr size_t kMaxJsonValues = 250000;
inline constexpr int kMaxFeedDepth = 256;
inline constexpr size_t kMaxApiResults = 1000;
inline constexpr size_t kMaxApiSnippetLength = 2047;

// Reads a JSON answer by the paths of `web` (jsonResults, jsonUrl,
// jsonTitle, jsonSnippet) and appends its results to `out`. Results without
// a URL are skipped; a result without a title gets none here. OK, also for
// an empty list. kCorruption, saying why for the user and appending nothing,
// when the answer is too large, nested too deep, not JSON, when the results
// path names nothing or no array, or when the list holds results and none of
// them has a URL by jsonUrl.
Status ReadJsonResults(std::string_view body, const EngineExtensions& web,
                       std::vector<ApiResult>& out);

// Reads an RSS 0.9x/2.0, RSS 1.0 (RDF) or Atom feed and appends one result
// per item or entry that has a link. kCorruption, saying why and appending
// nothing, when the answer is too large, not well-formed XML, nested too
// deep, declares entities in its document type, or is no feed.
Status ReadFeedResults(std::string_view body, std::vector<ApiResult>& out);

// Reads an answer of `engine` by its format: JSON or feed as above, each URL
// made absolute against the engine's search URL (and skipped when that
// leaves it empty), each untitled result titled with its URL. kInvalidArgument
// for an HTML engine (its pages are scanned for anchors, not read here) and
// for a format this program does not know.
Status ReadApiResults(const EngineDefinition& engine, std::string_view body,
                      std::vector<ApiResult>& out);

// Markup reduced to plain text, as titles and snippets are: tags dropped,
// character references decoded, blanks run together and trimmed.
std::string MarkupToText(std::string_view markup);

}  // namespace trovelane
