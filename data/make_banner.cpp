// Draws the built-in banner, data/banner.gif: a 468 x 60 GIF87a with a
// 256-entry global colour table. The name in amber on a navy-to-teal ground.
//
//   make_banner data/banner.gif
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/gif_encoder.h"

namespace {

using trovelane::test::Bytes;
using trovelane::test::GifColor;

constexpr int kWidth = 468;
constexpr int kHeight = 60;

// Palette layout: the ground, its shadow, the name, the tag line.
constexpr int kGround = 0;  // 192 steps, left to right
constexpr int kGroundSteps = 192;
constexpr int kShadow = 192;  // 32 steps
constexpr int kShadowSteps = 32;
constexpr int kName = 224;  // 16 steps, top to bottom
constexpr int kTag = 240;   // 16 steps, top to bottom

struct Glyph {
  char letter;
  const char* rows[7];
};

// A 5 x 7 lower-case face, just the letters the banner needs.
constexpr Glyph kFont[] = {
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'c', {".....", ".....", ".###.", "#....", "#....", "#...#", ".###."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'h', {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'s', {".....", ".....", ".####", "#....", ".###.", "....#", "####."}},
    {'t', {"..#..", "..#..", "#####", "..#..", "..#..", "..#..", "...##"}},
    {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'-', {".....", ".....", ".....", ".....", "#####", ".....", "....."}},
};

const Glyph* FindGlyph(char letter) {
  for (const Glyph& g : kFont) {
    if (g.letter == letter) return &g;
  }
  return nullptr;
}

std::uint8_t Mix(int from, int to, int step, int steps) {
  return static_cast<std::uint8_t>(from + (to - from) * step / (steps - 1));
}

GifColor Blend(GifColor a, GifColor b, int step, int steps) {
  return {Mix(a.red, b.red, step, steps), Mix(a.green, b.green, step, steps),
          Mix(a.blue, b.blue, step, steps)};
}

std::vector<GifColor> Palette() {
  const GifColor navy{0x0B, 0x25, 0x45};
  const GifColor teal{0x13, 0x80, 0x7A};
  const GifColor amberLight{0xFF, 0xD0, 0x7A};
  const GifColor amberDeep{0xE0, 0x7A, 0x1F};
  const GifColor mist{0xF4, 0xFA, 0xFF};
  const GifColor sky{0x9F, 0xD8, 0xE6};
  std::vector<GifColor> colors;
  for (int i = 0; i < kGroundSteps; ++i) colors.push_back(Blend(navy, teal, i, kGroundSteps));
  for (int i = 0; i < kShadowSteps; ++i) {
    const GifColor g = Blend(navy, teal, i, kShadowSteps);
    colors.push_back({static_cast<std::uint8_t>(g.red / 3), static_cast<std::uint8_t>(g.green / 3),
                      static_cast<std::uint8_t>(g.blue / 3)});
  }
  for (int i = 0; i < 16; ++i) colors.push_back(Blend(amberLight, amberDeep, i, 16));
  for (int i = 0; i < 16; ++i) colors.push_back(Blend(mist, sky, i, 16));
  return colors;
}

// Calls paint(x, y, rowInGlyphs) for every pixel of `text` drawn at `scale`.
template <typename Paint>
void DrawText(const std::string& text, int left, int top, int scale, Paint paint) {
  int x = left;
  for (char letter : text) {
    const Glyph* glyph = FindGlyph(letter);
    for (int row = 0; glyph != nullptr && row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (glyph->rows[row][col] != '#') continue;
        for (int dy = 0; dy < scale; ++dy) {
          for (int dx = 0; dx < scale; ++dx) {
            paint(x + col * scale + dx, top + row * scale + dy, row * scale + dy);
          }
        }
      }
    }
    x += 6 * scale;
  }
}

int TextWidth(const std::string& text, int scale) {
  return static_cast<int>(text.size()) * 6 * scale - scale;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_banner OUTPUT.gif\n");
    return 2;
  }
  Bytes pixels(kWidth * kHeight);
  auto at = [&](int x, int y) -> std::uint8_t& { return pixels[y * kWidth + x]; };
  auto inside = [](int x, int y) { return x >= 0 && x < kWidth && y >= 0 && y < kHeight; };

  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      at(x, y) = static_cast<std::uint8_t>(kGround + x * (kGroundSteps - 1) / (kWidth - 1));
    }
  }
  // A thin amber rule along the bottom edge.
  for (int x = 0; x < kWidth; ++x) at(x, kHeight - 2) = kName + 8;

  const std::string name = "trovelane";
  const std::string tag = "meta-search";
  constexpr int kNameScale = 5;
  constexpr int kTagScale = 2;
  const int nameLeft = 16;
  const int nameTop = (kHeight - 7 * kNameScale) / 2 - 1;
  const int tagLeft = kWidth - 16 - TextWidth(tag, kTagScale);
  const int tagTop = nameTop + 7 * kNameScale - 7 * kTagScale;

  auto shadow = [&](int x, int y, int) {
    if (inside(x, y)) {
      at(x, y) = static_cast<std::uint8_t>(kShadow + x * (kShadowSteps - 1) / (kWidth - 1));
    }
  };
  DrawText(name, nameLeft + 2, nameTop + 2, kNameScale, shadow);
  DrawText(name, nameLeft, nameTop, kNameScale, [&](int x, int y, int row) {
    if (inside(x, y)) at(x, y) = static_cast<std::uint8_t>(kName + row * 15 / (7 * kNameScale - 1));
  });
  DrawText(tag, tagLeft + 1, tagTop + 1, kTagScale, shadow);
  DrawText(tag, tagLeft, tagTop, kTagScale, [&](int x, int y, int row) {
    if (inside(x, y)) at(x, y) = static_cast<std::uint8_t>(kTag + row * 15 / (7 * kTagScale - 1));
  });

  trovelane::test::GifImageOptions image;
  image.width = kWidth;
  image.height = kHeight;
  image.pixels = std::move(pixels);
  const Bytes gif = trovelane::test::GifBuilder(kWidth, kHeight, "87a")
                        .GlobalTable(Palette())
                        .Image(image)
                        .Finish();

  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(gif.data()), static_cast<std::streamsize>(gif.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_banner: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
