// A ByteStream over bytes in memory for the fuzz targets and the tests of
// stream readers: Receive and Peek hand out the input in pieces whose sizes
// the input's own first bytes pick, as a network splits an answer; SendAll
// takes everything.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/socket.h"

namespace trovelane::fuzz {

class MemoryStream : public ByteStream {
 public:
  // `pieceSizes` cycles through the sizes of the pieces (0 in it means 1).
  MemoryStream(std::string bytes, std::string pieceSizes)
      : bytes_(std::move(bytes)), sizes_(std::move(pieceSizes)) {}

  bool SendAll(const char*, size_t length) override {
    sent_ += length;
    return true;
  }
  size_t Receive(char* buffer, size_t length) override {
    size_t n = Next(length);
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }
  size_t Peek(char* buffer, size_t length) override {
    size_t n = Next(length);
    std::memcpy(buffer, bytes_.data() + at_, n);
    return n;
  }
  size_t left() const { return bytes_.size() - at_; }

 private:
  size_t Next(size_t length) {
    size_t piece = 1 << 20;
    if (!sizes_.empty()) {
      piece = std::max<size_t>(1, static_cast<unsigned char>(sizes_[turn_++ % sizes_.size()]));
    }
    return std::min({length, piece, bytes_.size() - at_});
  }

  std::string bytes_;
  std::string sizes_;
  size_t at_ = 0;
  size_t turn_ = 0;
  size_t sent_ = 0;
};

}  // namespace trovelane::fuzz
