// Decoding speed of QMGIFInit against giflib on the same files, from the
// banner's size up to 4000 x 4000. Prints megapixels per second of each and
// the ratio QMGIFInit / giflib.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "gif/qmimglib.h"
#include "tests/support/gif_encoder.h"

namespace {

using trovelane::test::Bytes;

struct Sample {
  std::string name;
  int width;
  int height;
  Bytes gif;
};

// A picture with smooth runs and some noise, in 256 colours: harder than a
// flat banner, easier than pure noise.
Bytes Picture(int width, int height) {
  std::mt19937 random(1);
  Bytes pixels(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int noise = random() % 8 == 0 ? static_cast<int>(random() % 4) : 0;
      pixels[static_cast<std::size_t>(y) * width + x] =
          static_cast<std::uint8_t>((x / 5 + y / 7 + noise + ((x / 40 + y / 40) % 2) * 64) % 256);
    }
  }
  return pixels;
}

Bytes Encode(int width, int height, Bytes pixels) {
  trovelane::test::GifImageOptions image;
  image.width = width;
  image.height = height;
  image.pixels = std::move(pixels);
  return trovelane::test::GifBuilder(width, height)
      .GlobalTable(trovelane::test::DistinctColors(256))
      .Image(image)
      .Finish();
}

std::vector<Sample> MakeSamples() {
  std::vector<Sample> samples;
  std::ifstream in(TROVELANE_SOURCE_DIR "/data/banner.gif", std::ios::binary);
  samples.push_back(
      {"banner 468x60", 468, 60,
       Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())});
  for (const auto& [w, h] : {std::pair{468, 60}, {1000, 1000}, {2000, 2000}, {4000, 4000}}) {
    samples.push_back(
        {std::to_string(w) + "x" + std::to_string(h), w, h, Encode(w, h, Picture(w, h))});
  }
  return samples;
}

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = MakeSamples();
  return samples;
}

struct MemoryReader {
  const Bytes* bytes;
  std::size_t pos = 0;
};

int ReadFromMemory(GifFileType* file, GifByteType* out, int length) {
  auto* reader = static_cast<MemoryReader*>(file->UserData);
  const std::size_t n =
      std::min<std::size_t>(static_cast<std::size_t>(length), reader->bytes->size() - reader->pos);
  std::memcpy(out, reader->bytes->data() + reader->pos, n);
  reader->pos += n;
  return static_cast<int>(n);
}

// giflib's whole-file read: every image's pixels in memory, as QMGIFInit's.
GifFileType* GiflibDecode(const Bytes& bytes, MemoryReader& reader) {
  reader = {&bytes, 0};
  int error = 0;
  GifFileType* file = DGifOpen(&reader, ReadFromMemory, &error);
  if (file == nullptr) return nullptr;
  if (DGifSlurp(file) != GIF_OK) {
    DGifCloseFile(file, &error);
    return nullptr;
  }
  return file;
}

// Both decoders must agree on every pixel before their speed means anything.
bool SameResult(const Sample& sample) {
  Bytes copy = sample.gif;
  tagQMGIFINITINFO* ours = QMGIFInit(copy.data(), static_cast<int>(copy.size()));
  MemoryReader reader;
  GifFileType* theirs = GiflibDecode(sample.gif, reader);
  bool same = ours != nullptr && theirs != nullptr && theirs->ImageCount >= 1;
  for (int y = 0; same && y < sample.height; ++y) {
    same =
        std::memcmp(ours->bits + static_cast<std::size_t>(y) * QMBitmapStride(ours->bitmapInfo),
                    theirs->SavedImages[0].RasterBits + static_cast<std::size_t>(y) * sample.width,
                    static_cast<std::size_t>(sample.width)) == 0;
  }
  if (ours != nullptr) QMGIFCleanup(ours);
  int error = 0;
  if (theirs != nullptr) DGifCloseFile(theirs, &error);
  return same;
}

void BM_QMGIFInit(benchmark::State& state) {
  const Sample& sample = Samples()[static_cast<std::size_t>(state.range(0))];
  Bytes copy = sample.gif;
  for (auto _ : state) {
    tagQMGIFINITINFO* info = QMGIFInit(copy.data(), static_cast<int>(copy.size()));
    if (info == nullptr) state.SkipWithError("QMGIFInit failed");
    benchmark::DoNotOptimize(info);
    if (info != nullptr) QMGIFCleanup(info);
  }
  state.SetLabel(sample.name);
}

void BM_Giflib(benchmark::State& state) {
  const Sample& sample = Samples()[static_cast<std::size_t>(state.range(0))];
  for (auto _ : state) {
    MemoryReader reader;
    GifFileType* file = GiflibDecode(sample.gif, reader);
    if (file == nullptr) state.SkipWithError("giflib failed");
    benchmark::DoNotOptimize(file);
    int error = 0;
    if (file != nullptr) DGifCloseFile(file, &error);
  }
  state.SetLabel(sample.name);
}

BENCHMARK(BM_QMGIFInit)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Giflib)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// Keeps the seconds per decode of every run, to print the comparison.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.iterations > 0) {
        // CPU time: the machine may be shared, and both decoders run on one thread.
        seconds[run.benchmark_name()] =
            run.cpu_accumulated_time / static_cast<double>(run.iterations);
      }
    }
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  for (const Sample& sample : Samples()) {
    if (!SameResult(sample)) {
      std::fprintf(stderr, "gif_bench: the decoders disagree on %s\n", sample.name.c_str());
      return 1;
    }
  }
  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-16s %10s %14s %14s %8s\n", "image", "file KiB", "QMGIFInit MP/s", "giflib MP/s",
              "ratio");
  for (std::size_t i = 0; i < Samples().size(); ++i) {
    const Sample& sample = Samples()[i];
    const std::string suffix = "/" + std::to_string(i);
    const auto ours = reporter.seconds.find("BM_QMGIFInit" + suffix);
    const auto theirs = reporter.seconds.find("BM_Giflib" + suffix);
    if (ours == reporter.seconds.end() || theirs == reporter.seconds.end()) continue;
    const double megapixels = static_cast<double>(sample.width) * sample.height / 1e6;
    std::printf("%-16s %10.1f %14.1f %14.1f %8.2f\n", sample.name.c_str(),
                sample.gif.size() / 1024.0, megapixels / ours->second, megapixels / theirs->second,
                theirs->second / ours->second);
  }
  return 0;
}
