// Helpers of the results tests: a scratch folder, whole-file reads, and a
// builder for document bytes written out by hand.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace trovelane::testfiles {

class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/trovelane-results-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  std::string operator/(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Little-endian fields and short strings (one-byte prefix), spelled out
// independently of the program's own writer.
class Bytes {
 public:
  Bytes& u8(uint8_t v) {
    s_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& u16(uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& str(std::string_view text) {
    u8(static_cast<uint8_t>(text.size()));
    s_.append(text);
    return *this;
  }
  Bytes& raw(std::string_view text) {
    s_.append(text);
    return *this;
  }
  const std::string& bytes() const { return s_; }
  size_t size() const { return s_.size(); }

 private:
  std::string s_;
};

}  // namespace trovelane::testfiles
