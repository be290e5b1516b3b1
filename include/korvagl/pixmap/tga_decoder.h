// KorvaGL: the TGA decoder.
//
// Loads true-colour Targa files, uncompressed (image type 2) or run-length
// encoded (type 10), of 15, 16, 24 or 32 bits per pixel, 1 to 4096 pixels
// each way: 16 and 32 bits as PIX_RGBA32, 15 and 24 bits as PIX_RGB24. Files
// with a colour map (including colour-mapped type 1) and other types, depths
// or sizes give the null object.
//
// Pixel values: 15 and 16 bits hold 5 bits each of red, green and blue (the
// low three bits of each loaded channel are 0); in 16-bit files a set top bit
// makes the pixel transparent (alpha 0) and a clear one opaque. 24 and 32
// bits are stored blue, green, red (, alpha).
//
// Rows are stored bottom row first unless bit 5 of the image descriptor marks
// a top-left origin; either way the pixmap comes out top row first. A file
// that ends early loads with the missing pixels zero.
#pragma once

#include <cstdint>

#include "korvagl/pixmap/pixmap_decoder.h"

namespace korva {

// The 18-byte file header, in file order.
class TTGAHeader : public Object {
public:
    int32_t idLength = 0;
    int32_t colourMapType = 0;
    int32_t imageType = 0;
    int32_t colourMapFirstEntry = 0;
    int32_t colourMapLength = 0;
    int32_t colourMapEntrySize = 0;
    int32_t xOrigin = 0;
    int32_t yOrigin = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pixelDepth = 0;
    int32_t imageDescriptor = 0;

    // Reads the header from a little-endian stream. False when the first
    // eight bytes are not all there.
    bool Read(TByteStream& stream);
    // True when the header describes an image this decoder loads.
    bool Supported() const;
};

class TTGAPixmapDecoder : public TPixmapDecoder {
public:
    Ref<TPixmap> ReadPixmap(const Ref<TByteStream>& stream) override;
};

// The module "TGA loader": registers one TTGAPixmapDecoder. Run-once; returns 0.
int InitTGALoader();

}  // namespace korva
