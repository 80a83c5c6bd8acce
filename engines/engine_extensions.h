// EngineExtensions: what a definition may say beyond the fields that every
// definition file has always had. Every field defaults to "as before", so an
// engine without extensions behaves, loads and saves exactly as it always did.
#pragma once

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ascii.h"

namespace trovelane {

struct EngineExtensions {
  // Request: sent with every page of this engine.
  std::string userAgent;  // empty: the program's default User-Agent
  std::vector<std::pair<std::string, std::string>> headers;
  std::string cookies;             // "name=value; name2=value2", sent from the first request on
  bool http11 = false;             // HTTP/1.1 with Connection: close
  bool acceptCompression = false;  // gzip and deflate
  int connectTimeoutSeconds = 0;   // 0: the program's; otherwise the shorter of the two
  int readTimeoutSeconds = 0;
  // The first page is asked for without the result position parameter (an
  // engine that takes "s=1" on its first page for a robot's request).
  bool positionFromSecondPage = false;

  // Result page: which anchors are results. The list markers, the heading
  // and the skipped blocks are markers (engines/page_marker.h): literal text
  // of the page, or an element by name and class words, "ul.mw-search-results".
  std::string resultClass;      // an anchor is a result only when its class holds this word
  std::string resultListStart;  // results lie between these two markers of the page
  std::string resultListEnd;
  // An anchor is a result only when this marker stands right before it,
  // blanks between (the heading that opens each result of an encyclopedia's
  // list).
  std::string resultAnchorAfter;
  // Anchors inside these elements are never results (advertisements,
  // sitelinks, carousels).
  std::vector<std::string> skippedBlocks;
  std::string redirectParameter;  // the real URL is this query parameter of a redirect link
  bool anyFileType = false;       // accept ordinary web addresses, not only listed file types
  // Results are the engine's own pages, linked without a host (an
  // encyclopedia's articles): such links are results too, where an "any file
  // type" engine otherwise takes them for its own help and settings pages.
  bool ownPages = false;

  // Blocks: a page holding any of these markers is a CAPTCHA page, and so is
  // an answer with any of these header lines ("name" or "name: value"; the
  // name in any case, the value holding the text named, in any case).
  std::vector<std::string> blockMarkers;
  std::vector<std::string> blockHeaders;

  // Result format: how the answer to a search is read (engines/api_results.h).
  // Empty or "html": the anchors of an HTML page by the rules above; "json":
  // a JSON answer read by the paths below; "feed": an RSS or Atom feed whose
  // items are the results. Kept as written, so that a file names it as it
  // did; ResultFormatOf tells which it is.
  std::string format;
  // JSON answers: the path of the list of results (empty: the answer itself
  // is the list), and within each result the paths of its title and
  // snippet and the alternatives for its URL (paths or templates holding
  // "{path}" fields, separated by "||"; docs/engine_file.md).
  std::string jsonResults;
  std::string jsonUrl;
  std::string jsonTitle;
  std::string jsonSnippet;

  // Rank: the engine's weight in the merged rank order, a factor on the
  // score of every result it finds (0 < weight; 1 is neutral).
  double weight = 1;

  bool operator==(const EngineExtensions&) const = default;
  bool empty() const { return *this == EngineExtensions{}; }
};

enum class ResultFormat { kHtml, kJson, kFeed, kUnknown };

// The format `web.format` names, in any case and blanks around it allowed;
// kUnknown for a name this program does not know (a later program's), which
// a search refuses rather than reading the answer by the wrong rules.
inline ResultFormat ResultFormatOf(const EngineExtensions& web) {
  const std::string_view name = TrimBlanks(web.format);
  if (name.empty() || EqualsNoCase(name, "html")) return ResultFormat::kHtml;
  if (EqualsNoCase(name, "json")) return ResultFormat::kJson;
  if (EqualsNoCase(name, "feed")) return ResultFormat::kFeed;
  return ResultFormat::kUnknown;
}

// The largest weight or rank factor taken.
inline constexpr double kMaxWeight = 1000;

// A weight or rank factor as written ("2", "0.5", blanks around it allowed):
// a finite number above 0 and at most kMaxWeight, in the C notation whatever
// the locale. None for anything else.
inline std::optional<double> ParseWeight(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value) || value <= 0 || value > kMaxWeight) return std::nullopt;
  return value;
}

}  // namespace trovelane
