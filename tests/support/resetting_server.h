// A loopback server for one connection that reads the request and then resets
// the connection (a close with SO_LINGER 0), as a crashed or hostile server does.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace trovelane::test {

class ResettingServer {
 public:
  ResettingServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 4);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      int peer = accept(fd_, nullptr, nullptr);
      if (peer < 0) return;
      char buffer[4096];
      [[maybe_unused]] ssize_t n = recv(peer, buffer, sizeof buffer, 0);
      linger hard{1, 0};  // close with RST
      setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      close(peer);
    });
  }
  ~ResettingServer() {
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  int fd_;
  int port_;
  std::thread thread_;
};

}  // namespace trovelane::test
