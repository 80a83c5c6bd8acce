// CHttpURL: one URL and at most one HTTP connection to it, direct, through
// a CERN (HTTP) proxy or through a SOCKS 5 proxy, in plain text or over TLS.
//
//   CHttpURL page;
//   page.SetTimeouts(settings.program);
//   if (!page.SetURL("http://host/path", false).ok()) return;   // malformed
//   page.cookieToSend = ...; page.cookieSink = ...;   // optional, after SetURL
//   if (page.Open(settings.program.userAgent.c_str(), nullptr, nullptr, &settings.proxy))
//     while (int n = page.Read(buffer, settings.readChunkSize)) consume(buffer, n);
//   page.Close();
//
// Settings: every Open is given the program-wide ProxySettings record (or
// null for a direct connection) and reads it only during that call; the read
// size (NetworkSettings::readChunkSize) is the caller's length argument to
// Read. The object keeps its time-outs and address overrides (SetTimeouts;
// the defaults of ProgramOptions until then) and its RequestOptions: the
// connect time-out bounds resolving and connecting, the read time-out bounds
// each silence while waiting for bytes and also the whole of the proxy
// handshake, the request and the answer's head, so that a server trickling
// header lines cannot hold a fetch.
//
// The request is HTTP/1.0 unless RequestOptions::http11 asks for HTTP/1.1
// with "Connection: close" (without it when a connection pool may keep the
// connection: SetConnectionPool); then a chunked body is decoded. When
// RequestOptions::acceptCompression asked for it, a gzip or deflate body is
// inflated. Read hands out the decoded body either way; a decoded body is
// capped at kMaxDecodedBodyBytes, and broken framing or compressed data ends
// the body with a read failure, like a connection cut short.
//
// Threads: one thread uses an object at a time; Cancel alone may be called
// from any other thread, and ends every wait of the object at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/connection_settings.h"
#include "net/request_options.h"
#include "net/url.h"
#include "platform/socket.h"

namespace trovelane {

class BodyDecoder;
class ConnectionPool;
class TlsStream;

// The longest body that Read hands out after decoding it (chunked, gzip or
// deflate): the bound of a result page. A plain body has no bound here; its
// reader sets one.
inline constexpr uint64_t kMaxDecodedBodyBytes = 64ull * 1024 * 1024;

// Redirects one Open follows; the answer after the last is read as it stands.
inline constexpr int kMaxRedirects = 20;

// Why the last Open returned false.
enum class OpenFailure {
  kNone,
  kResolve,            // the server's (or the proxy's) name did not resolve
  kConnect,            // the connection was refused or the host unreachable
  kProxy,              // the SOCKS 5 proxy refused or failed, the CONNECT tunnel was
                       // refused, or a CERN proxy answered 407 (GetFailureText says more)
  kTls,                // the TLS handshake failed or the certificate did not verify
  kCancelled,          // Cancel was called
  kTimedOut,           // connecting, or the answer's head, took longer than the time-outs allow
  kHeadTooLarge,       // the answer's head went beyond kMaxHeadBytes or kMaxHeadLines
  kInsecureRedirect,   // an https page redirected to plain http: the query would leave in clear
  kNotHttp,            // an ftp:// URL (or redirect target): it is not fetched over HTTP, where
                       // its user:password@host would reach the server or proxy
  kMalformedRedirect,  // the Location of a 301 or 302 is no URL (GetFailureText quotes it)
};

// Why a Read returned 0 before the whole body was read.
enum class ReadFailure {
  kNone,       // the body ended as it should (or nothing was read yet)
  kTruncated,  // the connection ended short of the Content-Length, the last
               // chunk or the end of the compressed data
  kReset,      // the connection failed (reset) while reading
  kTimedOut,   // the server fell silent for longer than the read time-out
  kCancelled,  // Cancel was called
  kMalformed,  // the chunked framing or the compressed data is broken
  kTooLarge,   // the decoded body went beyond kMaxDecodedBodyBytes
};

class CHttpURL {
 public:
  CHttpURL();
  virtual ~CHttpURL();
  CHttpURL(const CHttpURL&) = delete;
  CHttpURL& operator=(const CHttpURL&) = delete;

