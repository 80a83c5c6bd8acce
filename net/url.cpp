#include "net/url.h"

#include <optional>

namespace trovelane {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// Reads HOST[:PORT][PATH] from `rest` into `url`; false when the host is empty
// or the port is not 1 to 7 digits with a value from 1 to 65535.
bool ParseAuthorityAndPath(std::string_view rest, int32_t defaultPort, Url& url) {
  size_t hostEnd = rest.find_first_of("/:");
  if (hostEnd == std::string_view::npos) hostEnd = rest.size();
  if (hostEnd == 0 || hostEnd > kMaxHostLength) return false;
  url.host = std::string(rest.substr(0, hostEnd));
  rest.remove_prefix(hostEnd);

  url.port = defaultPort;
  if (!rest.empty() && rest.front() == ':') {
    rest.remove_prefix(1);
    size_t digitsEnd = rest.find('/');
    if (digitsEnd == std::string_view::npos) digitsEnd = rest.size();
    std::string_view digits = rest.substr(0, digitsEnd);
    if (digits.empty() || digits.size() > kMaxPortDigits) return false;
    int32_t value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    // A larger number names no port; taking its low 16 bits would connect
    // somewhere the URL never said.
    if (value == 0 || value > kMaxPort) return false;
    url.port = value;
    rest.remove_prefix(digitsEnd);
  }

  if (rest.size() > kMaxPathLength) return false;
  url.path = rest.empty() ? std::string("/") : std::string(rest);
  return true;
}

std::optional<Url> ParseHttpForm(std::string_view text) {
  Url url;
  if (StartsWithNoCase(text, "http://")) {
    text.remove_prefix(7);
  } else if (StartsWithNoCase(text, "https://")) {
    text.remove_prefix(8);
    url.isHttps = true;
  } else if (StartsWithNoCase(text, "ftp://")) {
    return std::nullopt;
  } else {
    // No scheme: the text is a path on no host; connecting decides.
    if (text.size() > kMaxPathLength) return std::nullopt;
    url.path = text.empty() ? std::string("/") : std::string(text);
    return url;
  }
  if (!ParseAuthorityAndPath(text, url.isHttps ? 443 : 80, url)) return std::nullopt;
  return url;
}

std::optional<Url> ParseFtpForm(std::string_view text) {
  if (!StartsWithNoCase(text, "ftp://")) return std::nullopt;
  text.remove_prefix(6);

  // USER:PASSWORD@ is taken only when both delimiters follow, in this order.
  std::string_view user, password;
  size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    size_t at = text.find('@', colon + 1);
    if (at != std::string_view::npos) {
      user = text.substr(0, colon);
      password = text.substr(colon + 1, at - colon - 1);
      text.remove_prefix(at + 1);
    }
  }
  if (user.size() > kMaxCredentialLength || password.size() > kMaxCredentialLength) {
    return std::nullopt;
  }

  Url url;
  url.isFtp = true;
  if (!ParseAuthorityAndPath(text, 21, url)) return std::nullopt;
  if (!user.empty() || !password.empty()) {
    std::string joined = std::string(user) + ":" + std::string(password) + "@" + url.host;
    if (joined.size() > kMaxHostLength) return std::nullopt;
    url.host = std::move(joined);
  }
  return url;
}

}  // namespace

Status ParseUrl(std::string_view text, Url* url) {
  if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    return Status::InvalidArgument({});
  }
  std::optional<Url> parsed = ParseHttpForm(text);
  if (!parsed) parsed = ParseFtpForm(text);
  if (!parsed) return Status::InvalidArgument({});
  *url = std::move(*parsed);
  return Status::Ok();
}

std::string RequestTarget(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string target;
  target.reserve(path.size());
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F) {
      target.push_back(c);
    } else {
      target.push_back('%');
      target.push_back(kHex[byte >> 4]);
      target.push_back(kHex[byte & 0x0F]);
    }
  }
  return target;
}

}  // namespace trovelane
