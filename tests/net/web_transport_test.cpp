// Today's engines over every transport: an HTTPS server under a public host
// name reached through a resolve entry, and chunked, compressed answers with
// the engine's headers directly, through microsocks and through tinyproxy.
#include <gtest/gtest.h>

#include <cstdlib>

#include "net/http_url.h"
#include "tests/net/fetch_helpers.h"
#include "tests/support/https_fixture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/proxy_process.h"
#include "tests/support/test_certificates.h"

namespace trovelane {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::GetTestCertificates;
using test::HttpsFixtureServer;
using test::LoopbackServer;
using test::MakeProxy;
using test::ProxyProcess;
using test::ReadBody;
using test::ServerConnection;

std::string ResultPage() {
  std::string page = "<html><body><ul class=\"results\">\n";
  for (int i = 0; i < 3000; ++i) {
    page += "<li><a class=\"result\" href=\"https://r" + std::to_string(i) + ".example/\">r</a></li>\n";
  }
  return page + "</ul></body></html>\n";
}

RequestOptions EngineOptions() {
  RequestOptions options;
  options.userAgent = "trovelane-test/1.0 (fixture; +https://trovelane.test/)";
  options.http11 = true;
  options.acceptCompression = true;
  options.extraHeaders = {{"Accept-Language", "en-GB"}, {"X-Engine", "fixture"}};
  return options;
}

struct Fetched {
  bool opened = false;
  int status = 0;
  std::string body;
  ReadFailure failure = ReadFailure::kNone;
  OpenFailure openFailure = OpenFailure::kNone;
};

Fetched FetchWith(const std::string& url, const ProgramOptions& program,
                  const ProxySettings* proxy) {
  CHttpURL page;
  page.SetTimeouts(program);
  page.SetRequestOptions(EngineOptions());
  EXPECT_TRUE(page.SetURL(url, false).ok());
  Fetched got;
  got.opened = page.Open(program.userAgent.c_str(), nullptr, nullptr, proxy);
  got.openFailure = page.GetFailure();
  if (!got.opened) return got;
  got.status = page.GetStatus();
  got.body = ReadBody(page, 3600);
  got.failure = page.GetReadFailure();
  return got;
}

class WebTransport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("SSL_CERT_FILE", HttpsFixtureServer::CaFile().c_str(), 1); }
  static void TearDownTestSuite() { unsetenv("SSL_CERT_FILE"); }
};

TEST_F(WebTransport, AResolveEntryReachesAFixtureUnderItsPublicName) {
  if (!HttpsFixtureServer::CanListenOnPort443()) {
    GTEST_SKIP() << "port 443 needs root or net.ipv4.ip_unprivileged_port_start <= 443";
  }
  const std::string page = ResultPage();
  HttpsFixtureServer fixture({"en.wikipedia.org"}, [&](const FixtureRequest& request) {
    FixtureResponse response;
    response.body = request.Path() == "/w/index.php" ? page : "wrong path";
    response.framing = FixtureResponse::Framing::kChunked;
    response.coding = FixtureResponse::Coding::kGzip;
    return response;
  });
  ProgramOptions program;
  program.resolve = fixture.ResolveEntries();
  // Under the loopback guard a lookup of the public name would abort: the
  // entry must take the connection to the fixture's own address.
  Fetched got =
      FetchWith("https://en.wikipedia.org/w/index.php?search=river&fulltext=1", program, nullptr);
  ASSERT_TRUE(got.opened) << static_cast<int>(got.openFailure);
  EXPECT_EQ(got.status, 200);
  EXPECT_EQ(got.failure, ReadFailure::kNone);
  EXPECT_TRUE(got.body == page);
  ASSERT_EQ(fixture.Requests().size(), 1u);
  const FixtureRequest request = fixture.Requests()[0];
  EXPECT_EQ(request.serverName, "en.wikipedia.org") << "TLS server name";
  EXPECT_EQ(request.Header("Host"), "en.wikipedia.org") << "no :443, the scheme's port";
  EXPECT_EQ(request.target, "/w/index.php?search=river&fulltext=1");
  EXPECT_EQ(request.version, "HTTP/1.1");
  EXPECT_EQ(request.Header("User-Agent"), EngineOptions().userAgent);

  // The certificate is checked against the name asked for, not the address
  // connected to: a name the certificate does not carry fails.
  program.resolve.push_back({"search.brave.com", 443, fixture.address()});
  Fetched wrongName = FetchWith("https://search.brave.com/search?q=river", program, nullptr);
  EXPECT_FALSE(wrongName.opened);
  EXPECT_EQ(wrongName.openFailure, OpenFailure::kTls);
  EXPECT_EQ(fixture.Requests().size(), 1u);
}

