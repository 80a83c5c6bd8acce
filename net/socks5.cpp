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
//   status    <- 01 SS                    SS != 00: refused
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

}  // namespace

Socks5Result Socks5Negotiate(ByteStream& stream, const std::string& host, int32_t port,
                             const std::string& credentials) {
  Credentials login = SplitCredentials(Base64Decode(credentials));
  if (host.size() > kMaxField || login.user.size() > kMaxField ||
      login.password.size() > kMaxField) {
    return Socks5Result::kFailed;
  }

  if (!Send(stream, std::string{char(kVersion), 2, char(kMethodNone), char(kMethodUserPassword)})) {
    return Socks5Result::kFailed;
  }
  unsigned char choice[2];
  if (!Receive(stream, choice, 2)) return Socks5Result::kFailed;
  if (choice[1] == kNoAcceptableMethod) return Socks5Result::kRefused;
  if (choice[1] == kMethodUserPassword) {
    std::string auth(1, char(kAuthVersion));
    AppendField(auth, login.user);
    AppendField(auth, login.password);
    unsigned char status[2];
    if (!Send(stream, auth) || !Receive(stream, status, 2)) return Socks5Result::kFailed;
    if (status[1] != 0x00) return Socks5Result::kRefused;
  }

  std::string request{char(kVersion), char(kCommandConnect), 0, char(kAddressDomain)};
  AppendField(request, host);
  request.push_back(static_cast<char>((port >> 8) & 0xFF));
  request.push_back(static_cast<char>(port & 0xFF));
  unsigned char reply[4];
  if (!Send(stream, request) || !Receive(stream, reply, 2)) return Socks5Result::kFailed;
  if (reply[1] != 0x00) return Socks5Result::kRefused;
  if (!Receive(stream, reply + 2, 2)) return Socks5Result::kFailed;

  // The bound address and port are of no use here, but must be read so that
  // the tunnel starts at the answer's first byte.
  unsigned char discard[255 + 2];
  size_t addressLength = 4;  // IPv4, and any type this code does not know
  if (reply[3] == kAddressDomain) {
    unsigned char length;
    if (!Receive(stream, &length, 1)) return Socks5Result::kFailed;
    addressLength = length;
  } else if (reply[3] == kAddressIpv6) {
    addressLength = 16;
  }
  if (!Receive(stream, discard, addressLength + 2)) return Socks5Result::kFailed;
  return Socks5Result::kGoOn;
}

}  // namespace trovelane
