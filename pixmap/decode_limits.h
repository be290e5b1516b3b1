// The limits every image decoder applies before it allocates anything for a
// file's pixels: files come from anywhere, and a header is only a claim.
#pragma once

#include <cstdint>

#include "korvagl/pixmap/pixel_format.h"

namespace korva::detail {

inline constexpr int64_t kMaxDecodedSide = 32768;            // pixels, either way
inline constexpr int64_t kMaxDecodedBytes = int64_t{512} << 20;  // pixel memory

// True when a decoder may make a width x height image of `bytesPerPixel`
// bytes per pixel, rows aligned to `align` bytes.
constexpr bool DecodedSizeAllowed(int64_t width, int64_t height, int64_t bytesPerPixel, int64_t align = 4) {
    if (width < 1 || height < 1 || width > kMaxDecodedSide || height > kMaxDecodedSide) return false;
    const int64_t pitch = (width * bytesPerPixel + align - 1) / align * align;
    return pitch * height <= kMaxDecodedBytes;
}

}  // namespace korva::detail
