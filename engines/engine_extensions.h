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
  std::string cookies;  // "name=value; name2=value2", sent from the first request on
  bool http11 = false;             // HTTP/1.1 with Connection: close
  bool acceptCompression = false;  // gzip and deflate
  int connectTimeoutSeconds = 0;   // 0: the program's; otherwise the shorter of the two
  int readTimeoutSeconds = 0;

  // Result page: which anchors are results.
  std::string resultClass;       // an anchor is a result only when its class holds this word
  std::string resultListStart;   // results lie between these two texts of the page
  std::string resultListEnd;
  std::string redirectParameter;  // the real URL is this query parameter of a redirect link
  bool anyFileType = false;       // accept ordinary web addresses, not only listed file types

  // Blocks: a page holding any of these texts is a CAPTCHA page.
  std::vector<std::string> blockMarkers;

  bool operator==(const EngineExtensions&) const = default;
  bool empty() const { return *this == EngineExtensions{}; }
};

}  // namespace trovelane
