// ConnectionPool: what the connections of one search share, so that a
// request need not pay the round trips of the one before it again:
//   - idle connections that a server kept open after a whole answer, by
//     scheme, host and port, for the next request to the same server;
//   - TLS sessions by host and port, so that a new connection resumes the
//     session of an earlier one instead of a full handshake;
//   - name lookups (NameCache): each host is looked up once.
// A search makes one and attaches it to each of its connections
// (CHttpURL::SetConnectionPool); it must outlive them. Connections through a
// proxy are not kept: each goes through the proxy's handshake as before.
//
// Threads: any; many connections may take and give back at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "platform/mutex.h"
#include "platform/socket.h"

typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;

namespace trovelane {

// A connection with no request on it: its descriptor and, over TLS, its TLS
// state. Closes both when destroyed.
struct IdleConnection {
  IdleConnection(int fd, SSL* ssl) : fd(fd), ssl(ssl) {}
  ~IdleConnection();
  IdleConnection(const IdleConnection&) = delete;
  IdleConnection& operator=(const IdleConnection&) = delete;

  int fd;
  SSL* ssl;  // null for plain HTTP
};

// A reference to a TLS session; frees it when the last copy goes.
using TlsSession = std::shared_ptr<SSL_SESSION>;

class ConnectionPool {
 public:
  // At most `perServer` idle connections per server and `total` in all; the
  // ones idle the longest go first.
  explicit ConnectionPool(size_t perServer = 4, size_t total = 32);
  ~ConnectionPool();
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  // "https://host:port": the key of a server's connections and sessions.
  static std::string ServerKey(bool https, const std::string& host, int port);

  // An idle connection to `server` that is still open (the server may have
  // closed it meanwhile: those are dropped), the one given back last; null
  // when there is none. One that `taker` gave back as its owner comes first,
  // then one that nobody owns; another owner's is never taken.
  std::unique_ptr<IdleConnection> Take(const std::string& server, const void* taker = nullptr)
      EXCLUDES(mutex_);
  // Keeps `connection` for the next request to `server`; after Close it is
  // closed instead. With `owner`, it is kept for that owner's next request
  // (an engine's next result page) until the owner lets it go (Disown).
  void Give(const std::string& server, std::unique_ptr<IdleConnection> connection,
            const void* owner = nullptr) EXCLUDES(mutex_);
  // The idle connections `owner` kept become anybody's.
  void Disown(const void* owner) EXCLUDES(mutex_);

  // The last TLS session kept for `server`; null when none.
  TlsSession Session(const std::string& server) EXCLUDES(mutex_);
  // Keeps `session` (whose reference it takes over) for `server`.
  void KeepSession(const std::string& server, SSL_SESSION* session) EXCLUDES(mutex_);

  NameCache& names() { return names_; }

  // Closes the idle connections; connections given back from now on are
  // closed at once. For the end of the search.
  void Close() EXCLUDES(mutex_);

  // How many connections Take handed out, for tests and benchmarks.
  int reused() const EXCLUDES(mutex_);

 private:
  struct Idle {
    std::string server;
    std::unique_ptr<IdleConnection> connection;
    const void* owner = nullptr;
  };

  const size_t perServer_;
  const size_t total_;
  NameCache names_;
  mutable Mutex mutex_;
  std::deque<Idle> idle_ GUARDED_BY(mutex_);  // the oldest first
  std::map<std::string, TlsSession> sessions_ GUARDED_BY(mutex_);
  bool closed_ GUARDED_BY(mutex_) = false;
  int reused_ GUARDED_BY(mutex_) = 0;
};

}  // namespace trovelane
