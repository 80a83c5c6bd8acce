// TCP connections that never block a thread beyond reach: every wait (name
// resolution, connect, send, receive, peek) is a poll that also watches a
// CancelSignal, so another thread can end it at once, and that gives up after
// the connection's time-outs (none unless set).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/mutex.h"

namespace trovelane {

// A one-way switch that ends every wait watching it. Cancel may be called from
// any thread; the signal stays raised until Reset.
class CancelSignal {
 public:
  CancelSignal();
  ~CancelSignal();
  CancelSignal(const CancelSignal&) = delete;
  CancelSignal& operator=(const CancelSignal&) = delete;

  void Cancel() EXCLUDES(mutex_);
  void Reset() EXCLUDES(mutex_);
  // Read from a flag, not from the descriptor: loops ask it at every step.
  bool IsCancelled() const { return raised_.load(); }
  int fd() const { return fd_; }  // readable while raised

 private:
  int fd_;
  Mutex mutex_;  // Cancel and Reset change the flag and the descriptor together
  std::atomic<bool> raised_{false};
};

// How a wait ended.
enum class WaitResult { kReady, kCancelled, kTimedOut, kFailed };

// Waits until `fd` reports one of `events` (POLLIN, POLLOUT), an error, or the
// signal (which may be null) is raised, or `timeoutMs` milliseconds have gone
// by (-1: no time-out).
WaitResult WaitFor(int fd, short events, const CancelSignal* cancel, int timeoutMs = -1);

// The limits of a connection's waits; zero means no limit.
struct Timeouts {
  std::chrono::milliseconds connect{0};  // name lookup and connect together
  std::chrono::milliseconds idle{0};     // one wait to receive or send
};

// A byte stream with blocking semantics: each call waits (cancellably) until it
// can do something. Receive and Peek return the byte count, or 0 at the end of
// the stream, on an error or on cancellation; they never return less than 0.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Sends every byte; false when the connection failed or was cancelled.
  virtual bool SendAll(const char* data, size_t length) = 0;
  // Waits for at least one byte, then takes what one receive call gives.
  virtual size_t Receive(char* buffer, size_t length) = 0;
  // As Receive, but the bytes stay in the stream.
  virtual size_t Peek(char* buffer, size_t length) = 0;

  // Receives exactly `length` bytes; false when the stream ended first.
  bool ReceiveExact(char* buffer, size_t length);

  // Whether the last call that returned 0 or false ended on an error of the
  // connection (a reset) rather than at the end of the stream, a time-out
  // or a cancel.
  bool LastCallFailed() const { return lastCallFailed_; }

 protected:
  bool lastCallFailed_ = false;
};

// The tests' loopback guard: when this variable is set (and not "0") at the
// first connection of the process, a connection to an address outside
// 127.0.0.0/8 and ::1, or a lookup of a name that could be a public host
// (anything but localhost and the names reserved for tests and
// documentation: .test, .invalid, .example, example.com ...), prints what was
// refused to standard error and aborts the process. Every test runs with it,
// so nothing a test starts can reach another machine.
inline constexpr const char* kLoopbackOnlyVariable = "TROVELANE_LOOPBACK_ONLY";

struct NameLookup;

// The name lookups of the connections of one search: each host and port is
// looked up once, by the connection that asks first, and the others that ask
// meanwhile wait for that same lookup (each within its own time-outs and
// cancel signal). A lookup that failed is forgotten once it ended, so the
// next connection asks again. Numeric addresses are never looked up. Any
// thread.
class NameCache {
 public:
  NameCache();
  ~NameCache();
  NameCache(const NameCache&) = delete;
  NameCache& operator=(const NameCache&) = delete;

  // How many lookups of names it started.
  int lookups() const EXCLUDES(mutex_);

  // For TcpSocket: the lookup of `host` and `service`, running or done;
  // started when there is none or the last one failed. Null when no thread
  // could be had for it.
  std::shared_ptr<NameLookup> Find(const std::string& host, const std::string& service)
      EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  std::map<std::string, std::shared_ptr<NameLookup>> lookups_ GUARDED_BY(mutex_);
  int started_ GUARDED_BY(mutex_) = 0;
};

// A non-blocking TCP socket behind the blocking ByteStream calls.
class TcpSocket : public ByteStream {
 public:
  explicit TcpSocket(const CancelSignal* cancel) : cancel_(cancel) {}
  ~TcpSocket() override;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Resolves `host` (a numeric address, else by name lookup) and connects to
  // the first of its addresses that accepts, within timeouts.connect; the
  // low 16 bits of `port` are used. Name lookup runs on a helper thread so
  // that a cancel or the time-out ends the wait at once; the lookup then
  // finishes by itself.
  bool Connect(const std::string& host, int32_t port);

  // Name lookups of the next Connects go through `cache` (not owned; null:
  // each Connect looks the name up itself).
  void SetNameCache(NameCache* cache) { names_ = cache; }

  // Hands the connected descriptor over (the socket is closed after it;
  // -1 when it was), and takes one over: a connection kept open between two
  // requests moves from one socket to another this way. Adopt closes what
  // the socket held and clears its time-out and failure flags.
  int Release();
  void Adopt(int fd);

  // Limits for the waits from the next Connect on.
  void SetTimeouts(const Timeouts& timeouts) { timeouts_ = timeouts; }
  // Every wait also ends at `deadline` (none: only the idle time-out counts).
  void SetDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) {
    deadline_ = deadline;
  }
  // Whether a wait gave up on a time-out since the last Connect began.
  bool TimedOut() const { return timedOut_; }
  // Waits for `events` on the open socket within the idle time-out and the
  // deadline; notes a time-out. For streams layered on this socket.
  WaitResult Wait(short events);
  // Why the last Connect failed: the name did not resolve (else the
  // connection was refused or unreachable).
  bool NameFailed() const { return nameFailed_; }
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const CancelSignal* cancel() const { return cancel_; }

  bool SendAll(const char* data, size_t length) override;
  size_t Receive(char* buffer, size_t length) override;
  size_t Peek(char* buffer, size_t length) override;

 private:
  size_t ReceiveWithFlags(char* buffer, size_t length, int flags);

  const CancelSignal* cancel_;
  NameCache* names_ = nullptr;
  int fd_ = -1;
  bool nameFailed_ = false;
  bool timedOut_ = false;
  Timeouts timeouts_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
};

}  // namespace trovelane
