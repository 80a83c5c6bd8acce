// A small HTTP/1.0 server on 127.0.0.1: one thread per connection, one
// request per connection, answered and closed. Bounded: at most
// `maxConnections` at once (more are answered 503), request heads and
// bodies of at most 64 KiB, and idle peers are dropped after 10 seconds.
//
// A thread that has closed its connection waits a while for the next one
// instead of ending: the benchmarks run this server in the same process as
// the searches they time, where a thread started for each of hundreds of
// connections showed in their profiles.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace trovelane::sample {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  std::string method;
  std::string target;  // as on the request line: path and query
  std::string path;    // target up to '?'
  std::string query;   // target after '?', empty when there is none
  HeaderList headers;
  std::string body;

  // The first header of that name (case-insensitive), or empty.
  std::string Header(std::string_view name) const;
};

struct HttpResponse {
  int status = 200;
  std::string contentType = "text/html";
  HeaderList headers;  // extra lines such as Set-Cookie or Location
  std::string body;
  // When not 0: the head and the first half of the body go out at once,
  // then the server waits this long before the rest (a slow download).
  int pauseMs = 0;
  // When not 0: nothing goes out before this many milliseconds (a server
  // far away).
  int delayMs = 0;
  // Runs once the connection is done with: `complete` when the whole
  // response went out, false when the client left or the server stopped
  // first.
  std::function<void(bool complete)> onSent;
};

// Parses a request head (request line and header lines, without the final
// empty line). Tolerates blanks inside the target: the method ends at the
// first blank, the version starts after the last one.
bool ParseRequestHead(std::string_view head, HttpRequest& request);

const char* ReasonPhrase(int status);

class HttpServer {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;

  HttpServer(Handler handler, int maxConnections);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds 127.0.0.1:`port` (0: a free port) and starts serving.
  // IoError naming the call that failed and the system's reason.
  Status Start(uint16_t port);
  uint16_t Port() const { return port_; }
  // Stops accepting, ends every connection and waits for their threads.
  void Stop();

 private:
  struct ServingThread {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptLoop();
  // Hands `fd` to a waiting thread or starts one; false when
  // `maxConnections` are served already.
  bool Dispatch(int fd);
  void ServeConnections(ServingThread& self);
  void Serve(int fd);
  void ReapFinished(bool all);
  // Waits `ms` unless the client hangs up or the server stops first; true
  // when the whole time passed.
  bool Pause(int fd, int ms);
  bool WaitFor(int fd, short events, int timeoutMs);
  bool SendAll(int fd, std::string_view bytes);

  Handler handler_;
  int maxConnections_;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptThread_;
  std::list<std::unique_ptr<ServingThread>> threads_;  // only the accept thread and Stop

  std::mutex mutex_;
  std::condition_variable accepted_;  // a connection was queued, or Stop
  std::deque<int> queued_;            // accepted, not yet taken by a thread
  int waitingThreads_ = 0;            // threads waiting for a connection
  int connections_ = 0;               // queued or being served
};

}  // namespace trovelane::sample
