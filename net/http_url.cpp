#include "net/http_url.h"

#include <algorithm>
#include <utility>

#include "net/body_decoder.h"
#include "net/cern_proxy.h"
#include "net/connection_pool.h"
#include "net/response_head_reader.h"
#include "net/socks5.h"
#include "net/tls.h"
#include "platform/ascii.h"

namespace trovelane {

CHttpURL::CHttpURL() : socket_(&cancel_) { SetTimeouts(ProgramOptions{}); }

CHttpURL::~CHttpURL() {
  Close();
  if (pool_ && keepsOwn_) pool_->Disown(this);
}

void CHttpURL::SetTimeouts(const ProgramOptions& options) {
  Timeouts timeouts;
  timeouts.connect = std::chrono::seconds(std::max(options.connectTimeoutSeconds, 0));
  timeouts.idle = std::chrono::seconds(std::max(options.readTimeoutSeconds, 0));
  readTimeout_ = timeouts.idle;
  socket_.SetTimeouts(timeouts);
  resolve_ = options.resolve;
}

Status CHttpURL::SetURL(std::string_view url, bool isPost) {
  cookieToSend = nullptr;
  cookieSink = nullptr;
  isPost_ = isPost;
  url_ = Url{};
  target_.clear();
  return ParseUrl(url, &url_);
}

void CHttpURL::SetConnectionPool(ConnectionPool* pool) {
  Close();
  if (pool_ && keepsOwn_) pool_->Disown(this);
  pool_ = pool;
  socket_.SetNameCache(pool ? &pool->names() : nullptr);
}

void CHttpURL::Close() {
  if (!serverKey_.empty() && socket_.IsOpen()) {
    // A session that served its answers without a fault may serve the next
    // connection.
    if (tls_ && tlsVerified_ && readFailure_ == ReadFailure::kNone) {
      pool_->KeepSession(serverKey_, tls_->ResumableSession());
    }
    if (keepAlive_ && FinishBodyForReuse()) {
      SSL* ssl = tls_ ? tls_->Release() : nullptr;
      pool_->Give(serverKey_, std::make_unique<IdleConnection>(socket_.Release(), ssl),
                  keepsOwn_ ? this : nullptr);
    }
  }
  serverKey_.clear();
  keepAlive_ = false;
  tlsVerified_ = false;
  stream_ = nullptr;
  tls_.reset();
  socket_.Close();
  bodyLeft_.reset();
  decoder_.reset();
}

namespace {

// The most of an answer's body that Close reads and drops to keep its
// connection, and how long it waits for it.
constexpr uint64_t kMaxDrainBytes = 64 * 1024;
constexpr auto kMaxDrainWait = std::chrono::seconds(1);

}  // namespace

bool CHttpURL::BodyComplete() {
  if (decoder_) {
    return decoder_->state() == BodyDecoder::State::kDone && (!bodyLeft_ || *bodyLeft_ == 0);
  }
  return bodyLeft_ && *bodyLeft_ == 0;
}

bool CHttpURL::FinishBodyForReuse() {
  if (cancel_.IsCancelled() || socket_.TimedOut() || readFailure_ != ReadFailure::kNone) return false;
  // A body without length or chunks ends where the connection does.
  if (!decoder_ && !bodyLeft_) return false;
  if (BodyComplete()) return true;
  // The reader stopped early (a validation that found its terms): what is
  // left of a short body is cheaper to read than a new connection.
  if (!decoder_ && *bodyLeft_ > kMaxDrainBytes) return false;
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kMaxDrainWait);
  if (readTimeout_.count() > 0) wait = std::min(wait, readTimeout_);
  socket_.SetDeadline(std::chrono::steady_clock::now() + wait);
  char buffer[4096];
  uint64_t drained = 0;
  while (drained <= kMaxDrainBytes) {
    const int n = Read(buffer, sizeof buffer);
    if (n <= 0) break;
    drained += static_cast<uint64_t>(n);
  }
  socket_.SetDeadline(std::nullopt);
  const bool complete = !socket_.TimedOut() && readFailure_ == ReadFailure::kNone && BodyComplete();
  // The caller read what it wanted: a fault in the rest is not its fault.
  readFailure_ = ReadFailure::kNone;
  readFailureText_.clear();
  return complete;
}