  // Resets the object (both cookie pointers become null) and parses `url`;
  // `isPost` picks the method of the next Open. A URL that no form accepts
  // comes back as InvalidArgument (empty message: each caller words its own)
  // and leaves the object reset with an empty URL. Does not close a
  // connection: call Close first.
  Status SetURL(std::string_view url, bool isPost);

  // Connects, sends the request and reads the answer's head, following 301
  // and 302 redirects (always as GET; the Referer then names the previous
  // host; the extra header lines of the RequestOptions go only to the host
  // Open was called for), and passing over interim 1xx answers. True when a
  // request went out and its head was read, whatever the status (also when
  // the server closed before answering: see
  // HasStatusLine); false when resolving, connecting, the proxy handshake or
  // TLS failed, a CERN proxy answered 407, the time-outs ran out, the head
  // was too large, an https page redirected to http or to an address that
  // is no URL, the URL is ftp://, or when cancelled (GetFailure says which);
  // the connection is then closed. Null arguments mean:
  // the user agent "CHttpURL class", the referer kept from an earlier Open,
  // a POST without body, no proxy. A User-Agent in the RequestOptions goes
  // out instead of `userAgent`.
  bool Open(const char* userAgent, const char* referer, const char* postBody,
            const ProxySettings* proxy);

  // Waits for body bytes and returns how many one receive gave (at most
  // `length`); 0 at the end of the body (the server closed, or the
  // Content-Length was reached), on an error, when not connected or when
  // cancelled. Does not terminate the buffer. After a 0, GetReadFailure
  // tells a complete body from one cut short.
  int Read(char* buffer, int length);

  // What the next requests carry beyond URL, method and cookies: kept until
  // the next call, across SetURL.
  void SetRequestOptions(const RequestOptions& options) { requestOptions_ = options; }
  const RequestOptions& GetRequestOptions() const { return requestOptions_; }

  // The connection options of the next Open and the reads after it: the
  // time-outs (0 seconds = none) and the address overrides
  // (ProgramOptions::resolve), which apply to the host that the connection
  // goes to: the server, or the proxy when there is one.
  void SetTimeouts(const ProgramOptions& options);

  // Ends the request. With a connection pool, a connection that may serve
  // another request goes back to the pool instead of being closed: a direct
  // HTTP/1.1 connection whose answer came in HTTP/1.1 without
  // "Connection: close" and was read to its end (a short rest of it, up to
  // 64 KiB, is read and dropped here; a cancel, a time-out or a broken body
  // closes it).
  void Close();
  bool IsConnected() const { return socket_.IsOpen(); }

  // The pool of the search this object fetches for (null: none, every
  // request on a connection of its own, as always). With one, an HTTP/1.1
  // request to a server (not through a proxy) goes without
  // "Connection: close", on an idle connection of the pool when there is
  // one (a GET that finds it closed by the server before any answer is sent
  // once more on a new connection), a TLS handshake resumes the server's
  // last session, and names are looked up through the pool's cache.
  // HTTP/1.0 requests go out as without a pool. Closes the connection; the
  // pool must outlive the object.
  void SetConnectionPool(ConnectionPool* pool);
  // A connection this object gives back to its pool is kept for its own
  // next request, not taken by other objects meanwhile, until the object
  // goes: an engine's result pages then follow one another on one
  // connection while the checks of its results make their own.
  void KeepConnectionsForItself() { keepsOwn_ = true; }

  // Any thread: ends the current wait and makes Open and Read fail until
  // ResetCancel.
  void Cancel() { cancel_.Cancel(); }
  void ResetCancel() { cancel_.Reset(); }
  bool IsCancelled() const { return cancel_.IsCancelled(); }

