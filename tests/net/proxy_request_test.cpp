// What CHttpURL sends to a CERN proxy and a SOCKS 5 proxy, byte for byte,
// with the scripted loopback server standing in for the proxy.
#include <gtest/gtest.h>

#include "net/http_url.h"
#include "tests/net/fetch_helpers.h"
#include "tests/support/loopback_server.h"

namespace trovelane {
namespace {

using test::Answer;
using test::Fetch;
using test::HttpResponse;
using test::LoopbackServer;
using test::MakeProxy;
using test::ServerConnection;

const std::string kOk = HttpResponse("HTTP/1.0 200 OK", "", "hello");
const std::string kHead =
    "Accept: */*\r\nAccept-Language: en\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 5.5; "
    "Win32)\r\n";

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(CernProxy, AbsoluteTargetAndHostCarryAPortThatIsNotTheDefault) {
  LoopbackServer proxyServer(Answer(kOk));
  ProxySettings proxy = MakeProxy(kProxyCern, proxyServer.port(), "user", "pa:ss");
  CHttpURL page;
  EXPECT_TRUE(page.SetURL("http://h.example:8080/x?y=1", false).ok());
  const std::string expected = "GET http://h.example:8080/x?y=1 HTTP/1.0\r\n" + kHead +
                               "Proxy-Connection: Keep-Alive\r\nProxy-Authorization: Basic " +
                               proxy.credentials + "\r\nHost: h.example:8080\r\n\r\n\r\n";
  // A second Open of the same URL sends the same request.
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, &proxy));
    EXPECT_EQ(page.GetPath(), "http://h.example:8080/x?y=1");
    page.Close();
    EXPECT_EQ(proxyServer.Received(i), expected);
  }
}

TEST(CernProxy, DefaultPortIsLeftOutAndWrappedCredentialsAreJoined) {
  LoopbackServer proxyServer(Answer(kOk));
  ProxySettings proxy = MakeProxy(kProxyCern, proxyServer.port());
  proxy.requiresAuth = 1;
  // Older settings files hold the Base64 text broken into lines.
  proxy.credentials = "dXNlcjpw\r\nYXNz";
  CHttpURL page;
  EXPECT_TRUE(page.SetURL("http://h.example/p", true).ok());
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, "a=1", &proxy));
  page.Close();
  EXPECT_EQ(proxyServer.Received(0),
            "POST http://h.example/p HTTP/1.0\r\nAccept: */*\r\nAccept-Language: en\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Win32)\r\n"
            "Proxy-Connection: Keep-Alive\r\nHost: h.example\r\n"
            "Proxy-Authorization: Basic dXNlcjpwYXNz\r\nContent-Length: 3\r\n\r\na=1");
}

TEST(CernProxy, HttpsGoesThroughConnectAndARefusedTunnelFailsOpen) {
  LoopbackServer proxyServer(
      Answer(HttpResponse("HTTP/1.0 407 Proxy Authentication Required", "", "")));
  ProxySettings proxy = MakeProxy(kProxyCern, proxyServer.port(), "u", "p");
  CHttpURL page;
  bool opened = true;
  Fetch(page, "https://secure.example/x", &proxy, &opened);
  EXPECT_FALSE(opened);
  EXPECT_EQ(page.GetFailure(), OpenFailure::kProxy);
  EXPECT_EQ(proxyServer.Received(0),
            "CONNECT secure.example:443 HTTP/1.0\r\nHost: secure.example:443\r\n"
            "Proxy-Authorization: Basic " +
                proxy.credentials + "\r\n\r\n");
}

// A SOCKS 5 proxy that answers with the given method, sub-negotiation
// status and reply (code, address type and address), then serves the page
// itself when the tunnel is open.
struct SocksScript {
  int choiceVersion = 0x05;
  int replyVersion = 0x05;
  int method = 0x00;
  int authVersion = 0x01;
  int authStatus = 0x00;
  int replyCode = 0x00;
  std::string replyAddress = Bytes({0x01, 127, 0, 0, 1});
  std::string page = kOk;
};

// Reads one length-prefixed field.
std::string ReadField(ServerConnection& c) {
  std::string length = c.ReadExactly(1);
  return length.empty() ? "" : c.ReadExactly(static_cast<unsigned char>(length[0]));
}

LoopbackServer::Handler Socks(SocksScript script) {
  return [script](ServerConnection& c) {
    c.ReadExactly(4);  // greeting
    c.Send(Bytes({script.choiceVersion, script.method}));
    if (script.choiceVersion != 0x05 || (script.method != 0x00 && script.method != 0x02)) {
      return c.ReadToEnd(), void();
    }
    if (script.method == 0x02) {
      c.ReadExactly(1);
      ReadField(c);
      ReadField(c);
      c.Send(Bytes({script.authVersion, script.authStatus}));
      if (script.authStatus != 0 || script.authVersion != 0x01) return c.ReadToEnd(), void();
    } else if (script.method == 0xFF) {
      return c.ReadToEnd(), void();
    }
    c.ReadExactly(4);  // 05 01 00 03
    ReadField(c);
    c.ReadExactly(2);
    c.Send(Bytes({script.replyVersion, script.replyCode, 0x00}));
    if (script.replyCode != 0 || script.replyVersion != 0x05) return c.ReadToEnd(), void();
    c.Send(script.replyAddress + Bytes({0x1F, 0x90}));
    Answer(script.page)(c);
  };
}

const std::string kGreeting = Bytes({0x05, 0x02, 0x00, 0x02});

