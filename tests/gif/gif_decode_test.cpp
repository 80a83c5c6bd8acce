#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "tests/gif/decoded_gif.h"

namespace trovelane::test {
namespace {

const QMRgbQuad* Colors(const DecodedGif& gif) { return QMBitmapColors(gif->bitmapInfo); }

void ExpectTable(const DecodedGif& gif, const std::vector<GifColor>& palette, int entries) {
  for (int i = 0; i < entries; ++i) {
    const QMRgbQuad c = Colors(gif)[i];
    const GifColor want = i < static_cast<int>(palette.size()) ? palette[i] : GifColor{0, 0, 0};
    EXPECT_EQ(c.red, want.red) << i;
    EXPECT_EQ(c.green, want.green) << i;
    EXPECT_EQ(c.blue, want.blue) << i;
    EXPECT_EQ(c.reserved, 0) << i;
  }
}

Bytes SmallGif(const std::string& version = "89a") {
  return GifBuilder(7, 3, version)
      .GlobalTable(DistinctColors(256))
      .Image(Frame(7, 3, Pattern(7, 3, 256)))
      .Finish();
}

TEST(GifDecodeTest, BothVersionsGiveTheSameTopDownBitmap) {
  for (const std::string version : {"87a", "89a"}) {
    SCOPED_TRACE(version);
    const DecodedGif gif = Decode(SmallGif(version));
    ASSERT_TRUE(gif);
    const QMBitmapInfoHeader& h = *gif->bitmapInfo;
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, 7);
    EXPECT_EQ(h.height, -3);
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.bitCount, 8);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.sizeImage + h.clrUsed + h.clrImportant, 0u);
    EXPECT_EQ(h.xPelsPerMeter | h.yPelsPerMeter, 0);
    EXPECT_EQ(QMBitmapStride(&h), 8);
    EXPECT_EQ(Indices(*gif), Pattern(7, 3, 256));
    ExpectTable(gif, DistinctColors(256), 256);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(gif->bits[y * 8 + 7], 0) << "row padding";
  }
}

TEST(GifDecodeTest, RefusesWrongSignaturesAndShortData) {
  Bytes good = SmallGif();
  for (const char* signature : {"GIF88a", "JIF89a", "gif89a"}) {
    Bytes bad = good;
    std::copy(signature, signature + 6, bad.begin());
    EXPECT_FALSE(Decode(bad)) << signature;
  }
  for (std::size_t n = 0; n <= 13; ++n) {
    EXPECT_FALSE(Decode(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)))) << n;
  }
  EXPECT_EQ(QMGIFInit(nullptr, 100), nullptr);
  EXPECT_EQ(QMGIFInit(good.data(), -1), nullptr);
  EXPECT_FALSE(Decode(GifBuilder(4, 4).GlobalTable(DistinctColors(4)).Finish())) << "no image";
}

TEST(GifDecodeTest, EveryTruncationFailsAndTrailingBytesDoNot) {
  const Bytes good = GifBuilder(20, 10)
                         .GlobalTable(DistinctColors(16))
                         .GraphicControl(3)
                         .Image(Frame(20, 10, Pattern(20, 10, 16)))
                         .Finish();
  ASSERT_TRUE(Decode(good));
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(Decode(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)))) << n;
  }
  Bytes longer = good;
  longer.insert(longer.end(), {0x2C, 0xFF, 0x00});
  EXPECT_TRUE(Decode(longer));
}

TEST(GifDecodeTest, LocalTableWinsOverGlobal) {
  std::vector<GifColor> local = DistinctColors(16);
  for (GifColor& c : local) c.green ^= 0x55;
  GifImageOptions image = Frame(6, 2, Pattern(6, 2, 16));
  image.localTable = local;
  const DecodedGif gif =
      Decode(GifBuilder(6, 2).GlobalTable(DistinctColors(256)).Image(image).Finish());
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->bitmapInfo->bitCount, 4);
  ExpectTable(gif, local, 16);
  EXPECT_EQ(Indices(*gif), Pattern(6, 2, 16));
}

TEST(GifDecodeTest, SixteenColoursPackTheFirstPixelHigh) {
  const Bytes pixels{1, 2, 3, 4, 15, /* row 2 */ 14, 13, 0, 9, 8};
  const DecodedGif gif =
      Decode(GifBuilder(5, 2).GlobalTable(DistinctColors(16)).Image(Frame(5, 2, pixels)).Finish());
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->bitmapInfo->bitCount, 4);
  ASSERT_EQ(QMBitmapStride(gif->bitmapInfo), 4);
  const Bytes bits(gif->bits, gif->bits + 8);
  EXPECT_EQ(bits, (Bytes{0x12, 0x34, 0xF0, 0x00, 0xED, 0x09, 0x80, 0x00}));
}

