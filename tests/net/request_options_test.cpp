// What RequestOptions change on the wire: the request lines a server
// receives, and the chunked and compressed bodies Read hands out; and the
// address overrides of ProgramOptions::resolve. Over real loopback sockets.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "net/http_url.h"
#include "tests/net/fetch_helpers.h"
#include "tests/support/https_fixture.h"
#include "tests/support/loopback_server.h"

namespace trovelane {
namespace {

using test::Answer;
using test::ChunkedBytes;
using test::Fetch;
using test::GzipBytes;
using test::HttpResponse;
using test::LoopbackServer;
using test::ReadBody;
using test::ServerConnection;

std::string HostPort(const LoopbackServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

RequestOptions BrowserLike() {
  RequestOptions options;
  options.userAgent = "Engine Agent/1.0";
  options.http11 = true;
  options.acceptCompression = true;
  options.extraHeaders = {
      {"Accept", "text/html"},             // takes the place of the program's */*
      {"X-Requested-With", "trovelane"},   // sent after the program's own lines
      {"Referer", "https://engine/"},      // sent: this request has no referer of its own
      {"Host", "elsewhere"},               // never: the program writes Host
      {"user-agent", "Second Agent"},      // never: the User-Agent has its own field
      {"Connection", "keep-alive"},        // never: it frames the answer
      {"Accept-Encoding", "br"},           // never: only what can be undone is asked for
      {"X-Split", "a\r\nInjected: 1"},     // a line end would write a header of its own
      {"Bad Name", "x"},                   // not a token
      {"Cookie", "from=headers"},          // sent: no cookie of the caller's
  };
  return options;
}

TEST(RequestOptions, Http11GetCarriesUserAgentAndExtraHeaders) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.1 200 OK", "", "hello")));
  CHttpURL page;
  page.SetRequestOptions(BrowserLike());
  EXPECT_EQ(Fetch(page, server.Url("/q?x=1"), nullptr), "hello");
  EXPECT_EQ(server.Received(0),
            "GET /q?x=1 HTTP/1.1\r\nAccept: text/html\r\nAccept-Language: en\r\n"
            "User-Agent: Engine Agent/1.0\r\n"
            "Host: " +
                HostPort(server) +
                "\r\n"
                "Connection: close\r\nAccept-Encoding: gzip, deflate\r\n"
                "X-Requested-With: trovelane\r\nReferer: https://engine/\r\n"
                "Cookie: from=headers\r\n\r\n");
}

TEST(RequestOptions, PostKeepsTheProgramsLinesAndAddsTheRest) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.1 200 OK", "", "posted")));
  CHttpURL page;
  page.SetRequestOptions(BrowserLike());
  EXPECT_TRUE(page.SetURL(server.Url("/html/"), true).ok());
  page.cookieToSend = "c=3";
  ASSERT_TRUE(page.Open(test::kTestUserAgent, "https://html.engine/", "q=river", nullptr));
  EXPECT_EQ(ReadBody(page), "posted");
  page.Close();
  EXPECT_EQ(server.Received(0),
            "POST /html/ HTTP/1.1\r\nAccept: text/html\r\nAccept-Language: en\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "User-Agent: Engine Agent/1.0\r\nReferer: https://html.engine/\r\nCookie: c=3\r\n"
            "Host: " +
                HostPort(server) +
                "\r\nContent-Length: 7\r\n"
                "Connection: close\r\nAccept-Encoding: gzip, deflate\r\n"
                "X-Requested-With: trovelane\r\n\r\nq=river");
}

TEST(RequestOptions, AnEngineAgentWithALineEndIsNotSent) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 200 OK", "", "ok")));
  CHttpURL page;
  RequestOptions options;
  options.userAgent = "Agent\r\nX-Injected: 1";
  page.SetRequestOptions(options);
  Fetch(page, server.Url("/"), nullptr);
  const std::string request = server.Received(0);
  EXPECT_NE(request.find(std::string("User-Agent: ") + test::kTestUserAgent + "\r\n"),
            std::string::npos);
  EXPECT_EQ(request.find("X-Injected"), std::string::npos);
}

// Header lines may carry credentials: a redirect on the same host keeps them,
// one to another host gets none of them (as curl without --location-trusted).
TEST(RequestOptions, ExtraHeadersGoOnlyToTheHostTheyWereSetFor) {
  LoopbackServer other(Answer(HttpResponse("HTTP/1.0 200 OK", "", "elsewhere")));
  const std::string away = "http://localhost:" + std::to_string(other.port()) + "/away";
  auto count = std::make_shared<std::atomic<int>>(0);
  LoopbackServer origin([away, count](ServerConnection& c) {
    const int n = (*count)++;
    Answer(n == 0 ? HttpResponse("HTTP/1.0 302 Found", "Location: /same\r\n", "")
                  : HttpResponse("HTTP/1.0 302 Found", "Location: " + away + "\r\n", ""))(c);
  });
  CHttpURL page;
  RequestOptions options;
  options.extraHeaders = {{"Authorization", "Basic c2VjcmV0"}, {"X-Api-Key", "k3y"},
                          {"Cookie", "sid=1"}};
  page.SetRequestOptions(options);
  EXPECT_EQ(Fetch(page, origin.Url("/first"), nullptr), "elsewhere");
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NE(origin.Received(i).find("Authorization: Basic c2VjcmV0\r\nX-Api-Key: k3y\r\n"),
              std::string::npos)
        << origin.Received(i);
  }
  const std::string redirected = other.Received(0);
  EXPECT_EQ(redirected.substr(0, 19), "GET /away HTTP/1.0\r");
  for (const char* secret : {"c2VjcmV0", "k3y", "sid=1"}) {
    EXPECT_EQ(redirected.find(secret), std::string::npos) << secret;
  }
}

