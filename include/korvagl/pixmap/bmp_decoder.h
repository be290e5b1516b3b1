// KorvaGL: the BMP decoder.
//
// Loads uncompressed Windows bitmaps of 1, 4, 8, 24 and 32 bits per pixel as
// PIX_RGB24, and 32-bit bitmaps whose bit-field masks (method 3) include
// alpha as PIX_RGBA32. 32-bit pixels are stored blue, green, red and a
// fourth byte, which is alpha only when a bit-field mask says so; masks
// other than one byte per channel in that order are refused. Rows may be
// stored bottom row first (positive height, the usual case) or top row first
// (negative height). Palette entries are blue, green,
// red, reserved; a "colours used" count above the table size (2, 16 or 256)
// is clamped to it, and pixel indices beyond the entries present read as
// black. Longer information headers (52, 56, 108 and 124 bytes) are stepped
// over (apart from the masks they hold), and the pixel data starts at the
// file's data offset when that lies beyond the colour table. Compressed
// bitmaps (other than 32-bit bit fields), other bit counts, sizes of 0,
// sizes over 32768 and images larger than 512 MiB give the null object. A
// file that ends early loads with the missing bytes taken as zero: black in
// 24- and 32-bit files, palette entry 0 in the others.
#pragma once

#include "korvagl/pixmap/pixmap_decoder.h"

namespace korva {

class TBMPPixmapDecoder : public TPixmapDecoder {
public:
    Ref<TPixmap> ReadPixmap(const Ref<TByteStream>& stream) override;
};

// The module "BMP loader": registers one TBMPPixmapDecoder. Run-once; returns 0.
int InitBMPLoader();

}  // namespace korva
