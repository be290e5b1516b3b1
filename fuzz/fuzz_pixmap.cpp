// Arbitrary bytes as an image file: through ReadPixmap on a memory stream, so
// every registered decoder (TGA, PNG, JPEG, BMP) sees them in turn. The
// targets fuzz_png, fuzz_jpeg, fuzz_bmp and fuzz_tga share this body and
// differ in their seed corpus. A pixmap that comes back must be consistent:
// every row is read in full and the pixel operations run on it.
#include <cstdlib>

#include "korvagl/korvagl.h"

using namespace korva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int started = (InitMemoryStreams(), InitBMPLoader(), InitJPEGLoader(), InitPNGLoader(),
                                InitTGALoader(), 0);
    (void)started;
    if (size > INT32_MAX) return 0;
    Ref<TMemoryStream> stream = NewMemoryStream(const_cast<uint8_t*>(data), static_cast<int32_t>(size), 1, 0);
    const Ref<TPixmap> pixmap = ReadPixmap(Ref<Object>(stream));
    if (!pixmap) return 0;

    const TPixmap& p = *pixmap;
    if (p.width < 1 || p.height < 1 || p.width > 32768 || p.height > 32768) std::abort();
    if (p.format != PIX_RGB24 && p.format != PIX_RGBA32) std::abort();
    if (int64_t{p.pitch} * p.height > p.capacity || p.pitch < p.width * PixelBytes[p.format]) std::abort();
    // Touch every byte of small images (the sanitizers check the bounds);
    // large ones only at their corners, to keep each run short.
    unsigned sum = 0;
    if (p.capacity <= (4 << 20)) {
        for (int32_t y = 0; y < p.height; ++y) {
            const uint8_t* row = p.PixelAddress(0, y);
            for (int32_t i = 0; i < p.width * PixelBytes[p.format]; ++i) sum += row[i];
        }
        const Ref<TPixmap> small = ScalePixmap(pixmap, 1 + p.width / 3, 1 + p.height / 3);
        sum += ReadPixel(small, 0, 0);
        sum += ReadPixel(ApplyMaskColour(small, 0, 0, 0), small->width - 1, small->height - 1);
    } else {
        sum += p.ReadPixel(0, 0) + p.ReadPixel(p.width - 1, p.height - 1);
    }
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
