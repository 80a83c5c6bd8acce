#include "platform/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/mutex.h"
#include <utility>
#include <vector>

#include "platform/ascii.h"

namespace trovelane {

CancelSignal::CancelSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

CancelSignal::~CancelSignal() { close(fd_); }

void CancelSignal::Cancel() {
  MutexLock lock(&mutex_);
  // The flag first: whoever wakes from the descriptor finds it raised.
  raised_.store(true);
  uint64_t one = 1;
  // The counter only grows; a failed write means it is already saturated,
  // which still reads as raised.
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

void CancelSignal::Reset() {
  MutexLock lock(&mutex_);
  uint64_t value;
  [[maybe_unused]] ssize_t n = read(fd_, &value, sizeof value);
  raised_.store(false);
}

WaitResult WaitFor(int fd, short events, const CancelSignal* cancel, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  pollfd fds[2] = {{fd, events, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      // Counted again after a signal, so that interruptions never stretch it.
      auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
      wait = static_cast<int>(std::clamp<long long>(left, 0, INT32_MAX));
    }
    int n = poll(fds, cancel ? 2 : 1, wait);
    if (n < 0) {
      if (errno == EINTR) continue;
      return WaitResult::kFailed;
    }
    if (n == 0) {
      if (wait == 0) return WaitResult::kTimedOut;
      continue;
    }
    if (cancel && (fds[1].revents & POLLIN)) return WaitResult::kCancelled;
    if (fds[0].revents & (events | POLLERR | POLLHUP)) return WaitResult::kReady;
    if (fds[0].revents & POLLNVAL) return WaitResult::kFailed;
  }
}

bool ByteStream::ReceiveExact(char* buffer, size_t length) {
  while (length > 0) {
    size_t n = Receive(buffer, length);
    if (n == 0) return false;
    buffer += n;
    length -= n;
  }
  return true;
}

namespace {

using AddrInfoPtr = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

}  // namespace

// The result of one name lookup, shared between the helper thread that runs
// it and every connection waiting for it: whoever lets go last frees it.
// Once `done`, the result no longer changes and is only read.
struct NameLookup {
  Mutex mutex;
  addrinfo* result GUARDED_BY(mutex) = nullptr;
  int status GUARDED_BY(mutex) = EAI_FAIL;
  bool done GUARDED_BY(mutex) = false;
  int doneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // readable once done
  ~NameLookup() {
    MutexLock lock(&mutex);
    if (result) freeaddrinfo(result);
    if (doneFd >= 0) close(doneFd);
  }
};

namespace {

addrinfo Hints(int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  return hints;
}

// Milliseconds left until `deadline` (none: -1, no limit), at least 0.
int MillisecondsLeft(std::optional<std::chrono::steady_clock::time_point> deadline) {
  if (!deadline) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline -
                                                           std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
}

// ---- the loopback guard of the tests ----

bool LoopbackOnly() {
  static const bool on = [] {
    const char* value = std::getenv(kLoopbackOnlyVariable);
    return value && *value && std::strcmp(value, "0") != 0;
  }();
  return on;
}

bool IsLoopbackAddress(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
  }
  if (address->sa_family == AF_INET6) {
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
  }
  return false;
}

// Names that never belong to a real public host (RFC 2606, RFC 6761): a test
// may look them up, for a lookup that fails or for localhost.
bool IsReservedName(std::string name) {
  for (char& c : name) c = ToLowerAscii(c);
  if (!name.empty() && name.back() == '.') name.pop_back();
  auto is = [&](std::string_view domain) {
    return name == domain.substr(1) ||
           (name.size() > domain.size() && name.compare(name.size() - domain.size(),
                                                        domain.size(), domain) == 0);
  };
  return is(".localhost") || is(".invalid") || is(".test") || is(".example") ||
         is(".example.com") || is(".example.net") || is(".example.org");
}

[[noreturn]] void RefuseOutsideLoopback(const std::string& what) {
  std::fprintf(stderr,
               "%s is set: refused to %s; a test may reach 127.0.0.0/8 and ::1 only "
               "(map real host names with a resolve entry)\n",
               kLoopbackOnlyVariable, what.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string AddressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = "?";
  const void* raw = address->sa_family == AF_INET6
                        ? static_cast<const void*>(
                              &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr)
                        : static_cast<const void*>(
                              &reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
  inet_ntop(address->sa_family, raw, text, sizeof text);
  return text;
}

// Looks up `host` on a helper thread, so that its caller can wait for it
// cancellably; null when no thread or descriptor could be had.
std::shared_ptr<NameLookup> StartLookup(const std::string& host, const std::string& service) {
  auto lookup = std::make_shared<NameLookup>();
  if (lookup->doneFd < 0) return nullptr;
  try {
    std::thread([lookup, host, service] {
      // No AI_ADDRCONFIG: on a machine with loopback only it would hide "localhost".
      addrinfo hints = Hints(AI_NUMERICSERV);
      addrinfo* found = nullptr;
      int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
      MutexLock lock(&lookup->mutex);
      lookup->result = found;
      lookup->status = status;
      lookup->done = true;
      uint64_t one = 1;
      [[maybe_unused]] ssize_t n = write(lookup->doneFd, &one, sizeof one);
    }).detach();
  } catch (const std::system_error&) {
    return nullptr;
  }
  return lookup;
}

// The addresses of a host: a numeric address parsed here, or the result of a
// lookup, which `lookup` keeps alive. `list` is null when there are none.
struct Addresses {
  AddrInfoPtr numeric{nullptr, freeaddrinfo};
  std::shared_ptr<NameLookup> lookup;
  const addrinfo* list = nullptr;
};

// Resolves host and port, through `names` when given; no addresses when the
// name did not resolve, the wait was cancelled or timed out (`timedOut` is
// then set).
Addresses Resolve(const std::string& host, uint16_t port, NameCache* names,
                  const CancelSignal* cancel,
                  std::optional<std::chrono::steady_clock::time_point> deadline, bool& timedOut) {
  Addresses addresses;
  std::string service = std::to_string(port);
  addrinfo* result = nullptr;
  addrinfo numeric = Hints(AI_NUMERICHOST | AI_NUMERICSERV);
  if (getaddrinfo(host.c_str(), service.c_str(), &numeric, &result) == 0) {
    addresses.numeric.reset(result);
    addresses.list = result;
    return addresses;
  }
  if (host.empty()) return addresses;
  if (LoopbackOnly() && !IsReservedName(host)) RefuseOutsideLoopback("look up the name " + host);

  // No thread for the lookup: the name counts as one that does not resolve.
  std::shared_ptr<NameLookup> lookup =
      names ? names->Find(host, service) : StartLookup(host, service);
  if (!lookup) return addresses;
  WaitResult waited = WaitFor(lookup->doneFd, POLLIN, cancel, MillisecondsLeft(deadline));
  if (waited != WaitResult::kReady) {
    timedOut = waited == WaitResult::kTimedOut;
    return addresses;
  }
  MutexLock lock(&lookup->mutex);
  if (lookup->status != 0) return addresses;
  addresses.list = lookup->result;
  addresses.lookup = lookup;
  return addresses;
}

}  // namespace

NameCache::NameCache() = default;
NameCache::~NameCache() = default;

int NameCache::lookups() const {
  MutexLock lock(&mutex_);
  return started_;
}

std::shared_ptr<NameLookup> NameCache::Find(const std::string& host, const std::string& service) {
  const std::string key = host + '\n' + service;
  MutexLock lock(&mutex_);
  auto it = lookups_.find(key);
  if (it != lookups_.end()) {
    NameLookup& known = *it->second;
    MutexLock lookupLock(&known.mutex);
    // A failure is not kept: the name may resolve by now.
    if (!known.done || known.status == 0) return it->second;
  }
  std::shared_ptr<NameLookup> lookup = StartLookup(host, service);
  if (!lookup) return nullptr;
  ++started_;
  lookups_[key] = lookup;
  return lookup;
}

TcpSocket::~TcpSocket() { Close(); }

int TcpSocket::Release() { return std::exchange(fd_, -1); }

void TcpSocket::Adopt(int fd) {
  Close();
  fd_ = fd;
  timedOut_ = false;
  nameFailed_ = false;
  lastCallFailed_ = false;
}

void TcpSocket::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool TcpSocket::Connect(const std::string& host, int32_t port) {
  Close();
  timedOut_ = false;
  lastCallFailed_ = false;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (timeouts_.connect.count() > 0) deadline = std::chrono::steady_clock::now() + timeouts_.connect;
  Addresses addresses =
      Resolve(host, static_cast<uint16_t>(port & 0xFFFF), names_, cancel_, deadline, timedOut_);
  nameFailed_ = !addresses.list && !timedOut_;
  for (const addrinfo* a = addresses.list; a; a = a->ai_next) {
    if (cancel_ && cancel_->IsCancelled()) break;
    if (LoopbackOnly() && !IsLoopbackAddress(a->ai_addr)) {
      RefuseOutsideLoopback("connect to " + AddressText(a->ai_addr) + " port " +
                            std::to_string(port & 0xFFFF) + " (" + host + ")");
    }
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    int rc = connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      WaitResult waited = WaitFor(fd, POLLOUT, cancel_, MillisecondsLeft(deadline));
      if (waited == WaitResult::kReady) {
        int error = 0;
        socklen_t len = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
        rc = error == 0 ? 0 : -1;
      } else if (waited == WaitResult::kTimedOut) {
        // The time-out is for the whole attempt: no address is tried after it.
        timedOut_ = true;
        close(fd);
        break;
      }
    }
    if (rc == 0) {
      // Requests and the proxy handshakes go out as whole messages; Nagle's
      // delay would only hold them back.
      int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      fd_ = fd;
      return true;
    }
    close(fd);
  }
  return false;
}

WaitResult TcpSocket::Wait(short events) {
  if (fd_ < 0) return WaitResult::kFailed;
  int wait = MillisecondsLeft(deadline_);
  if (timeouts_.idle.count() > 0) {
    int idle = static_cast<int>(std::min<long long>(timeouts_.idle.count(), INT_MAX));
    wait = wait < 0 ? idle : std::min(wait, idle);
  }
  WaitResult result = WaitFor(fd_, events, cancel_, wait);
  if (result == WaitResult::kTimedOut) timedOut_ = true;
  return result;
}

bool TcpSocket::SendAll(const char* data, size_t length) {
  lastCallFailed_ = false;
  if (cancel_ && cancel_->IsCancelled()) return false;
  while (length > 0) {
    if (fd_ < 0) return false;
    ssize_t n = send(fd_, data, length, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      length -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (Wait(POLLOUT) != WaitResult::kReady) return false;
      continue;
    }
    lastCallFailed_ = true;
    return false;
  }
  return true;
}

size_t TcpSocket::ReceiveWithFlags(char* buffer, size_t length, int flags) {
  lastCallFailed_ = false;
  if (length == 0) return 0;
  for (;;) {
    if (fd_ < 0) return 0;
    if (Wait(POLLIN) != WaitResult::kReady) return 0;
    ssize_t n = recv(fd_, buffer, length, flags);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    lastCallFailed_ = true;
    return 0;
  }
}

size_t TcpSocket::Receive(char* buffer, size_t length) {
  return ReceiveWithFlags(buffer, length, 0);
}

size_t TcpSocket::Peek(char* buffer, size_t length) {
  return ReceiveWithFlags(buffer, length, MSG_PEEK);
}

}  // namespace trovelane