bool CHttpURL::Connect(const std::string& host, int32_t port) {
  // An address override sends the connection elsewhere; everything the
  // server sees (Host, the TLS name) still names the host.
  const ResolveEntry* override = FindResolveEntry(resolve_, host, port);
  if (cancel_.IsCancelled() || !socket_.Connect(override ? override->address : host, port)) {
    failure_ = cancel_.IsCancelled()  ? OpenFailure::kCancelled
               : socket_.TimedOut()   ? OpenFailure::kTimedOut
               : socket_.NameFailed() ? OpenFailure::kResolve
                                      : OpenFailure::kConnect;
    return false;
  }
  stream_ = &socket_;
  return true;
}

bool CHttpURL::TakeFromPool() {
  std::unique_ptr<IdleConnection> idle = pool_->Take(serverKey_, keepsOwn_ ? this : nullptr);
  if (!idle) return false;
  socket_.Adopt(std::exchange(idle->fd, -1));
  stream_ = &socket_;
  if (SSL* ssl = std::exchange(idle->ssl, nullptr)) {
    tls_ = std::make_unique<TlsStream>(socket_);
    tls_->Adopt(ssl);
    tlsVerified_ = true;
    stream_ = tls_.get();
  }
  return true;
}

CHttpURL::HeadResult CHttpURL::Attempt(const char* userAgent, const char* postBody,
                                       const ProxySettings* proxy) {
  // The proxy handshake, the request and the whole head must fit in the
  // read time-out, however the server spaces its bytes.
  if (readTimeout_.count() > 0) socket_.SetDeadline(std::chrono::steady_clock::now() + readTimeout_);
  HeadResult result = SendRequestAndReadHead(userAgent, postBody, proxy);
  socket_.SetDeadline(std::nullopt);
  return result;
}

CHttpURL::HeadResult CHttpURL::Fail(OpenFailure failure, std::string text) {
  failure_ = failure;
  failureText_ = std::move(text);
  return HeadResult::kFailed;
}

bool CHttpURL::Open(const char* userAgent, const char* referer, const char* postBody,
                    const ProxySettings* proxy) {
  if (referer) referer_ = referer;
  Close();
  failure_ = OpenFailure::kNone;
  failureText_.clear();
  readFailure_ = ReadFailure::kNone;
  readFailureText_.clear();
  status_ = 0;
  hasStatusLine_ = false;
  headFailed_ = false;
  head_.clear();
  const bool viaProxy = proxy && proxy->enabled;
  headersHost_ = url_.host;
  for (int redirects = 0;; ++redirects) {
    if (url_.isFtp) {
      failure_ = OpenFailure::kNotHttp;
      failureText_ = "an ftp:// address is not fetched over HTTP";
      return false;
    }
    const std::string& host = viaProxy ? proxy->host : url_.host;
    const int32_t port = viaProxy ? proxy->port : url_.port;
    if (port < 1 || port > kMaxPort) {
      // A settings file may hold any number; its low 16 bits would name
      // another port.
      failure_ = OpenFailure::kConnect;
      failureText_ = "port " + std::to_string(port) + " is not a TCP port";
      return false;
    }
    // With a pool, a direct HTTP/1.1 connection is kept alive between
    // requests; a POST never goes out on a kept one, since it could not be
    // sent again if the server closed it just then.
    serverKey_ = pool_ && !viaProxy && requestOptions_.http11
                     ? ConnectionPool::ServerKey(url_.isHttps, url_.host, url_.port)
                     : std::string();
    bool kept = !serverKey_.empty() && !isPost_ && !cancel_.IsCancelled() && TakeFromPool();
    if (!kept && !Connect(host, port)) {
      Close();
      return false;
    }
    const ProxySettings* via = viaProxy ? proxy : nullptr;
    HeadResult result = Attempt(userAgent, postBody, via);
    if (kept && result != HeadResult::kFailed && !hasStatusLine_ && head_.empty() &&
        !cancel_.IsCancelled() && !socket_.TimedOut()) {
      // The server closed the kept connection as the request went out (its
      // idle time ran out just then): the request goes again on a new one.
      const std::string server = std::exchange(serverKey_, std::string());
      Close();
      serverKey_ = server;
      if (!Connect(host, port)) {
        Close();
        return false;
      }
      result = Attempt(userAgent, postBody, via);
    }
    if (result == HeadResult::kFailed) {
      if (cancel_.IsCancelled()) {
        failure_ = OpenFailure::kCancelled;
      } else if (socket_.TimedOut()) {
        failure_ = OpenFailure::kTimedOut;
      }
      Close();
      return false;
    }
    keepAlive_ = !serverKey_.empty() && answerKeepsAlive_;
    if (result == HeadResult::kDone || redirects == kMaxRedirects) {
      StartBodyDecoding();
      return true;
    }

    std::string target = RedirectTarget();
    const bool fromHttps = url_.isHttps;
    referer_ = url_.host;
    // Decoded, a short redirect body can be read past and the connection kept.
    StartBodyDecoding();
    Close();
    if (!SetURL(target, false).ok()) {
      failure_ = OpenFailure::kMalformedRedirect;
      // The text is the server's: quoted in part, for the user to recognise.
      failureText_ = "the redirect target is not a URL: " + target.substr(0, 200);
      return false;
    }
    if (fromHttps && !url_.isHttps && !url_.isFtp && !url_.host.empty()) {
      failure_ = OpenFailure::kInsecureRedirect;
      failureText_ = "refused the redirect from https to " + target +
                     ": the request would leave in clear text";
      return false;
    }
  }
}