// An answer sent in small pieces, so that chunk lines and compressed data
// arrive split across reads.
LoopbackServer::Handler Trickle(std::string answer, size_t piece) {
  return [answer, piece](ServerConnection& c) {
    c.ReadRequest();
    for (size_t at = 0; at < answer.size(); at += piece) c.Send(answer.substr(at, piece));
    c.ShutdownWrite();
    c.ReadToEnd();
  };
}

std::string Page(size_t size) {
  std::string page;
  for (int i = 0; page.size() < size; ++i) {
    page += "<a href=\"https://result.example/" + std::to_string(i) + "\">result</a>\n";
  }
  return page;
}

struct Got {
  std::string body;
  ReadFailure failure;
  std::string failureText;
};

Got Get(const std::string& url, RequestOptions options, int chunk = 4096) {
  CHttpURL page;
  page.SetRequestOptions(options);
  EXPECT_TRUE(page.SetURL(url, false).ok());
  Got got;
  if (!page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr)) {
    return {"", ReadFailure::kNone, "not opened"};
  }
  got.body = ReadBody(page, chunk);
  got.failure = page.GetReadFailure();
  got.failureText = page.GetReadFailureText();
  return got;
}

RequestOptions Http11(bool compression) {
  RequestOptions options;
  options.http11 = true;
  options.acceptCompression = compression;
  return options;
}

TEST(RequestOptions, ChunkedAndCompressedBodiesAreDecoded) {
  const std::string page = Page(200000);
  struct Case {
    const char* what;
    std::string answer;
  };
  const Case cases[] = {
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + ChunkedBytes(page, 999)},
      {"chunked beside a Content-Length that means nothing",
       "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n" +
           ChunkedBytes(page, 4096)},
      {"gzip with a Content-Length",
       HttpResponse("HTTP/1.1 200 OK", "Content-Encoding: gzip\r\n", GzipBytes(page))},
      {"gzip until the server closes",
       HttpResponse("HTTP/1.1 200 OK", "Content-Encoding: gzip\r\n", GzipBytes(page), false)},
      {"deflate in chunks",
       "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nTransfer-Encoding: chunked\r\n\r\n" +
           ChunkedBytes(test::DeflateBytes(page), 1000)},
  };
  LoopbackServer* servers[std::size(cases)];
  std::vector<std::unique_ptr<LoopbackServer>> keep;
  for (size_t i = 0; i < std::size(cases); ++i) {
    keep.push_back(std::make_unique<LoopbackServer>(Trickle(cases[i].answer, 1500)));
    servers[i] = keep.back().get();
  }
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    for (int chunk : {7, 65535}) {
      Got got = Get(servers[i]->Url("/"), Http11(true), chunk);
      EXPECT_EQ(got.failure, ReadFailure::kNone) << got.failureText;
      EXPECT_TRUE(got.body == page) << got.body.size();
    }
  }
}

TEST(RequestOptions, ACompressedBodyEndsAtItsLengthOnAConnectionLeftOpen) {
  const std::string page = Page(5000);
  LoopbackServer server([&](ServerConnection& c) {
    c.ReadRequest();
    c.Send(HttpResponse("HTTP/1.1 200 OK", "Content-Encoding: gzip\r\n", GzipBytes(page)));
    c.WaitForStop();
  });
  Got got = Get(server.Url("/"), Http11(true));
  EXPECT_EQ(got.failure, ReadFailure::kNone);
  EXPECT_TRUE(got.body == page);
}

