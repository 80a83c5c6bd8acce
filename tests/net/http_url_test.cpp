// CHttpURL against the scripted loopback server: the request bytes, reading
// the head, cookies, redirects and the faults a server can put in the way.
#include "net/http_url.h"

#include <gtest/gtest.h>

#include "tests/net/fetch_helpers.h"
#include "tests/support/loopback_server.h"

namespace trovelane {
namespace {

using test::Answer;
using test::Fetch;
using test::HttpResponse;
using test::LoopbackServer;
using test::ReadBody;
using test::ServerConnection;

const std::string kOk = HttpResponse("HTTP/1.0 200 OK", "", "hello");

std::string HostPort(const LoopbackServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

TEST(HttpRequest, GetWithoutRefererOrCookieIsByteExact) {
  LoopbackServer server(Answer(kOk));
  CHttpURL page;
  EXPECT_EQ(Fetch(page, server.Url("/"), nullptr), "hello");
  EXPECT_EQ(server.Received(0),
            "GET / HTTP/1.0\r\nAccept: */*\r\nAccept-Language: en\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Win32)\r\n"
            "Host: " +
                HostPort(server) + "\r\n\r\n\r\n");
}

TEST(HttpRequest, GetWithRefererAndCookieEndsWithTheCookieLine) {
  LoopbackServer server(Answer(kOk));
  CHttpURL page;
  EXPECT_TRUE(page.SetURL(server.Url("/q?a=1"), false).ok());
  page.cookieToSend = "s=1;t=2";
  ASSERT_TRUE(page.Open(nullptr, "http://from/", nullptr, nullptr));
  page.Close();
  EXPECT_EQ(server.Received(0),
            "GET /q?a=1 HTTP/1.0\r\nAccept: */*\r\nAccept-Language: en\r\n"
            "User-Agent: CHttpURL class\r\nReferer: http://from/\r\n"
            "Host: " +
                HostPort(server) + "\r\nCookie: s=1;t=2\r\n\r\n");
}

TEST(HttpRequest, PostCarriesLengthAndBodyWithoutLineEnd) {
  LoopbackServer server(Answer(kOk));
  CHttpURL page;
  EXPECT_TRUE(page.SetURL(server.Url("/post"), true).ok());
  page.cookieToSend = "c=3";
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, "q=a+b&n=10", nullptr));
  EXPECT_EQ(ReadBody(page), "hello");
  page.Close();
  EXPECT_EQ(server.Received(0),
            "POST /post HTTP/1.0\r\nAccept: */*\r\nAccept-Language: en\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Win32)\r\nCookie: c=3\r\n"
            "Host: " +
                HostPort(server) + "\r\nContent-Length: 10\r\n\r\nq=a+b&n=10");
}

TEST(HttpHead, BodyStartsRightAfterTheHeadAndStatusIsKept) {
  // Head and body arrive in one segment: peeking must leave the body whole.
  std::string body(100000, 'b');
  body[0] = 'F';
  LoopbackServer server(Answer(HttpResponse("HTTP/1.1 404 Not Found", "X-A: 1\r\n", body)));
  CHttpURL page;
  EXPECT_TRUE(page.SetURL(server.Url(), false).ok());
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
  EXPECT_EQ(page.GetStatus(), 404);
  EXPECT_EQ(page.GetHead().substr(0, 24), "HTTP/1.1 404 Not Found\r\n");
  EXPECT_EQ(ReadBody(page, 65535), body);
}

TEST(HttpHead, SetCookieValuesAreJoinedAndTheSinkIsEmptiedFirst) {
  LoopbackServer server(Answer(HttpResponse(
      "HTTP/1.0 200 OK",
      "Set-Cookie: a=1; path=/\r\nset-cookie: ignored=1\r\nSet-Cookie:   b=2\r\n", "")));
  CHttpURL page;
  std::string sink = "stale";
  EXPECT_TRUE(page.SetURL(server.Url(), false).ok());
  page.cookieSink = &sink;
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
  EXPECT_EQ(sink, "a=1;b=2");
}

TEST(HttpHead, LongLinesAreReadWholeAndOverlongOnesDoNotDerailTheHead) {
  const std::string cookie = "big=" + std::string(20000, 'c');
  const std::string hugeLine = "X-Huge: " + std::string(150 * 1024, 'x') + "\r\n";
  LoopbackServer server(Answer(HttpResponse(
      "HTTP/1.0 200 OK",
      "Set-Cookie: " + cookie + "; path=/\r\n" + hugeLine + "Set-Cookie: k=v\r\n", "body")));
  CHttpURL page;
  std::string sink;
  EXPECT_TRUE(page.SetURL(server.Url(), false).ok());
  page.cookieSink = &sink;
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
  EXPECT_EQ(sink, cookie + ";k=v");
  EXPECT_EQ(ReadBody(page), "body");
}

TEST(HttpHead, ContentLengthEndsTheBodyOfAConnectionKeptOpen) {
  LoopbackServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Send(HttpResponse("HTTP/1.0 200 OK", "content-length: 5\r\n", "12345", false) + "EXTRA");
    c.WaitForStop();
  });
  CHttpURL page;
  EXPECT_TRUE(page.SetURL(server.Url(), false).ok());
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
  EXPECT_EQ(ReadBody(page, 3), "12345");
}