std::string CHttpURL::RedirectTarget() const {
  // A Location that is only a path ("/next") stays on the same server; read
  // as a URL of its own it would name no host at all.
  bool pathOnly =
      !location_.empty() && location_[0] == '/' && (location_.size() == 1 || location_[1] != '/');
  if (pathOnly && !url_.host.empty() && !url_.isFtp) {
    std::string target = url_.isHttps ? "https://" : "http://";
    target += url_.host;
    if (url_.port != DefaultPort(url_)) target += ":" + std::to_string(url_.port);
    return target + location_;
  }
  return location_;
}

std::string CHttpURL::HostLine() const {
  std::string line = "Host: " + url_.host;
  if (url_.port != DefaultPort(url_)) line += ":" + std::to_string(url_.port);
  return line + "\r\n";
}

CHttpURL::HeadResult CHttpURL::SendRequestAndReadHead(const char* userAgent, const char* postBody,
                                                      const ProxySettings* proxy) {
  const bool cern = proxy && proxy->type == kProxyCern;
  const bool socks = proxy && proxy->type == kProxySocks5;
  bool tunnel = false;  // a CONNECT tunnel: the request goes to the server itself
  target_.clear();

  std::string why;
  if (socks && Socks5Negotiate(socket_, url_.host, url_.port, proxy->credentials, &why) !=
                   Socks5Result::kGoOn) {
    return Fail(OpenFailure::kProxy, why);
  }
  if (url_.isHttps) {
    if (cern) {
      if (!CernConnectTunnel(socket_, url_, *proxy)) {
        return Fail(OpenFailure::kProxy, "the proxy refused the CONNECT tunnel to " + url_.host +
                                             ":" + std::to_string(url_.port));
      }
      tunnel = true;
    }
    if (!tls_) {  // else a kept connection: its TLS is up
      tls_ = std::make_unique<TlsStream>(socket_);
      // An earlier connection's session spares the server the full handshake.
      TlsSession session = serverKey_.empty() ? nullptr : pool_->Session(serverKey_);
      if (!tls_->Handshake(url_.host, session.get())) return Fail(OpenFailure::kTls);
      tlsVerified_ = true;
    }
    stream_ = tls_.get();
  } else if (cern) {
    target_ = CernAbsoluteTarget(url_);
  }

  // Credentials go to a CERN proxy only: a SOCKS 5 proxy had them in its
  // handshake, and the server at the end of a tunnel must never see them.
  std::string proxyAuthorization = cern && !tunnel ? ProxyAuthorizationLine(*proxy) : "";
  std::string request = BuildRequest(userAgent, postBody, proxy && !tunnel, proxyAuthorization);
  if (cookieSink) cookieSink->clear();
  if (!stream_->SendAll(request.data(), request.size())) {
    // The answer, if any, is read as usual; a failed send surfaces as an
    // empty one, unless the send failed because of a cancel.
    if (cancel_.IsCancelled() || socket_.TimedOut()) return HeadResult::kFailed;
  }
  HeadResult result = ReadHead();
  // A proxy that wants credentials answers a plain request itself: its page
  // is not the server's.
  if (result != HeadResult::kFailed && cern && !tunnel && status_ == 407) {
    return Fail(OpenFailure::kProxy,
                "the proxy asks for credentials (407 Proxy Authentication Required)");
  }
  return result;
}

