// The image decoders' size limits, lowered by SetDecodeLimits.
#include "pixmap/decode_limits.h"

#include <algorithm>
#include <atomic>

namespace korva::detail {
namespace {

std::atomic<int64_t> maxSide{kMaxDecodedSide};
std::atomic<int64_t> maxBytes{kMaxDecodedBytes};

}  // namespace

DecodeLimits CurrentDecodeLimits() {
    return {maxSide.load(std::memory_order_relaxed), maxBytes.load(std::memory_order_relaxed)};
}

void SetDecodeLimits(int64_t side, int64_t bytes) {
    maxSide.store(std::clamp<int64_t>(side, 1, kMaxDecodedSide), std::memory_order_relaxed);
    maxBytes.store(std::clamp<int64_t>(bytes, 1, kMaxDecodedBytes), std::memory_order_relaxed);
}

bool DecodedSizeAllowed(int64_t width, int64_t height, int64_t bytesPerPixel, int64_t align) {
    const DecodeLimits limits = CurrentDecodeLimits();
    if (width < 1 || height < 1 || width > limits.side || height > limits.side) return false;
    const int64_t pitch = (width * bytesPerPixel + align - 1) / align * align;
    return pitch * height <= limits.bytes;
}

}  // namespace korva::detail