  const std::string& GetHost() const { return url_.host; }
  // After an Open through a CERN proxy: the absolute target sent to it.
  const std::string& GetPath() const { return target_.empty() ? url_.path : target_; }
  int32_t GetPort() const { return url_.port; }
  bool IsFtp() const { return url_.isFtp; }
  bool IsHttps() const { return url_.isHttps; }
  // Of the last head read: its status code (0 when none), whether it had a
  // status line at all, its lines as received (up to kMaxHeadText bytes),
  // and the target of a redirect. A server that closed, reset or answered
  // something other than HTTP leaves no status line, though Open returns
  // true; HeadFailed then tells a reset from a close.
  int GetStatus() const { return status_; }
  bool HasStatusLine() const { return hasStatusLine_; }
  bool HeadFailed() const { return headFailed_; }
  OpenFailure GetFailure() const { return failure_; }
  // For the user, why the last Open failed when the failure has more to say
  // (the SOCKS 5 step, the proxy's answer, the redirect refused); may be empty.
  const std::string& GetFailureText() const { return failureText_; }
  ReadFailure GetReadFailure() const { return readFailure_; }
  // For the user, what was wrong with a malformed or too large body; may be empty.
  const std::string& GetReadFailureText() const { return readFailureText_; }
  // Whether the last Open or Read gave up on a time-out.
  bool TimedOut() const { return socket_.TimedOut(); }
  const std::string& GetHead() const { return head_; }
  const std::string& GetLocation() const { return location_; }

  static constexpr size_t kMaxHeadText = 256 * 1024;

  // Caller-owned; set after SetURL, which resets both to null. cookieToSend
  // goes out as the Cookie header; cookieSink receives the name=value part of
  // every Set-Cookie line of the answer, joined by ";".
  const char* cookieToSend = nullptr;
  std::string* cookieSink = nullptr;

 private:
  enum class HeadResult { kDone, kRedirect, kFailed };

  HeadResult SendRequestAndReadHead(const char* userAgent, const char* postBody,
                                    const ProxySettings* proxy);
  std::string BuildRequest(const char* userAgent, const char* postBody, bool viaProxy,
                           const std::string& proxyAuthorization) const;
  HeadResult ReadHead();
  HeadResult Fail(OpenFailure failure, std::string text = {});
  std::string HostLine() const;
  std::string RedirectTarget() const;
  std::string ExtraHeaderLines(bool cookieSent) const;
  void StartBodyDecoding();
  size_t ReadRaw(char* buffer, size_t length);
  bool Connect(const std::string& host, int32_t port);
  bool TakeFromPool();
  HeadResult Attempt(const char* userAgent, const char* postBody, const ProxySettings* proxy);
  bool BodyComplete();
  bool FinishBodyForReuse();

  // Constant after construction.
  CancelSignal cancel_;

  Url url_;
  // The absolute target sent to a CERN proxy; kept apart from url_.path so
  // that a second Open of the same URL builds it afresh.
  std::string target_;
  bool isPost_ = false;
  RequestOptions requestOptions_;
  std::vector<ResolveEntry> resolve_;
  std::string referer_;
  // The host of the URL Open was called for: the only one that gets the
  // extra header lines of the RequestOptions.
  std::string headersHost_;
  std::string location_;
  int status_ = 0;
  bool hasStatusLine_ = false;
  bool headFailed_ = false;
  OpenFailure failure_ = OpenFailure::kNone;
  std::string failureText_;
  ReadFailure readFailure_ = ReadFailure::kNone;
  std::string readFailureText_;
  std::chrono::milliseconds readTimeout_;
  std::string head_;
  TcpSocket socket_;
  std::unique_ptr<TlsStream> tls_;
  ByteStream* stream_ = nullptr;      // socket_ or *tls_ while connected
  std::optional<uint64_t> bodyLeft_;  // from Content-Length
  // From the last head: how its body is coded.
  bool chunked_ = false;
  std::string contentEncoding_;
  std::unique_ptr<BodyDecoder> decoder_;  // while a coded body is read
  std::vector<char> rawBuffer_;           // raw bytes for the decoder

  ConnectionPool* pool_ = nullptr;
  bool keepsOwn_ = false;  // KeepConnectionsForItself
  // The pool's key of the open connection's server; empty when the
  // connection is not one the pool may keep.
  std::string serverKey_;
  bool answerKeepsAlive_ = false;  // of the last head: HTTP/1.1, no "Connection: close"
  bool keepAlive_ = false;         // the open connection may serve another request
  bool tlsVerified_ = false;       // its TLS handshake succeeded (here or before it was kept)
};

}  // namespace trovelane
