// KorvaGL: the OpenGL 2D driver.
//
// TGLDrawDriver draws everything with OpenGL 1.1 under an orthographic
// projection: one unit is one pixel, (0, 0) the top-left corner of the
// window, y down. Draws that share the GL state are batched into client
// vertex arrays and drawn with one call (KORVAGL_UNBATCHED=1 in the
// environment of OpenGraphics draws each in immediate mode instead). It
// caches the bound texture, texturing on/off and the blend mode, and changes
// them only when they differ; Graphics resets the caches because a new
// context starts with GL's defaults.
//
// Without an open display the driver makes no GL call: drawing does nothing,
// ReadScreenPixmap gives the null object. Its frames are in gl_frames.h.
#pragma once

#include <cstdint>

#include "korvagl/graphics/draw_driver.h"
#include "korvagl/graphics/gl2d_helper.h"
#include "korvagl/graphics/gl_frames.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

class TGLDrawDriver : public TDrawDriver {
public:
    // Fills the 2D layer's mode list with the display's modes.
    TGLDrawDriver();

    // Opens a window (depth 0) or the full screen, sets the projection,
    // clears both buffers and finds out whether vertical sync works; when it
    // does not and hertz is not 0, Flip paces frames to hertz in software.
    // Raises "Unable to set graphics mode".
    void Graphics(int32_t width, int32_t height, int32_t depth, int32_t hertz) override;
    void CloseGraphics() override;
    void Flip() override;
    void SetMouseVisible(int32_t visible) override;
    Ref<TImageFrame> CreateFrame(int32_t width, int32_t height, int32_t flags) override;
    Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags) override;
    void SetBlend(int32_t mode) override;
    // Clamped to 0..1 (NaN gives 0); the alpha byte is alpha * 255 truncated.
    void SetAlpha(float alpha) override;
    void SetColor(int32_t red, int32_t green, int32_t blue) override;
    void SetClearRGB(int32_t red, int32_t green, int32_t blue) override;
    // A scissor rectangle unless it is the whole screen.
    void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
    void SetTransform(float xx, float xy, float yx, float yy) override;
    void SetLineWidth(float width) override;
    void ClearBuffer() override;
    void PlotPixel(float x, float y) override;
    void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawPoly(const FloatArray& xy, float handleX, float handleY, float tx, float ty) override;
    void BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) override;
    Ref<TPixmap> ReadScreenPixmap(int32_t x, int32_t y, int32_t width, int32_t height) override;
    // Framebuffer objects: through GL_ARB_framebuffer_object (or GL 3.0) in
    // the compatibility context, which Mesa and every current GL offer.
    int32_t SetTarget(TImageFrame* frame) override;
    void GetStats(int32_t& drawCalls, int32_t& textureSwitches, int32_t& shaderSwitches, int32_t& flushes) override;

protected:
    // Opens the display (a 3.3 core context when `core` and the GL has one),
    // makes the driver of the context's kind current and sets it up.
    void OpenDisplay(int32_t width, int32_t height, int32_t depth, int32_t hertz, bool core);
};

// The number of segments DrawOval uses for a box of width x height.
int32_t OvalSegments(float width, float height);


// The module "GL 2D driver": makes the GL driver the 2D layer's driver.
// Run-once; returns 0.
int InitGLDrawDriver();

}  // namespace korva
