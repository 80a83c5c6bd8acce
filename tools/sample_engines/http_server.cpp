#include "tools/sample_engines/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace trovelane::sample {

namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr size_t kMaxBody = 64 * 1024;
constexpr int kIdleMs = 10000;
constexpr int kLingerMs = 1000;
// How long a thread without a connection waits for the next one.
constexpr auto kThreadIdle = std::chrono::seconds(2);

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::string SerializeHead(const HttpResponse& response) {
  std::string head =
      "HTTP/1.0 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
  head += "Server: trovelane-sample-engines\r\n";
  head += "Content-Type: " + response.contentType + "\r\n";
  head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
  head += "Connection: close\r\n\r\n";
  return head;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) return v;
  }
  return {};
}

bool ParseRequestHead(std::string_view head, HttpRequest& request) {
  size_t lineEnd = head.find('\n');
  std::string_view line = Trim(head.substr(0, lineEnd));
  size_t first = line.find(' ');
  if (first == std::string_view::npos || first == 0) return false;
  size_t last = line.rfind(' ');
  request.method = std::string(line.substr(0, first));
  std::string_view target = last > first && line.substr(last + 1).starts_with("HTTP/")
                                ? line.substr(first + 1, last - first - 1)
                                : line.substr(first + 1);
  request.target = std::string(Trim(target));
  if (request.target.empty()) return false;
  size_t mark = request.target.find('?');
  request.path = request.target.substr(0, mark);
  request.query = mark == std::string::npos ? std::string() : request.target.substr(mark + 1);

  while (lineEnd != std::string_view::npos) {
    size_t start = lineEnd + 1;
    lineEnd = head.find('\n', start);
    std::string_view headerLine = Trim(head.substr(start, lineEnd - start));
    size_t colon = headerLine.find(':');
    if (headerLine.empty() || colon == std::string_view::npos) continue;
    request.headers.emplace_back(std::string(Trim(headerLine.substr(0, colon))),
                                 std::string(Trim(headerLine.substr(colon + 1))));
  }
  return true;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 302:
      return "Found";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Unknown";
  }
}

HttpServer::HttpServer(Handler handler, int maxConnections)
    : handler_(std::move(handler)), maxConnections_(maxConnections < 1 ? 1 : maxConnections) {}

HttpServer::~HttpServer() { Stop(); }

Status HttpServer::Start(uint16_t port) {
  auto fail = [&](const char* what) {
    Status failed = Status::IoError(std::string(what) + ": " + std::strerror(errno));
    if (listenFd_ >= 0) close(listenFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
    return failed;
  };
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listenFd_ < 0) return fail("socket");
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return fail("bind");
  }
  if (listen(listenFd_, 128) != 0) return fail("listen");
  socklen_t length = sizeof address;
  if (getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return fail("getsockname");
  }
  port_ = ntohs(address.sin_port);
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) return fail("eventfd");
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return Status::Ok();
}

void HttpServer::Stop() {
  if (!acceptThread_.joinable()) return;
  stopping_ = true;
  // The eventfd stays readable from now on, so every poll returns at once.
  uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
  {
    // Taken so that no thread can be between its look at stopping_ and its wait.
    std::lock_guard<std::mutex> lock(mutex_);
  }
  accepted_.notify_all();
  acceptThread_.join();
  ReapFinished(true);
  // Connections no thread took before the end.
  for (int fd : queued_) close(fd);
  queued_.clear();
  close(listenFd_);
  close(wakeFd_);
  listenFd_ = wakeFd_ = -1;
}

bool HttpServer::Pause(int fd, int ms) {
  // Only a hang-up ends the wait early: a client may well send a stray line
  // end after its request, which must not count.
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    end - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return !stopping_;
    pollfd fds[2] = {{fd, POLLRDHUP, 0}, {wakeFd_, POLLIN, 0}};
    int ready = poll(fds, 2, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready != 0) return false;
  }
}

void HttpServer::ReapFinished(bool all) {
  for (auto it = threads_.begin(); it != threads_.end();) {
    if (all || (*it)->done) {
      (*it)->thread.join();
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
}

bool HttpServer::Dispatch(int fd) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connections_ >= maxConnections_) return false;
    ++connections_;
    queued_.push_back(fd);
    // Each waiting thread takes one queued connection.
    if (static_cast<int>(queued_.size()) <= waitingThreads_) {
      accepted_.notify_one();
      return true;
    }
  }
  auto serving = std::make_unique<ServingThread>();
  ServingThread& ref = *serving;
  threads_.push_back(std::move(serving));
  ref.thread = std::thread([this, &ref] { ServeConnections(ref); });
  return true;
}

