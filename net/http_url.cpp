#include "net/http_url.h"

#include <algorithm>

#include "net/cern_proxy.h"
#include "net/head_line.h"
#include "net/socks5.h"
#include "net/tls.h"

namespace trovelane {

CHttpURL::CHttpURL() : socket_(&cancel_) {}

CHttpURL::~CHttpURL() { Close(); }

void CHttpURL::SetURL(std::string_view url, bool isPost) {
  cookieToSend = nullptr;
  cookieSink = nullptr;
  isPost_ = isPost;
  url_ = Url{};
  target_.clear();
  url_ = ParseUrl(url);
}

void CHttpURL::Close() {
  stream_ = nullptr;
  tls_.reset();
  socket_.Close();
  bodyLeft_.reset();
}

bool CHttpURL::Open(const char* userAgent, const char* referer, const char* postBody,
                    const ProxySettings* proxy) {
  if (referer) referer_ = referer;
  Close();
  failure_ = OpenFailure::kNone;
  const bool viaProxy = proxy && proxy->enabled;
  for (int redirects = 0;; ++redirects) {
    const std::string& host = viaProxy ? proxy->host : url_.host;
    const int32_t port = viaProxy ? proxy->port : url_.port;
    if (cancel_.IsCancelled() || !socket_.Connect(host, port)) {
      failure_ = cancel_.IsCancelled()  ? OpenFailure::kCancelled
                 : socket_.NameFailed() ? OpenFailure::kResolve
                                        : OpenFailure::kConnect;
      Close();
      return false;
    }
    stream_ = &socket_;
    HeadResult result = SendRequestAndReadHead(userAgent, postBody, viaProxy ? proxy : nullptr);
    if (result == HeadResult::kFailed) {
      if (cancel_.IsCancelled()) failure_ = OpenFailure::kCancelled;
      Close();
      return false;
    }
    if (result == HeadResult::kDone || redirects == kMaxRedirects) return true;

    std::string target = RedirectTarget();
    referer_ = url_.host;
    Close();
    SetURL(target, false);
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

  if (socks &&
      Socks5Negotiate(socket_, url_.host, url_.port, proxy->credentials) != Socks5Result::kGoOn) {
    failure_ = OpenFailure::kProxy;
    return HeadResult::kFailed;
  }
  if (url_.isHttps) {
    if (cern) {
      if (!CernConnectTunnel(socket_, url_, *proxy)) {
        failure_ = OpenFailure::kProxy;
        return HeadResult::kFailed;
      }
      tunnel = true;
    }
    tls_ = std::make_unique<TlsStream>(socket_);
    if (!tls_->Handshake(url_.host)) {
      failure_ = OpenFailure::kTls;
      return HeadResult::kFailed;
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
    if (cancel_.IsCancelled()) return HeadResult::kFailed;
  }
  return ReadHead();
}

std::string CHttpURL::BuildRequest(const char* userAgent, const char* postBody, bool viaProxy,
                                   const std::string& proxyAuthorization) const {
  std::string userAgentLine = userAgent ? "User-Agent: " + std::string(userAgent) + "\r\n"
                                        : "User-Agent: CHttpURL class\r\n";
  std::string refererLine = referer_.empty() ? "" : "Referer: " + referer_ + "\r\n";
  std::string proxyConnectionLine = viaProxy ? "Proxy-Connection: Keep-Alive\r\n" : "";

  std::string request;
  if (!isPost_) {
    // The Cookie header has no line end of its own: the "\r\n" after it ends
    // it, so a request without cookie ends in three CR LF pairs.
    request = "GET " + GetPath() + " HTTP/1.0\r\nAccept: */*\r\nAccept-Language: en\r\n" +
              userAgentLine + refererLine + proxyConnectionLine + proxyAuthorization + HostLine();
    if (cookieToSend) request += "Cookie: " + std::string(cookieToSend);
    request += "\r\n\r\n";
    return request;
  }
  std::string body = postBody ? postBody : "";
  request = "POST " + GetPath() +
            " HTTP/1.0\r\nAccept: */*\r\nAccept-Language: en\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n" +
            userAgentLine + refererLine;
  if (cookieToSend) request += "Cookie: " + std::string(cookieToSend) + "\r\n";
  request += proxyConnectionLine + HostLine() + proxyAuthorization +
             "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  return request;
}

namespace {

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
  status_ = 0;
  head_.clear();
  location_.clear();
  bodyLeft_.reset();
  bool redirect = false;
  std::string line, value;
  while (ReadHeadLine(*stream_, line)) {
    if (IsEndOfHead(line)) break;
    if (head_.size() < kMaxHeadText) head_.append(line, 0, kMaxHeadText - head_.size());
    if (int status = ParseStatusLine(line); status >= 0) status_ = status;
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
  }
  if (cancel_.IsCancelled()) return HeadResult::kFailed;
  return redirect ? HeadResult::kRedirect : HeadResult::kDone;
}

int CHttpURL::Read(char* buffer, int length) {
  if (!stream_ || length <= 0) return 0;
  size_t want = static_cast<size_t>(length);
  if (bodyLeft_) want = static_cast<size_t>(std::min<uint64_t>(want, *bodyLeft_));
  if (want == 0) return 0;
  size_t n = stream_->Receive(buffer, want);
  if (bodyLeft_) *bodyLeft_ -= n;
  return static_cast<int>(n);
}

}  // namespace trovelane
