#include "tests/support/gif_encoder.h"

#include <algorithm>
#include <stdexcept>

namespace trovelane::test {
namespace {

void PutUint16(Bytes& out, int value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void PutTable(Bytes& out, const std::vector<GifColor>& colors) {
  const std::size_t count = std::size_t{1} << TableExponent(colors.size());
  for (std::size_t i = 0; i < count; ++i) {
    const GifColor c = i < colors.size() ? colors[i] : GifColor{0, 0, 0};
    out.insert(out.end(), {c.red, c.green, c.blue});
  }
}

}  // namespace

void CodeWriter::Put(int code, int width) {
  accumulator_ |= static_cast<std::uint32_t>(code) << held_;
  held_ += width;
  while (held_ >= 8) {
    bytes_.push_back(static_cast<std::uint8_t>(accumulator_ & 0xFF));
    accumulator_ >>= 8;
    held_ -= 8;
  }
}

Bytes CodeWriter::Finish() {
  if (held_ > 0) bytes_.push_back(static_cast<std::uint8_t>(accumulator_ & 0xFF));
  accumulator_ = 0;
  held_ = 0;
  return std::move(bytes_);
}

Bytes LzwCompress(const Bytes& pixels, int minCodeSize, bool clearWhenFull) {
  if (minCodeSize < 1 || minCodeSize > 8) throw std::invalid_argument("minCodeSize");
  constexpr int kTableSize = 4096;
  const int clearCode = 1 << minCodeSize;
  const int endCode = clearCode + 1;
  // (prefix code, next character) -> code, -1 when absent.
  std::vector<std::int16_t> table(kTableSize * 256, -1);
  int width = minCodeSize + 1;
  int next = clearCode + 2;
  CodeWriter writer;
  writer.Put(clearCode, width);
  if (pixels.empty()) {
    writer.Put(endCode, width);
    return writer.Finish();
  }

  // The decoder learns each entry one code late; it widens its codes when
  // its next free code passes the current mask, and so does this.
  auto emit = [&](int code) {
    writer.Put(code, width);
    if (next > (1 << width) - 1 && next < kTableSize) ++width;
  };
  int current = pixels[0];
  for (std::size_t i = 1; i < pixels.size(); ++i) {
    const int c = pixels[i];
    const int known = table[current * 256 + c];
    if (known >= 0) {
      current = known;
      continue;
    }
    emit(current);
    if (next < kTableSize) table[current * 256 + c] = static_cast<std::int16_t>(next++);
    if (next == kTableSize && clearWhenFull) {
      writer.Put(clearCode, width);
      std::fill(table.begin(), table.end(), -1);
      width = minCodeSize + 1;
      next = clearCode + 2;
    }
    current = c;
  }
  emit(current);
  writer.Put(endCode, width);
  return writer.Finish();
}

Bytes SubBlocks(const Bytes& bytes) {
  Bytes out;
  for (std::size_t i = 0; i < bytes.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, bytes.size() - i);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i),
               bytes.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  out.push_back(0);
  return out;
}

GifBuilder::GifBuilder(int width, int height, std::string version)
    : version_(std::move(version)), width_(width), height_(height) {}

GifBuilder& GifBuilder::GlobalTable(std::vector<GifColor> colors) {
  globalTable_ = std::move(colors);
  screenExponent_ = TableExponent(globalTable_.size());
  return *this;
}

GifBuilder& GifBuilder::ScreenExponent(int exponent) {
  screenExponent_ = exponent;
  return *this;
}

GifBuilder& GifBuilder::Extension(std::uint8_t label, const std::vector<Bytes>& blocks) {
  body_.push_back(0x21);
  body_.push_back(label);
  for (const Bytes& block : blocks) {
    body_.push_back(static_cast<std::uint8_t>(block.size()));
    body_.insert(body_.end(), block.begin(), block.end());
  }
  body_.push_back(0);
  return *this;
}

GifBuilder& GifBuilder::GraphicControl(int transparentIndex, int delayCentiseconds) {
  Bytes block{static_cast<std::uint8_t>(transparentIndex >= 0 ? 1 : 0)};
  PutUint16(block, delayCentiseconds);
  block.push_back(static_cast<std::uint8_t>(std::max(transparentIndex, 0)));
  return Extension(0xF9, {block});
}

GifBuilder& GifBuilder::Image(const GifImageOptions& image) {
  body_.push_back(0x2C);
  PutUint16(body_, image.left);
  PutUint16(body_, image.top);
  PutUint16(body_, image.width);
  PutUint16(body_, image.height);
  std::uint8_t flags = image.interlaced ? 0x40 : 0;
  if (!image.localTable.empty()) flags |= 0x80 | (TableExponent(image.localTable.size()) - 1);
  body_.push_back(flags);
  if (!image.localTable.empty()) PutTable(body_, image.localTable);

  int minCodeSize = image.minCodeSize;
  if (minCodeSize == 0) {
    const std::size_t colors =
        !image.localTable.empty() ? image.localTable.size() : std::size_t{1} << screenExponent_;
    minCodeSize = std::max(2, TableExponent(colors));
  }
  body_.push_back(static_cast<std::uint8_t>(minCodeSize));
  Bytes blocks =
      SubBlocks(image.codeBytes ? *image.codeBytes
                                : LzwCompress(image.pixels, minCodeSize, image.clearWhenFull));
  if (!image.terminator) blocks.pop_back();
  body_.insert(body_.end(), blocks.begin(), blocks.end());
  return *this;
}

GifBuilder& GifBuilder::Raw(const Bytes& bytes) {
  body_.insert(body_.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes GifBuilder::Finish(bool trailer) {
  const std::string signature = "GIF" + version_;
  Bytes out(signature.begin(), signature.end());
  PutUint16(out, width_);
  PutUint16(out, height_);
  out.push_back(
      static_cast<std::uint8_t>((globalTable_.empty() ? 0 : 0x80) | ((screenExponent_ - 1) & 7)));
  out.push_back(0);  // background colour
  out.push_back(0);  // aspect ratio
  if (!globalTable_.empty()) PutTable(out, globalTable_);
  out.insert(out.end(), body_.begin(), body_.end());
  if (trailer) out.push_back(0x3B);
  return out;
}

int TableExponent(std::size_t count) {
  int exponent = 1;
  while (exponent < 8 && (std::size_t{1} << exponent) < count) ++exponent;
  return exponent;
}

std::vector<GifColor> DistinctColors(int count) {
  std::vector<GifColor> colors;
  for (int i = 0; i < count; ++i) {
    colors.push_back({static_cast<std::uint8_t>(i * 37 + 11), static_cast<std::uint8_t>(i * 91 + 5),
                      static_cast<std::uint8_t>(255 - i)});
  }
  return colors;
}

}  // namespace trovelane::test
