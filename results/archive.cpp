#include "results/archive.h"

namespace trovelane {
namespace {

constexpr uint8_t kLongPrefix = 0xFF;
constexpr uint16_t kWideMarker = 0xFFFE;
constexpr uint16_t kLength32 = 0xFFFF;

}  // namespace

void ArchiveWriter::WriteU8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }

void ArchiveWriter::WriteU16(uint16_t v) {
  WriteU8(v & 0xFF);
  WriteU8(v >> 8);
}

void ArchiveWriter::WriteI16(int16_t v) { WriteU16(static_cast<uint16_t>(v)); }

void ArchiveWriter::WriteU32(uint32_t v) {
  WriteU16(v & 0xFFFF);
  WriteU16(v >> 16);
}

void ArchiveWriter::WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }

void ArchiveWriter::WriteI64(int64_t v) {
  const auto bits = static_cast<uint64_t>(v);
  WriteU32(static_cast<uint32_t>(bits & 0xFFFFFFFF));
  WriteU32(static_cast<uint32_t>(bits >> 32));
}

void ArchiveWriter::WriteString(std::string_view s) {
  const size_t n = s.size();
  if (n > UINT32_MAX) throw ArchiveError("string too long to store");
  if (n < kLongPrefix) {
    WriteU8(static_cast<uint8_t>(n));
  } else if (n < kWideMarker) {
    WriteU8(kLongPrefix);
    WriteU16(static_cast<uint16_t>(n));
  } else {
    WriteU8(kLongPrefix);
    WriteU16(kLength32);
    WriteU32(static_cast<uint32_t>(n));
  }
  bytes_.append(s);
}

std::string_view ArchiveReader::Take(size_t n) {
  if (n > remaining()) throw ArchiveError("unexpected end of file");
  std::string_view part = bytes_.substr(pos_, n);
  pos_ += n;
  return part;
}

uint8_t ArchiveReader::ReadU8() { return static_cast<uint8_t>(Take(1)[0]); }

uint16_t ArchiveReader::ReadU16() {
  std::string_view b = Take(2);
  return static_cast<uint16_t>(static_cast<uint8_t>(b[0]) | static_cast<uint8_t>(b[1]) << 8);
}

int16_t ArchiveReader::ReadI16() { return static_cast<int16_t>(ReadU16()); }

uint32_t ArchiveReader::ReadU32() {
  uint32_t low = ReadU16();
  return low | static_cast<uint32_t>(ReadU16()) << 16;
}

int32_t ArchiveReader::ReadI32() { return static_cast<int32_t>(ReadU32()); }

int64_t ArchiveReader::ReadI64() {
  uint64_t low = ReadU32();
  return static_cast<int64_t>(low | static_cast<uint64_t>(ReadU32()) << 32);
}

uint32_t ArchiveReader::ReadLength(bool allowWideMarker, bool* wide) {
  uint8_t first = ReadU8();
  if (first < kLongPrefix) return first;
  uint16_t second = ReadU16();
  if (second == kWideMarker) {
    if (!allowWideMarker) throw ArchiveError("repeated 16-bit string marker");
    *wide = true;
    return ReadLength(false, wide);
  }
  if (second == kLength32) return ReadU32();
  return second;
}

std::string ArchiveReader::ReadString() {
  bool wide = false;
  const uint32_t n = ReadLength(true, &wide);
  if (!wide) return std::string(Take(n));

  // Checked before allocating: the length may claim more than the file holds.
  if (n > remaining() / 2) throw ArchiveError("unexpected end of file");
  std::string text;
  text.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    uint16_t c = ReadU16();
    text.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  }
  return text;
}

}  // namespace trovelane
