// A blocking HTTP/1.0 exchange with a server on 127.0.0.1, for tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace trovelane::testing {

struct FetchedPage {
  int status = 0;  // 0: no answer
  std::string head;
  std::string body;
};

// Sends `request` as it stands and reads until the server closes.
inline FetchedPage FetchRaw(uint16_t port, const std::string& request) {
  FetchedPage page;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    char buffer[8192];
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
      reply.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  size_t end = reply.find("\r\n\r\n");
  if (reply.rfind("HTTP/", 0) == 0 && end != std::string::npos) {
    page.status = std::atoi(reply.c_str() + reply.find(' ') + 1);
    page.head = reply.substr(0, end);
    page.body = reply.substr(end + 4);
  }
  return page;
}

// A GET as the search client writes it; `extra` holds whole header lines.
inline FetchedPage Get(uint16_t port, const std::string& target, const std::string& extra = "") {
  return FetchRaw(port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + extra + "\r\n\r\n");
}

inline FetchedPage Post(uint16_t port, const std::string& target, const std::string& body) {
  return FetchRaw(port, "POST " + target +
                            " HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                            "Host: 127.0.0.1\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\n\r\n" + body);
}

}  // namespace trovelane::testing
