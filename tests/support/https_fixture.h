// An HTTPS server on loopback that answers as several public hosts at once,
// so that a test can run the program against modelled pages under the real
// host names without anything leaving the machine.
//
// It listens on port 443 (or the port it is given) of an address of its own,
// picked at random in 127.0.0.0/8 so that fixtures of tests running side by
// side never meet, with a certificate for every name signed by the authority
// of test_certificates.h. The program reaches it through resolve entries
// (ResolveArguments for the CLI, ResolveEntries for ProgramOptions) and trusts
// it through SSL_CERT_FILE=CaFile(). Port 443 needs root or a lowered
// net.ipv4.ip_unprivileged_port_start; without either the constructor throws
// std::system_error (EACCES), which CanListenOnPort443 tells beforehand.
//
// Each request is parsed, recorded and answered with what the handler
// returns, framed and coded as the response asks. An HTTP/1.1 request without
// "Connection: close" keeps its connection open for the next one (unless the
// response is framed by closing); any other is the connection's last. The
// handler runs on a thread of the server, one per connection, and may be
// called concurrently.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/connection_settings.h"
#include "tests/support/loopback_server.h"

namespace trovelane::test {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct FixtureRequest {
  std::string serverName;  // the TLS server name (SNI) the client sent
  std::string method;      // "GET", "POST"
  std::string target;      // "/html/?q=x"
  std::string version;     // "HTTP/1.1"
  HeaderList headers;      // in the order received
  std::string body;

  // The value of the first header named `name` (any case); empty when none.
  std::string Header(std::string_view name) const;
  // How many headers are named `name` (any case).
  size_t HeaderCount(std::string_view name) const;
  // The Host header without a port.
  std::string Host() const;
  // The target up to its query.
  std::string Path() const;
};

struct FixtureResponse {
  enum class Framing { kContentLength, kClose, kChunked };
  enum class Coding { kIdentity, kGzip, kDeflate };

  int status = 200;
  std::string reason = "OK";
  HeaderList headers;
  std::string body;
  Framing framing = Framing::kContentLength;
  Coding coding = Coding::kIdentity;  // adds Content-Encoding
  size_t chunkSize = 1000;            // with kChunked
  bool silent = false;                // never answer; hold the connection until the server stops
};

class HttpsFixtureServer {
 public:
  using Handler = std::function<FixtureResponse(const FixtureRequest&)>;

  HttpsFixtureServer(std::vector<std::string> hostNames, Handler handler, int port = 443);
  ~HttpsFixtureServer();
  HttpsFixtureServer(const HttpsFixtureServer&) = delete;
  HttpsFixtureServer& operator=(const HttpsFixtureServer&) = delete;

  // Whether this process may listen on port 443 of a loopback address.
  static bool CanListenOnPort443();

  const std::string& address() const { return address_; }
  int port() const;
  // "--resolve HOST:PORT:ADDR" for every host name, as trovelane-cli takes them.
  std::vector<std::string> ResolveArguments() const;
  std::vector<ResolveEntry> ResolveEntries() const;
  // The authority to trust: SSL_CERT_FILE.
  static std::string CaFile();

  // The requests answered or being answered, in the order they arrived.
  std::vector<FixtureRequest> Requests() const;

 private:
  void Serve(ServerConnection& connection);

  const std::vector<std::string> hostNames_;
  const Handler handler_;
  std::string address_;
  mutable std::mutex mutex_;
  std::vector<FixtureRequest> requests_;  // guarded by mutex_
  std::unique_ptr<LoopbackServer> server_;
};

// Parses a request head and its body as read by ServerConnection::ReadRequest.
FixtureRequest ParseFixtureRequest(std::string_view text);

// The whole answer for `response`: status line, headers, framing, coding.
std::string RenderFixtureResponse(const FixtureResponse& response);

// Body codings for fixtures (zlib): gzip, zlib-wrapped deflate or raw deflate.
std::string GzipBytes(std::string_view data);
std::string DeflateBytes(std::string_view data, bool raw = false);
// `data` in chunks of `chunkSize` bytes (at least 1), with the last chunk.
std::string ChunkedBytes(std::string_view data, size_t chunkSize);

}  // namespace trovelane::test
