// The block scan of a GIF file: what it keeps of the file is its first image.
#ifndef TROVELANE_GIF_GIF_READER_H_
#define TROVELANE_GIF_GIF_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace trovelane::gif {

// Images needing more pixel bytes than this are refused before allocating.
inline constexpr std::uint64_t kMaxImageBytes = 256ull << 20;

struct GifImage {
  int width = 0;
  int height = 0;
  // The colour table that applies (red, green, blue per entry) and its size
  // exponent: the image's own table, else the file's global one. Empty when
  // the file has neither.
  std::vector<std::uint8_t> palette;
  int paletteExponent = 1;
  // width * height colour indices, rows in file order.
  std::unique_ptr<std::uint8_t[]> pixels;
};

// Reads a whole GIF87a or GIF89a file. Every image must decode to exactly its
// width * height pixels and the trailer must follow; otherwise nothing.
std::optional<GifImage> ReadFirstGifImage(const std::uint8_t* data, std::size_t length);

}  // namespace trovelane::gif

#endif  // TROVELANE_GIF_GIF_READER_H_
