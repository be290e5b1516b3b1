// Arbitrary bytes as an image file: through ReadPixmap on a memory stream, so
// every registered decoder (TGA, PNG, JPEG, BMP) sees them in turn. The
// targets fuzz_png, fuzz_jpeg, fuzz_bmp and fuzz_tga share this body and
// differ in their seed corpus. A pixmap that comes back must be consistent:
// every row is read in full and the pixel operations run on its corner.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "korvagl/korvagl.h"
#include "pixmap/decode_limits.h"

using namespace korva;

namespace {

// Lowered decoder limits. A few bytes can claim a large picture, which the
// decoders then allocate and fill in full: at the default limits such an
// input costs seconds here (55 bytes of BMP that claim 10000 x 10000 pixels:
// 6 s), at these a few milliseconds, through the same code. Pictures over
// 1024 pixels tall or wide cost per row even when small, so the side comes
// down too.
constexpr int64_t kFuzzSide = 1024;
constexpr int64_t kFuzzBytes = int64_t{1} << 20;

int Start() {
    InitMemoryStreams();
    InitBMPLoader();
    InitJPEGLoader();
    InitPNGLoader();
    InitTGALoader();
    detail::SetDecodeLimits(kFuzzSide, kFuzzBytes);
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int started = Start();
    (void)started;
    if (size > INT32_MAX) return 0;
    Ref<TMemoryStream> stream = NewMemoryStream(const_cast<uint8_t*>(data), static_cast<int32_t>(size), 1, 0);
    const Ref<TPixmap> pixmap = ReadPixmap(Ref<Object>(stream));
    if (!pixmap) return 0;

    const TPixmap& p = *pixmap;
    const detail::DecodeLimits limits = detail::CurrentDecodeLimits();
    if (p.width < 1 || p.height < 1 || p.width > limits.side || p.height > limits.side) std::abort();
    if (p.format != PIX_RGB24 && p.format != PIX_RGBA32) std::abort();
    if (int64_t{p.pitch} * p.height > p.capacity || p.pitch < p.width * PixelBytes[p.format]) std::abort();
    // Every row read in full: copying it lets the address sanitizer check the
    // whole row at once.
    static std::vector<uint8_t> row;
    const size_t rowBytes = static_cast<size_t>(p.width) * PixelBytes[p.format];
    if (row.size() < rowBytes) row.resize(rowBytes);
    for (int32_t y = 0; y < p.height; ++y) std::memcpy(row.data(), p.PixelAddress(0, y), rowBytes);
    // The pixel operations on corner windows (rows narrower than the pitch):
    // their cost grows with the picture and their edges do not. Masking
    // black visits the neighbours of every black pixel, and decoded pictures
    // are mostly black.
    const Ref<TPixmap> corner = PixmapSubRegion(pixmap, 0, 0, std::min(p.width, 96), std::min(p.height, 96));
    const Ref<TPixmap> small = ScalePixmap(corner, 1 + corner->width / 3, 1 + corner->height / 3);
    volatile unsigned sink = ReadPixel(small, 0, 0);
    const Ref<TPixmap> masked =
        ApplyMaskColour(PixmapSubRegion(small, 0, 0, std::min(small->width, 16), std::min(small->height, 16)), 0, 0, 0);
    sink = ReadPixel(masked, masked->width - 1, masked->height - 1);
    (void)sink;
    return 0;
}
