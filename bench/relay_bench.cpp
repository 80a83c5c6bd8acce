// Searches over a network with a real round trip, simulated on loopback: a
// relay sits between the program and a small site server and holds every
// connection set-up for one round-trip time and every chunk, in each
// direction, for half of one. It counts the connections made through it and
// the TLS handshakes that went through (full, or resumed from an earlier
// session).
//
// Cases, side by side in one run, each the median of --runs searches:
//   an HTTP/1.0 engine of 3 pages (25 results), without and with validation;
//   10 such engines at once with validation;
//   an HTTP/1.1 engine of 3 pages, without and with validation;
//   an HTTP/1.1 engine of 3 pages over TLS, its server keeping the
//   connection alive, and the same server closing after every answer.
// Each row shows its ideal and the ratio to it. The ideal of an engine
// without validation counts round trips: one set-up, one TLS handshake when
// there is TLS, and one request per page (a new connection per page where
// the server closes or the engine speaks HTTP/1.0). The ideal of a validated
// search is the engine's own page chain, as measured in the same run, plus
// one validation fetch (one page fetched alone, also measured).
//
//   relay_bench [--rtt-ms N] [--runs N]      (defaults: 50 ms, 3 runs)
//
// Nothing leaves the machine: the site, the relay and the searches are all
// in this process, on 127.0.0.1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/http_url.h"
#include "search/search_run.h"
#include "tests/support/loopback_server.h"
#include "tests/support/test_certificates.h"

namespace {

using namespace trovelane;
using Clock = std::chrono::steady_clock;

constexpr int kPages = 3;
constexpr int kResults = 25;
constexpr int kPerPage = 10;

// ---- the relay ----

// What one connection through the relay counted.
struct RelayCounts {
  int connections = 0;
  int tlsHandshakes = 0;  // connections whose client opened with a TLS handshake
  int tlsResumed = 0;     // of those, the ones the server resumed (TLS 1.3 pre-shared key)
};

// Whether a TLS 1.3 ServerHello at the start of `bytes` accepted a
// pre-shared key, that is resumed a session. False when it is incomplete or
// anything else.
bool ServerHelloResumes(const std::string& bytes) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() < 9 || at(0) != 0x16 || at(5) != 0x02) return false;
  const size_t end = std::min(bytes.size(), 5 + (size_t{at(3)} << 8 | at(4)));
  size_t p = 9 + 2 + 32;  // record and handshake headers, version, random
  if (p >= end) return false;
  p += 1 + at(p);         // session id
  p += 2 + 1;             // cipher suite, compression
  if (p + 2 > end) return false;
  p += 2;                 // extensions length
  while (p + 4 <= end) {
    const unsigned type = at(p) << 8 | at(p + 1);
    const size_t length = size_t{at(p + 2)} << 8 | at(p + 3);
    if (type == 41) return true;  // pre_shared_key
    p += 4 + length;
  }
  return false;
}

