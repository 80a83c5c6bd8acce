// libFuzzer target: the decoding of a body (chunked, gzip, deflate) fed in
// pieces and taken in pieces whose sizes the first bytes choose. The decoder
// must end in a final state once its input has ended, never hand out more
// than its bound, and never read or write out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/body_decoder.h"

using trovelane::BodyDecoder;
using trovelane::ContentCoding;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const bool chunked = data[0] & 1;
  const ContentCoding coding = static_cast<ContentCoding>((data[0] >> 1) % 3);
  const size_t piece = 1 + data[1];
  const size_t take = 1 + data[2] * 37;
  constexpr uint64_t kBound = 1 << 20;
  std::string_view raw(reinterpret_cast<const char*>(data) + 3, size - 3);

  BodyDecoder decoder(chunked, coding, kBound);
  std::string buffer(take, '\0');
  uint64_t total = 0;
  size_t at = 0;
  for (int steps = 0;; ++steps) {
    if (steps > 100'000'000) std::abort();  // a decoder that never ends
    if (size_t n = decoder.Take(buffer.data(), take)) {
      if (n > take) std::abort();
      total += n;
      if (total > kBound) std::abort();
      continue;
    }
    BodyDecoder::State state = decoder.state();
    if (state == BodyDecoder::State::kHasOutput) continue;
    if (state != BodyDecoder::State::kNeedInput) break;
    if (at >= raw.size()) {
      decoder.EndOfInput();
      if (decoder.state() == BodyDecoder::State::kNeedInput) std::abort();
      continue;
    }
    decoder.Give(raw.substr(at, piece));
    at += piece;
  }
  return 0;
}
