#include <gtest/gtest.h>

#include "tests/gif/decoded_gif.h"

namespace trovelane::test {
namespace {

constexpr std::uint32_t kUntouched = 0x12345678;

// A target of width x height pixels and `pad` spare pixels after each row.
struct Target {
  Target(int width, int height, int pad = 0)
      : pixels(static_cast<std::size_t>((width + pad) * height), kUntouched),
        buffer{pixels.data(), width, height, (width + pad) * 4} {}
  std::uint32_t At(int x, int y) const { return pixels[y * buffer.stride / 4 + x]; }
  std::vector<std::uint32_t> pixels;
  QMPixelBuffer buffer;
};

std::uint32_t Rgb(const GifColor& c) {
  return 0xFF000000u | (c.red << 16) | (c.green << 8) | c.blue;
}

// A 6 x 4 picture whose pixel (x, y) has colour index y * 6 + x.
DecodedGif Numbered(int colors) {
  Bytes pixels;
  for (int i = 0; i < 24; ++i) pixels.push_back(static_cast<std::uint8_t>(i % colors));
  return Decode(
      GifBuilder(6, 4).GlobalTable(DistinctColors(colors)).Image(Frame(6, 4, pixels)).Finish());
}

std::uint32_t Expected(int x, int y, int colors) {
  return Rgb(DistinctColors(colors)[(y * 6 + x) % colors]);
}

TEST(GifRenderTest, NullPictureOrTargetDrawsNothing) {
  Target target(4, 4);
  EXPECT_EQ(QMGIFRender(nullptr, &target.buffer, QMRect{0, 0, 4, 4}), 0);
  const DecodedGif gif = Numbered(256);
  EXPECT_EQ(QMGIFRender(gif.get(), nullptr, QMRect{0, 0, 4, 4}), 0);
  for (std::uint32_t p : target.pixels) EXPECT_EQ(p, kUntouched);
}

TEST(GifRenderTest, CopiesEveryPixelInItsPaletteColour) {
  for (int colors : {256, 16}) {
    SCOPED_TRACE(colors);
    const DecodedGif gif = Numbered(colors);
    ASSERT_TRUE(gif);
    Target target(6, 4, 3);
    EXPECT_EQ(QMGIFRender(gif.get(), &target.buffer, QMRect{0, 0, 6, 4}), 1);
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 6; ++x)
        EXPECT_EQ(target.At(x, y), Expected(x, y, colors)) << x << "," << y;
      for (int x = 6; x < 9; ++x) EXPECT_EQ(target.At(x, y), kUntouched) << "row padding";
    }
  }
}

TEST(GifRenderTest, CopiesTheRectanglesSizeFromTheBitmapOrigin) {
  const DecodedGif gif = Numbered(256);
  Target target(10, 10);
  ASSERT_EQ(QMGIFRender(gif.get(), &target.buffer, QMRect{5, 3, 8, 5}), 1);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 5 && x < 8 && y >= 3 && y < 5;
      EXPECT_EQ(target.At(x, y), inside ? Expected(x - 5, y - 3, 256) : kUntouched)
          << x << "," << y;
    }
  }
}

TEST(GifRenderTest, ClipsToTheTargetAndTheBitmap) {
  const DecodedGif gif = Numbered(256);
  // Hangs over the top-left corner, and is larger than the bitmap.
  Target target(4, 3);
  ASSERT_EQ(QMGIFRender(gif.get(), &target.buffer, QMRect{-2, -1, 100, 100}), 1);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(target.At(x, y), Expected(x + 2, y + 1, 256));
  }
  // Hangs over the bottom-right corner; the part beyond the bitmap stays.
  Target wide(9, 6);
  ASSERT_EQ(QMGIFRender(gif.get(), &wide.buffer, QMRect{4, 3, 20, 20}), 1);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 9; ++x) {
      const bool drawn = x >= 4 && y >= 3 && y < 7;
      EXPECT_EQ(wide.At(x, y), drawn ? Expected(x - 4, y - 3, 256) : kUntouched) << x << "," << y;
    }
  }
  // Entirely outside, empty, inverted, and at the ends of the int range.
  for (const QMRect rect : {QMRect{50, 50, 60, 60}, QMRect{2, 2, 2, 2}, QMRect{3, 3, 1, 1},
                            QMRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                            QMRect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}}) {
    Target t(4, 4);
    EXPECT_EQ(QMGIFRender(gif.get(), &t.buffer, rect), 1);
    for (std::uint32_t p : t.pixels) EXPECT_EQ(p, kUntouched);
  }
}

}  // namespace
}  // namespace trovelane::test
