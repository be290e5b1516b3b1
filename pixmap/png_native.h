// The PNG decoder's native layer: decodes a whole PNG through libpng into a
// pixmap, pulling its input through a read callback. This header does not
// include libpng; only png_native.cpp does.
#pragma once

#include <cstddef>

#include "korvagl/pixmap/pixmap.h"

namespace korva {

// Stores up to `count` bytes at `buffer` and returns how many it stored:
// fewer only at the end of the data.
using PNGReadFunction = size_t (*)(void* buffer, size_t count, void* handle);

// Decodes the PNG that `read` delivers (`handle` is passed to it untouched),
// starting with its 8-byte signature. Palette images become RGB, grey images
// below 8 bits become 8-bit and a transparency chunk becomes an alpha
// channel; the result is PIX_RGB24 for 8-bit RGB and PIX_RGBA32 for 8-bit RGB
// with alpha (row alignment 4).
//
// Returns the null object for a wrong signature, for grey images (with or
// without alpha) and 16-bit images, for images wider or taller than 32768
// pixels or whose pixels would exceed 512 MiB (checked before any pixel
// memory is allocated), and for anything libpng finds fatal: bad CRCs on
// critical chunks, corrupt data, data that ends early. Prints nothing; the
// libpng structures are released on every path.
Ref<TPixmap> DecodePNG(void* handle, PNGReadFunction read);

}  // namespace korva
