// The device-independent bitmap made from a decoded image, and its drawing.
#ifndef TROVELANE_GIF_BITMAP_H_
#define TROVELANE_GIF_BITMAP_H_

#include "gif/gif_reader.h"
#include "gif/qmimglib.h"

namespace trovelane::gif {

// Bits per pixel for a colour table of 2^exponent entries. Tables of 2 and 4
// colours also get 4 bits, so that every table size draws.
int BitCountForExponent(int exponent);

// Builds the header, colour table and bits; null when memory runs out.
tagQMGIFINITINFO* MakeBitmap(const GifImage& image);

// Copies as QMGIFRender describes.
void DrawBitmap(const tagQMGIFINITINFO& info, const QMPixelBuffer& target, const QMRect& rect);

void FreeBitmap(tagQMGIFINITINFO* info);

}  // namespace trovelane::gif

#endif  // TROVELANE_GIF_BITMAP_H_
