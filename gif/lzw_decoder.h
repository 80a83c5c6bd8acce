// The variable-width LZW decoder of GIF image data.
#ifndef TROVELANE_GIF_LZW_DECODER_H_
#define TROVELANE_GIF_LZW_DECODER_H_

#include <cstddef>
#include <cstdint>

namespace trovelane::gif {

// The largest minimum code size whose clear and end codes still fit the
// 4096-entry code table.
inline constexpr int kMaxMinCodeSize = 11;

struct LzwResult {
  std::size_t written;  // pixels produced
  std::size_t next;     // position just past the last byte read
};

// The most pixels that `bytes` bytes of code stream can produce: each code
// takes at least minCodeSize + 1 bits, and the k-th code can write no more
// than k characters (each table entry is one longer than an earlier one),
// nor more than the table's 4096 entries allow.
std::uint64_t MaxLzwOutput(std::size_t bytes, int minCodeSize);

// Decodes the sub-blocks that start at data[pos] (the first length byte, just
// after the minimum code size byte) into out[0 .. capacity). Decoding stops at
// the end code, at the zero-length block, at the end of the data, or at the
// first string that would not fit. `out` may be null: the pixels are then
// only counted. minCodeSize must be at most kMaxMinCodeSize.
LzwResult DecodeLzw(const std::uint8_t* data, std::size_t length, std::size_t pos, int minCodeSize,
                    std::uint8_t* out, std::size_t capacity);

}  // namespace trovelane::gif

#endif  // TROVELANE_GIF_LZW_DECODER_H_
