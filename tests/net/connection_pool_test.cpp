// Connections kept between requests (a ConnectionPool attached to CHttpURL)
// against scripted loopback servers: which answers let a connection be
// kept, a kept connection that the server closed, HTTP/1.0 requests as
// without a pool, one name lookup per host, Stop on a kept connection, and
// many threads sharing one pool.
#include "net/connection_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/http_url.h"
#include "tests/net/fetch_helpers.h"
#include "tests/support/loopback_server.h"

namespace trovelane {
namespace {

using test::Fetch;
using test::LoopbackServer;
using test::ServerConnection;

// How a server answers: keeping the connection, or ending it with
// "Connection: close", or in HTTP/1.0.
enum class Keeps { kAlive, kCloseHeader, kHttp10 };

std::string Answer(const std::string& body, Keeps keeps = Keeps::kAlive) {
  return std::string(keeps == Keeps::kHttp10 ? "HTTP/1.0" : "HTTP/1.1") + " 200 OK\r\n" +
         (keeps == Keeps::kCloseHeader ? "Connection: close\r\n" : "") +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The target of the request line.
std::string Target(const std::string& request) {
  const size_t begin = request.find(' ') + 1;
  return request.substr(begin, request.find(' ', begin) - begin);
}

// Answers each request with its own target as the body, until the client
// closes (or after one answer, unless `keeps` keeps the connection).
LoopbackServer::Handler EchoTarget(Keeps keeps) {
  return [keeps](ServerConnection& c) {
    for (;;) {
      const std::string request = c.ReadRequest();
      if (request.find("\r\n\r\n") == std::string::npos) return;
      c.Send(Answer(Target(request), keeps));
      if (keeps != Keeps::kAlive) return;
    }
  };
}

void UsePool(CHttpURL& page, ConnectionPool& pool, bool http11 = true) {
  RequestOptions options;
  options.http11 = http11;
  page.SetRequestOptions(options);
  page.SetConnectionPool(&pool);
}

TEST(ConnectionPool, OnlyAnHttp11AnswerWithoutCloseKeepsItsConnection) {
  for (const Keeps keeps : {Keeps::kAlive, Keeps::kCloseHeader, Keeps::kHttp10}) {
    SCOPED_TRACE(static_cast<int>(keeps));
    LoopbackServer server(EchoTarget(keeps));
    ConnectionPool pool;
    CHttpURL page;
    UsePool(page, pool);
    for (const std::string path : {"/a", "/b", "/c"}) {
      EXPECT_EQ(Fetch(page, server.Url(path), nullptr), path);
    }
    EXPECT_EQ(server.ConnectionCount(), keeps == Keeps::kAlive ? 1u : 3u);
    pool.Close();  // the kept connection ends: its record is complete
    // Requests that may be kept say nothing of closing.
    EXPECT_EQ(server.Received(0).find("Connection:"), std::string::npos);
  }
}

// A connection kept for itself (an engine's result pages) waits for its
// owner's next request: another connection to the same server opens its
// own meanwhile, and gets the owner's once the owner is gone.
TEST(ConnectionPool, AConnectionKeptForItselfWaitsForItsOwner) {
  LoopbackServer server(EchoTarget(Keeps::kAlive));
  ConnectionPool pool;
  CHttpURL check;
  UsePool(check, pool);
  {
    CHttpURL pages;
    pages.KeepConnectionsForItself();
    UsePool(pages, pool);
    EXPECT_EQ(Fetch(pages, server.Url("/page1"), nullptr), "/page1");
    EXPECT_EQ(Fetch(check, server.Url("/check"), nullptr), "/check");
    EXPECT_EQ(server.ConnectionCount(), 2u);
    EXPECT_EQ(Fetch(pages, server.Url("/page2"), nullptr), "/page2");
    EXPECT_EQ(server.ConnectionCount(), 2u);
  }
  for (const std::string path : {"/after1", "/after2"}) {
    EXPECT_EQ(Fetch(check, server.Url(path), nullptr), path);
  }
  EXPECT_EQ(server.ConnectionCount(), 2u);
  pool.Close();
}

// The server closes its first connection while it is idle, and its second
// as the next request comes in, without an answer: every request is
// answered all the same, each time on a new connection.
TEST(ConnectionPool, AKeptConnectionTheServerClosedIsReplaced) {
  std::atomic<int> connections{0};
  LoopbackServer server([&](ServerConnection& c) {
    const int index = connections++;
    if (index < 2) {
      c.Send(Answer(Target(c.ReadRequest())));
      if (index == 1) c.ReadRequest();
      return;
    }
    EchoTarget(Keeps::kAlive)(c);
  });
  ConnectionPool pool;
  CHttpURL page;
  UsePool(page, pool);
  for (const std::string path : {"/1", "/2", "/3"}) {
    EXPECT_EQ(Fetch(page, server.Url(path), nullptr), path);
    EXPECT_EQ(page.GetStatus(), 200);
  }
  EXPECT_EQ(server.ConnectionCount(), 3u);
}

// An HTTP/1.0 request is byte for byte the one sent without a pool; an
// HTTP/1.1 request only loses its "Connection: close".
TEST(ConnectionPool, RequestsAreTheOnesSentWithoutAPoolButForConnectionClose) {
  LoopbackServer server(EchoTarget(Keeps::kHttp10));
  ConnectionPool pool;
  for (const bool http11 : {false, true}) {
    CHttpURL alone;
    RequestOptions options;
    options.http11 = http11;
    alone.SetRequestOptions(options);
    CHttpURL pooled;
    UsePool(pooled, pool, http11);
    EXPECT_EQ(Fetch(alone, server.Url("/x?q=1"), nullptr), "/x?q=1");
    EXPECT_EQ(Fetch(pooled, server.Url("/x?q=1"), nullptr), "/x?q=1");
  }
  EXPECT_EQ(server.Received(1), server.Received(0));
  std::string expected = server.Received(2);
  const size_t close = expected.find("Connection: close\r\n");
  ASSERT_NE(close, std::string::npos);
  expected.erase(close, std::string("Connection: close\r\n").size());
  EXPECT_EQ(server.Received(3), expected);
}

TEST(ConnectionPool, AHostNameIsLookedUpOnce) {
  LoopbackServer server(EchoTarget(Keeps::kHttp10));  // a new connection each time
  ConnectionPool pool;
  for (int i = 0; i < 3; ++i) {
    CHttpURL page;
    UsePool(page, pool, false);
    const std::string path = "/" + std::to_string(i);
    EXPECT_EQ(Fetch(page, "http://localhost:" + std::to_string(server.port()) + path, nullptr),
              path);
  }
  EXPECT_EQ(server.ConnectionCount(), 3u);
  EXPECT_EQ(pool.names().lookups(), 1);
}

// Another object takes the kept connection; a cancel from another thread
// still ends its wait for the rest of a body.
TEST(ConnectionPool, CancelEndsTheReadOfAKeptConnection) {
  LoopbackServer server([](ServerConnection& c) {
    c.Send(Answer(Target(c.ReadRequest())));
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
    c.WaitForStop();
  });
  ConnectionPool pool;
  CHttpURL first;
  UsePool(first, pool);
  EXPECT_EQ(Fetch(first, server.Url("/first"), nullptr), "/first");
  CHttpURL second;
  UsePool(second, pool);
  ASSERT_TRUE(second.SetURL(server.Url("/second"), false).ok());
  ASSERT_TRUE(second.Open(nullptr, nullptr, nullptr, nullptr));
  char buffer[200];
  for (int got = 0; got < 7;) {
    const int n = second.Read(buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    got += n;
  }
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    second.Cancel();
  });
  EXPECT_EQ(second.Read(buffer, sizeof buffer), 0);
  stopper.join();
  EXPECT_EQ(second.GetReadFailure(), ReadFailure::kCancelled);
  second.Close();
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

// Threads that fetch at once through one pool each get the answer to their
// own request.
TEST(ConnectionPool, ManyThreadsShareOnePool) {
  LoopbackServer server(EchoTarget(Keeps::kAlive));
  ConnectionPool pool;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      CHttpURL page;
      UsePool(page, pool);
      for (int i = 0; i < 10; ++i) {
        const std::string path = "/" + std::to_string(t) + "/" + std::to_string(i);
        if (Fetch(page, server.Url(path), nullptr) != path) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
  pool.Close();
}

}  // namespace
}  // namespace trovelane
