// Test helpers around the library's exports.
#ifndef TROVELANE_TESTS_GIF_DECODED_GIF_H_
#define TROVELANE_TESTS_GIF_DECODED_GIF_H_

#include <memory>
#include <vector>

#include "gif/qmimglib.h"
#include "tests/support/gif_encoder.h"

namespace trovelane::test {

struct GifCleanup {
  void operator()(tagQMGIFINITINFO* info) const { QMGIFCleanup(info); }
};
using DecodedGif = std::unique_ptr<tagQMGIFINITINFO, GifCleanup>;

inline DecodedGif Decode(Bytes bytes) {
  return DecodedGif(QMGIFInit(bytes.data(), static_cast<int>(bytes.size())));
}

// The colour index of every pixel, read back from the bits.
inline Bytes Indices(const tagQMGIFINITINFO& info) {
  const QMBitmapInfoHeader& header = *info.bitmapInfo;
  const std::int64_t stride = QMBitmapStride(&header);
  Bytes out;
  for (int y = 0; y < -header.height; ++y) {
    const std::uint8_t* row = info.bits + y * stride;
    for (int x = 0; x < header.width; ++x) {
      out.push_back(header.bitCount == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 15);
    }
  }
  return out;
}

// width * height indices that use all of `colors` colours.
inline Bytes Pattern(int width, int height, int colors) {
  Bytes out;
  for (int i = 0; i < width * height; ++i)
    out.push_back(static_cast<std::uint8_t>((i * 7 + i / width) % colors));
  return out;
}

inline GifImageOptions Frame(int width, int height, Bytes pixels) {
  GifImageOptions image;
  image.width = width;
  image.height = height;
  image.pixels = std::move(pixels);
  return image;
}

}  // namespace trovelane::test

#endif  // TROVELANE_TESTS_GIF_DECODED_GIF_H_