TEST(HttpHead, ServerClosingBeforeOrInsideTheHeadGivesAnEmptyAnswer) {
  for (std::string partial : {"", "HTTP/1.0 200 OK\r\nX-A: 1", "HTTP/1.0 200 OK\r\n"}) {
    SCOPED_TRACE(partial);
    LoopbackServer server([partial](ServerConnection& c) {
      c.ReadRequest();
      c.Send(partial);
    });
    CHttpURL page;
    EXPECT_TRUE(page.SetURL(server.Url(), false).ok());
    EXPECT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
    EXPECT_EQ(ReadBody(page), "");
  }
}

// Answers with `first` on the first connection and kOk afterwards.
TEST(HttpRequest, ABlankInThePathReachesTheServerEscapedInsideTheTarget) {
  LoopbackServer server(Answer(kOk));
  CHttpURL page;
  EXPECT_EQ(Fetch(page, server.Url("/s?q=%22new york%22+\xe9t\xe9"), nullptr), "hello");
  EXPECT_EQ(server.Received(0).substr(0, 50),
            "GET /s?q=%22new%20york%22+%E9t%E9 HTTP/1.0\r\nAccept");
}

LoopbackServer::Handler FirstThen(std::string first) {
  auto count = std::make_shared<std::atomic<int>>(0);
  return [first, count](ServerConnection& c) {
    std::string answer = (*count)++ == 0 ? first : kOk;
    Answer(answer)(c);
  };
}

TEST(HttpRedirect, FollowsAsGetWithTheOldHostAsRefererAndNoCookies) {
  LoopbackServer target(Answer(kOk));
  const std::string location = "http://localhost:" + std::to_string(target.port()) + "/there";
  LoopbackServer origin(Answer(
      HttpResponse("HTTP/1.1 302 Found", "Set-Cookie: r=1\r\nLocation: " + location + "\r\n", "")));
  CHttpURL page;
  std::string sink;
  EXPECT_TRUE(page.SetURL(origin.Url("/here"), true).ok());
  page.cookieToSend = "c=1";
  page.cookieSink = &sink;
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, "a=b", nullptr));
  EXPECT_EQ(ReadBody(page), "hello");
  EXPECT_EQ(page.GetHost(), "localhost");
  EXPECT_EQ(page.cookieSink, nullptr);
  EXPECT_EQ(sink, "r=1");
  page.Close();
  EXPECT_EQ(target.Received(0),
            "GET /there HTTP/1.0\r\nAccept: */*\r\nAccept-Language: en\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Win32)\r\nReferer: 127.0.0.1\r\n"
            "Host: localhost:" +
                std::to_string(target.port()) + "\r\n\r\n\r\n");
}

