// KorvaGL: the JPEG decoder.
//
// Loads JPEGs (baseline or progressive) as PIX_RGB24 of their full size:
// colour (YCbCr or RGB) as it is, greyscale with each level in all three
// channels, CMYK and YCCK (whose values libjpeg delivers inverted, as Adobe's
// programs write them) as R = C * K / 255, G = M * K / 255, B = Y * K / 255
// on those values. Other colour spaces are not loaded (the null object), nor
// are images wider or taller than 32768 pixels, larger than 512 MiB, or with
// more than 100 scans. A file cut inside its image data loads with the
// missing part grey; one cut before its image data, or corrupt beyond
// repair, gives the null object, with the reason recorded for ReadPixmap
// ("corrupt JPEG data: <libjpeg's message>"). Prints nothing.
#pragma once

#include "korvagl/pixmap/pixmap_decoder.h"

namespace korva {

class TJPEGPixmapDecoder : public TPixmapDecoder {
public:
    Ref<TPixmap> ReadPixmap(const Ref<TByteStream>& stream) override;
};

// The module "JPEG loader": registers one TJPEGPixmapDecoder. Run-once; returns 0.
int InitJPEGLoader();

}  // namespace korva
