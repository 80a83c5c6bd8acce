#include "gif/lzw_decoder.h"

#include <cstring>

namespace trovelane::gif {
namespace {

constexpr int kTableSize = 4096;

// An entry of the code table is a string that has already been written: a
// new entry is always the previous code's string plus the character after
// it in the output. So an entry is kept as the place of that string in the
// output, and writing it is a copy from there: no prefix chain to walk, no
// recursion. The roots (codes below the clear code) are single characters.
struct Entry {
  std::uint32_t offset;
  std::uint32_t length;
};

// Copies forwards, so that a string overlapping its own source repeats it.
// Short strings far enough from their source and from the end of the
// buffer are copied as 16 bytes at once; the bytes past the string are
// rewritten by the next one.
inline void CopyString(std::uint8_t* out, std::size_t capacity, std::size_t to, std::size_t from,
                       std::size_t n) {
  if (n <= 16 && from + 16 <= to && capacity - to >= 16) {
    std::memcpy(out + to, out + from, 16);
  } else if (from + n <= to) {
    std::memcpy(out + to, out + from, n);
  } else {
    for (std::size_t i = 0; i < n; ++i) out[to + i] = out[from + i];
  }
}

}  // namespace

std::uint64_t MaxLzwOutput(std::size_t bytes, int minCodeSize) {
  const std::uint64_t codes = std::uint64_t{bytes} * 8 / static_cast<unsigned>(minCodeSize + 1);
  const std::uint64_t longest = kTableSize;
  if (codes <= longest) return codes * (codes + 1) / 2;
  return longest * (longest + 1) / 2 + (codes - longest) * longest;
}

LzwResult DecodeLzw(const std::uint8_t* data, std::size_t length, std::size_t pos, int minCodeSize,
                    std::uint8_t* out, std::size_t capacity) {
  Entry table[kTableSize];
  const int clearCode = 1 << minCodeSize;
  const int endCode = clearCode + 1;

  int width = minCodeSize + 1;
  int mask = (1 << width) - 1;
  int nextFree = clearCode + 2;
  bool havePrevious = false;
  std::size_t previousStart = 0;  // where the previous code's string begins
  std::size_t previousLength = 0;
  std::uint32_t accumulator = 0;
  int held = 0;
  std::size_t written = 0;

  while (pos < length) {
    const std::size_t blockLength = data[pos++];
    if (blockLength == 0) break;
    const std::size_t blockEnd = blockLength < length - pos ? pos + blockLength : length;
    while (pos < blockEnd) {
      accumulator |= static_cast<std::uint32_t>(data[pos++]) << held;
      held += 8;
      while (held >= width) {
        const int code = static_cast<int>(accumulator & static_cast<std::uint32_t>(mask));
        accumulator >>= width;
        held -= width;
        if (code == endCode) return {written, pos};
        if (code == clearCode) {
          width = minCodeSize + 1;
          mask = (1 << width) - 1;
          nextFree = clearCode + 2;
          havePrevious = false;
          continue;
        }
        std::size_t n;
        if (code < nextFree) {
          n = code < clearCode ? 1 : table[code].length;
          if (n > capacity - written) return {written, pos};
          if (out != nullptr) {
            // Characters are bytes: with a minimum code size above 8 the
            // roots wrap.
            if (code < clearCode) {
              out[written] = static_cast<std::uint8_t>(code);
            } else {
              CopyString(out, capacity, written, table[code].offset, n);
            }
          }
          if (havePrevious && nextFree < kTableSize) {
            table[nextFree++] = {static_cast<std::uint32_t>(previousStart),
                                 static_cast<std::uint32_t>(previousLength + 1)};
          }
        } else if (code == nextFree && havePrevious) {
          // The string being defined right now: the previous one plus its
          // own first character.
          n = previousLength + 1;
          table[nextFree++] = {static_cast<std::uint32_t>(previousStart),
                               static_cast<std::uint32_t>(n)};
          if (n > capacity - written) return {written, pos};
          if (out != nullptr) CopyString(out, capacity, written, previousStart, n);
        } else {
          continue;  // not a code the table can mean: ignored
        }
        havePrevious = true;
        previousStart = written;
        previousLength = n;
        written += n;
        if (nextFree > mask && nextFree < kTableSize) {
          ++width;
          mask = (1 << width) - 1;
        }
      }
    }
  }
  return {written, pos};
}

}  // namespace trovelane::gif
