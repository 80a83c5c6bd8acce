#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace trovelane::test {

ServerConnection::ServerConnection(int fd, int stopFd, SSL* ssl, std::string* record,
                                   std::mutex* recordMutex)
    : fd_(fd), stopFd_(stopFd), ssl_(ssl), record_(record), recordMutex_(recordMutex) {}

ServerConnection::~ServerConnection() {
  if (ssl_) {
    SSL_shutdown(ssl_);
    SSL_free(ssl_);
  }
  close(fd_);
}

size_t ServerConnection::ReadSome(char* buffer, size_t length) {
  if (!ssl_ || SSL_pending(ssl_) == 0) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    while (poll(fds, 2, -1) < 0) {
      if (errno != EINTR) return 0;
    }
    if (fds[1].revents & POLLIN) return 0;
  }
  ssize_t n =
      ssl_ ? SSL_read(ssl_, buffer, static_cast<int>(length)) : recv(fd_, buffer, length, 0);
  if (n <= 0) return 0;
  std::lock_guard lock(*recordMutex_);
  record_->append(buffer, static_cast<size_t>(n));
  return static_cast<size_t>(n);
}

std::string ServerConnection::ReadUntil(std::string_view terminator) {
  char buffer[4096];
  size_t found;
  while ((found = pending_.find(terminator)) == std::string::npos) {
    size_t n = ReadSome(buffer, sizeof buffer);
    if (n == 0) return std::exchange(pending_, {});
    pending_.append(buffer, n);
  }
  std::string result = pending_.substr(0, found + terminator.size());
  pending_.erase(0, found + terminator.size());
  return result;
}

std::string ServerConnection::ReadExactly(size_t length) {
  char buffer[4096];
  while (pending_.size() < length) {
    size_t n = ReadSome(buffer, std::min(sizeof buffer, length - pending_.size()));
    if (n == 0) break;
    pending_.append(buffer, n);
  }
  std::string result = pending_.substr(0, length);
  pending_.erase(0, result.size());
  return result;
}

std::string ServerConnection::ReadRequest() {
  std::string head = ReadUntil("\r\n\r\n");
  const char* kName = "\r\ncontent-length:";
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  size_t at = lower.find(kName);
  if (at == std::string::npos) return head;
  return head + ReadExactly(std::stoul(head.substr(at + strlen(kName))));
}

std::string ServerConnection::ReadToEnd() {
  char buffer[4096];
  std::string all = std::exchange(pending_, {});
  while (size_t n = ReadSome(buffer, sizeof buffer)) all.append(buffer, n);
  return all;
}

void ServerConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n;
    if (ssl_) {
      n = SSL_write(ssl_, bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), 1 << 20)));
    } else {
      pollfd fds[2] = {{fd_, POLLOUT, 0}, {stopFd_, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
      if (fds[1].revents & POLLIN) return;
      n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    }
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

void ServerConnection::ShutdownWrite() {
  if (ssl_) SSL_shutdown(ssl_);
  shutdown(fd_, SHUT_WR);
}

std::string ServerConnection::ServerName() const {
  const char* name = ssl_ ? SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name) : nullptr;
  return name ? name : "";
}

bool ServerConnection::SessionReused() const { return ssl_ && SSL_session_reused(ssl_) == 1; }

void ServerConnection::WaitForStop() {
  pollfd p{stopFd_, POLLIN, 0};
  while (poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
}

LoopbackServer::LoopbackServer(Handler handler, const std::string& certificateFile,
                               const std::string& keyFile, const ListenAddress& listen)
    : handler_(std::move(handler)), address_(listen.address) {
  signal(SIGPIPE, SIG_IGN);  // a client that went away must not end the test program
  if (!certificateFile.empty()) {
    tls_ = SSL_CTX_new(TLS_server_method());
    if (!tls_ || SSL_CTX_use_certificate_chain_file(tls_, certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
      throw std::runtime_error("test server: cannot load " + certificateFile);
    }
  }
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(listen.port));
  socklen_t length = sizeof address;
  if (inet_pton(AF_INET, listen.address.c_str(), &address.sin_addr) != 1 ||
      (ntohl(address.sin_addr.s_addr) >> 24) != 127) {
    throw std::runtime_error("test server: " + listen.address + " is not a loopback address");
  }
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 64) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    int error = errno;
    close(listenFd_);
    close(stopFd_);
    if (tls_) SSL_CTX_free(tls_);
    throw std::system_error(error, std::generic_category(),
                            "test server: cannot listen on " + listen.address + ":" +
                                std::to_string(listen.port));
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(stopFd_, &one, sizeof one);
  acceptThread_.join();
  std::vector<std::thread> handlers;
  {
    std::lock_guard lock(mutex_);
    handlers.swap(handlers_);
  }
  for (auto& t : handlers) t.join();
  close(listenFd_);
  close(stopFd_);
  if (tls_) SSL_CTX_free(tls_);
}

std::string LoopbackServer::Url(std::string_view path) const {
  return (tls_ ? std::string("https://localhost:") : "http://" + address_ + ":") +
         std::to_string(port_) + std::string(path);
}

void LoopbackServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents & POLLIN) return;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int on = 1;  // scripted answers go out in pieces; none may wait for an ACK
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::lock_guard lock(mutex_);
    size_t index = records_.size();
    records_.push_back(std::make_unique<std::string>());
    finished_.push_back(false);
    handlers_.emplace_back([this, fd, index] { Serve(fd, index); });
    changed_.notify_all();
  }
}

void LoopbackServer::Serve(int fd, size_t index) {
  SSL* ssl = nullptr;
  std::string* record;
  {
    std::lock_guard lock(mutex_);
    record = records_[index].get();
  }
  bool ready = true;
  if (tls_) {
    ssl = SSL_new(tls_);
    SSL_set_fd(ssl, fd);
    ready = SSL_accept(ssl) == 1;
  }
  {
    ServerConnection connection(fd, stopFd_, ssl, record, &mutex_);
    if (ready) handler_(connection);
  }
  std::lock_guard lock(mutex_);
  finished_[index] = true;
  changed_.notify_all();
}

std::string LoopbackServer::Received(size_t index) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(5),
                    [&] { return index < finished_.size() && finished_[index]; });
  return index < records_.size() ? *records_[index] : std::string();
}

size_t LoopbackServer::ConnectionCount() {
  std::lock_guard lock(mutex_);
  return records_.size();
}

LoopbackServer::Handler Answer(std::string response) {
  return [response](ServerConnection& c) {
    c.ReadRequest();
    c.Send(response);
    c.ShutdownWrite();
    c.ReadToEnd();
  };
}

std::string HttpResponse(std::string_view statusLine, std::string_view headers,
                         std::string_view body, bool withLength) {
  std::string text = std::string(statusLine) + "\r\n" + std::string(headers);
  if (withLength) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return text + "\r\n" + std::string(body);
}

}  // namespace trovelane::test
