#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace trovelane {
namespace {

SaveResult Fail(const std::string& what, const std::string& path, int err) {
  return {false, what + " " + path + ": " + std::strerror(err)};
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

SaveResult WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode,
                               bool forceMode) {
  struct stat old{};
  if (!forceMode && ::stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;

  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return Fail("cannot create a temporary file for", path, errno);

  auto abandon = [&](const char* what) {
    int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return Fail(what, path, err);
  };

  // mkstemp creates the file 0600; give it the wanted mode less the umask.
  mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd, forceMode ? mode : (mode & ~mask)) != 0) return abandon("cannot set the mode of");

  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon("cannot write");
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) return abandon("cannot flush");
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return Fail("cannot close", path, err);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return Fail("cannot replace", path, err);
  }
  // Make the rename itself durable.
  int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {true, {}};
}

}  // namespace trovelane
