// EngineExtensions: what a definition may say beyond the fields that every
// definition file has always had. Every field defaults to "as before", so an
// engine without extensions behaves, loads and saves exactly as it always did.
#pragma once

#include <string>
#include <utility>
#include <vector>

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

  // Result page: which anchors are results.
  std::string resultClass;      // an anchor is a result only when its class holds this word
  std::string resultListStart;  // results lie between these two texts of the page
  std::string resultListEnd;
  // An anchor is a result only when this text stands right before it, blanks
  // between (the heading that opens each result of an encyclopedia's list).
  std::string resultAnchorAfter;
  std::string redirectParameter;  // the real URL is this query parameter of a redirect link
  bool anyFileType = false;       // accept ordinary web addresses, not only listed file types
  // Results are the engine's own pages, linked without a host (an
  // encyclopedia's articles): such links are results too, where an "any file
  // type" engine otherwise takes them for its own help and settings pages.
  bool ownPages = false;

  // Blocks: a page holding any of these texts is a CAPTCHA page.
  std::vector<std::string> blockMarkers;

  bool operator==(const EngineExtensions&) const = default;
  bool empty() const { return *this == EngineExtensions{}; }
};

}  // namespace trovelane