TEST(RequestOptions, HostileBodiesEndInAReadFailure) {
  struct Case {
    const char* what;
    std::string answer;
    ReadFailure failure;
  };
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  std::string cutGzip = GzipBytes(Page(50000));
  cutGzip.resize(cutGzip.size() / 2);
  const Case cases[] = {
      {"a chunk size beyond 64 bits", head + "FFFFFFFFFFFFFFFFFF\r\nabc", ReadFailure::kMalformed},
      {"a chunk size line without end", head + std::string(100000, '1'), ReadFailure::kMalformed},
      {"chunk data without CRLF after it", head + "2\r\nabcdef\r\n0\r\n\r\n",
       ReadFailure::kMalformed},
      {"no last chunk", head + "3\r\nabc\r\n", ReadFailure::kTruncated},
      {"gzip that is not gzip",
       HttpResponse("HTTP/1.1 200 OK", "Content-Encoding: gzip\r\n", "<html>plain</html>"),
       ReadFailure::kMalformed},
      {"gzip cut short", HttpResponse("HTTP/1.1 200 OK", "Content-Encoding: gzip\r\n", cutGzip, false),
       ReadFailure::kTruncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LoopbackServer server(Answer(c.answer));
    Got got = Get(server.Url("/"), Http11(true));
    EXPECT_EQ(got.failure, c.failure);
    if (c.failure == ReadFailure::kMalformed) {
      EXPECT_FALSE(got.failureText.empty());
    }
  }
}

TEST(RequestOptions, ADecompressionBombStopsAtThePageBound) {
  // A chunked stream of gzip members whose whole is far beyond 64 MiB.
  const std::string member = GzipBytes(std::string(16u << 20, 'A'));
  LoopbackServer server([&](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n");
    std::string chunk = ChunkedBytes(member, member.size());
    chunk.resize(chunk.size() - 5);  // without the last chunk: the stream goes on
    for (int i = 0; i < 8; ++i) c.Send(chunk);
    c.Send("0\r\n\r\n");
    c.ShutdownWrite();
    c.ReadToEnd();
  });
  CHttpURL page;
  page.SetRequestOptions(Http11(true));
  EXPECT_TRUE(page.SetURL(server.Url("/"), false).ok());
  ASSERT_TRUE(page.Open(test::kTestUserAgent, nullptr, nullptr, nullptr));
  std::string buffer(65535, '\0');
  uint64_t total = 0;
  bool allA = true;
  while (int n = page.Read(buffer.data(), 65535)) {
    total += static_cast<uint64_t>(n);
    allA = allA && buffer.find_first_not_of('A', 0) >= static_cast<size_t>(n);
  }
  EXPECT_EQ(page.GetReadFailure(), ReadFailure::kTooLarge);
  EXPECT_EQ(total, kMaxDecodedBodyBytes);
  EXPECT_TRUE(allA);
}

TEST(RequestOptions, WithoutTheOptionsBodiesAreReadAsTheyCome) {
  // What the program always did: an HTTP/1.0 request reads a chunked answer
  // (a server's mistake) and an unasked-for compression as they stand.
  const std::string chunked =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + ChunkedBytes("hello", 2);
  const std::string gzipBody = GzipBytes("hello");
  LoopbackServer chunkedServer(Answer(chunked));
  LoopbackServer gzipServer(
      Answer(HttpResponse("HTTP/1.1 200 OK", "Content-Encoding: gzip\r\n", gzipBody)));
  EXPECT_EQ(Get(chunkedServer.Url("/"), {}).body, ChunkedBytes("hello", 2));
  EXPECT_EQ(Get(gzipServer.Url("/"), Http11(false)).body, gzipBody);
}

TEST(Resolve, TheConnectionGoesToTheAddressAndTheRequestNamesTheHost) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 200 OK", "", "fixture")));
  ProgramOptions options;
  options.resolve = {{"other.test", server.port(), "192.0.2.1"},  // another host: not taken
                     {"Engine.TEST", server.port(), "127.0.0.1"},
                     {"engine.test", server.port(), "192.0.2.1"}};  // the first entry counts
  CHttpURL page;
  page.SetTimeouts(options);
  const std::string url = "http://engine.test:" + std::to_string(server.port()) + "/q";
  EXPECT_EQ(Fetch(page, url, nullptr), "fixture");
  EXPECT_NE(server.Received(0).find("GET /q HTTP/1.0\r\n"), std::string::npos);
  EXPECT_NE(server.Received(0).find("\r\nHost: engine.test:" + std::to_string(server.port()) +
                                    "\r\n"),
            std::string::npos);

  // Another port of the same host is not redirected: its name is looked up
  // (a reserved name, which never resolves).
  bool opened = true;
  Fetch(page, "http://engine.invalid:1/", nullptr, &opened);
  EXPECT_FALSE(opened);
  EXPECT_EQ(page.GetFailure(), OpenFailure::kResolve);
}

TEST(Resolve, ThroughAProxyTheEntryOfTheProxyCountsAndTheServerNameGoesToIt) {
  LoopbackServer proxy(Answer(HttpResponse("HTTP/1.0 200 OK", "", "via proxy")));
  ProgramOptions options;
  options.resolve = {{"proxy.test", proxy.port(), "127.0.0.1"},
                     {"engine.test", 80, "192.0.2.1"}};
  CHttpURL page;
  page.SetTimeouts(options);
  ProxySettings settings = test::MakeProxy(kProxyCern, proxy.port());
  settings.host = "proxy.test";
  EXPECT_EQ(Fetch(page, "http://engine.test/q", &settings), "via proxy");
  EXPECT_EQ(proxy.Received(0).rfind("GET http://engine.test/q HTTP/1.0\r\n", 0), 0u);
}

}  // namespace
}  // namespace trovelane
