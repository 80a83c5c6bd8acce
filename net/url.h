// The URL half of CHttpURL: the parsed fields and the parser.
//
// Accepted forms (schemes compared without regard to case):
//   http://HOST[:PORT][PATH]              port 80 by default
//   https://HOST[:PORT][PATH]             port 443 by default
//   ftp://[USER:PASSWORD@]HOST[:PORT][PATH]   port 21; host becomes "USER:PASSWORD@HOST"
//   anything else without "ftp://"        no host, port 80, the whole text is the path
// HOST runs to the first '/' or ':' (so "http://h?q" has host "h?q"); PORT is
// 1 to 7 decimal digits, from 1 to 65535; PATH is the rest, "/" when empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace trovelane {

// Field widths: a longer value makes the URL malformed rather than cut.
inline constexpr size_t kMaxHostLength = 1023;
inline constexpr size_t kMaxPathLength = 1023;
inline constexpr size_t kMaxCredentialLength = 511;
inline constexpr size_t kMaxPortDigits = 7;
inline constexpr int32_t kMaxPort = 65535;

struct Url {
  std::string host;
  int32_t port = 80;  // 1 to 65535
  std::string path;
  bool isFtp = false;
  bool isHttps = false;
};

// Parses `text` into `*url`. InvalidArgument (with an empty message) when no
// form accepts it, when a field is longer than its width, or when the text
// holds a CR, LF or NUL (which would let a URL write its own header lines
// into a request); `*url` is then left as it was. Never throws but
// std::bad_alloc.
Status ParseUrl(std::string_view text, Url* url);

// The path as it may stand in a request line. Blanks, other control
// characters, DEL and bytes above 127 become %XX (upper-case hex); all else,
// '%' included, stays as written. A quoted phrase's blank thus reaches the
// server inside the query instead of ending the request target early, and a
// server decodes the same bytes the engine's definition put there.
std::string RequestTarget(std::string_view path);

// The port a scheme uses when the URL names none.
inline int32_t DefaultPort(const Url& url) { return url.isHttps ? 443 : url.isFtp ? 21 : 80; }

}  // namespace trovelane
