// Opening a tunnel through a SOCKS 5 proxy on an already connected stream.
#pragma once

#include <cstdint>
#include <string>

#include "platform/socket.h"

namespace trovelane {

enum class Socks5Result {
  kGoOn,     // the tunnel is open: the request may follow
  kRefused,  // the proxy said no (no method, bad credentials, CONNECT refused)
  kFailed,   // the stream ended, the proxy did not answer in SOCKS 5 (a wrong
             // version byte, a method that was not offered), or a name or
             // credential is too long to send
};

// Asks the proxy for a tunnel to `host`:`port` (the name goes to the proxy
// as it stands; the proxy resolves it). `credentials` is the stored Base64
// text of "user:password"; it is decoded every time and used when the proxy
// picks the user name and password method. Unless the tunnel opened,
// `why` (may be null) receives which step failed and how, for the user.
Socks5Result Socks5Negotiate(ByteStream& stream, const std::string& host, int32_t port,
                             const std::string& credentials, std::string* why = nullptr);

}  // namespace trovelane
