// KorvaGL: the draw driver interface, display modes and image frames.
//
// TDrawDriver is the abstract 2D driver that the drawing API (drawing2d.h)
// forwards every call to; the OpenGL driver (gl_draw_driver.h) is the one
// implementation. Its operations are abstract here: calling one on
// TDrawDriver itself raises TAbstractMethodFault.
//
// Driver geometry: DrawLine, DrawRect and DrawOval take local points (x0, y0)
// and (x1, y1), already offset by the draw handle; the driver maps a local
// point (x, y) to the screen point (xx*x + xy*y + tx, yx*x + yy*y + ty) with
// the matrix last given to SetTransform. PlotPixel takes screen coordinates.
// DrawPoly takes the raw vertex pairs plus handle offset and translation.
// BlitPixmap and ReadScreenPixmap work in plain screen pixels, (0, 0) at the
// top-left, y down.
#pragma once

#include <cstdint>
#include <vector>

#include "korvagl/app/object.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

using FloatArray = std::vector<float>;

// One display mode the driver offers.
class TGraphicsMode : public Object {
public:
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;  // bits per pixel
    int32_t hertz = 0;  // refresh rate, 0 when the display does not say
};

// One frame of an image, owned by the driver that made it (the GL driver
// keeps its pixels in a texture).
class TImageFrame : public Object {
public:
    // Texture coordinates of the frame's top-left and bottom-right corners.
    float uMin = 0, vMin = 0, uMax = 0, vMax = 0;

    // Draws the frame over the local rectangle (x0, y0)-(x1, y1), mapped
    // through the current matrix and moved by (tx, ty). The corners (x0, y0),
    // (x1, y0), (x1, y1), (x0, y1) take (uMin, vMin), (uMax, vMin),
    // (uMax, vMax), (uMin, vMax).
    virtual void Draw(float x0, float y0, float x1, float y1, float tx, float ty);
    // The frame's pixels as a pixmap; `read` and `write` say how they will be
    // used. Raises "Image frame cannot be locked" for frames without that power.
    virtual Ref<TPixmap> Lock(int32_t read, int32_t write);
    // Brings the pixmap that Lock returns in step with the frame's pixels
    // when drawing into the frame changed them (render targets); nothing here.
    virtual void SyncPixels();
    // Ends the access; after a write lock the pixmap becomes the frame's pixels.
    // Raises "Image frame cannot be unlocked" for frames without that power.
    virtual void Unlock();
};

class TDrawDriver : public Object {
public:
    // Opens the display: depth 0 a window, any other depth the full screen.
    virtual void Graphics(int32_t width, int32_t height, int32_t depth, int32_t hertz);
    virtual void CloseGraphics();
    // Presents the frame drawn (and paces frames when the display needs it).
    virtual void Flip();
    virtual void SetMouseVisible(int32_t visible);
    // A blank dynamic frame of width x height.
    virtual Ref<TImageFrame> CreateFrame(int32_t width, int32_t height, int32_t flags);
    virtual Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags);
    // 1 masked, 2 solid, 3 alpha, 4 light, 5 shade.
    virtual void SetBlend(int32_t mode);
    virtual void SetAlpha(float alpha);
    virtual void SetColor(int32_t red, int32_t green, int32_t blue);
    virtual void SetClearRGB(int32_t red, int32_t green, int32_t blue);
    virtual void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height);
    virtual void SetTransform(float xx, float xy, float yx, float yy);
    virtual void SetLineWidth(float width);
    virtual void ClearBuffer();
    virtual void PlotPixel(float x, float y);
    virtual void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty);
    virtual void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty);
    virtual void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty);
    virtual void DrawPoly(const FloatArray& xy, float handleX, float handleY, float tx, float ty);
    virtual void BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
    virtual Ref<TPixmap> ReadScreenPixmap(int32_t x, int32_t y, int32_t width, int32_t height);
    // Makes every later draw go into `frame` (nullptr: the display again),
    // whose top row is row 0 of every read. 1 when done; 0 with a reason in
    // LastErrorText() when the driver cannot draw into that frame (this base
    // version refuses every frame but nullptr).
    virtual int32_t SetTarget(TImageFrame* frame);
    // The cost of the last presented frame (draw_target.h); 0s here.
    virtual void GetStats(int32_t& drawCalls, int32_t& textureSwitches, int32_t& shaderSwitches, int32_t& flushes);
};

// The driver every function forwards to: the GL driver once InitGLDrawDriver
// has run. Assigning another redirects the whole layer.
Ref<TDrawDriver>& CurrentDrawDriver();
// The mode list the driver filled (in its enumeration order).
std::vector<Ref<TGraphicsMode>>& GraphicsModes();

// The module "draw driver interface and image frames". Run-once; returns 0.
int InitDrawDriver();

}  // namespace korva