TEST(Socks5Proxy, TunnelRequestNamesTheHostAndTheRequestCarriesNoCredentials) {
  LoopbackServer proxyServer(Socks({}));
  ProxySettings proxy = MakeProxy(kProxySocks5, proxyServer.port(), "u", "pw");
  CHttpURL page;
  EXPECT_EQ(Fetch(page, "http://www.example.com/", &proxy), "hello");
  EXPECT_EQ(proxyServer.Received(0),
            kGreeting + Bytes({0x05, 0x01, 0x00, 0x03, 0x0F}) + "www.example.com" +
                Bytes({0x00, 0x50}) + "GET / HTTP/1.0\r\n" + kHead +
                "Proxy-Connection: Keep-Alive\r\nHost: www.example.com\r\n\r\n\r\n");
}

TEST(Socks5Proxy, UserPasswordSubNegotiation) {
  SocksScript script;
  script.method = 0x02;
  LoopbackServer proxyServer(Socks(script));
  ProxySettings proxy = MakeProxy(kProxySocks5, proxyServer.port(), "u", "pw");
  CHttpURL page;
  EXPECT_EQ(Fetch(page, "http://h:8080/", &proxy), "hello");
  const std::string expected = kGreeting + Bytes({0x01, 0x01, 'u', 0x02, 'p', 'w'}) +
                               Bytes({0x05, 0x01, 0x00, 0x03, 0x01, 'h', 0x1F, 0x90});
  EXPECT_EQ(proxyServer.Received(0).substr(0, expected.size()), expected);
}

TEST(Socks5Proxy, EveryReplyAddressTypeIsReadWhole) {
  const std::string addresses[] = {
      Bytes({0x01, 10, 0, 0, 1}),
      Bytes({0x03, 9}) + "proxy.lan",
      Bytes({0x04}) + std::string(16, '\x01'),
  };
  for (const std::string& address : addresses) {
    SocksScript script;
    script.replyAddress = address;
    LoopbackServer proxyServer(Socks(script));
    ProxySettings proxy = MakeProxy(kProxySocks5, proxyServer.port());
    CHttpURL page;
    EXPECT_EQ(Fetch(page, "http://h/", &proxy), "hello") << int(address[0]);
  }
}

TEST(Socks5Proxy, RefusalsFailOpenWithoutSendingTheRequest) {
  struct Refusal {
    SocksScript script;
    std::string received;
  };
  SocksScript noMethod, badLogin, noConnect;
  noMethod.method = 0xFF;
  badLogin.method = 0x02;
  badLogin.authStatus = 0x01;
  noConnect.replyCode = 0x05;
  const std::string connect = Bytes({0x05, 0x01, 0x00, 0x03, 0x01, 'h', 0x00, 0x50});
  const Refusal refusals[] = {
      {noMethod, kGreeting},
      {badLogin, kGreeting + Bytes({0x01, 0x01, 'u', 0x01, 'p'})},
      {noConnect, kGreeting + connect},
  };
  for (const Refusal& r : refusals) {
    LoopbackServer proxyServer(Socks(r.script));
    ProxySettings proxy = MakeProxy(kProxySocks5, proxyServer.port(), "u", "p");
    CHttpURL page;
    bool opened = true;
    Fetch(page, "http://h/", &proxy, &opened);
    EXPECT_FALSE(opened);
    EXPECT_EQ(page.GetFailure(), OpenFailure::kProxy);
    EXPECT_EQ(proxyServer.Received(0), r.received);
  }
}

TEST(Socks5Proxy, AnswersThatAreNotSocks5EndTheHandshakeSayingWhichStep) {
  struct Case {
    SocksScript script;
    std::string received;  // what the proxy got before the handshake ended
    std::string step;      // what the failure text names
  };
  SocksScript socks4, gssapi, badLogin, badReply, refused;
  socks4.choiceVersion = 0x04;
  gssapi.method = 0x01;
  // A login status in the greeting's version, "success" in its second byte.
  badLogin.method = 0x02;
  badLogin.authVersion = 0x05;
  badReply.replyVersion = 0x00;
  refused.replyCode = 0x02;
  const std::string connect = Bytes({0x05, 0x01, 0x00, 0x03, 0x01, 'h', 0x00, 0x50});
  const Case cases[] = {
      {socks4, kGreeting, "greeting: the proxy answered with version 0x04"},
      {gssapi, kGreeting, "greeting: the proxy chose method 0x01, which was not offered"},
      {badLogin, kGreeting + Bytes({0x01, 0x01, 'u', 0x01, 'p'}),
       "login: the proxy answered with version 0x05"},
      {badReply, kGreeting + connect, "CONNECT: the proxy answered with version 0x00"},
      {refused, kGreeting + connect, "CONNECT: the proxy refused the tunnel to h:80 (0x02"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    LoopbackServer proxyServer(Socks(c.script));
    ProxySettings proxy = MakeProxy(kProxySocks5, proxyServer.port(), "u", "p");
    CHttpURL page;
    bool opened = true;
    Fetch(page, "http://h/", &proxy, &opened);
    EXPECT_FALSE(opened);
    EXPECT_EQ(page.GetFailure(), OpenFailure::kProxy);
    EXPECT_NE(page.GetFailureText().find(c.step), std::string::npos) << page.GetFailureText();
    EXPECT_EQ(proxyServer.Received(0), c.received) << "no request goes through";
  }
}

TEST(Socks5Proxy, NamesTooLongForTheirLengthByteAreNotSent) {
  LoopbackServer proxyServer(Socks({}));
  ProxySettings proxy = MakeProxy(kProxySocks5, proxyServer.port());
  CHttpURL page;
  bool opened = true;
  Fetch(page, "http://" + std::string(256, 'h') + "/", &proxy, &opened);
  EXPECT_FALSE(opened);
  EXPECT_EQ(page.GetFailure(), OpenFailure::kProxy);
  EXPECT_EQ(proxyServer.Received(0), "");
}

}  // namespace
}  // namespace trovelane
