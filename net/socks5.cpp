#include "net/socks5.h"

#include "net/base64.h"
#include "net/credentials.h"

namespace trovelane {
namespace {

// Wire format (every number in network byte order):
//
//   greeting  -> 05 02 00 02              version, 2 methods: none, user/password
//   choice    <- 05 MM                    MM = FF: no method acceptable
//   (MM = 02)
//   auth      -> 01 UL user PL password   sub-negotiation version 1
//   status    <- 01 SS                    SS != 00: refused; a version other
//                                         than 01 is no answer
//   request   -> 05 01 00 03 HL host PORT CONNECT to a domain name
//   reply     <- 05 RC 00 AT ADDR PORT    RC != 00: refused; ADDR by AT:
//                                         01: 4 bytes, 03: length byte + name,
//                                         04: 16 bytes
//
// Each message goes out in one send, so that a proxy reading a whole message
// at a time sees it whole.
constexpr unsigned char kVersion = 0x05;
constexpr unsigned char kMethodNone = 0x00;
constexpr unsigned char kMethodUserPassword = 0x02;
constexpr unsigned char kNoAcceptableMethod = 0xFF;
constexpr unsigned char kAuthVersion = 0x01;
constexpr unsigned char kCommandConnect = 0x01;
constexpr unsigned char kAddressDomain = 0x03;
constexpr unsigned char kAddressIpv6 = 0x04;
constexpr size_t kMaxField = 255;  // one length byte

bool Send(ByteStream& stream, const std::string& bytes) {
  return stream.SendAll(bytes.data(), bytes.size());
}

bool Receive(ByteStream& stream, unsigned char* buffer, size_t length) {
  return stream.ReceiveExact(reinterpret_cast<char*>(buffer), length);
}

void AppendField(std::string& out, const std::string& field) {
  out.push_back(static_cast<char>(field.size()));
  out += field;
}

std::string Hex(unsigned char byte) {
  static const char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[byte >> 4] + kDigits[byte & 0x0F];
}

// What a CONNECT reply code means (RFC 1928).
std::string ReplyText(unsigned char code) {
  static const char* const kTexts[] = {"succeeded",
                                       "general failure",
                                       "not allowed by the proxy's rules",
                                       "network unreachable",
                                       "host unreachable",
                                       "connection refused",
                                       "time to live expired",
                                       "command not supported",
                                       "address type not supported"};
  return code < sizeof kTexts / sizeof *kTexts ? kTexts[code] : "unknown code";
}

Socks5Result Failure(Socks5Result result, std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return result;
}

}  // namespace

Socks5Result Socks5Negotiate(ByteStream& stream, const std::string& host, int32_t port,
                             const std::string& credentials, std::string* why) {
  const Socks5Result kFailed = Socks5Result::kFailed;
  const Socks5Result kRefused = Socks5Result::kRefused;
  Credentials login = SplitCredentials(Base64Decode(credentials));
  if (host.size() > kMaxField) {
    return Failure(kFailed, why, "SOCKS 5: the host name is longer than 255 bytes");
  }
  if (login.user.size() > kMaxField || login.password.size() > kMaxField) {
    return Failure(kFailed, why, "SOCKS 5: the user name or password is longer than 255 bytes");
  }

  if (!Send(stream, std::string{char(kVersion), 2, char(kMethodNone), char(kMethodUserPassword)})) {
    return Failure(kFailed, why, "SOCKS 5 greeting: the proxy closed the connection");
  }
  unsigned char choice[2];
  if (!Receive(stream, choice, 2)) {
    return Failure(kFailed, why, "SOCKS 5 greeting: the proxy closed the connection unanswered");
  }
  if (choice[0] != kVersion) {
    return Failure(kFailed, why,
                   "SOCKS 5 greeting: the proxy answered with version " + Hex(choice[0]) +
                       ", not 0x05 (is it a SOCKS 5 proxy?)");
  }
  if (choice[1] == kNoAcceptableMethod) {
    return Failure(kRefused, why, "SOCKS 5 greeting: the proxy accepts none of the login methods");
  }
  if (choice[1] != kMethodNone && choice[1] != kMethodUserPassword) {
    // Going on would speak a method this side does not know.
    return Failure(kFailed, why,
                   "SOCKS 5 greeting: the proxy chose method " + Hex(choice[1]) +
                       ", which was not offered");
  }
  if (choice[1] == kMethodUserPassword) {
    std::string auth(1, char(kAuthVersion));
    AppendField(auth, login.user);
    AppendField(auth, login.password);
    unsigned char status[2];
    if (!Send(stream, auth) || !Receive(stream, status, 2)) {
      return Failure(kFailed, why, "SOCKS 5 login: the proxy closed the connection");
    }
    // A status from something that does not speak the sub-negotiation is no
    // answer to the login, whatever its second byte says.
    if (status[0] != kAuthVersion) {
      return Failure(kFailed, why,
                     "SOCKS 5 login: the proxy answered with version " + Hex(status[0]) +
                         ", not 0x01");
    }
    if (status[1] != 0x00) {
      return Failure(kRefused, why, "SOCKS 5 login: the proxy refused the user name and password");
    }
  }

  std::string request{char(kVersion), char(kCommandConnect), 0, char(kAddressDomain)};
  AppendField(request, host);
  request.push_back(static_cast<char>((port >> 8) & 0xFF));
  request.push_back(static_cast<char>(port & 0xFF));
  unsigned char reply[4];
  if (!Send(stream, request) || !Receive(stream, reply, 2)) {
    return Failure(kFailed, why, "SOCKS 5 CONNECT: the proxy closed the connection");
  }
  if (reply[0] != kVersion) {
    return Failure(kFailed, why,
                   "SOCKS 5 CONNECT: the proxy answered with version " + Hex(reply[0]) +
                       ", not 0x05");
  }
  if (reply[1] != 0x00) {
    return Failure(kRefused, why,
                   "SOCKS 5 CONNECT: the proxy refused the tunnel to " + host + ":" +
                       std::to_string(port) + " (" + Hex(reply[1]) + ", " +
                       ReplyText(reply[1]) + ")");
  }
  if (!Receive(stream, reply + 2, 2)) {
    return Failure(kFailed, why, "SOCKS 5 CONNECT: the proxy closed the connection");
  }

  // The bound address and port are of no use here, but must be read so that
  // the tunnel starts at the answer's first byte.
  unsigned char discard[255 + 2];
  size_t addressLength = 4;  // IPv4, and any type this code does not know
  if (reply[3] == kAddressDomain) {
    unsigned char length;
    if (!Receive(stream, &length, 1)) {
      return Failure(kFailed, why, "SOCKS 5 CONNECT: the proxy closed the connection");
    }
    addressLength = length;
  } else if (reply[3] == kAddressIpv6) {
    addressLength = 16;
  }
  if (!Receive(stream, discard, addressLength + 2)) {
    return Failure(kFailed, why, "SOCKS 5 CONNECT: the proxy closed the connection");
  }
  return Socks5Result::kGoOn;
}

}  // namespace trovelane
