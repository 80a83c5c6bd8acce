#include "gif/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace trovelane::gif {
namespace {

// A file without any colour table draws in grey: 2^exponent levels evenly
// spread from black to white.
void FillGreyTable(QMRgbQuad* colors, int exponent) {
  const int count = 1 << exponent;
  for (int i = 0; i < count; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 255 / (count - 1));
    colors[i] = {level, level, level, 0};
  }
}

void FillTable(QMRgbQuad* colors, int colorCount, const GifImage& image) {
  if (image.palette.empty()) {
    FillGreyTable(colors, image.paletteExponent);
    return;
  }
  const int paletteCount = static_cast<int>(image.palette.size() / 3);
  for (int i = 0; i < std::min(colorCount, paletteCount); ++i) {
    const std::uint8_t* rgb = &image.palette[3 * i];
    colors[i] = {rgb[2], rgb[1], rgb[0], 0};
  }
}

void FillBits(std::uint8_t* bits, std::size_t stride, int bitCount, const GifImage& image) {
  const std::size_t width = static_cast<std::size_t>(image.width);
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = image.pixels.get() + y * width;
    std::uint8_t* out = bits + y * stride;
    if (bitCount == 8) {
      std::memcpy(out, row, width);
      continue;
    }
    // Two pixels a byte, the first in the high half. An index too large for
    // four bits keeps its low bits rather than spilling into its neighbour.
    for (std::size_t x = 0; x + 1 < width; x += 2) {
      out[x / 2] = static_cast<std::uint8_t>(((row[x] & 15) << 4) | (row[x + 1] & 15));
    }
    if (width % 2 != 0) out[width / 2] = static_cast<std::uint8_t>((row[width - 1] & 15) << 4);
  }
}

}  // namespace

int BitCountForExponent(int exponent) { return exponent <= 4 ? 4 : 8; }

tagQMGIFINITINFO* MakeBitmap(const GifImage& image) {
  const int bitCount = BitCountForExponent(image.paletteExponent);
  const int colorCount = 1 << bitCount;
  const std::size_t stride = (static_cast<std::size_t>(bitCount) * image.width + 31) / 32 * 4;
  const std::size_t bitsLength = stride * static_cast<std::size_t>(image.height);

  auto* info = static_cast<tagQMGIFINITINFO*>(std::calloc(1, sizeof(tagQMGIFINITINFO)));
  if (info == nullptr) return nullptr;
  // Zeroed: colour entries past the end of the palette stay black, and the
  // padding of every row stays 0.
  info->bitmapInfo = static_cast<QMBitmapInfoHeader*>(
      std::calloc(1, sizeof(QMBitmapInfoHeader) + sizeof(QMRgbQuad) * colorCount));
  info->bits = static_cast<std::uint8_t*>(std::calloc(std::max<std::size_t>(bitsLength, 1), 1));
  if (info->bitmapInfo == nullptr || info->bits == nullptr) {
    FreeBitmap(info);
    return nullptr;
  }

  QMBitmapInfoHeader& header = *info->bitmapInfo;
  header.size = sizeof(QMBitmapInfoHeader);
  header.width = image.width;
  header.height = -image.height;
  header.planes = 1;
  header.bitCount = static_cast<std::uint16_t>(bitCount);
  FillTable(reinterpret_cast<QMRgbQuad*>(info->bitmapInfo + 1), colorCount, image);
  FillBits(info->bits, stride, bitCount, image);
  return info;
}

void DrawBitmap(const tagQMGIFINITINFO& info, const QMPixelBuffer& target, const QMRect& rect) {
  const QMBitmapInfoHeader& header = *info.bitmapInfo;
  const int bitCount = header.bitCount;
  const QMRgbQuad* colors = QMBitmapColors(&header);
  std::uint32_t lookup[256];
  for (int i = 0; i < (1 << bitCount); ++i) {
    lookup[i] = 0xFF000000u | (colors[i].red << 16) | (colors[i].green << 8) | colors[i].blue;
  }

  // In 64 bits, so that no rectangle can overflow the arithmetic.
  const std::int64_t bitmapHeight =
      header.height < 0 ? -std::int64_t{header.height} : header.height;
  const std::int64_t width =
      std::min<std::int64_t>(std::int64_t{rect.right} - rect.left, header.width);
  const std::int64_t height =
      std::min<std::int64_t>(std::int64_t{rect.bottom} - rect.top, bitmapHeight);
  const std::int64_t x0 = std::max<std::int64_t>(rect.left, 0);
  const std::int64_t x1 = std::min<std::int64_t>(rect.left + width, target.width);
  const std::int64_t y0 = std::max<std::int64_t>(rect.top, 0);
  const std::int64_t y1 = std::min<std::int64_t>(rect.top + height, target.height);
  const std::int64_t stride = QMBitmapStride(&header);

  for (std::int64_t y = y0; y < y1; ++y) {
    const std::int64_t sourceY = y - rect.top;
    const std::int64_t row = header.height < 0 ? sourceY : bitmapHeight - 1 - sourceY;
    const std::uint8_t* source = info.bits + row * stride;
    auto* out = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(target.pixels) +
                                                 y * target.stride);
    for (std::int64_t x = x0; x < x1; ++x) {
      const std::int64_t sourceX = x - rect.left;
      const int index =
          bitCount == 8 ? source[sourceX] : (source[sourceX / 2] >> (sourceX % 2 ? 0 : 4)) & 15;
      out[x] = lookup[index];
    }
  }
}

void FreeBitmap(tagQMGIFINITINFO* info) {
  std::free(info->bitmapInfo);
  std::free(info->bits);
  std::free(info);
}

}  // namespace trovelane::gif
