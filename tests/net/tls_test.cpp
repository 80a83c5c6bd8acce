// TLS: verification of the chain and the name, and redirects between http
// and https.
#include <gtest/gtest.h>

#include <cstdlib>

#include "net/http_url.h"
#include "tests/net/fetch_helpers.h"
#include "tests/support/loopback_server.h"
#include "tests/support/test_certificates.h"

namespace trovelane {
namespace {

using test::Answer;
using test::Fetch;
using test::GetTestCertificates;
using test::HttpResponse;
using test::LoopbackServer;

class Tls : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SSL_CERT_FILE", certs_.caFile.c_str(), 1); }
  void TearDown() override { unsetenv("SSL_CERT_FILE"); }

  const test::TestCertificates& certs_ = GetTestCertificates();
  const std::string ok_ = HttpResponse("HTTP/1.0 200 OK", "", "secret page");
};

TEST_F(Tls, ACertificateThatDoesNotVerifyFailsOpen) {
  LoopbackServer good(Answer(ok_), certs_.serverCert, certs_.serverKey);
  LoopbackServer wrongName(Answer(ok_), certs_.wrongNameCert, certs_.wrongNameKey);
  CHttpURL page;
  bool opened = false;
  EXPECT_EQ(Fetch(page, good.Url(), nullptr, &opened), "secret page");
  EXPECT_EQ(Fetch(page, "https://127.0.0.1:" + std::to_string(good.port()) + "/", nullptr),
            "secret page")
      << "a numeric address is checked against the certificate's addresses";

  Fetch(page, wrongName.Url(), nullptr, &opened);
  EXPECT_FALSE(opened) << "name not in the certificate";
  EXPECT_EQ(page.GetFailure(), OpenFailure::kTls);

  setenv("SSL_CERT_FILE", certs_.otherCaFile.c_str(), 1);
  Fetch(page, good.Url(), nullptr, &opened);
  EXPECT_FALSE(opened) << "authority not trusted";
  EXPECT_EQ(page.GetFailure(), OpenFailure::kTls);

  setenv("SSL_CERT_DIR", certs_.caDir.c_str(), 1);
  EXPECT_EQ(Fetch(page, good.Url(), nullptr), "secret page") << "found in SSL_CERT_DIR";
  unsetenv("SSL_CERT_DIR");
}

TEST_F(Tls, RedirectsGoUpToHttpsButNeverDownToHttp) {
  LoopbackServer plainTarget(Answer(HttpResponse("HTTP/1.0 200 OK", "", "plain")));
  LoopbackServer secure(
      Answer(HttpResponse("HTTP/1.0 302 Found", "Location: " + plainTarget.Url("/p") + "\r\n", "")),
      certs_.serverCert, certs_.serverKey);
  LoopbackServer secureTarget(Answer(ok_), certs_.serverCert, certs_.serverKey);
  LoopbackServer plain(Answer(
      HttpResponse("HTTP/1.0 301 Moved", "Location: " + secureTarget.Url("/s") + "\r\n", "")));
  CHttpURL page;
  EXPECT_EQ(Fetch(page, plain.Url("/start"), nullptr), "secret page");
  EXPECT_EQ(secureTarget.Received(0).substr(0, 17), "GET /s HTTP/1.0\r\n");
  EXPECT_NE(secureTarget.Received(0).find("\r\nHost: localhost:" +
                                          std::to_string(secureTarget.port()) + "\r\n"),
            std::string::npos);

  // The query of an https request must not go out again in clear text.
  bool opened = true;
  EXPECT_EQ(Fetch(page, secure.Url("/q?secret=1"), nullptr, &opened), "");
  EXPECT_FALSE(opened);
  EXPECT_EQ(page.GetFailure(), OpenFailure::kInsecureRedirect);
  EXPECT_NE(page.GetFailureText().find(plainTarget.Url("/p")), std::string::npos);
  EXPECT_EQ(plainTarget.ConnectionCount(), 0u);
}

TEST_F(Tls, ABodyShortOfItsContentLengthIsCutOverTlsToo) {
  LoopbackServer cut(
      [](test::ServerConnection& c) {
        c.ReadRequest();
        c.Send(HttpResponse("HTTP/1.0 200 OK", "Content-Length: 100\r\n", "", false) + "short");
        // The connection then closes: a clean end of the stream, but not of the body.
      },
      certs_.serverCert, certs_.serverKey);
  CHttpURL page;
  EXPECT_EQ(Fetch(page, cut.Url(), nullptr), "short");
  EXPECT_EQ(page.GetReadFailure(), ReadFailure::kTruncated);

  LoopbackServer whole(Answer(ok_), certs_.serverCert, certs_.serverKey);
  EXPECT_EQ(Fetch(page, whole.Url(), nullptr), "secret page");
  EXPECT_EQ(page.GetReadFailure(), ReadFailure::kNone);
}

TEST_F(Tls, RelativeLocationStaysOnTheSecureServer) {
  LoopbackServer secure(
      [](test::ServerConnection& c) {
        std::string request = c.ReadRequest();
        bool first = request.rfind("GET /old ", 0) == 0;
        c.Send(first ? HttpResponse("HTTP/1.0 302 Found", "Location: /new\r\n", "")
                     : HttpResponse("HTTP/1.0 200 OK", "", "new page"));
        c.ShutdownWrite();
        c.ReadToEnd();
      },
      certs_.serverCert, certs_.serverKey);
  CHttpURL page;
  EXPECT_EQ(Fetch(page, secure.Url("/old"), nullptr), "new page");
  EXPECT_TRUE(page.IsHttps());
}

}  // namespace
}  // namespace trovelane
