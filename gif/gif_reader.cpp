#include "gif/gif_reader.h"

#include <cstring>
#include <new>

#include "gif/lzw_decoder.h"

namespace trovelane::gif {
namespace {

constexpr std::size_t kSignatureLength = 6;
constexpr std::size_t kScreenDescriptorLength = 7;
constexpr std::size_t kImageDescriptorLength = 9;
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kTableFlag = 0x80;

int ReadUint16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

// The extension's label is at data[pos]; its sub-blocks follow up to a zero
// length byte. Extensions carry nothing the picture needs, so only their
// framing is checked. Returns the position after the zero byte.
std::optional<std::size_t> SkipExtension(const std::uint8_t* data, std::size_t length,
                                         std::size_t pos) {
  if (pos >= length) return std::nullopt;
  ++pos;  // the label
  while (true) {
    if (pos >= length) return std::nullopt;
    const std::size_t blockLength = data[pos++];
    if (blockLength == 0) return pos;
    if (blockLength > length - pos) return std::nullopt;
    pos += blockLength;
  }
}

// The image descriptor starts at data[pos], just after the separator. When
// `keep` is set the image's table and pixels are stored in it; later images
// are only decoded far enough to prove they are whole. Returns the position
// where the block scan goes on.
std::optional<std::size_t> DecodeImage(const std::uint8_t* data, std::size_t length,
                                       std::size_t pos, GifImage* keep) {
  if (length - pos < kImageDescriptorLength) return std::nullopt;
  const int width = ReadUint16(data + pos + 4);
  const int height = ReadUint16(data + pos + 6);
  const std::uint8_t flags = data[pos + 8];
  pos += kImageDescriptorLength;

  const int exponent = (flags & 7) + 1;
  if (flags & kTableFlag) {
    const std::size_t tableLength = std::size_t{3} << exponent;
    if (tableLength > length - pos) return std::nullopt;
    if (keep != nullptr) {
      keep->palette.assign(data + pos, data + pos + tableLength);
      keep->paletteExponent = exponent;
    }
    pos += tableLength;
  }

  const std::uint64_t pixelCount = static_cast<std::uint64_t>(width) * height;
  if (pixelCount > kMaxImageBytes) return std::nullopt;
  if (pos >= length) return std::nullopt;
  const int minCodeSize = data[pos++];
  if (minCodeSize > kMaxMinCodeSize) return std::nullopt;
  // An image the rest of the file cannot fill fails now, before its pixel
  // buffer is allocated: a small hostile file cannot claim much memory.
  if (MaxLzwOutput(length - pos, minCodeSize) < pixelCount) return std::nullopt;
  if (keep != nullptr) {
    // Not zeroed: a successful decode writes every pixel.
    keep->pixels.reset(new (std::nothrow) std::uint8_t[pixelCount == 0 ? 1 : pixelCount]);
    if (!keep->pixels) return std::nullopt;
    keep->width = width;
    keep->height = height;
  }

  const LzwResult result = DecodeLzw(data, length, pos, minCodeSize,
                                     keep != nullptr ? keep->pixels.get() : nullptr, pixelCount);
  if (result.written != pixelCount) return std::nullopt;
  // One byte more: the block terminator that follows the end code.
  return result.next + 1;
}

}  // namespace

std::optional<GifImage> ReadFirstGifImage(const std::uint8_t* data, std::size_t length) {
  if (data == nullptr || length <= kSignatureLength - 1) return std::nullopt;
  if (std::memcmp(data, "GIF", 3) != 0) return std::nullopt;
  if (std::memcmp(data + 3, "87a", 3) != 0 && std::memcmp(data + 3, "89a", 3) != 0) {
    return std::nullopt;
  }
  // The screen descriptor, and at least one byte after it.
  if (length <= kSignatureLength + kScreenDescriptorLength) return std::nullopt;
  const std::uint8_t screenFlags = data[kSignatureLength + 4];
  const int screenExponent = (screenFlags & 7) + 1;
  std::size_t pos = kSignatureLength + kScreenDescriptorLength;

  std::vector<std::uint8_t> globalTable;
  if (screenFlags & kTableFlag) {
    const std::size_t tableLength = std::size_t{3} << screenExponent;
    if (tableLength > length - pos) return std::nullopt;
    globalTable.assign(data + pos, data + pos + tableLength);
    pos += tableLength;
  }

  GifImage first;
  bool haveFirst = false;
  bool trailer = false;
  while (pos < length && !trailer) {
    std::optional<std::size_t> next;
    switch (data[pos]) {
      case kExtensionIntroducer:
        next = SkipExtension(data, length, pos + 1);
        break;
      case kImageSeparator:
        next = DecodeImage(data, length, pos + 1, haveFirst ? nullptr : &first);
        haveFirst = true;
        break;
      case kTrailer:
        trailer = true;
        continue;
      default:
        next = pos + 1;  // stray bytes between blocks are skipped
        break;
    }
    if (!next) return std::nullopt;
    pos = *next;
  }
  if (!trailer || !haveFirst) return std::nullopt;

  if (first.palette.empty() && !globalTable.empty()) {
    first.palette = std::move(globalTable);
    first.paletteExponent = screenExponent;
  } else if (first.palette.empty()) {
    first.paletteExponent = screenExponent;
  }
  return first;
}

}  // namespace trovelane::gif
