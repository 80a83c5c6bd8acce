// The two ways a request reaches its server through an HTTP ("CERN") proxy:
// plain http as an ordinary request with an absolute target, https through
// a CONNECT tunnel that carries the TLS connection.
#pragma once

#include <string>

#include "net/connection_settings.h"
#include "net/url.h"
#include "platform/socket.h"

namespace trovelane {

// "http://HOST[:PORT]PATH": the port only when it is not 80.
std::string CernAbsoluteTarget(const Url& url);

// "Proxy-Authorization: Basic ...\r\n" when the proxy wants credentials, else
// empty. Line breaks of stored credentials (older files wrap them) are left
// out, since they would end the header line.
std::string ProxyAuthorizationLine(const ProxySettings& proxy);

// Sends "CONNECT HOST:PORT HTTP/1.0" and reads the proxy's head; true when it
// answered 2xx and the stream now carries the tunnel.
bool CernConnectTunnel(ByteStream& stream, const Url& url, const ProxySettings& proxy);

}  // namespace trovelane
