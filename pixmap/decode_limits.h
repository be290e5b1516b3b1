// The limits every image decoder applies before it allocates anything for a
// file's pixels: files come from anywhere, and a header is only a claim.
#pragma once

#include <cstdint>

namespace korva::detail {

inline constexpr int64_t kMaxDecodedSide = 32768;                // pixels, either way
inline constexpr int64_t kMaxDecodedBytes = int64_t{512} << 20;  // pixel memory

struct DecodeLimits {
    int64_t side;   // pixels, either way
    int64_t bytes;  // pixel memory of one decoded image
};

// The limits in force: the ones above unless SetDecodeLimits lowered them.
DecodeLimits CurrentDecodeLimits();

// Lowers the limits of every image decoder from now on (the fuzz targets use
// it, so that a few bytes cannot claim half a gigabyte). Each value is kept
// between 1 and its default: the limits can only come down, and
// SetDecodeLimits(kMaxDecodedSide, kMaxDecodedBytes) restores them. Safe to
// call while other threads decode; a decode already past its checks keeps
// the limits it saw.
void SetDecodeLimits(int64_t side, int64_t bytes);

// True when a decoder may make a width x height image of `bytesPerPixel`
// bytes per pixel, rows aligned to `align` bytes.
bool DecodedSizeAllowed(int64_t width, int64_t height, int64_t bytesPerPixel, int64_t align = 4);

}  // namespace korva::detail