void HttpServer::ServeConnections(ServingThread& self) {
  for (;;) {
    int fd = -1;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ++waitingThreads_;
      accepted_.wait_for(lock, kThreadIdle, [this] { return !queued_.empty() || stopping_; });
      --waitingThreads_;
      if (queued_.empty()) break;
      fd = queued_.front();
      queued_.pop_front();
    }
    Serve(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    --connections_;
  }
  self.done = true;
}

void HttpServer::AcceptLoop() {
  while (!stopping_) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    int ready = poll(fds, 2, 200);
    ReapFinished(false);
    if (ready <= 0 || stopping_ || !(fds[0].revents & POLLIN)) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    if (!Dispatch(fd)) {
      HttpResponse busy;
      busy.status = 503;
      busy.body = "busy\n";
      std::string bytes = SerializeHead(busy) + busy.body;
      [[maybe_unused]] ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      close(fd);
    }
  }
}

bool HttpServer::WaitFor(int fd, short events, int timeoutMs) {
  pollfd fds[2] = {{fd, events, 0}, {wakeFd_, POLLIN, 0}};
  int ready = poll(fds, 2, timeoutMs);
  if (ready <= 0 || (fds[1].revents & POLLIN)) return false;
  return fds[0].revents != 0;
}

bool HttpServer::SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!WaitFor(fd, POLLOUT, kIdleMs)) return false;
    } else {
      return false;
    }
  }
  return true;
}

void HttpServer::Serve(int fd) {
  std::string buffer;
  char chunk[8192];
  HttpRequest request;
  HttpResponse response;
  bool answer = false;

  // Returns the number of bytes received, 0 when the peer closed, stopped or timed out.
  auto receive = [&]() -> ssize_t {
    for (;;) {
      if (!WaitFor(fd, POLLIN, kIdleMs)) return 0;
      ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      return n < 0 ? 0 : n;
    }
  };

  size_t headEnd = std::string::npos;
  size_t bodyStart = 0;
  while (headEnd == std::string::npos) {
    ssize_t n = receive();
    if (n <= 0) break;
    buffer.append(chunk, static_cast<size_t>(n));
    if ((headEnd = buffer.find("\r\n\r\n")) != std::string::npos) {
      bodyStart = headEnd + 4;
    } else if ((headEnd = buffer.find("\n\n")) != std::string::npos) {
      bodyStart = headEnd + 2;
    } else if (buffer.size() > kMaxHead) {
      break;
    }
  }
  if (headEnd != std::string::npos) {
    answer = true;
    if (!ParseRequestHead(std::string_view(buffer).substr(0, headEnd), request)) {
      response.status = 400;
      response.body = "bad request\n";
    } else {
      size_t length = std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
      if (length > kMaxBody) {
        response.status = 413;
        response.body = "body too large\n";
      } else {
        while (buffer.size() - bodyStart < length) {
          ssize_t n = receive();
          if (n <= 0) break;
          buffer.append(chunk, static_cast<size_t>(n));
        }
        // Bytes beyond the declared body (a client may send a stray line
        // end) are ignored.
        request.body = buffer.substr(bodyStart, length);
        try {
          response = handler_(request);
        } catch (const std::exception& e) {
          response = HttpResponse{};
          response.status = 500;
          response.body = std::string(e.what()) + "\n";
        }
      }
    }
  }

  bool complete = false;
  if (answer && response.delayMs > 0) answer = Pause(fd, response.delayMs);
  if (answer) {
    std::string head = SerializeHead(response);
    if (response.pauseMs > 0) {
      size_t half = response.body.size() / 2;
      complete = SendAll(fd, head + response.body.substr(0, half)) && Pause(fd, response.pauseMs) &&
                 SendAll(fd, std::string_view(response.body).substr(half));
    } else {
      complete = SendAll(fd, head + response.body);
    }
  }
  if (response.onSent) response.onSent(complete);

  // Close gracefully: closing with unread bytes would reset the connection
  // and could destroy the answer before the client has read it.
  shutdown(fd, SHUT_WR);
  auto lingerEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLingerMs);
  while (std::chrono::steady_clock::now() < lingerEnd) {
    if (!WaitFor(fd, POLLIN, kLingerMs)) break;
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
  }
  close(fd);
}

}  // namespace trovelane::sample
