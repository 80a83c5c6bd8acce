// The library's exported functions. Nothing may throw past them.
#include "gif/qmimglib.h"

#include <climits>
#include <cstdio>
#include <memory>
#include <vector>

#include "gif/bitmap.h"
#include "gif/gif_reader.h"

tagQMGIFINITINFO* QMGIFInit(unsigned char* data, int length) {
  if (data == nullptr || length <= 0) return nullptr;
  try {
    const std::optional<trovelane::gif::GifImage> image =
        trovelane::gif::ReadFirstGifImage(data, static_cast<std::size_t>(length));
    if (!image) return nullptr;
    return trovelane::gif::MakeBitmap(*image);
  } catch (...) {
    return nullptr;
  }
}

tagQMGIFINITINFO* QMGIFInit(const char* path) {
  if (path == nullptr) return nullptr;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), &std::fclose);
  if (!file) return nullptr;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return nullptr;
  const long size = std::ftell(file.get());
  // The memory form takes an int length.
  if (size <= 0 || size > INT_MAX) return nullptr;
  std::rewind(file.get());
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]);
  if (!buffer) return nullptr;
  if (std::fread(buffer.get(), 1, static_cast<std::size_t>(size), file.get()) !=
      static_cast<std::size_t>(size)) {
    return nullptr;
  }
  file.reset();
  return QMGIFInit(buffer.get(), static_cast<int>(size));
}

int QMGIFRender(tagQMGIFINITINFO* info, QMPixelBuffer* target, const QMRect& rect) {
  if (info == nullptr || target == nullptr || target->pixels == nullptr) return 0;
  trovelane::gif::DrawBitmap(*info, *target, rect);
  return 1;
}

int QMGIFCleanup(tagQMGIFINITINFO* info) {
  if (info == nullptr) return 0;
  trovelane::gif::FreeBitmap(info);
  return 1;
}
