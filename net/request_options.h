// RequestOptions: what a request may carry beyond its URL, method and cookies.
// Engines of today's web ask for these; a request made without them is the
// plain HTTP/1.0 request the program always sent.
//
// A CHttpURL keeps the options given to SetRequestOptions until the next
// SetRequestOptions (SetURL does not reset them), so one object can follow an
// engine's pages with the same headers. Plain data: copy freely.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace trovelane {

struct RequestOptions {
  // The User-Agent line; empty means the caller's (or the program's) default.
  std::string userAgent;
  // Further header lines, sent in this order after the program's own; a name
  // that the program already sends (Host, Cookie, Referer...) is not sent twice.
  std::vector<std::pair<std::string, std::string>> extraHeaders;
  // Send "HTTP/1.1" with "Connection: close" instead of HTTP/1.0, and decode
  // a chunked body.
  bool http11 = false;
  // Send "Accept-Encoding: gzip, deflate" and inflate a body that comes back
  // compressed.
  bool acceptCompression = false;

  bool operator==(const RequestOptions&) const = default;
};

}  // namespace trovelane
