// Cancel from another thread ends whatever CHttpURL is waiting for.
#include <gtest/gtest.h>

#include <chrono>

#include "net/http_url.h"
#include "net/tls.h"
#include "tests/net/fetch_helpers.h"
#include "tests/support/cancel_latency.h"
#include "tests/support/loopback_server.h"

namespace trovelane {
namespace {

using test::HttpResponse;
using test::LatencyAfterCancel;
using test::LoopbackServer;
using test::MakeProxy;
using test::ServerConnection;

using test::kCancelBound;

LoopbackServer::Handler Silent() {
  return [](ServerConnection& c) { c.WaitForStop(); };
}

TEST(Cancel, EndsEveryWaitOfOpenAtOnce) {
  ASSERT_TRUE(PrepareTls());  // reading the trust store is not a wait
  LoopbackServer silent(Silent());
  ProxySettings socks = MakeProxy(kProxySocks5, silent.port());
  ProxySettings cern = MakeProxy(kProxyCern, silent.port());
  struct Case {
    const char* what;
    std::string url;
    const ProxySettings* proxy;
  };
  const Case cases[] = {
      {"reading the head", silent.Url("/"), nullptr},
      {"TLS handshake", "https://127.0.0.1:" + std::to_string(silent.port()) + "/", nullptr},
      {"SOCKS 5 greeting", "http://h/", &socks},
      {"CONNECT answer", "https://h/", &cern},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CHttpURL page;
    EXPECT_TRUE(page.SetURL(c.url, false).ok());
    bool opened = true;
    auto latency = LatencyAfterCancel(
        page, [&] { opened = page.Open(test::kTestUserAgent, nullptr, nullptr, c.proxy); });
    EXPECT_FALSE(opened);
    EXPECT_EQ(page.GetFailure(), OpenFailure::kCancelled);
    EXPECT_LT(latency, kCancelBound);
    EXPECT_FALSE(page.IsConnected());
  }
}

TEST(Cancel, EndsAReadWaitingForTheBodyAndHoldsUntilReset) {
  LoopbackServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Send(HttpResponse("HTTP/1.0 200 OK", "", "", false) + "part");
    c.WaitForStop();
  });
  CHttpURL page;
  EXPECT_TRUE(page.SetURL(server.Url(), false).ok());
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
  char buffer[64];
  ASSERT_EQ(page.Read(buffer, sizeof buffer), 4);
  int n = -1;
  EXPECT_LT(LatencyAfterCancel(page, [&] { n = page.Read(buffer, sizeof buffer); }), kCancelBound);
  EXPECT_EQ(n, 0);
  page.Close();

  EXPECT_TRUE(page.SetURL(server.Url(), false).ok());
  EXPECT_FALSE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
  page.ResetCancel();
  EXPECT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
}

}  // namespace
}  // namespace trovelane
