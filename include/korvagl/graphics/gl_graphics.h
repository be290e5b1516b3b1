// KorvaGL: GL graphics helpers: texture sizes, textures from pixmaps, debug text.
//
// These need an open display (OpenGraphics); without one they make no GL
// call (see each function).
#pragma once

#include <cstdint>

#include "korvagl/app/string.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

// Rounds width and height up to powers of two (below 1 gives 1), then halves
// both (each that is above 1) until the GL accepts a texture of that size.
// Raises "Unable to calculate tex size" when not even 1 x 1 fits. Without a
// display no GL is asked and 16384 is taken as the largest size.
void FitTextureSize(int32_t& width, int32_t& height);
// A new GL texture of the pixmap stretched to its fitted size, with every
// mipmap level when `mipmapped`; no texture parameters are set. 0 without a
// display. The texture binding and unpack row length are left as they were.
uint32_t TextureFromPixmap(const Ref<TPixmap>& pixmap, int32_t mipmapped);
// Draws text with the built-in 8x16 font, its top-left at (x, y) pixels from
// the viewport's top-left, in the current colour. Codes above 255 are skipped.
void DrawDebugText(const String& text, int32_t x, int32_t y);

// The module "GL graphics". Run-once; returns 0.
int InitGLGraphics();

}  // namespace korva