TEST(HttpRedirect, OnlyA301Or302WithACaseExactLocationIsFollowed) {
  struct Case {
    std::string status, header;
    bool follows;
  };
  const Case cases[] = {
      {"HTTP/1.1 301 Moved", "Location: /next", true},
      {"HTTP/1.0 302 Found", "Location :\t/next", true},
      {"HTTP/1.0 200 OK", "Location: /next", false},
      {"HTTP/1.0 303 See Other", "Location: /next", false},
      {"HTTP/1.0 301 Moved", "location: /next", false},
      {"HTTP/1.0 301 Moved", "Location-Hint: /next", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status + " / " + c.header);
    LoopbackServer server(FirstThen(HttpResponse(c.status, c.header + "\r\n", "first")));
    CHttpURL page;
    EXPECT_EQ(Fetch(page, server.Url("/start"), nullptr), c.follows ? "hello" : "first");
    if (c.follows) {
      EXPECT_EQ(server.Received(1).substr(0, 20), "GET /next HTTP/1.0\r\n");
    }
  }
}

TEST(HttpRedirect, ALoopEndsAfterTwentyRedirectsWithTheLastAnswer) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 302 Found", "Location: /again\r\n", "loop")));
  CHttpURL page;
  EXPECT_TRUE(page.SetURL(server.Url("/again"), false).ok());
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
  EXPECT_EQ(page.GetStatus(), 302);
  EXPECT_EQ(ReadBody(page), "loop");
  page.Close();
  EXPECT_EQ(server.ConnectionCount(), 1u + kMaxRedirects);
}

TEST(HttpRedirect, ALocationWithoutSchemeOrSlashNamesNoHostAndFails) {
  LoopbackServer server(
      FirstThen(HttpResponse("HTTP/1.0 302 Found", "Location: other/page\r\n", "")));
  CHttpURL page;
  bool opened = true;
  Fetch(page, server.Url("/"), nullptr, &opened);
  EXPECT_FALSE(opened);
  EXPECT_EQ(page.GetFailure(), OpenFailure::kResolve);
  EXPECT_EQ(page.GetHost(), "");
  EXPECT_EQ(page.GetPath(), "other/page");

  LoopbackServer root(FirstThen(HttpResponse("HTTP/1.0 302 Found", "Location: /\r\n", "")));
  EXPECT_EQ(Fetch(page, root.Url("/deep/page"), nullptr), "hello");
}

TEST(HttpRedirect, AMalformedTargetFailsOpenWithTheConnectionClosed) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 302 Found", "Location: http://:0/\r\n", "")));
  CHttpURL page;
  EXPECT_TRUE(page.SetURL(server.Url(), false).ok());
  EXPECT_FALSE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
  EXPECT_EQ(page.GetFailure(), OpenFailure::kMalformedRedirect);
  EXPECT_EQ(page.GetFailureText(), "the redirect target is not a URL: http://:0/");
  EXPECT_FALSE(page.IsConnected());
}

TEST(HttpConnect, UnresolvableHostAndRefusedConnectionFailOpen) {
  CHttpURL page;
  bool opened = true;
  Fetch(page, "http://no-such-host.invalid/", nullptr, &opened);
  EXPECT_FALSE(opened);
  EXPECT_EQ(page.GetFailure(), OpenFailure::kResolve);

  int closedPort;
  {
    LoopbackServer gone(Answer(kOk));
    closedPort = gone.port();
  }
  Fetch(page, "http://127.0.0.1:" + std::to_string(closedPort) + "/", nullptr, &opened);
  EXPECT_FALSE(opened);
  EXPECT_EQ(page.GetFailure(), OpenFailure::kConnect);
  EXPECT_FALSE(page.IsConnected());
  EXPECT_EQ(page.Read(nullptr, 10), 0);

  Fetch(page, "no-scheme/path", nullptr, &opened);  // no host at all
  EXPECT_FALSE(opened);
  EXPECT_EQ(page.GetFailure(), OpenFailure::kResolve);
}

}  // namespace
}  // namespace trovelane