class Relay {
 public:
  Relay(int targetPort, std::chrono::milliseconds rtt) : targetPort_(targetPort), rtt_(rtt) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd_, 128) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("relay");
      std::exit(1);
    }
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
  }

  ~Relay() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(stopFd_, &one, sizeof one);
    acceptThread_.join();
    for (auto& c : connections_) c->thread.join();
    close(listenFd_);
    close(stopFd_);
  }

  int port() const { return port_; }

  RelayCounts TakeCounts() {
    std::lock_guard lock(mutex_);
    return std::exchange(counts_, {});
  }

 private:
  struct Connection {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  // Bytes on their way in one direction, each piece due at its time; an
  // empty piece is the end of the stream.
  struct Direction {
    int from = -1;
    int to = -1;
    bool ended = false;      // the end was read from `from`
    bool delivered = false;  // and passed on to `to`
    std::deque<std::pair<Clock::time_point, std::string>> queue;
    Clock::time_point lastDue{};
    std::string head;  // the first bytes, for the TLS counts
  };

  void AcceptLoop() {
    for (;;) {
      pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents & POLLIN) return;
      int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      const Clock::time_point setUp = Clock::now() + rtt_;
      {
        std::lock_guard lock(mutex_);
        ++counts_.connections;
      }
      // Finished connections are joined as new ones come.
      for (auto it = connections_.begin(); it != connections_.end();) {
        if ((*it)->done) {
          (*it)->thread.join();
          it = connections_.erase(it);
        } else {
          ++it;
        }
      }
      auto connection = std::make_unique<Connection>();
      Connection& ref = *connection;
      connections_.push_back(std::move(connection));
      ref.thread = std::thread([this, client, setUp, &ref] {
        Serve(client, setUp);
        ref.done = true;
      });
    }
  }

  void Serve(int client, Clock::time_point setUp) {
    int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(targetPort_));
    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(server);
      close(client);
      return;
    }
    int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Direction up;
    up.from = client;
    up.to = server;
    Direction down;
    down.from = server;
    down.to = client;
    const auto half = rtt_ / 2;
    bool countedHello = false, countedResume = false;
    while (!(up.delivered && down.delivered)) {
      // Deliver what is due.
      const Clock::time_point now = Clock::now();
      Clock::time_point next = Clock::time_point::max();
      for (Direction* d : {&up, &down}) {
        while (!d->queue.empty() && d->queue.front().first <= now) {
          std::string& piece = d->queue.front().second;
          if (piece.empty()) {
            shutdown(d->to, SHUT_WR);
            d->delivered = true;
          } else {
            SendAll(d->to, piece);
          }
          d->queue.pop_front();
        }
        if (!d->queue.empty()) next = std::min(next, d->queue.front().first);
      }
      pollfd fds[3] = {{up.ended ? -1 : client, POLLIN, 0},
                       {down.ended ? -1 : server, POLLIN, 0},
                       {stopFd_, POLLIN, 0}};
      int wait = -1;
      if (next != Clock::time_point::max()) {
        wait = static_cast<int>(std::max<long long>(
            0, std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count()));
      }
      if (poll(fds, 3, wait) < 0) continue;
      if (fds[2].revents & POLLIN) break;
      for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        Direction& d = i == 0 ? up : down;
        char buffer[64 * 1024];
        ssize_t n = recv(d.from, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        std::string piece = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
        if (n <= 0) d.ended = true;
        // Each piece leaves once the set-up is over and takes half a round
        // trip, never overtaking the one before.
        d.lastDue = std::max(d.lastDue, std::max(Clock::now(), setUp) + half);
        d.queue.emplace_back(d.lastDue, piece);
        if (d.head.size() < 4096) d.head += piece.substr(0, 4096 - d.head.size());
      }
      if (!countedHello && !up.head.empty()) {
        countedHello = true;
        if (static_cast<unsigned char>(up.head[0]) == 0x16) {
          std::lock_guard lock(mutex_);
          ++counts_.tlsHandshakes;
        }
      }
      if (!countedResume && ServerHelloResumes(down.head)) {
        countedResume = true;
        std::lock_guard lock(mutex_);
        ++counts_.tlsResumed;
      }
    }
    close(server);
    close(client);
  }

  static void SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  const int targetPort_;
  const std::chrono::milliseconds rtt_;
  int listenFd_ = -1;
  int stopFd_ = -1;
  int port_ = 0;
  std::thread acceptThread_;
  std::list<std::unique_ptr<Connection>> connections_;  // the accept thread only
  std::mutex mutex_;
  RelayCounts counts_;  // guarded by mutex_
};

// ---- the site ----

// "/e3/search?q=river&start=10" gives a result page of engine 3;
// "/e3/page7.html" one of its results. HTTP/1.0 requests are answered in
// HTTP/1.0 and closed; HTTP/1.1 requests are kept alive unless the client
// says "Connection: close" or the site closes after every answer.
std::string SitePage(const std::string& target) {
  const size_t slash = target.find('/', 1);
  const std::string engine = slash == std::string::npos ? "" : target.substr(1, slash - 1);
  if (target.find("/search?") != std::string::npos) {
    const size_t at = target.find("start=");
    const int start = at == std::string::npos ? 0 : std::atoi(target.c_str() + at + 6);
    std::string html = "<HTML><HEAD><TITLE>" + engine + " results</TITLE></HEAD><BODY><OL>\n";
    for (int i = start; i < std::min(start + kPerPage, kResults); ++i) {
      html += "<LI><A HREF='/" + engine + "/page" + std::to_string(i) + ".html'>River page " +
              std::to_string(i) + "</A>\n";
    }
    html += "</OL>\n";
    if (start + kPerPage < kResults) {
      html += "<A HREF='/" + engine + "/search?q=river&start=" + std::to_string(start + kPerPage) +
              "'>Next</A>\n";
    }
    return html + "</BODY></HTML>\n";
  }
  std::string html = "<HTML><HEAD><TITLE>A page about the river</TITLE></HEAD><BODY>\n";
  for (int i = 0; i < 40; ++i) html += "<P>Along the river bank, paragraph " + std::to_string(i) + ".\n";
  return html + "</BODY></HTML>\n";
}