namespace {

// Header names the program writes itself or that decide how the answer is
// framed and coded: an engine's extra headers never carry them.
constexpr std::string_view kOwnHeaders[] = {
    "Host",       "Content-Length", "Transfer-Encoding", "Connection", "Proxy-Connection",
    "Keep-Alive", "Proxy-Authorization", "Accept-Encoding", "TE", "Trailer",
    "Upgrade",    "Expect",         "User-Agent"};

// A header name is a token of RFC 9110; a value holds no line end (which
// would let a definition write a header or a request of its own) and no NUL.
bool IsSendableHeader(const std::pair<std::string, std::string>& header) {
  if (header.first.empty()) return false;
  for (char c : header.first) {
    if (!IsAsciiLetterOrDigit(c) && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) {
      return false;
    }
  }
  return header.second.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

// The value of the first sendable extra header named `name`, or `fallback`.
std::string ExtraValueOr(const RequestOptions& options, std::string_view name,
                         const char* fallback) {
  for (const auto& header : options.extraHeaders) {
    if (EqualsNoCase(header.first, name) && IsSendableHeader(header)) return header.second;
  }
  return fallback;
}

}  // namespace

std::string CHttpURL::ExtraHeaderLines(bool cookieSent) const {
  std::string lines;
  // A connection the pool may keep stays open after the answer.
  if (requestOptions_.http11 && serverKey_.empty()) lines += "Connection: close\r\n";
  if (requestOptions_.acceptCompression) lines += "Accept-Encoding: gzip, deflate\r\n";
  // The caller's header lines may carry credentials (Authorization, an API
  // key): they go only to the host the request was made for, never to the
  // target of a redirect on another host.
  if (!EqualsNoCase(url_.host, headersHost_)) return lines;
  for (const auto& header : requestOptions_.extraHeaders) {
    const std::string& name = header.first;
    if (!IsSendableHeader(header)) continue;
    // Accept and Accept-Language took the engine's value in their own place.
    if (EqualsNoCase(name, "Accept") || EqualsNoCase(name, "Accept-Language")) continue;
    if (std::any_of(std::begin(kOwnHeaders), std::end(kOwnHeaders),
                    [&](std::string_view own) { return EqualsNoCase(name, own); })) {
      continue;
    }
    if ((EqualsNoCase(name, "Referer") && !referer_.empty()) ||
        (EqualsNoCase(name, "Cookie") && cookieSent) ||
        (EqualsNoCase(name, "Content-Type") && isPost_)) {
      continue;
    }
    lines += name + ": " + header.second + "\r\n";
  }
  return lines;
}

std::string CHttpURL::BuildRequest(const char* userAgent, const char* postBody, bool viaProxy,
                                   const std::string& proxyAuthorization) const {
  const RequestOptions& options = requestOptions_;
  const bool ownAgent = !options.userAgent.empty() &&
                        options.userAgent.find_first_of(std::string_view("\r\n\0", 3)) ==
                            std::string::npos;
  std::string userAgentLine = ownAgent    ? "User-Agent: " + options.userAgent + "\r\n"
                              : userAgent ? "User-Agent: " + std::string(userAgent) + "\r\n"
                                          : "User-Agent: CHttpURL class\r\n";
  std::string refererLine = referer_.empty() ? "" : "Referer: " + referer_ + "\r\n";
  // HTTP/1.1 with "Connection: close" says the same to a proxy.
  std::string proxyConnectionLine =
      viaProxy && !options.http11 ? "Proxy-Connection: Keep-Alive\r\n" : "";
  std::string firstLines = " " + RequestTarget(GetPath()) +
                           (options.http11 ? " HTTP/1.1" : " HTTP/1.0") +
                           "\r\nAccept: " + ExtraValueOr(options, "Accept", "*/*") +
                           "\r\nAccept-Language: " +
                           ExtraValueOr(options, "Accept-Language", "en") + "\r\n";
  std::string extraLines = ExtraHeaderLines(cookieToSend != nullptr);

  std::string request;
  if (!isPost_) {
    // An HTTP/1.0 request without cookie ends in three CR LF pairs, as this
    // program's requests always have; an HTTP/1.1 server would take the
    // third for the start of another request.
    request = "GET" + firstLines + userAgentLine + refererLine + proxyConnectionLine +
              proxyAuthorization + HostLine();
    if (cookieToSend) request += "Cookie: " + std::string(cookieToSend) + "\r\n";
    request += extraLines + "\r\n";
    if (!cookieToSend && !options.http11) request += "\r\n";
    return request;
  }
  std::string body = postBody ? postBody : "";
  request = "POST" + firstLines + "Content-Type: application/x-www-form-urlencoded\r\n" +
            userAgentLine + refererLine;
  if (cookieToSend) request += "Cookie: " + std::string(cookieToSend) + "\r\n";
  request += proxyConnectionLine + HostLine() + proxyAuthorization +
             "Content-Length: " + std::to_string(body.size()) + "\r\n" + extraLines + "\r\n" +
             body;
  return request;
}

namespace {

// Whether a Connection value ("close", "keep-alive, close") holds "close".
bool HasCloseToken(std::string_view value) {
  while (!value.empty()) {
    size_t comma = value.find(',');
    if (EqualsNoCase(TrimBlanks(value.substr(0, comma)), "close")) return true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return false;
}

// "Set-Cookie: a=1; path=/" gives "a=1".
bool ParseSetCookie(const std::string& line, std::string& value) {
  constexpr std::string_view kName = "Set-Cookie:";
  if (line.compare(0, kName.size(), kName) != 0) return false;
  size_t begin = line.find_first_not_of(" \t", kName.size());
  if (begin == std::string::npos) begin = line.size();
  size_t end = line.find_first_of(";\r\n", begin);
  value = line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  return true;
}

// "Location: URL" (the name compared with case, blanks allowed before the
// colon) gives URL, up to the next white space.
bool ParseLocation(const std::string& line, std::string& value) {
  constexpr std::string_view kName = "Location";
  if (line.compare(0, kName.size(), kName) != 0) return false;
  size_t colon = line.find_first_not_of(" \t", kName.size());
  if (colon == std::string::npos || line[colon] != ':') return false;
  size_t begin = line.find_first_not_of(" \t", colon + 1);
  if (begin == std::string::npos) begin = line.size();
  size_t end = line.find_first_of(" \t\r\n\f\v", begin);
  value = line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  return true;
}

}  // namespace

CHttpURL::HeadResult CHttpURL::ReadHead() {
  headFailed_ = false;
  bool redirect = false;
  auto startHead = [&] {
    status_ = 0;
    hasStatusLine_ = false;
    head_.clear();
    location_.clear();
    bodyLeft_.reset();
    chunked_ = false;
    contentEncoding_.clear();
    answerKeepsAlive_ = false;
    redirect = false;
  };
  startHead();
  std::string line, value;
  // One reader for all heads of the answer: its bounds also end a server
  // that sends interim answers without end.
  HeadLineReader reader(*stream_);
  for (;;) {
    HeadLineReader::Result got = reader.Next(line);
    if (got == HeadLineReader::Result::kTooLarge) {
      return Fail(OpenFailure::kHeadTooLarge,
                  "the answer's head is longer than " + std::to_string(kMaxHeadBytes) +
                      " bytes or " + std::to_string(kMaxHeadLines) + " lines");
    }
    if (got == HeadLineReader::Result::kEnded) {
      headFailed_ = stream_->LastCallFailed();
      break;
    }
    if (IsEndOfHead(line)) {
      // An interim answer (100 Continue, 103 Early Hints) comes before the
      // real one and says nothing about it: read the next head. 101 would
      // switch protocols, which no request here asks for; it stays final.
      if (hasStatusLine_ && status_ >= 100 && status_ <= 199 && status_ != 101) {
        startHead();
        continue;
      }
      break;
    }
    if (head_.size() < kMaxHeadText) head_.append(line, 0, kMaxHeadText - head_.size());
    if (int status = ParseStatusLine(line); status >= 0) {
      status_ = status;
      hasStatusLine_ = true;
      // An HTTP/1.0 server closes after its answer, whatever it says.
      answerKeepsAlive_ = line.compare(0, 9, "HTTP/1.1 ") == 0;
    }
    if (HeaderValueNoCase(line, "Connection", value) && HasCloseToken(value)) {
      answerKeepsAlive_ = false;
    }
    if (cookieSink && ParseSetCookie(line, value)) {
      if (!cookieSink->empty()) cookieSink->push_back(';');
      *cookieSink += value;
    }
    if (!redirect && (status_ == 301 || status_ == 302) && ParseLocation(line, value)) {
      location_ = value;
      redirect = true;
    }
    if (!bodyLeft_ && HeaderValueNoCase(line, "Content-Length", value) && !value.empty() &&
        std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        value.size() < 19) {
      bodyLeft_ = std::stoull(value);
    }
    // "chunked" is always the last coding a sender applies.
    if (HeaderValueNoCase(line, "Transfer-Encoding", value)) {
      std::string_view last = value;
      if (size_t comma = last.rfind(','); comma != std::string_view::npos) {
        last.remove_prefix(comma + 1);
      }
      chunked_ = EqualsNoCase(TrimBlanks(last), "chunked");
    }
    if (HeaderValueNoCase(line, "Content-Encoding", value)) contentEncoding_ = value;
  }
  if (cancel_.IsCancelled() || socket_.TimedOut()) return HeadResult::kFailed;
  return redirect ? HeadResult::kRedirect : HeadResult::kDone;
}

void CHttpURL::StartBodyDecoding() {
  decoder_.reset();
  // A chunked answer to an HTTP/1.0 request breaks the protocol; it is read
  // as it stands, as it always was. Compressed bodies are undone only when
  // this request asked for them.
  const bool chunked = chunked_ && requestOptions_.http11;
  const ContentCoding coding = requestOptions_.acceptCompression
                                   ? ParseContentCoding(contentEncoding_)
                                   : ContentCoding::kIdentity;
  if (!chunked && coding == ContentCoding::kIdentity) return;
  // The chunks frame the body; a Content-Length beside them means nothing.
  if (chunked) bodyLeft_.reset();
  decoder_ = std::make_unique<BodyDecoder>(chunked, coding, kMaxDecodedBodyBytes);
  rawBuffer_.resize(16 * 1024);
}

int CHttpURL::Read(char* buffer, int length) {
  if (!stream_ || length <= 0) return 0;
  if (!decoder_) return static_cast<int>(ReadRaw(buffer, static_cast<size_t>(length)));
  for (;;) {
    if (size_t n = decoder_->Take(buffer, static_cast<size_t>(length)); n > 0) {
      return static_cast<int>(n);
    }
    switch (decoder_->state()) {
      case BodyDecoder::State::kHasOutput:
        continue;
      case BodyDecoder::State::kNeedInput:
        break;
      case BodyDecoder::State::kDone:
        return 0;
      case BodyDecoder::State::kTruncated:
        readFailure_ = ReadFailure::kTruncated;
        return 0;
      case BodyDecoder::State::kMalformed:
        readFailure_ = ReadFailure::kMalformed;
        readFailureText_ = decoder_->problem();
        return 0;
      case BodyDecoder::State::kTooLarge:
        readFailure_ = ReadFailure::kTooLarge;
        readFailureText_ = decoder_->problem();
        return 0;
    }
    if (readFailure_ != ReadFailure::kNone) return 0;
    size_t got = ReadRaw(rawBuffer_.data(), rawBuffer_.size());
    if (got == 0) {
      if (readFailure_ != ReadFailure::kNone) return 0;
      decoder_->EndOfInput();
      continue;
    }
    decoder_->Give(std::string_view(rawBuffer_.data(), got));
  }
}

size_t CHttpURL::ReadRaw(char* buffer, size_t length) {
  size_t want = length;
  if (bodyLeft_) want = static_cast<size_t>(std::min<uint64_t>(want, *bodyLeft_));
  if (want == 0) return 0;
  size_t n = stream_->Receive(buffer, want);
  if (n == 0) {
    if (cancel_.IsCancelled()) {
      readFailure_ = ReadFailure::kCancelled;
    } else if (socket_.TimedOut()) {
      readFailure_ = ReadFailure::kTimedOut;
    } else if (stream_->LastCallFailed()) {
      readFailure_ = ReadFailure::kReset;
    } else if (bodyLeft_ && *bodyLeft_ > 0) {
      // Over TLS too: a server that closes without a close alert ends the
      // stream quietly, but a body shorter than announced is still cut.
      readFailure_ = ReadFailure::kTruncated;
    }
  }
  if (bodyLeft_) *bodyLeft_ -= n;
  return n;
}

}  // namespace trovelane