TEST(GifDecodeTest, SmallTablesUseFourBitsWithTheRestBlack) {
  // 8 colours, and (a choice of this library) 4 and 2 colours too.
  for (int colors : {8, 4, 2}) {
    SCOPED_TRACE(colors);
    const DecodedGif gif = Decode(GifBuilder(9, 3)
                                      .GlobalTable(DistinctColors(colors))
                                      .Image(Frame(9, 3, Pattern(9, 3, colors)))
                                      .Finish());
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->bitmapInfo->bitCount, 4);
    ExpectTable(gif, DistinctColors(colors), 16);
    EXPECT_EQ(Indices(*gif), Pattern(9, 3, colors));
  }
  const DecodedGif big = Decode(GifBuilder(9, 3)
                                    .GlobalTable(DistinctColors(32))
                                    .Image(Frame(9, 3, Pattern(9, 3, 32)))
                                    .Finish());
  ASSERT_TRUE(big);
  EXPECT_EQ(big->bitmapInfo->bitCount, 8);
  ExpectTable(big, DistinctColors(32), 256);
}

TEST(GifDecodeTest, IndexBeyondFourBitsDoesNotSpillIntoItsNeighbour) {
  GifImageOptions image = Frame(2, 1, Bytes{4, 0x13});
  image.minCodeSize = 8;
  const DecodedGif gif =
      Decode(GifBuilder(2, 1).GlobalTable(DistinctColors(16)).Image(image).Finish());
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->bits[0], 0x43);
}

TEST(GifDecodeTest, WithoutAnyTableGreysFromBlackToWhite) {
  const DecodedGif two = Decode(GifBuilder(4, 1).Image(Frame(4, 1, Bytes{0, 1, 1, 0})).Finish());
  ASSERT_TRUE(two);
  EXPECT_EQ(two->bitmapInfo->bitCount, 4);
  ExpectTable(two, {{0, 0, 0}, {255, 255, 255}}, 16);
  EXPECT_EQ(Indices(*two), (Bytes{0, 1, 1, 0}));

  const DecodedGif grey =
      Decode(GifBuilder(4, 1).ScreenExponent(8).Image(Frame(4, 1, Bytes{0, 9, 200, 255})).Finish());
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->bitmapInfo->bitCount, 8);
  EXPECT_EQ(Colors(grey)[200].red, 200);
  EXPECT_EQ(Colors(grey)[200].blue, 200);
  EXPECT_EQ(Indices(*grey), (Bytes{0, 9, 200, 255}));
}

TEST(GifDecodeTest, InterlacedRowsStayInFileOrder) {
  GifImageOptions image = Frame(3, 8, Pattern(3, 8, 16));
  image.interlaced = true;
  const DecodedGif gif =
      Decode(GifBuilder(3, 8).GlobalTable(DistinctColors(16)).Image(image).Finish());
  ASSERT_TRUE(gif);
  EXPECT_EQ(Indices(*gif), Pattern(3, 8, 16));
}

TEST(GifDecodeTest, AnimationGivesTheFirstFrameButEveryFrameMustBeWhole) {
  const auto animation = [](GifImageOptions second) {
    return GifBuilder(4, 4)
        .GlobalTable(DistinctColors(16))
        .Extension(0xFF,
                   {Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}, Bytes{1, 0, 0}})
        .GraphicControl(-1, 10)
        .Image(Frame(4, 4, Pattern(4, 4, 16)))
        .GraphicControl(-1, 10)
        .Image(second)
        .Finish();
  };
  GifImageOptions second = Frame(2, 2, Bytes{5, 5, 5, 5});
  second.left = 1;
  second.localTable = DistinctColors(256);
  const DecodedGif gif = Decode(animation(second));
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->bitmapInfo->width, 4);
  EXPECT_EQ(gif->bitmapInfo->bitCount, 4) << "the first frame's table";
  EXPECT_EQ(Indices(*gif), Pattern(4, 4, 16));

  GifImageOptions shortFrame = Frame(2, 2, Bytes{5, 5, 5});
  EXPECT_FALSE(Decode(animation(shortFrame))) << "a later frame with too few pixels";
  GifImageOptions huge = Frame(60000, 60000, Bytes{5});
  EXPECT_FALSE(Decode(animation(huge))) << "a later frame too large";
}

