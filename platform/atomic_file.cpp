#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "platform/mutex.h"

namespace trovelane {
namespace {

Status Fail(const std::string& what, const std::string& path, int err) {
  return Status::IoError(what + " " + path + ": " + std::strerror(err));
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The process's file mode creation mask. The kernel shows it in
// /proc/self/status; only where it does not is it read by setting it, and
// that happens once, while the library is loaded, before any thread of the
// program runs: changing it later would race with every thread that creates
// a file meanwhile.
mode_t ReadUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
  }
  mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

const mode_t kUmask = ReadUmask();

// The file a save of `path` replaces: a symbolic link is followed to its
// target (also one that does not exist yet), so that the link stays a link.
// Empty, with `err` set, when the chain of links is too long or unreadable.
std::string SaveTarget(const std::string& path, int& err) {
  std::string target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    char buffer[PATH_MAX];
    ssize_t n = ::readlink(target.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) {
      err = errno;
      return {};
    }
    std::string next(buffer, static_cast<size_t>(n));
    // A relative link is relative to the folder that holds it.
    target = next.front() == '/' ? next : FolderOf(target) + "/" + next;
  }
  err = ELOOP;
  return {};
}

std::atomic<FolderSyncCall> folderSync{&::fsync};

// The temporaries that saves of this process are writing right now, by
// path: the clean-up after another save of the same file must not take one.
Mutex inFlightMutex;
std::multiset<std::string> inFlight GUARDED_BY(inFlightMutex);

class InFlightTemporary {
 public:
  explicit InFlightTemporary(std::string path) : path_(std::move(path)) {
    MutexLock lock(&inFlightMutex);
    inFlight.insert(path_);
  }
  ~InFlightTemporary() {
    MutexLock lock(&inFlightMutex);
    inFlight.erase(inFlight.find(path_));
  }
  InFlightTemporary(const InFlightTemporary&) = delete;
  InFlightTemporary& operator=(const InFlightTemporary&) = delete;

 private:
  std::string path_;
};

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file as the clean-up and the in-flight list both name it.
std::string EntryPath(const std::string& path) { return FolderOf(path) + "/" + BaseNameOf(path); }

// Temporaries of a save of NAME are hidden files of the same folder named
// ".trovelane-save." NAME "." plus the six random characters of mkstemp: a
// prefix of this program's own, which no user names a file of theirs with.
// NAME is shortened so that the whole name fits a folder entry.
constexpr std::string_view kTemporaryPrefix = ".trovelane-save.";
constexpr size_t kRandomLength = 6;

std::string TemporaryStem(const std::string& path) {
  std::string base = BaseNameOf(path);
  const size_t room = NAME_MAX - kTemporaryPrefix.size() - 1 - kRandomLength;
  if (base.size() > room) base.resize(room);
  return std::string(kTemporaryPrefix) + base + ".";
}

bool IsRandomSuffix(std::string_view suffix) {
  if (suffix.size() != kRandomLength) return false;
  for (char c : suffix) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Removes what killed saves of `path` left behind (see the header).
void RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string stem = TemporaryStem(path);
  DIR* dir = ::opendir(folder.c_str());  // opened close-on-exec
  if (!dir) return;
  const int dirFd = ::dirfd(dir);
  const uid_t me = ::geteuid();
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.size() != stem.size() + kRandomLength || name.substr(0, stem.size()) != stem ||
        !IsRandomSuffix(name.substr(stem.size()))) {
      continue;
    }
    struct stat st {};
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != me) {
      continue;
    }
    {
      MutexLock lock(&inFlightMutex);
      if (inFlight.count(EntryPath(folder + "/" + std::string(name))) != 0) continue;
    }
    ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace

FolderSyncCall ReplaceFolderSyncForTesting(FolderSyncCall call) {
  return folderSync.exchange(call);
}

Status WriteFileAtomically(const std::string& requestedPath, std::string_view bytes, mode_t mode,
                           bool forceMode) {
  int linkError = 0;
  const std::string path = SaveTarget(requestedPath, linkError);
  if (path.empty()) return Fail("cannot follow the link", requestedPath, linkError);

  struct stat old{};
  if (::stat(path.c_str(), &old) == 0) {
    // A device node, a pipe or a folder is not replaced by a file.
    if (!S_ISREG(old.st_mode)) {
      return Status::IoError("cannot replace " + path + ": it is not a regular file");
    }
    if (!forceMode) mode = old.st_mode & 07777;
  }

  std::string temp = FolderOf(path) + "/" + TemporaryStem(path) + "XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Fail("cannot create a temporary file for", path, errno);
  const InFlightTemporary writing(EntryPath(temp));

  auto abandon = [&](const char* what) {
    int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return Fail(what, path, err);
  };

  // mkostemp creates the file 0600; give it the wanted mode less the umask.
  if (::fchmod(fd, forceMode ? mode : (mode & ~kUmask)) != 0) {
    return abandon("cannot set the mode of");
  }

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
  // Make the rename itself durable. A file system that cannot flush a
  // folder at all (EINVAL) has nothing to flush; any other failure means the
  // new file may be lost on a crash, which the user should hear of.
  int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return Fail("saved, but cannot open the folder of", path, errno);
  if (folderSync.load()(dir) != 0 && errno != EINVAL) {
    int err = errno;
    ::close(dir);
    return Fail("saved, but cannot flush the folder of", path, err);
  }
  ::close(dir);
  RemoveStaleTemporaries(path);
  return Status::Ok();
}

Status WriteOutputFile(const std::string& path, std::string_view bytes) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
    return WriteFileAtomically(path, bytes);
  }
  // A pipe waits here for its reader, as any program writing into it does.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Fail("cannot open", path, errno);
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return Fail("cannot write", path, err);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (::close(fd) != 0) return Fail("cannot write", path, errno);
  return Status::Ok();
}

}  // namespace trovelane
