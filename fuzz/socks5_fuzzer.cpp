// libFuzzer target: any answer of a SOCKS 5 proxy, split into pieces as the
// first input byte says, either opens the tunnel or ends the handshake with
// a reason; the handshake never reads past what the replies announce.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/memory_stream.h"
#include "net/base64.h"
#include "net/socks5.h"

using trovelane::Socks5Result;
using trovelane::fuzz::MemoryStream;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::string sizes(1, static_cast<char>(data[0]));
  std::string replies(reinterpret_cast<const char*>(data) + 1, size - 1);
  MemoryStream stream(replies, sizes);
  std::string why;
  Socks5Result result = trovelane::Socks5Negotiate(stream, "www.example.com", 8080,
                                                   trovelane::Base64Encode("user:pass"), &why);
  if (result == Socks5Result::kGoOn) {
    if (!why.empty()) std::abort();
    // The shortest accepted exchange: the method choice, and a CONNECT reply
    // with an empty domain name and a port.
    if (replies.size() - stream.left() < 2 + 4 + 1 + 2) std::abort();
  } else if (why.empty()) {
    std::abort();
  }
  return 0;
}