// A server for the proxies: they connect to it by the name "localhost" or
// 127.0.0.1, so it listens where the other test servers do.
LoopbackServer::Handler EngineAnswer(const std::string& page) {
  return [page](ServerConnection& c) {
    FixtureRequest request = test::ParseFixtureRequest(c.ReadRequest());
    FixtureResponse response;
    // The answer says what arrived, so that the test sees it past any proxy.
    response.headers = {{"X-Seen-Agent", request.Header("User-Agent")},
                        {"X-Seen-Engine", request.Header("X-Engine")},
                        {"X-Seen-Language", request.Header("Accept-Language")},
                        {"X-Seen-Encoding", request.Header("Accept-Encoding")}};
    response.body = page;
    response.framing = FixtureResponse::Framing::kChunked;
    response.chunkSize = 777;
    response.coding = FixtureResponse::Coding::kGzip;
    c.Send(test::RenderFixtureResponse(response));
    c.ShutdownWrite();
    c.ReadToEnd();
  };
}

TEST_F(WebTransport, ChunkedCompressedAnswersThroughEveryRoute) {
  const std::string page = ResultPage();
  const test::TestCertificates& certs = GetTestCertificates();
  LoopbackServer plain(EngineAnswer(page));
  LoopbackServer secure(EngineAnswer(page), certs.serverCert, certs.serverKey);
  ProxyProcess socks = ProxyProcess::Microsocks();
  ProxyProcess http = ProxyProcess::Tinyproxy();
  const ProxySettings socksProxy = MakeProxy(kProxySocks5, socks.port());
  const ProxySettings httpProxy = MakeProxy(kProxyCern, http.port());
  struct Route {
    const char* name;
    const ProxySettings* proxy;
  };
  const Route routes[] = {{"direct", nullptr}, {"microsocks", &socksProxy}, {"tinyproxy", &httpProxy}};
  const ProgramOptions program;
  for (const Route& route : routes) {
    for (const LoopbackServer* server : {&plain, &secure}) {
      SCOPED_TRACE(std::string(route.name) + " " + server->Url("/"));
      CHttpURL connection;
      connection.SetRequestOptions(EngineOptions());
      EXPECT_TRUE(connection.SetURL(server->Url("/search?q=river"), false).ok());
      ASSERT_TRUE(connection.Open(program.userAgent.c_str(), nullptr, nullptr, route.proxy));
      const std::string body = ReadBody(connection, 3600);
      EXPECT_EQ(connection.GetReadFailure(), ReadFailure::kNone);
      EXPECT_TRUE(body == page) << body.size();
      const std::string& head = connection.GetHead();
      EXPECT_NE(head.find("X-Seen-Agent: " + EngineOptions().userAgent + "\r\n"), std::string::npos)
          << head;
      EXPECT_NE(head.find("X-Seen-Engine: fixture\r\n"), std::string::npos);
      EXPECT_NE(head.find("X-Seen-Language: en-GB\r\n"), std::string::npos);
      EXPECT_NE(head.find("X-Seen-Encoding: gzip, deflate\r\n"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace trovelane
