// KorvaGL: texture helpers of the GL 2D driver over its cached GL state.
//
// The driver caches the bound texture, whether texturing is on and the blend
// mode, and changes GL state only when it differs. These helpers go through
// that cache; none makes a GL call while no display is open.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

// Binds `name` unless it is bound already.
void BindTexture(uint32_t name);
// Binds `name` and turns texturing on unless it is on.
void EnableTexture(uint32_t name);
// Turns texturing off unless it is off.
void DisableTexture();
// A new bound texture of width x height, clamped at the edges, linear with
// mipmaps (IMAGE_FILTERED) or nearest; contents undefined. 0 without a display.
uint32_t CreateTexture(int32_t width, int32_t height, int32_t flags);
// Replaces every level of the bound texture from the pixmap (the texture's
// size), rebuilding mipmaps by repeated ScalePixmap with IMAGE_FILTERED.
void UploadTexture(const Ref<TPixmap>& pixmap, int32_t flags);

// The module "GL 2D helper". Run-once; returns 0.
int InitGL2DHelper();

}  // namespace korva
