#include "platform/browser_launch.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "platform/ascii.h"

extern char** environ;

namespace trovelane {
bool IsLaunchableUrl(std::string_view url) {
  for (char c : url) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
  }
  for (std::string_view scheme : {"http://", "https://", "ftp://"}) {
    if (StartsWithNoCase(url, scheme) && url.size() > scheme.size()) return true;
  }
  return false;
}

bool SpawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return false;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // The child gets a process group of its own, so that a Ctrl-C meant for
  // the program does not end the browser it started.
  posix_spawnattr_t attributes;
  ::posix_spawnattr_init(&attributes);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  ::posix_spawnattr_setpgroup(&attributes, 0);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int spawned = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  // Reap the child whenever it ends; nobody waits for it otherwise.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

bool OpenUrlWithDesktop(const std::string& url) {
  if (!IsLaunchableUrl(url)) return false;
  return SpawnDetached({"xdg-open", url});
}

bool OpenFileWithDesktop(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec)) return false;
  // An absolute path cannot be taken for an option of xdg-open.
  return SpawnDetached({"xdg-open", std::filesystem::absolute(path, ec).string()});
}

bool LaunchBrowserProgram(const std::string& browserPath, const std::string& url) {
  if (browserPath.empty() || !IsLaunchableUrl(url)) return false;
  return SpawnDetached({browserPath, url});
}

}  // namespace trovelane
