// libQMIMGLib: decodes the first image of a GIF file into a device-independent
// bitmap held in memory, draws it into a caller's pixel buffer, and frees it.
//
// The four functions are the library's whole interface; they never throw.
#ifndef TROVELANE_GIF_QMIMGLIB_H_
#define TROVELANE_GIF_QMIMGLIB_H_

#include <cstdint>

#if defined(QMIMGLIB_BUILDING)
#define QMIMGLIB_EXPORT __attribute__((visibility("default")))
#else
#define QMIMGLIB_EXPORT
#endif

// The 40-byte bitmap information header, laid out as the classic DIB header.
struct QMBitmapInfoHeader {
  std::uint32_t size;          // 40
  std::int32_t width;          // the image's width
  std::int32_t height;         // minus the image's height: rows run top-down
  std::uint16_t planes;        // 1
  std::uint16_t bitCount;      // 4 or 8
  std::uint32_t compression;   // 0: uncompressed
  std::uint32_t sizeImage;     // 0
  std::int32_t xPelsPerMeter;  // 0
  std::int32_t yPelsPerMeter;  // 0
  std::uint32_t clrUsed;       // 0: the table has 2^bitCount entries
  std::uint32_t clrImportant;  // 0
};
static_assert(sizeof(QMBitmapInfoHeader) == 40);

// One colour table entry as stored after the header: blue, green, red, 0.
struct QMRgbQuad {
  std::uint8_t blue;
  std::uint8_t green;
  std::uint8_t red;
  std::uint8_t reserved;
};
static_assert(sizeof(QMRgbQuad) == 4);

// A decoded picture. Allocated by QMGIFInit, freed only by QMGIFCleanup.
struct tagQMGIFINITINFO {
  // One block of 40 + 4 * 2^bitCount bytes: the header, then the colour table.
  QMBitmapInfoHeader* bitmapInfo;
  // height * stride bytes, top row first;
  // stride = ((bitCount * width + 31) / 32) * 4.
  std::uint8_t* bits;
};

// The colour table that follows the header in the bitmapInfo block.
inline const QMRgbQuad* QMBitmapColors(const QMBitmapInfoHeader* header) {
  return reinterpret_cast<const QMRgbQuad*>(header + 1);
}

// Bytes per pixel row of a bitmap: rows are padded to 32 bits.
inline std::int64_t QMBitmapStride(const QMBitmapInfoHeader* header) {
  return (static_cast<std::int64_t>(header->bitCount) * header->width + 31) / 32 * 4;
}

// The drawing target: a caller-owned buffer of 32-bit pixels 0xFFRRGGBB (the
// layout of QImage::Format_RGB32), `stride` bytes from one row to the next.
struct QMPixelBuffer {
  std::uint32_t* pixels;
  int width;
  int height;
  int stride;
};

// A rectangle of the target, right and bottom exclusive.
struct QMRect {
  int left;
  int top;
  int right;
  int bottom;
};

// Decodes `length` bytes of GIF data. Null on any failure.
QMIMGLIB_EXPORT tagQMGIFINITINFO* QMGIFInit(unsigned char* data, int length);

// Reads the file at `path` whole and decodes it. Null on any failure.
QMIMGLIB_EXPORT tagQMGIFINITINFO* QMGIFInit(const char* path);

// Copies rect's width x height pixels of the bitmap, from its origin, to rect's
// top-left corner of the target, clipped to the target and to the bitmap;
// target pixels outside the bitmap are left as they are. 0 when info or the
// target is null, else 1.
QMIMGLIB_EXPORT int QMGIFRender(tagQMGIFINITINFO* info, QMPixelBuffer* target, const QMRect& rect);

// Frees the picture and its blocks; returns 1. `info` must not be null.
QMIMGLIB_EXPORT int QMGIFCleanup(tagQMGIFINITINFO* info);

#endif  // TROVELANE_GIF_QMIMGLIB_H_
