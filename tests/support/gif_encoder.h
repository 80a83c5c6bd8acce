// A minimal GIF writer for the tests, the benchmark and the banner tool. It
// writes well-formed files by default and lets a test bend any part of one.
#ifndef TROVELANE_TESTS_SUPPORT_GIF_ENCODER_H_
#define TROVELANE_TESTS_SUPPORT_GIF_ENCODER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trovelane::test {

using Bytes = std::vector<std::uint8_t>;

struct GifColor {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

// Packs codes of chosen widths, least significant bit first.
class CodeWriter {
 public:
  void Put(int code, int width);
  Bytes Finish();

 private:
  Bytes bytes_;
  std::uint32_t accumulator_ = 0;
  int held_ = 0;
};

// The LZW code stream of `pixels` (without sub-block framing). With
// clearWhenFull false the table stays full at 4096 codes and no clear code
// follows.
Bytes LzwCompress(const Bytes& pixels, int minCodeSize, bool clearWhenFull = true);

// Frames bytes as sub-blocks of at most 255 bytes and the zero terminator.
Bytes SubBlocks(const Bytes& bytes);

struct GifImageOptions {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  std::vector<GifColor> localTable;  // empty: none; else 2, 4 … 256 entries
  bool interlaced = false;
  Bytes pixels;                    // width * height indices
  int minCodeSize = 0;             // 0: from the table size, at least 2
  std::optional<Bytes> codeBytes;  // replaces the compressed pixels
  bool clearWhenFull = true;
  bool terminator = true;  // the zero block after the data
};

class GifBuilder {
 public:
  GifBuilder(int width, int height, std::string version = "89a");
  GifBuilder& GlobalTable(std::vector<GifColor> colors);
  // Sets the table-size bits of the screen without adding a table.
  GifBuilder& ScreenExponent(int exponent);
  GifBuilder& Extension(std::uint8_t label, const std::vector<Bytes>& blocks);
  GifBuilder& GraphicControl(int transparentIndex, int delayCentiseconds = 0);
  GifBuilder& Image(const GifImageOptions& image);
  GifBuilder& Raw(const Bytes& bytes);
  Bytes Finish(bool trailer = true);

 private:
  std::string version_;
  int width_;
  int height_;
  std::vector<GifColor> globalTable_;
  int screenExponent_ = 1;
  Bytes body_;
};

// The exponent e of the smallest table of 2^e >= count entries (1 .. 8).
int TableExponent(std::size_t count);

// `count` clearly different colours.
std::vector<GifColor> DistinctColors(int count);

}  // namespace trovelane::test

#endif  // TROVELANE_TESTS_SUPPORT_GIF_ENCODER_H_
