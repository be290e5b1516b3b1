// The PNG decoder's native layer: decodes a whole PNG through libpng into a
// pixmap, pulling its input through a read callback. This header does not
// include libpng; only png_native.cpp does.
#pragma once

#include <cstddef>
#include <string>

#include "korvagl/pixmap/pixmap.h"

namespace korva {

// Stores up to `count` bytes at `buffer` and returns how many it stored:
// fewer only at the end of the data.
using PNGReadFunction = size_t (*)(void* buffer, size_t count, void* handle);

// Decodes the PNG that `read` delivers (`handle` is passed to it untouched),
// starting with its 8-byte signature. Every colour type and depth loads:
// palette images become RGB, grey becomes RGB (each level in all three
// channels), a transparency chunk becomes an alpha channel, and 16-bit
// samples keep their high byte; interlaced images are put together. The
// result is PIX_RGB24, or PIX_RGBA32 when the image has alpha (row
// alignment 4).
//
// Returns the null object for a wrong signature, for images wider or taller
// than 32768 pixels or whose pixels would exceed 512 MiB (checked before any
// pixel memory is allocated), and for anything libpng finds fatal: bad CRCs
// on critical chunks, corrupt data, data that ends early. Then, unless the
// signature was wrong, `failure` (when given) receives why, for example
// "corrupt PNG data: IHDR: CRC error" or "image too large (40000 x 1)".
// Prints nothing; the libpng structures are released on every path.
Ref<TPixmap> DecodePNG(void* handle, PNGReadFunction read, std::string* failure = nullptr);

}  // namespace korva
