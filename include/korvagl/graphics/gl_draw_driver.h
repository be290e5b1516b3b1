// KorvaGL: the OpenGL 2D driver and its texture frames.
//
// TGLDrawDriver draws everything with OpenGL 1.1 immediate mode under an
// orthographic projection: one unit is one pixel, (0, 0) the top-left corner
// of the window, y down. It caches the bound texture, texturing on/off and
// the blend mode, and changes them only when they differ; Graphics resets
// the caches because a new context starts with GL's defaults.
//
// Without an open display the driver makes no GL call: drawing does nothing,
// ReadScreenPixmap gives the null object, and frames made then get their
// texture when they are first drawn with a display open. A frame's texture
// belongs to the context it was made in: once that closes, a static frame
// draws nothing, while a dynamic frame (which keeps its pixels) makes its
// texture again in the new context.
#pragma once

#include <cstdint>

#include "korvagl/graphics/draw_driver.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

// A frame with a texture of its own, padded to a power-of-two size (the
// image's last column and row are copied into the padding, so filtering at
// the border mixes in nothing else). Cannot be locked.
class TGLTextureFrame : public TImageFrame {
public:
    uint32_t texture = 0;  // GL texture name, owned

    TGLTextureFrame() = default;
    TGLTextureFrame(const TGLTextureFrame&) = delete;
    TGLTextureFrame& operator=(const TGLTextureFrame&) = delete;
    // Deletes the texture (when its context is still open).
    ~TGLTextureFrame() override;

    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;
    // Raise "Image frame cannot be locked" / "Image frame cannot be unlocked".
    Ref<TPixmap> Lock(int32_t read, int32_t write) override;
    void Unlock() override;

    // The frame of a pixmap. A pixmap larger than the largest texture is
    // shrunk to fit. Flag 2 gives linear filtering with mipmaps.
    static Ref<TGLTextureFrame> CreateFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags);

protected:
    // Makes the texture when the frame has none in the current context; true
    // when it can be drawn.
    virtual bool MakeTexture();

    uint32_t generation_ = 0;  // the context the texture belongs to
    int32_t textureFlags_ = 0;
    int32_t textureWidth_ = 0, textureHeight_ = 0;
    Ref<TPixmap> pending_;  // padded pixels waiting for a context
};

// A frame that keeps its pixels in a PIX_RGBA32 pixmap of the texture's size
// and can be locked for reading and writing.
class TGLDynamicTextureFrame : public TGLTextureFrame {
public:
    int32_t flags = 0;
    Ref<TPixmap> pixmap;  // the whole texture
    Ref<TPixmap> window;  // the image area of `pixmap`
    int32_t lockRead = 0;
    int32_t lockWrite = 0;

    // Returns `window`; change the frame's pixels through it.
    Ref<TPixmap> Lock(int32_t read, int32_t write) override;
    // After a write lock the texture (every mipmap level) takes the pixels.
    void Unlock() override;

    // A blank frame; raises "Unable to create texture" when the GL cannot
    // hold a texture that large.
    static Ref<TGLDynamicTextureFrame> Create(int32_t width, int32_t height, int32_t flags);
    static Ref<TGLDynamicTextureFrame> CreateFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags);

protected:
    bool MakeTexture() override;
};

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
};

// The number of segments DrawOval uses for a box of width x height.
int32_t OvalSegments(float width, float height);

// Texture helpers over the cached state; none makes a GL call without a display.
// Binds `name` unless it is bound already.
void BindTexture(uint32_t name);
// Binds `name` and turns texturing on unless it is on.
void EnableTexture(uint32_t name);
// Turns texturing off unless it is off.
void DisableTexture();
// A new bound texture of width x height, clamped at the edges, linear with
// mipmaps (flag 2) or nearest; contents undefined. 0 without a display.
uint32_t CreateTexture(int32_t width, int32_t height, int32_t flags);
// Replaces every level of the bound texture from the pixmap (the texture's
// size), rebuilding mipmaps by repeated ScalePixmap when flag 2 is set.
void UploadTexture(const Ref<TPixmap>& pixmap, int32_t flags);

// The modules "GL 2D helper" and "GL 2D driver" (which makes the GL driver
// the 2D layer's driver). Run-once; return 0.
int InitGL2DHelper();
int InitGLDrawDriver();

}  // namespace korva
