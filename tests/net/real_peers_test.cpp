// The same page fetched directly, through real proxies (Debian's microsocks
// and tinyproxy, with and without credentials) and over TLS.
#include <gtest/gtest.h>

#include <cstdlib>

#include "net/http_url.h"
#include "tests/net/fetch_helpers.h"
#include "tests/support/loopback_server.h"
#include "tests/support/proxy_process.h"
#include "tests/support/test_certificates.h"

namespace trovelane {
namespace {

using test::Answer;
using test::Fetch;
using test::GetTestCertificates;
using test::HttpResponse;
using test::LoopbackServer;
using test::MakeProxy;
using test::ProxyProcess;

std::string Page() {
  std::string page = "<html><body>\n";
  for (int i = 0; i < 2000; ++i) page += "<a href=\"/r" + std::to_string(i) + "\">result</a>\n";
  return page + "</body></html>\n";
}

class RealPeers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("SSL_CERT_FILE", GetTestCertificates().caFile.c_str(), 1); }

  const std::string page_ = Page();
  const std::string answer_ = HttpResponse("HTTP/1.0 200 OK", "Content-Type: text/html\r\n", page_);
  LoopbackServer plain_{Answer(answer_)};
  LoopbackServer secure_{Answer(answer_), GetTestCertificates().serverCert,
                         GetTestCertificates().serverKey};
};

TEST_F(RealPeers, EveryRouteGivesTheSamePage) {
  ProxyProcess socks = ProxyProcess::Microsocks();
  ProxyProcess socksAuth = ProxyProcess::Microsocks("alice", "s3cret");
  ProxyProcess http = ProxyProcess::Tinyproxy();
  ProxyProcess httpAuth = ProxyProcess::Tinyproxy("bob", "pa55");
  const ProxySettings proxies[] = {
      MakeProxy(kProxySocks5, socks.port()),
      MakeProxy(kProxySocks5, socksAuth.port(), "alice", "s3cret"),
      MakeProxy(kProxyCern, http.port()),
      MakeProxy(kProxyCern, httpAuth.port(), "bob", "pa55"),
  };
  const char* names[] = {"microsocks", "microsocks with login", "tinyproxy",
                         "tinyproxy with login"};

  CHttpURL page;
  // Compared with == so that a failure does not print the whole page.
  EXPECT_TRUE(Fetch(page, plain_.Url("/page"), nullptr) == page_) << "direct";
  EXPECT_TRUE(Fetch(page, secure_.Url("/page"), nullptr) == page_) << "direct over TLS";
  for (size_t i = 0; i < std::size(proxies); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_TRUE(Fetch(page, plain_.Url("/page"), &proxies[i]) == page_) << "http";
    EXPECT_EQ(page.GetStatus(), 200);
    EXPECT_TRUE(Fetch(page, secure_.Url("/page"), &proxies[i]) == page_) << "https";
  }
}

TEST_F(RealPeers, WrongProxyCredentials) {
  ProxyProcess socksAuth = ProxyProcess::Microsocks("alice", "s3cret");
  ProxyProcess httpAuth = ProxyProcess::Tinyproxy("bob", "pa55");
  CHttpURL page;

  ProxySettings socks = MakeProxy(kProxySocks5, socksAuth.port(), "alice", "wrong");
  bool opened = true;
  Fetch(page, plain_.Url("/page"), &socks, &opened);
  EXPECT_FALSE(opened) << "a SOCKS 5 refusal fails Open";
  EXPECT_EQ(page.GetFailure(), OpenFailure::kProxy);

  // An HTTP proxy answers for itself; its answer is read as any other.
  ProxySettings http = MakeProxy(kProxyCern, httpAuth.port(), "bob", "wrong");
  Fetch(page, plain_.Url("/page"), &http, &opened);
  EXPECT_TRUE(opened);
  EXPECT_GE(page.GetStatus(), 400);  // tinyproxy answers 401
  Fetch(page, secure_.Url("/page"), &http, &opened);
  EXPECT_FALSE(opened) << "no tunnel, no TLS";
  EXPECT_EQ(page.GetFailure(), OpenFailure::kProxy);
}

TEST_F(RealPeers, AProxyThatIsNotThereFailsOpenWithoutFallingBackToDirect) {
  int port;
  {
    LoopbackServer gone(Answer(""));
    port = gone.port();
  }
  CHttpURL page;
  bool opened = true;
  for (int32_t type : {kProxyCern, kProxySocks5}) {
    ProxySettings proxy = MakeProxy(type, port);
    Fetch(page, plain_.Url("/page"), &proxy, &opened);
    EXPECT_FALSE(opened);
    EXPECT_EQ(page.GetFailure(), OpenFailure::kConnect);
  }
  EXPECT_EQ(plain_.ConnectionCount(), 0u);
}

}  // namespace
}  // namespace trovelane
