// Small helpers shared by the CHttpURL tests.
#pragma once

#include <string>

#include "net/base64.h"
#include "net/http_url.h"
#include "search/settings.h"

namespace trovelane::test {

// A fixed User-Agent that the byte-exact request tests spell out.
inline constexpr const char* kTestUserAgent = "Mozilla/4.0 (compatible; MSIE 5.5; Win32)";

inline std::string ReadBody(CHttpURL& page, int chunk = 4096) {
  std::string body;
  std::string buffer(static_cast<size_t>(chunk), '\0');
  while (int n = page.Read(buffer.data(), chunk))
    body.append(buffer.data(), static_cast<size_t>(n));
  return body;
}

// SetURL, Open (kTestUserAgent), read the body, Close. "" when
// Open fails; `opened` tells the two apart.
inline std::string Fetch(CHttpURL& page, const std::string& url, const ProxySettings* proxy,
                         bool* opened = nullptr) {
  EXPECT_TRUE(page.SetURL(url, false).ok());
  bool ok = page.Open(kTestUserAgent, nullptr, nullptr, proxy);
  if (opened) *opened = ok;
  std::string body = ok ? ReadBody(page) : "";
  page.Close();
  return body;
}

inline ProxySettings MakeProxy(int32_t type, int port, const std::string& user = "",
                               const std::string& password = "") {
  ProxySettings proxy;
  proxy.enabled = 1;
  proxy.host = "127.0.0.1";
  proxy.port = port;
  proxy.type = type;
  proxy.requiresAuth = user.empty() ? 0 : 1;
  if (!user.empty()) proxy.credentials = Base64Encode(user + ":" + password);
  return proxy;
}

}  // namespace trovelane::test
