#include "net/connection_pool.h"

#include <openssl/ssl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace trovelane {
namespace {

// An idle connection has nothing to read: bytes or the end of the stream
// mean the server closed it, or sent what no request asked for.
bool StillOpen(const IdleConnection& connection) {
  if (connection.ssl && SSL_has_pending(connection.ssl)) return false;
  pollfd p{connection.fd, POLLIN, 0};
  return poll(&p, 1, 0) == 0;
}

}  // namespace

IdleConnection::~IdleConnection() {
  if (ssl) SSL_free(ssl);
  if (fd >= 0) close(fd);
}

ConnectionPool::ConnectionPool(size_t perServer, size_t total)
    : perServer_(std::max<size_t>(perServer, 1)), total_(std::max(total, perServer_)) {}

ConnectionPool::~ConnectionPool() = default;

std::string ConnectionPool::ServerKey(bool https, const std::string& host, int port) {
  return (https ? "https://" : "http://") + host + ":" + std::to_string(port);
}

std::unique_ptr<IdleConnection> ConnectionPool::Take(const std::string& server, const void* taker) {
  for (;;) {
    std::unique_ptr<IdleConnection> connection;
    {
      MutexLock lock(&mutex_);
      auto it = idle_.rend();
      if (taker) {
        it = std::find_if(idle_.rbegin(), idle_.rend(), [&](const Idle& idle) {
          return idle.server == server && idle.owner == taker;
        });
      }
      if (it == idle_.rend()) {
        it = std::find_if(idle_.rbegin(), idle_.rend(), [&](const Idle& idle) {
          return idle.server == server && idle.owner == nullptr;
        });
      }
      if (it == idle_.rend()) return nullptr;
      connection = std::move(it->connection);
      idle_.erase(std::next(it).base());
    }
    if (StillOpen(*connection)) {
      MutexLock lock(&mutex_);
      ++reused_;
      return connection;
    }
    // Closed outside the lock, like every connection dropped here.
  }
}

void ConnectionPool::Give(const std::string& server, std::unique_ptr<IdleConnection> connection,
                          const void* owner) {
  std::vector<std::unique_ptr<IdleConnection>> dropped;
  {
    MutexLock lock(&mutex_);
    if (closed_) return;
    idle_.push_back({server, std::move(connection), owner});
    size_t same = 0;
    for (const Idle& idle : idle_) same += idle.server == server ? 1 : 0;
    // An owner's connection waits for its next request: the others go first.
    for (auto it = idle_.begin(); it != idle_.end() && same > perServer_;) {
      if (it->server == server && it->owner == nullptr) {
        dropped.push_back(std::move(it->connection));
        it = idle_.erase(it);
        --same;
      } else {
        ++it;
      }
    }
    while (idle_.size() > total_) {
      dropped.push_back(std::move(idle_.front().connection));
      idle_.pop_front();
    }
  }
}

void ConnectionPool::Disown(const void* owner) {
  MutexLock lock(&mutex_);
  for (Idle& idle : idle_) {
    if (idle.owner == owner) idle.owner = nullptr;
  }
}

TlsSession ConnectionPool::Session(const std::string& server) {
  MutexLock lock(&mutex_);
  auto it = sessions_.find(server);
  return it == sessions_.end() ? nullptr : it->second;
}

void ConnectionPool::KeepSession(const std::string& server, SSL_SESSION* session) {
  if (!session) return;
  TlsSession kept(session, SSL_SESSION_free);
  MutexLock lock(&mutex_);
  if (!closed_) std::swap(sessions_[server], kept);
}

void ConnectionPool::Close() {
  std::deque<Idle> dropped;
  MutexLock lock(&mutex_);
  closed_ = true;
  dropped.swap(idle_);
  sessions_.clear();
  // `dropped` goes after the lock: declared before it, destroyed after it.
}

int ConnectionPool::reused() const {
  MutexLock lock(&mutex_);
  return reused_;
}

}  // namespace trovelane
