// libFuzzer target: any bytes given to QMGIFInit either fail cleanly or give
// a picture that draws and frees cleanly.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gif/qmimglib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  std::vector<unsigned char> bytes(data, data + size);
  tagQMGIFINITINFO* info = QMGIFInit(bytes.data(), static_cast<int>(bytes.size()));
  if (info == nullptr) return 0;
  std::vector<std::uint32_t> pixels(64 * 64);
  QMPixelBuffer target{pixels.data(), 64, 64, 64 * 4};
  QMGIFRender(info, &target, QMRect{-3, -3, 61, 61});
  QMGIFCleanup(info);
  return 0;
}
