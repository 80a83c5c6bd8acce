// The flat field encoding of results documents: little-endian integers and
// length-prefixed 8-bit strings, no padding, no checksum.
//
// String prefix, by length n:
//   n < 255            n as one byte
//   255 <= n < 65534   0xFF, then n as 16 bits
//   n >= 65534         0xFF, 0xFFFF, then n as 32 bits
// A reader also meets 0xFF 0xFFFE: a string of 16-bit characters follows,
// with a fresh prefix giving its length in characters. We never write it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace trovelane {

// Thrown by ArchiveReader when a field runs past the end of the data or is
// malformed.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ArchiveWriter {
 public:
  void WriteU8(uint8_t v);
  void WriteI16(int16_t v);
  void WriteU16(uint16_t v);
  void WriteI32(int32_t v);
  void WriteU32(uint32_t v);
  void WriteI64(int64_t v);
  void WriteString(std::string_view s);

  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

class ArchiveReader {
 public:
  explicit ArchiveReader(std::string_view bytes) : bytes_(bytes) {}

  uint8_t ReadU8();
  int16_t ReadI16();
  uint16_t ReadU16();
  int32_t ReadI32();
  uint32_t ReadU32();
  int64_t ReadI64();
  // A 16-bit string comes back as 8-bit text: characters up to 0xFF keep
  // their code, any other becomes '?'.
  std::string ReadString();

  size_t remaining() const { return bytes_.size() - pos_; }

 private:
  std::string_view Take(size_t n);
  uint32_t ReadLength(bool allowWideMarker, bool* wide);

  std::string_view bytes_;
  size_t pos_ = 0;
};

}  // namespace trovelane
