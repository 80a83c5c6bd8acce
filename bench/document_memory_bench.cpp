// The memory a results document takes once opened, against the fixed-width
// records the store used to hold (838 bytes each, whatever their text),
// measured in the same run over the same file.
//
//   document_memory_bench [RECORDS]     (default 4 000 000)
//
// Two version-22 files are read: one of empty records (five bytes each on
// disk, the smallest a record can be) and one of short, ordinary records.
// The heap in use (glibc mallinfo2) is taken before and after each load.
#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "results/archive.h"
#include "results/document_format.h"
#include "results/results_store.h"

namespace trovelane {
namespace {

size_t HeapInUse() {
  struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

// The record as the store held it before: three fixed, zero-terminated
// fields and three marks.
struct FixedWidthRecord {
  char url[512];
  char text[256];
  char engineName[64];
  uint16_t opened;
  uint16_t validationState;
  int16_t relevance;
};

void CopyCut(char* field, size_t size, const std::string& value) {
  size_t n = std::min(value.size(), size - 1);
  std::memcpy(field, value.data(), n);
  std::memset(field + n, 0, size - n);
}

// Reads a version-22 file into fixed-width records grown by doubling from
// 128, as the old store did.
size_t LoadFixedWidth(const std::string& bytes) {
  const size_t before = HeapInUse();
  std::vector<FixedWidthRecord> records;
  size_t capacity = 128;
  records.reserve(capacity);
  ArchiveReader in(bytes);
  in.ReadString();
  in.ReadString();
  in.ReadI32();
  const int32_t count = in.ReadI32();
  for (int32_t i = 0; i < count; ++i) {
    std::string url = in.ReadString();
    std::string engine = in.ReadString();
    std::string text = in.ReadString();
    if (records.size() >= capacity) {
      capacity *= 2;
      records.reserve(capacity);
    }
    FixedWidthRecord& r = records.emplace_back();
    CopyCut(r.url, sizeof r.url, url);
    CopyCut(r.text, sizeof r.text, text);
    CopyCut(r.engineName, sizeof r.engineName, engine);
    r.opened = in.ReadU8();
    r.validationState = in.ReadU8();
    r.relevance = 0;
  }
  return HeapInUse() - before;
}

size_t LoadCompact(const std::string& bytes, int32_t expected) {
  const size_t before = HeapInUse();
  ResultsStore store;
  Status read = ReadResultsDocument(bytes, store);
  if (!read.ok() || store.count() != expected) {
    std::fprintf(stderr, "the benchmark document did not read back: %s\n", read.message().c_str());
    std::exit(1);
  }
  return HeapInUse() - before;
}

std::string Version22(int32_t count, bool ordinary) {
  ArchiveWriter w;
  w.WriteString(kSignatureVersion22);
  w.WriteString("memory");
  w.WriteI32(0);
  w.WriteI32(count);
  for (int32_t i = 0; i < count; ++i) {
    if (ordinary) {
      const std::string n = std::to_string(i);
      w.WriteString("http://www.site" + std::to_string(i % 997) + ".example/articles/" + n +
                    ".html");
      w.WriteString("Engine " + std::to_string(i % 7));
      w.WriteString("Result title number " + n);
    } else {
      w.WriteString("");
      w.WriteString("");
      w.WriteString("");
    }
    w.WriteU8(0);
    w.WriteU8(0);
  }
  return w.bytes();
}

void Measure(const char* what, int32_t count, bool ordinary) {
  const std::string file = Version22(count, ordinary);
  const size_t fixed = LoadFixedWidth(file);
  const size_t compact = LoadCompact(file, count);
  const double mib = 1024.0 * 1024.0;
  std::printf("%-9s %10d %10.1f %14.1f %14.1f %9.1f %9.1f %8.2f\n", what, count, file.size() / mib,
              fixed / mib, compact / mib, double(fixed) / count, double(compact) / count,
              double(fixed) / double(compact));
}

}  // namespace
}  // namespace trovelane

int main(int argc, char** argv) {
  const long requested = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 4000000;
  if (requested <= 0 || requested > 100000000) {
    std::fprintf(stderr, "usage: %s [RECORDS]\n", argv[0]);
    return 2;
  }
  const auto count = static_cast<int32_t>(requested);
  std::printf("%-9s %10s %10s %14s %14s %9s %9s %8s\n", "records", "count", "file MiB",
              "fixed-width MiB", "compact MiB", "B/rec old", "B/rec new", "old/new");
  trovelane::Measure("empty", count, false);
  trovelane::Measure("ordinary", count, true);
  return 0;
}
