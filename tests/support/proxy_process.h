// Real proxies for tests: Debian's microsocks (SOCKS 5) and tinyproxy (HTTP,
// also CONNECT), each started on a free loopback port and stopped by its pid.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace trovelane::test {

class ProxyProcess {
 public:
  // Empty user: no authentication.
  static ProxyProcess Microsocks(const std::string& user = "", const std::string& password = "");
  static ProxyProcess Tinyproxy(const std::string& user = "", const std::string& password = "");

  ProxyProcess(ProxyProcess&& other) noexcept;
  ProxyProcess& operator=(ProxyProcess&&) = delete;
  ~ProxyProcess();  // SIGTERM to the pid, then waits for it

  int port() const { return port_; }

 private:
  ProxyProcess() = default;
  // Starts argv (with "{port}" replaced by a free port) and waits until it
  // accepts connections; retries on another port when it does not come up.
  void Start(const std::vector<std::string>& argv, const std::string& configTemplate);

  pid_t pid_ = -1;
  int port_ = 0;
  std::string folder_;  // for tinyproxy's configuration file
};

}  // namespace trovelane::test