TEST(GifDecodeTest, TransparencyChangesNothing) {
  const auto build = [](bool transparent) {
    GifBuilder builder(5, 5);
    builder.GlobalTable(DistinctColors(256));
    if (transparent) builder.GraphicControl(2);
    return builder.Image(Frame(5, 5, Pattern(5, 5, 8))).Finish();
  };
  const DecodedGif plain = Decode(build(false));
  const DecodedGif transparent = Decode(build(true));
  ASSERT_TRUE(plain && transparent);
  EXPECT_EQ(Indices(*transparent), Indices(*plain));
  EXPECT_EQ(Colors(transparent)[2].red, DistinctColors(256)[2].red);
}

TEST(GifDecodeTest, ExtensionsAndStrayBytesAreSkippedButMustBeFramed) {
  GifBuilder builder(3, 1);
  builder.GlobalTable(DistinctColors(4))
      .Raw({0x00, 0x7F})
      .Extension(0xFE, {Bytes(255, 'x'), Bytes{'y'}});
  const Bytes good = builder.Image(Frame(3, 1, Bytes{1, 2, 3})).Finish();
  const DecodedGif gif = Decode(good);
  ASSERT_TRUE(gif);
  EXPECT_EQ(Indices(*gif), (Bytes{1, 2, 3}));

  // A comment whose sub-blocks run past the end of the file.
  Bytes open =
      GifBuilder(3, 1).GlobalTable(DistinctColors(4)).Image(Frame(3, 1, Bytes{1, 2, 3})).Finish();
  open.pop_back();
  open.insert(open.end(), {0x21, 0xFE, 200, 'a', 'b', 0x3B});
  EXPECT_FALSE(Decode(open));
}

TEST(GifDecodeTest, MissingTrailerOrTerminatorFails) {
  const GifImageOptions image = Frame(3, 3, Pattern(3, 3, 4));
  EXPECT_FALSE(Decode(GifBuilder(3, 3).GlobalTable(DistinctColors(4)).Image(image).Finish(false)));
  // The scan resumes one byte past the data's last byte, which skips the
  // trailer when the block terminator is missing.
  GifImageOptions unterminated = image;
  unterminated.terminator = false;
  EXPECT_FALSE(
      Decode(GifBuilder(3, 3).GlobalTable(DistinctColors(4)).Image(unterminated).Finish()));
}

// Raw code streams for a minimum code size of 2: clear 4, end 5, first free 6.
Bytes TwoBitGif(int width, const std::vector<std::pair<int, int>>& codes) {
  CodeWriter writer;
  for (const auto& [code, bits] : codes) writer.Put(code, bits);
  GifImageOptions image = Frame(width, 1, {});
  image.codeBytes = writer.Finish();
  return GifBuilder(width, 1).GlobalTable(DistinctColors(4)).Image(image).Finish();
}

TEST(GifDecodeTest, CodesTheTableCannotMeanAreIgnored) {
  // 6 right after a clear and 7 above the next free code mean nothing.
  const DecodedGif gif =
      Decode(TwoBitGif(4, {{4, 3}, {6, 3}, {7, 3}, {1, 3}, {7, 3}, {2, 3}, {6, 3}, {5, 4}}));
  ASSERT_TRUE(gif);
  EXPECT_EQ(Indices(*gif), (Bytes{1, 2, 1, 2}));
}

TEST(GifDecodeTest, CodeBeingDefinedRepeatsThePreviousStringsFirstCharacter) {
  const DecodedGif gif = Decode(TwoBitGif(3, {{4, 3}, {1, 3}, {6, 3}, {5, 3}}));
  ASSERT_TRUE(gif);
  EXPECT_EQ(Indices(*gif), (Bytes{1, 1, 1}));
}

TEST(GifDecodeTest, PixelCountMustBeExact) {
  // Too few: the end code comes after three of four pixels.
  EXPECT_FALSE(Decode(TwoBitGif(4, {{4, 3}, {1, 3}, {1, 3}, {1, 3}, {5, 4}})));
  // Too many: the fifth pixel does not fit and ends the data; the scan goes
  // on one byte later, past the terminator, and finds the trailer.
  const DecodedGif gif =
      Decode(TwoBitGif(4, {{4, 3}, {1, 3}, {1, 3}, {1, 3}, {1, 4}, {1, 4}, {5, 4}}));
  // (The fifth code and the end code share the last data byte.)
  ASSERT_TRUE(gif);
  EXPECT_EQ(Indices(*gif), (Bytes{1, 1, 1, 1}));
}

Bytes NoisyPixels(int count, int colors, unsigned seed) {
  std::mt19937 random(seed);
  Bytes out(static_cast<std::size_t>(count));
  for (std::uint8_t& p : out) p = static_cast<std::uint8_t>(random() % colors);
  return out;
}

