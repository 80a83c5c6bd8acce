#include "tests/support/proxy_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace trovelane::test {
namespace {

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
  return text;
}

}  // namespace

ProxyProcess ProxyProcess::Microsocks(const std::string& user, const std::string& password) {
  std::vector<std::string> argv = {"microsocks", "-i", "127.0.0.1", "-p", "{port}"};
  if (!user.empty()) argv.insert(argv.end(), {"-u", user, "-P", password});
  ProxyProcess process;
  process.Start(argv, "");
  return process;
}

ProxyProcess ProxyProcess::Tinyproxy(const std::string& user, const std::string& password) {
  std::string config =
      "Port {port}\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
      "LogLevel Critical\nLogFile \"{folder}/tinyproxy.log\"\nDisableViaHeader Yes\n";
  if (!user.empty()) config += "BasicAuth " + user + " " + password + "\n";
  ProxyProcess process;
  process.Start({"tinyproxy", "-d", "-c", "{folder}/tinyproxy.conf"}, config);
  return process;
}

ProxyProcess::ProxyProcess(ProxyProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      port_(other.port_),
      folder_(std::exchange(other.folder_, {})) {}

ProxyProcess::~ProxyProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

void ProxyProcess::Start(const std::vector<std::string>& argvTemplate,
                         const std::string& configTemplate) {
  char folder[] = "/tmp/trovelane-proxy-XXXXXX";
  if (!mkdtemp(folder)) throw std::runtime_error("proxy: mkdtemp");
  folder_ = folder;

  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreeLoopbackPort();
    auto fill = [&](const std::string& text) {
      return Replace(Replace(text, "{port}", std::to_string(port_)), "{folder}", folder_);
    };
    if (!configTemplate.empty()) std::ofstream(folder_ + "/tinyproxy.conf") << fill(configTemplate);

    std::vector<std::string> args;
    for (const auto& a : argvTemplate) args.push_back(fill(a));
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error(std::string("proxy: cannot start ") + argv[0]);

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Accepts(port_)) return;
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {  // died: try another port
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  throw std::runtime_error("proxy: " + argvTemplate[0] + " did not come up");
}

}  // namespace trovelane::test
