// The 2D layer's drawing state, shared by the modules of the 2D API (the
// drawing functions, text, collisions). Programs use the functions of
// drawing2d.h instead.
#pragma once

#include <cstdint>

#include "korvagl/graphics/draw_driver.h"

namespace korva::detail {

struct DrawState {
    int32_t width = 0, height = 0, depth = 0, hertz = 0;
    // The surface drawn into: the display, or the render target's image.
    int32_t surfaceWidth = 0, surfaceHeight = 0;
    int32_t red = 0, green = 0, blue = 0;
    float alpha = 0;
    int32_t maskRed = 0, maskGreen = 0, maskBlue = 0;
    float rotation = 0, scaleX = 0, scaleY = 0;
    // Derived from rotation and scale by UpdateDrawMatrix.
    float xx = 0, xy = 0, yx = 0, yy = 0;
    int32_t viewX = 0, viewY = 0, viewWidth = 0, viewHeight = 0;
    float originX = 0, originY = 0;
    // The handle, stored negated: primitives add it.
    float handleX = 0, handleY = 0;
    int32_t blendMode = 0;
    int32_t autoMidHandle = 0;
    int32_t autoImageFlags = 0;
};

extern DrawState drawState;

// Recomputes the matrix from rotation and scale and hands it to the driver
// (and to every other user of the 2D matrix).
void UpdateDrawMatrix();

// Collisions (collision.cpp): the transform that follows the 2D matrix, and
// the 32 layers, made empty.
void SetCollisionTransform(float xx, float xy, float yx, float yy);
void CreateCollisionLayers();

// Render targets (draw_target.cpp): drawing goes to the display again.
void ForgetDrawTarget();

// Text (text.cpp): a fresh default font, made the current font; letting go
// of both fonts.
void OpenDefaultFont();
void ReleaseFonts();

// KORVAGL_CAPTURE=dir:10,60,300: saves the picture the next FlipFrame shows
// as dir/frame-000010.png when that frame is listed. A setting that cannot be
// read raises a runtime error at the first frame.
void CaptureFrameIfListed();

}  // namespace korva::detail