TEST(GifDecodeTest, FullCodeTableWithAndWithoutClear) {
  // Noise fills the table quickly; in four colours its strings come back
  // often enough that the last entries, up to 4095, are used once it is full.
  for (int colors : {256, 4}) {
    const Bytes noise = NoisyPixels(500 * 400, colors, 7);
    for (bool clear : {true, false}) {
      SCOPED_TRACE(testing::Message() << colors << " colours, clear " << clear);
      GifImageOptions image = Frame(500, 400, noise);
      image.clearWhenFull = clear;
      const DecodedGif gif =
          Decode(GifBuilder(500, 400).GlobalTable(DistinctColors(colors)).Image(image).Finish());
      ASSERT_TRUE(gif);
      EXPECT_EQ(Indices(*gif), noise);
    }
  }
  // One colour: strings grow to thousands of characters.
  const Bytes flat(4000 * 100, 9);
  const DecodedGif gif = Decode(
      GifBuilder(4000, 100).GlobalTable(DistinctColors(16)).Image(Frame(4000, 100, flat)).Finish());
  ASSERT_TRUE(gif);
  EXPECT_EQ(Indices(*gif), flat);
}

TEST(GifDecodeTest, RefusesOversizedImagesAndImpossibleCodeSizes) {
  // 16384 x 16385 bytes is just over 256 MiB; the data is never looked at.
  GifImageOptions huge = Frame(16384, 16385, Bytes{1});
  EXPECT_FALSE(Decode(GifBuilder(1, 1).GlobalTable(DistinctColors(4)).Image(huge).Finish()));
  for (int size : {12, 255}) {
    GifImageOptions image = Frame(2, 1, {});
    image.minCodeSize = size;
    image.codeBytes = Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(Decode(GifBuilder(2, 1).GlobalTable(DistinctColors(4)).Image(image).Finish()))
        << size;
  }
}

TEST(GifDecodeTest, SurvivesMutatedFiles) {
  const Bytes good = GifBuilder(12, 6)
                         .GlobalTable(DistinctColors(16))
                         .GraphicControl(1)
                         .Image(Frame(12, 6, NoisyPixels(72, 16, 1)))
                         .Image(Frame(3, 3, NoisyPixels(9, 16, 2)))
                         .Finish();
  std::mt19937 random(42);
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes = good;
    for (int edits = 1 + random() % 4; edits > 0; --edits) {
      bytes[13 + random() % (bytes.size() - 13)] = static_cast<std::uint8_t>(random());
    }
    if (random() % 4 == 0) bytes.resize(13 + random() % (bytes.size() - 13));
    if (const DecodedGif gif = Decode(bytes)) {
      // Reads every byte of the bits, so that a short block would show.
      EXPECT_EQ(Indices(*gif).size(),
                static_cast<std::size_t>(gif->bitmapInfo->width) * -gif->bitmapInfo->height);
    }
  }
}

class GifFileTest : public ::testing::Test {
 protected:
  void TearDown() override { std::remove(path_.c_str()); }
  std::string path_ = ::testing::TempDir() + "gif_file_test.gif";
};

TEST_F(GifFileTest, ReadsTheFileWhole) {
  const Bytes bytes = SmallGif();
  std::ofstream(path_, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const DecodedGif fromFile(QMGIFInit(path_.c_str()));
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(Indices(*fromFile), Pattern(7, 3, 256));

  std::ofstream(path_, std::ios::binary | std::ios::trunc).flush();
  EXPECT_EQ(QMGIFInit(path_.c_str()), nullptr) << "empty file";
  EXPECT_EQ(QMGIFInit((path_ + ".missing").c_str()), nullptr);
  EXPECT_EQ(QMGIFInit(static_cast<const char*>(nullptr)), nullptr);
  EXPECT_EQ(QMGIFInit(::testing::TempDir().c_str()), nullptr) << "a folder";
}

TEST(GifBannerTest, BuiltInBannerHeader) {
  const DecodedGif gif(QMGIFInit(TROVELANE_SOURCE_DIR "/data/banner.gif"));
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->bitmapInfo->width, 468);
  EXPECT_EQ(gif->bitmapInfo->height, -60);
  EXPECT_EQ(gif->bitmapInfo->bitCount, 8);
  EXPECT_EQ(QMBitmapStride(gif->bitmapInfo), 468);

  std::ifstream in(TROVELANE_SOURCE_DIR "/data/banner.gif", std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(file.size(), 13u + 768u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF87a");
  EXPECT_EQ(file[10], 0x80 | 7) << "a 256-entry global table";
}

}  // namespace
}  // namespace trovelane::test