test::LoopbackServer::Handler SiteHandler(bool closeAlways) {
  return [closeAlways](test::ServerConnection& c) {
    for (;;) {
      const std::string request = c.ReadRequest();
      const size_t lineEnd = request.find("\r\n");
      if (request.find("\r\n\r\n") == std::string::npos || lineEnd == std::string::npos) return;
      const std::string line = request.substr(0, lineEnd);
      const size_t s1 = line.find(' ');
      const size_t s2 = line.rfind(' ');
      const std::string target = line.substr(s1 + 1, s2 - s1 - 1);
      const bool http10 = line.compare(s2 + 1, std::string::npos, "HTTP/1.0") == 0;
      std::string lower = request;
      for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      const bool keepAlive =
          !http10 && !closeAlways && lower.find("\r\nconnection: close") == std::string::npos;
      const std::string body = SitePage(target);
      std::string answer = std::string(http10 ? "HTTP/1.0" : "HTTP/1.1") +
                           " 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n" +
                           (keepAlive ? "" : "Connection: close\r\n") + "\r\n" + body;
      c.Send(answer);
      if (!keepAlive) {
        c.ShutdownWrite();
        c.ReadToEnd();
        return;
      }
    }
  };
}

struct Site {
  Site(bool tls, bool closeAlways, std::chrono::milliseconds rtt)
      : server(SiteHandler(closeAlways), tls ? test::GetTestCertificates().serverCert : "",
               tls ? test::GetTestCertificates().serverKey : ""),
        relay(server.port(), rtt),
        base(std::string(tls ? "https" : "http") + "://localhost:" + std::to_string(relay.port())) {}
  test::LoopbackServer server;
  Relay relay;
  const std::string base;
};

// ---- the searches ----

EngineDefinition Engine(const std::string& base, int index, bool http11) {
  EngineDefinition e;
  e.name = "e" + std::to_string(index);
  e.searchUrl = base + "/" + e.name + "/search";
  e.searchTextId = "q";
  e.resultId = "start";
  e.resultsPerPage = kPerPage;
  e.iterationTechnique = RESULT_PLUS_0;
  EngineParameter q;
  q.name = "q";
  q.roleCode = SEARCH_TEXT;
  EngineParameter start;
  start.name = "start";
  start.roleCode = RESULT_POSITION;
  e.parameters = {q, start};
  e.searchedFileTypes = {"html"};
  e.web.http11 = http11;
  return e;
}

class CountingEvents : public SearchEvents {
 public:
  void OnResult(const ResultHandoff&) override { ++results; }
  int results = 0;
};

struct Measure {
  double ms = 0;
  RelayCounts counts;
  int results = 0;
};

Measure Median(std::vector<Measure> runs) {
  std::sort(runs.begin(), runs.end(), [](const Measure& a, const Measure& b) { return a.ms < b.ms; });
  return runs[runs.size() / 2];
}

Measure RunSearch(Site& site, int engines, bool http11, int validationMode) {
  EngineCatalogue catalogue;
  for (int i = 1; i <= engines; ++i) catalogue.engines.push_back(Engine(site.base, i, http11));
  NetworkSettings settings;
  settings.search.maxResults = 1 << 20;
  settings.search.duplicateMode = kDuplicateNone;
  settings.search.validationMode = validationMode;
  CountingEvents events;
  site.relay.TakeCounts();
  const Clock::time_point begin = Clock::now();
  {
    SearchRun run(settings, catalogue, std::filesystem::temp_directory_path(), events);
    run.StartSearch("river");
    if (!run.ServeUntilDone(std::chrono::seconds(120))) {
      std::fprintf(stderr, "a search did not end\n");
      std::exit(1);
    }
  }
  Measure m;
  m.ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
  m.results = events.results;
  // The relay counts a connection when it is accepted: all are in by now.
  m.counts = site.relay.TakeCounts();
  return m;
}

// One result page fetched alone, on a new connection: a validation fetch.
Measure RunOneFetch(Site& site) {
  site.relay.TakeCounts();
  const Clock::time_point begin = Clock::now();
  {
    CHttpURL page;
    if (!page.SetURL(site.base + "/e1/page0.html", false).ok() ||
        !page.Open(nullptr, nullptr, nullptr, nullptr)) {
      std::fprintf(stderr, "the single fetch failed\n");
      std::exit(1);
    }
    char buffer[4096];
    while (page.Read(buffer, sizeof buffer) > 0) {
    }
    page.Close();
  }
  Measure m;
  m.ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
  m.counts = site.relay.TakeCounts();
  m.results = -1;
  return m;
}

