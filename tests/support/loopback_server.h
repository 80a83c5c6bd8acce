// A scripted TCP server on loopback for tests: it listens on a free port of
// 127.0.0.1 (or on the address and port it is given),
// runs the test's handler for every connection on a thread of its own, and
// records every byte each connection received. With a certificate it speaks
// TLS. Everything stops in the destructor, also a handler that still waits.
#pragma once

#include <openssl/ssl.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace trovelane::test {

// One accepted connection as the handler sees it. Reads end early (returning
// what they have) when the peer closes or the server stops.
class ServerConnection {
 public:
  ServerConnection(int fd, int stopFd, SSL* ssl, std::string* record, std::mutex* recordMutex);
  ~ServerConnection();

  // Reads until `terminator` has been received; returns everything read.
  std::string ReadUntil(std::string_view terminator);
  std::string ReadExactly(size_t length);
  // Reads a request head and, when it names a Content-Length, its body.
  std::string ReadRequest();
  // Reads until the peer closes.
  std::string ReadToEnd();
  void Send(std::string_view bytes);
  // Ends the sending direction; the peer sees the end of the stream.
  void ShutdownWrite();
  // Waits until the server stops (a peer that never gets an answer).
  void WaitForStop();
  // Over TLS: the server name the client asked for (SNI); empty when none.
  std::string ServerName() const;
  // Over TLS: whether the client resumed an earlier session.
  bool SessionReused() const;

 private:
  size_t ReadSome(char* buffer, size_t length);  // 0 at the end or on stop

  int fd_;
  int stopFd_;
  SSL* ssl_;
  std::string* record_;
  std::mutex* recordMutex_;
  std::string pending_;  // read but not yet handed out
};

// Where a server listens: an IPv4 address of 127.0.0.0/8 and a port (0: a
// free one).
struct ListenAddress {
  std::string address = "127.0.0.1";
  int port = 0;
};

class LoopbackServer {
 public:
  using Handler = std::function<void(ServerConnection&)>;

  // `certificateFile` and `keyFile` (PEM) make it a TLS server. Throws
  // std::system_error when it cannot listen (the error code says why).
  explicit LoopbackServer(Handler handler, const std::string& certificateFile = "",
                          const std::string& keyFile = "", const ListenAddress& listen = {});
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  std::string Url(std::string_view path = "/") const;

  // Bytes received on connection `index` (from 0), once its handler ended
  // (waits at most 5 s for it).
  std::string Received(size_t index);
  size_t ConnectionCount();

 private:
  void AcceptLoop();
  void Serve(int fd, size_t index);

  Handler handler_;
  const std::string address_;
  SSL_CTX* tls_ = nullptr;
  int listenFd_ = -1;
  int stopFd_ = -1;
  int port_ = 0;
  std::thread acceptThread_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<std::string>> records_;  // guarded by mutex_
  std::vector<bool> finished_;                         // guarded by mutex_
  std::vector<std::thread> handlers_;                  // guarded by mutex_
};

// Handlers for the common cases.
// Reads the request, sends `response`, ends the stream and reads on until the
// client closes, so that every byte of the request is recorded.
LoopbackServer::Handler Answer(std::string response);
// An HTTP/1.0 answer with the given status line, extra header lines and body
// (a Content-Length line is added unless `withLength` is false).
std::string HttpResponse(std::string_view statusLine, std::string_view headers,
                         std::string_view body, bool withLength = true);

}  // namespace trovelane::test
