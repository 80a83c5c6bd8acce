#include "platform/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace trovelane {

Status ReadSmallFile(const std::string& path, size_t maxBytes, std::string& text) {
  text.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return Status::NotFound({});
    return Status::IoError("cannot read " + path + ": " + std::strerror(errno));
  }
  struct stat st {};
  Status refused;
  if (::fstat(fd, &st) != 0) {
    refused = Status::IoError("cannot read " + path + ": " + std::strerror(errno));
  } else if (S_ISDIR(st.st_mode)) {
    refused = Status::IoError(path + " is a folder");
  } else if (!S_ISREG(st.st_mode)) {
    refused = Status::IoError(path + " is not a regular file");
  } else if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
    refused = Status::IoError(path + " is larger than " + std::to_string(maxBytes) + " bytes");
  }
  // The file may grow while it is read: one byte beyond the bound tells.
  if (refused.ok()) text.resize(static_cast<size_t>(st.st_size) + 1);
  size_t got = 0;
  while (refused.ok() && got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      refused = Status::IoError("cannot read " + path + ": " + std::strerror(errno));
      break;
    }
    got += static_cast<size_t>(n);
    if (got > maxBytes) {
      refused = Status::IoError(path + " is larger than " + std::to_string(maxBytes) + " bytes");
    } else if (got == text.size()) {
      text.resize(std::min(text.size() * 2, maxBytes + 1));
    }
  }
  ::close(fd);
  if (!refused.ok()) {
    text.clear();
    return refused;
  }
  text.resize(got);
  return Status::Ok();
}

}  // namespace trovelane