template <typename Run>
Measure Repeat(int runs, Run run) {
  std::vector<Measure> all;
  for (int i = 0; i < runs; ++i) all.push_back(run());
  return Median(all);
}

void PrintRow(const char* label, const Measure& m, double idealMs, const char* idealText) {
  const std::string results = m.results < 0 ? "-" : std::to_string(m.results);
  std::printf("%-44s %9.0f %9.0f %6.2f %6d %5d/%-5d %7s   %s\n", label, m.ms, idealMs,
              m.ms / idealMs, m.counts.connections, m.counts.tlsHandshakes - m.counts.tlsResumed,
              m.counts.tlsResumed, results.c_str(), idealText);
}

}  // namespace

int main(int argc, char** argv) {
  int rttMs = 50;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rtt-ms=", 9) == 0) {
      rttMs = std::atoi(argv[i] + 9);
    } else if (std::strcmp(argv[i], "--rtt-ms") == 0 && i + 1 < argc) {
      rttMs = std::atoi(argv[++i]);
    } else if (std::strncmp(argv[i], "--runs=", 7) == 0) {
      runs = std::atoi(argv[i] + 7);
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--rtt-ms N] [--runs N]\n", argv[0]);
      return 2;
    }
  }
  if (rttMs < 1 || runs < 1) {
    std::fprintf(stderr, "--rtt-ms and --runs take a number above 0\n");
    return 2;
  }
  const std::chrono::milliseconds rtt(rttMs);
  setenv("SSL_CERT_FILE", test::GetTestCertificates().caFile.c_str(), 1);

  Site plain(false, false, rtt);
  Site tls(true, false, rtt);
  Site tlsClosing(true, true, rtt);

  const Measure fetch = Repeat(runs, [&] { return RunOneFetch(plain); });
  const Measure h10 = Repeat(runs, [&] { return RunSearch(plain, 1, false, kValidationNone); });
  const Measure h10Val = Repeat(runs, [&] { return RunSearch(plain, 1, false, kValidationVal); });
  const Measure tenVal = Repeat(runs, [&] { return RunSearch(plain, 10, false, kValidationVal); });
  const Measure h11 = Repeat(runs, [&] { return RunSearch(plain, 1, true, kValidationNone); });
  const Measure h11Val = Repeat(runs, [&] { return RunSearch(plain, 1, true, kValidationVal); });
  const Measure tlsKept = Repeat(runs, [&] { return RunSearch(tls, 1, true, kValidationNone); });
  const Measure tlsClosed =
      Repeat(runs, [&] { return RunSearch(tlsClosing, 1, true, kValidationNone); });

  std::printf("round trip %d ms, %d runs each (median), engines of %d pages and %d results\n\n",
              rttMs, runs, kPages, kResults);
  std::printf("%-44s %9s %9s %6s %6s %11s %7s   %s\n", "case", "ms", "ideal ms", "ratio", "conns",
              "TLS full/re", "results", "ideal");
  const double r = rttMs;
  PrintRow("one page fetched alone (HTTP/1.0)", fetch, 2 * r, "1 set-up + 1 request");
  PrintRow("1 engine, HTTP/1.0", h10, 2 * kPages * r, "3 x (1 set-up + 1 request)");
  PrintRow("1 engine, HTTP/1.0, VAL", h10Val, h10.ms + fetch.ms, "its chain + 1 fetch");
  PrintRow("10 engines, HTTP/1.0, VAL", tenVal, h10.ms + fetch.ms, "one chain + 1 fetch");
  PrintRow("1 engine, HTTP/1.1", h11, (1 + kPages) * r, "1 set-up + 3 requests");
  PrintRow("1 engine, HTTP/1.1, VAL", h11Val, h11.ms + fetch.ms, "its chain + 1 fetch");
  PrintRow("1 engine, HTTP/1.1, TLS, server keeps alive", tlsKept, (2 + kPages) * r,
           "1 set-up + 1 handshake + 3 requests");
  PrintRow("1 engine, HTTP/1.1, TLS, server closes", tlsClosed, (2 + kPages) * r,
           "1 set-up + 1 handshake + 3 requests");
  std::printf("\nvalidated / unvalidated search: HTTP/1.0 %.2f, HTTP/1.1 %.2f (goal: at most 1.5)\n",
              h10Val.ms / h10.ms, h11Val.ms / h11.ms);
  return 0;
}
