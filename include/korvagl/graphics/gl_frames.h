// KorvaGL: the image frames of the OpenGL 2D driver, held as GL textures.
//
// Frames made while no display is open get their texture when they are
// first drawn with a display open. A frame's texture belongs to the context
// it was made in: once that closes, a static frame draws nothing, while a
// dynamic frame (which keeps its pixels) makes its texture again in the new
// context.
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
    // shrunk to fit. IMAGE_FILTERED gives linear filtering with mipmaps.
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

}  // namespace korva
