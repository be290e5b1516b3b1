// KorvaGL: the image frames of the OpenGL 2D driver, held as GL textures.
//
// Frames made while no display is open get their texture when they are
// first drawn with a display open. Textures outlive the display they were
// made in: every display shares them, so frames draw the same after any
// later OpenGraphics. Should a display's GL refuse to share, a static frame
// of an earlier display draws nothing there, while a dynamic frame (which
// keeps its pixels) makes its texture again.
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
    // Deletes the texture (once a display is open, when none is).
    ~TGLTextureFrame() override;

    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;
    // Raise "Image frame cannot be locked" / "Image frame cannot be unlocked".
    Ref<TPixmap> Lock(int32_t read, int32_t write) override;
    void Unlock() override;

    // The frame of a pixmap. A pixmap larger than the largest texture is
    // shrunk to fit. IMAGE_FILTERED gives linear filtering with mipmaps.
    static Ref<TGLTextureFrame> CreateFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags);

    // The texture, made in the current context when it has none there; 0
    // when it cannot be drawn.
    uint32_t TextureNow() { return MakeTexture() ? texture : 0; }
    // True when the texels hold premultiplied colour (a frame drawn into as
    // a render target): drawing it blends accordingly.
    bool Premultiplied() const { return premultiplied_; }

protected:
    // Makes the texture when the frame has none in the current context; true
    // when it can be drawn.
    virtual bool MakeTexture();

    uint32_t generation_ = 0;  // the context the texture belongs to
    int32_t textureFlags_ = 0;
    int32_t textureWidth_ = 0, textureHeight_ = 0;
    Ref<TPixmap> pending_;  // padded pixels waiting for a context
    bool premultiplied_ = false;

private:
    // Draw's part for premultiplied texels; false when the draw is refused.
    bool DrawPremultiplied(float x0, float y0, float x1, float y1, float tx, float ty);
    uint8_t straightColor_[4] = {};
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

    // Render targets. A frame drawn into keeps its texels premultiplied and
    // its pixmap in step lazily: Lock (and so collisions) reads the texture
    // back when drawing has changed it since.
    ~TGLDynamicTextureFrame() override;
    // The framebuffer that draws into the texture in the current context
    // (made on first use); 0 when the GL cannot make one.
    uint32_t Framebuffer();
    // Marks the texture as changed by drawing.
    void DrawnInto();
    // Reads the texture back into `pixmap` when drawing changed it.
    void SyncPixels() override;
    // Rebuilds the smaller levels of a filtered frame after drawing into it.
    void SyncMipmaps();

protected:
    bool MakeTexture() override;

private:
    uint32_t framebuffer_ = 0;
    uint32_t framebufferSerial_ = 0;  // the context the framebuffer belongs to
    bool pixelsStale_ = false;
    bool mipmapsStale_ = false;
};

}  // namespace korva
