// KorvaGL: the PNG decoder.
//
// Loads 8-bit colour PNGs: RGB as PIX_RGB24, RGB with alpha as PIX_RGBA32.
// Palette images are expanded to RGB, and a transparency chunk (on a palette
// or RGB image) becomes an alpha channel, so those load as PIX_RGBA32.
// Interlaced images load like the others. Grey images (with or without
// alpha) and 16-bit images are not loaded (the null object), nor are images
// wider or taller than 32768 pixels or larger than 512 MiB. Corrupt or cut
// files give the null object and print nothing.
#pragma once

#include "korvagl/pixmap/pixmap_decoder.h"

namespace korva {

class TPNGPixmapDecoder : public TPixmapDecoder {
public:
    Ref<TPixmap> ReadPixmap(const Ref<TByteStream>& stream) override;
};

// The module "PNG loader": registers one TPNGPixmapDecoder. Run-once; returns 0.
int InitPNGLoader();

}  // namespace korva
