#include "net/cern_proxy.h"

#include "net/response_head_reader.h"

namespace trovelane {

std::string CernAbsoluteTarget(const Url& url) {
  std::string target = "http://" + url.host;
  if (url.port != 80) target += ":" + std::to_string(url.port);
  return target + url.path;
}

std::string ProxyAuthorizationLine(const ProxySettings& proxy) {
  if (!proxy.requiresAuth) return {};
  std::string credentials;
  for (char c : proxy.credentials) {
    if (c != '\r' && c != '\n') credentials.push_back(c);
  }
  return "Proxy-Authorization: Basic " + credentials + "\r\n";
}

bool CernConnectTunnel(ByteStream& stream, const Url& url, const ProxySettings& proxy) {
  std::string authority = url.host + ":" + std::to_string(url.port);
  std::string request = "CONNECT " + authority + " HTTP/1.0\r\nHost: " + authority + "\r\n" +
                        ProxyAuthorizationLine(proxy) + "\r\n";
  if (!stream.SendAll(request.data(), request.size())) return false;

  std::string line;
  int status = -1;
  HeadLineReader reader(stream);
  while (reader.Next(line) == HeadLineReader::Result::kLine) {
    if (IsEndOfHead(line)) return status >= 200 && status < 300;
    if (status < 0) status = ParseStatusLine(line);
  }
  return false;
}

}  // namespace trovelane
