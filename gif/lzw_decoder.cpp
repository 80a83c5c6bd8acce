#include "gif/lzw_decoder.h"

namespace trovelane::gif {
namespace {

constexpr int kTableSize = 4096;

// The code table. Every entry but the roots extends an entry of a lower
// index by one character, so a string is written back to front by following
// `prefix` exactly length - 1 times: no recursion, no cycle.
struct CodeTable {
  std::uint16_t prefix[kTableSize];
  std::uint16_t length[kTableSize];
  std::uint8_t first[kTableSize];
  std::uint8_t last[kTableSize];

  void Add(int code, int prefixCode, std::uint8_t lastChar) {
    prefix[code] = static_cast<std::uint16_t>(prefixCode);
    length[code] = static_cast<std::uint16_t>(length[prefixCode] + 1);
    first[code] = first[prefixCode];
    last[code] = lastChar;
  }

  void Write(int code, std::uint8_t* out) const {
    for (int i = length[code] - 1; i > 0; --i) {
      out[i] = last[code];
      code = prefix[code];
    }
    out[0] = last[code];
  }
};

}  // namespace

LzwResult DecodeLzw(const std::uint8_t* data, std::size_t length, std::size_t pos, int minCodeSize,
                    std::uint8_t* out, std::size_t capacity) {
  CodeTable table;
  const int clearCode = 1 << minCodeSize;
  const int endCode = clearCode + 1;
  for (int i = 0; i < clearCode; ++i) {
    table.prefix[i] = 0;
    table.length[i] = 1;
    // Characters are bytes: with a minimum code size above 8 the roots wrap.
    table.first[i] = table.last[i] = static_cast<std::uint8_t>(i);
  }

  int width = minCodeSize + 1;
  int mask = (1 << width) - 1;
  int nextFree = clearCode + 2;
  int previous = -1;
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
          previous = -1;
          continue;
        }
        if (code < nextFree) {
          const std::size_t n = table.length[code];
          if (n > capacity - written) return {written, pos};
          if (out != nullptr) table.Write(code, out + written);
          if (previous >= 0 && nextFree < kTableSize) {
            table.Add(nextFree++, previous, table.first[code]);
          }
        } else if (code == nextFree && previous >= 0) {
          // The string being defined right now: the previous one plus its
          // own first character.
          table.Add(nextFree++, previous, table.first[previous]);
          const std::size_t n = table.length[code];
          if (n > capacity - written) return {written, pos};
          if (out != nullptr) table.Write(code, out + written);
        } else {
          continue;  // not a code the table can mean: ignored
        }
        written += table.length[code];
        previous = code;
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
