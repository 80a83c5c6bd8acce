#include "tests/support/https_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <random>
#include <stdexcept>
#include <system_error>

#include "platform/ascii.h"
#include "tests/support/test_certificates.h"

namespace trovelane::test {
namespace {

std::string Compress(std::string_view data, int windowBits) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw std::runtime_error("zlib: deflateInit2");
  }
  std::string out;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  char buffer[64 * 1024];
  int result;
  do {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = deflate(&stream, Z_FINISH);
    out.append(buffer, sizeof buffer - stream.avail_out);
  } while (result == Z_OK);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("zlib: deflate");
  return out;
}

// A random address of 127.0.0.0/8 other than 127.0.0.x, where tests keep
// their other servers.
std::string RandomLoopbackAddress() {
  static std::mutex mutex;
  static std::mt19937 random{std::random_device{}()};
  std::lock_guard lock(mutex);
  std::uniform_int_distribution<int> part(1, 254);
  return "127." + std::to_string(part(random)) + "." + std::to_string(part(random)) + "." +
         std::to_string(part(random));
}

}  // namespace

std::string FixtureRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsNoCase(key, name)) return value;
  }
  return {};
}

size_t FixtureRequest::HeaderCount(std::string_view name) const {
  size_t count = 0;
  for (const auto& header : headers) count += EqualsNoCase(header.first, name) ? 1 : 0;
  return count;
}

std::string FixtureRequest::Host() const {
  std::string host = Header("Host");
  return host.substr(0, host.find(':'));
}

std::string FixtureRequest::Path() const { return target.substr(0, target.find('?')); }

FixtureRequest ParseFixtureRequest(std::string_view text) {
  FixtureRequest request;
  size_t headEnd = text.find("\r\n\r\n");
  std::string_view head = text.substr(0, headEnd);
  if (headEnd != std::string_view::npos) request.body = std::string(text.substr(headEnd + 4));
  size_t lineEnd = head.find("\r\n");
  std::string_view first = head.substr(0, lineEnd);
  size_t space1 = first.find(' ');
  size_t space2 = first.rfind(' ');
  if (space1 != std::string_view::npos && space2 > space1) {
    request.method = std::string(first.substr(0, space1));
    request.target = std::string(first.substr(space1 + 1, space2 - space1 - 1));
    request.version = std::string(first.substr(space2 + 1));
  }
  while (lineEnd != std::string_view::npos) {
    size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    std::string_view line = head.substr(start, lineEnd == std::string_view::npos
                                                   ? std::string_view::npos
                                                   : lineEnd - start);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    request.headers.emplace_back(std::string(line.substr(0, colon)),
                                 std::string(TrimBlanks(line.substr(colon + 1))));
  }
  return request;
}

std::string GzipBytes(std::string_view data) { return Compress(data, 16 + MAX_WBITS); }

std::string DeflateBytes(std::string_view data, bool raw) {
  return Compress(data, raw ? -MAX_WBITS : MAX_WBITS);
}

std::string ChunkedBytes(std::string_view data, size_t chunkSize) {
  if (chunkSize == 0) chunkSize = 1;
  std::string out;
  char size[32];
  for (size_t at = 0; at < data.size(); at += chunkSize) {
    std::string_view piece = data.substr(at, chunkSize);
    snprintf(size, sizeof size, "%zx\r\n", piece.size());
    out += size;
    out.append(piece);
    out += "\r\n";
  }
  return out + "0\r\n\r\n";
}

std::string RenderFixtureResponse(const FixtureResponse& response) {
  using Framing = FixtureResponse::Framing;
  using Coding = FixtureResponse::Coding;
  std::string body = response.coding == Coding::kGzip      ? GzipBytes(response.body)
                     : response.coding == Coding::kDeflate ? DeflateBytes(response.body)
                                                           : response.body;
  std::string text = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
  for (const auto& [name, value] : response.headers) text += name + ": " + value + "\r\n";
  if (response.coding == Coding::kGzip) text += "Content-Encoding: gzip\r\n";
  if (response.coding == Coding::kDeflate) text += "Content-Encoding: deflate\r\n";
  switch (response.framing) {
    case Framing::kContentLength:
      text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
      break;
    case Framing::kClose:
      text += "Connection: close\r\n\r\n" + body;
      break;
    case Framing::kChunked:
      text += "Transfer-Encoding: chunked\r\n\r\n" + ChunkedBytes(body, response.chunkSize);
      break;
  }
  return text;
}

HttpsFixtureServer::HttpsFixtureServer(std::vector<std::string> hostNames, Handler handler,
                                       int port)
    : hostNames_(std::move(hostNames)), handler_(std::move(handler)) {
  ServerCertificate certificate = MakeServerCertificate(hostNames_);
  for (int attempt = 0;; ++attempt) {
    address_ = RandomLoopbackAddress();
    try {
      server_ = std::make_unique<LoopbackServer>([this](ServerConnection& c) { Serve(c); },
                                                 certificate.certFile, certificate.keyFile,
                                                 ListenAddress{address_, port});
      return;
    } catch (const std::system_error& e) {
      if (e.code() != std::errc::address_in_use || attempt == 50) throw;
    }
  }
}

HttpsFixtureServer::~HttpsFixtureServer() { server_.reset(); }

bool HttpsFixtureServer::CanListenOnPort443() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(443);
  inet_pton(AF_INET, RandomLoopbackAddress().c_str(), &address.sin_addr);
  int result = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int error = errno;
  close(fd);
  return result == 0 || error == EADDRINUSE;
}

int HttpsFixtureServer::port() const { return server_->port(); }

std::vector<ResolveEntry> HttpsFixtureServer::ResolveEntries() const {
  std::vector<ResolveEntry> entries;
  for (const std::string& host : hostNames_) entries.push_back({host, port(), address_});
  return entries;
}

std::vector<std::string> HttpsFixtureServer::ResolveArguments() const {
  std::vector<std::string> arguments;
  for (const ResolveEntry& entry : ResolveEntries()) {
    arguments.push_back("--resolve");
    arguments.push_back(FormatResolveEntry(entry));
  }
  return arguments;
}

std::string HttpsFixtureServer::CaFile() { return GetTestCertificates().caFile; }

std::vector<FixtureRequest> HttpsFixtureServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void HttpsFixtureServer::Serve(ServerConnection& connection) {
  for (bool first = true;; first = false) {
    const std::string text = connection.ReadRequest();
    // A kept connection ends when the client closes it.
    if (!first && text.find("\r\n\r\n") == std::string::npos) return;
    FixtureRequest request = ParseFixtureRequest(text);
    request.serverName = connection.ServerName();
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    FixtureResponse response = handler_(request);
    if (response.silent) {
      connection.WaitForStop();
      return;
    }
    connection.Send(RenderFixtureResponse(response));
    const bool keepAlive = request.version == "HTTP/1.1" &&
                           !EqualsNoCase(request.Header("Connection"), "close") &&
                           response.framing != FixtureResponse::Framing::kClose;
    if (!keepAlive) {
      connection.ShutdownWrite();
      connection.ReadToEnd();
      return;
    }
  }
}

}  // namespace trovelane::test
