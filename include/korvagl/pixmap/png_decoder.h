// KorvaGL: the PNG decoder.
//
// Loads every PNG colour type and depth: as PIX_RGBA32 when the image has
// alpha (an alpha channel, or a transparency chunk, which becomes one), else
// as PIX_RGB24. Palette images are expanded to RGB, grey levels fill all
// three channels, 16-bit samples keep their high byte, and interlaced images
// load like the others. Images wider or taller than 32768 pixels or larger
// than 512 MiB are not loaded (the null object), nor are corrupt or cut
// files; the reason is recorded for ReadPixmap ("corrupt PNG data: <libpng's
// message>", "image too large (W x H)"). Prints nothing.
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
