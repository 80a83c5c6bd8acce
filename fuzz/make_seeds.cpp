// Writes a few small, valid GIFs that cover the decoder's paths, as the
// starting corpus of the fuzzer:  make_seeds DIR
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/gif_encoder.h"

using namespace trovelane::test;

namespace {

GifImageOptions Frame(int width, int height, int colors) {
  GifImageOptions image;
  image.width = width;
  image.height = height;
  for (int i = 0; i < width * height; ++i) {
    image.pixels.push_back(static_cast<std::uint8_t>((i * 5 + i / 7) % colors));
  }
  return image;
}

void Write(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  Write(dir + "/plain87a.gif",
        GifBuilder(8, 4, "87a").GlobalTable(DistinctColors(256)).Image(Frame(8, 4, 256)).Finish());
  Write(dir + "/sixteen.gif",
        GifBuilder(5, 3).GlobalTable(DistinctColors(16)).Image(Frame(5, 3, 16)).Finish());
  GifImageOptions local = Frame(3, 3, 4);
  local.localTable = DistinctColors(4);
  local.interlaced = true;
  Write(dir + "/local_interlaced.gif",
        GifBuilder(3, 3).GlobalTable(DistinctColors(8)).Image(local).Finish());
  Write(dir + "/animated.gif",
        GifBuilder(4, 4)
            .GlobalTable(DistinctColors(16))
            .Extension(0xFF, {Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'},
                              Bytes{1, 0, 0}})
            .GraphicControl(2, 10)
            .Image(Frame(4, 4, 16))
            .Extension(0xFE, {Bytes{'h', 'i'}})
            .Image(Frame(2, 2, 16))
            .Finish());
  Write(dir + "/no_table.gif", GifBuilder(6, 2).Image(Frame(6, 2, 2)).Finish());
  GifImageOptions full = Frame(64, 64, 256);
  full.clearWhenFull = false;
  Write(dir + "/full_table.gif",
        GifBuilder(64, 64).GlobalTable(DistinctColors(256)).Image(full).Finish());
  return 0;
}
