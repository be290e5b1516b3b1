// Image frames held as GL textures.
#include "korvagl/graphics/gl_frames.h"

#include <algorithm>
#include <cstring>

#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "korvagl/app/last_error.h"
#include "korvagl/graphics/gl2d_helper.h"
#include "korvagl/graphics/gl_graphics.h"
#include "korvagl/graphics/image.h"

namespace korva {

namespace gl = detail::gl;
using detail::glDrawState;

TGLTextureFrame::~TGLTextureFrame() {
    // Deleted now, or once a display opens again; a texture of an object set
    // out of reach is left alone (its name may belong to another by now).
    detail::DeleteTexture(texture, generation_);
}

void TGLTextureFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty) {
    if (!detail::glOpen) return;
    if (generation_ != detail::glGeneration && !MakeTexture()) return;
    if (premultiplied_ != glDrawState.premultipliedSource) detail::SetPremultipliedSource(premultiplied_);
    if (premultiplied_) {
        if (!DrawPremultiplied(x0, y0, x1, y1, tx, ty)) return;
    }
    detail::EnableTextureCached(texture);
    const float xx = glDrawState.xx, xy = glDrawState.xy, yx = glDrawState.yx, yy = glDrawState.yy;
    if (detail::glBatch.enabled) {
        detail::BatchVertex* v = detail::ReserveVertices(GL_QUADS, 4);
        detail::PutVertex(v[0], x0 * xx + y0 * xy + tx, x0 * yx + y0 * yy + ty, uMin, vMin);
        detail::PutVertex(v[1], x1 * xx + y0 * xy + tx, x1 * yx + y0 * yy + ty, uMax, vMin);
        detail::PutVertex(v[2], x1 * xx + y1 * xy + tx, x1 * yx + y1 * yy + ty, uMax, vMax);
        detail::PutVertex(v[3], x0 * xx + y1 * xy + tx, x0 * yx + y1 * yy + ty, uMin, vMax);
        if (premultiplied_) std::memcpy(glDrawState.drawColor, straightColor_, 4);
        return;
    }
    gl::Begin(GL_QUADS);
    gl::TexCoord2f(uMin, vMin);
    gl::Vertex2f(x0 * xx + y0 * xy + tx, x0 * yx + y0 * yy + ty);
    gl::TexCoord2f(uMax, vMin);
    gl::Vertex2f(x1 * xx + y0 * xy + tx, x1 * yx + y0 * yy + ty);
    gl::TexCoord2f(uMax, vMax);
    gl::Vertex2f(x1 * xx + y1 * xy + tx, x1 * yx + y1 * yy + ty);
    gl::TexCoord2f(uMin, vMax);
    gl::Vertex2f(x0 * xx + y1 * xy + tx, x0 * yx + y1 * yy + ty);
    gl::End();
    if (premultiplied_) {
        std::memcpy(glDrawState.drawColor, straightColor_, 4);
        detail::SendColor();
    }
}

bool TGLTextureFrame::DrawPremultiplied(float, float, float, float, float, float) {
    // The texels are premultiplied, so the tint is too: colour times alpha.
    // Drawing a frame into itself is refused (GL would read what it writes).
    if (this == glDrawState.targetFrame) {
        detail::SetLastErrorText("an image cannot be drawn into itself: it is the draw target");
        return false;
    }
    static_cast<TGLDynamicTextureFrame*>(this)->SyncMipmaps();
    uint8_t* c = glDrawState.drawColor;
    std::memcpy(straightColor_, c, 4);
    for (int i = 0; i < 3; ++i) c[i] = static_cast<uint8_t>((c[i] * c[3] + 127) / 255);
    if (!detail::glBatch.enabled) detail::SendColor();
    return true;
}

Ref<TPixmap> TGLTextureFrame::Lock(int32_t, int32_t) { RaiseRuntimeError("Image frame cannot be locked"); }
void TGLTextureFrame::Unlock() { RaiseRuntimeError("Image frame cannot be unlocked"); }

bool TGLTextureFrame::MakeTexture() {
    if (!detail::glOpen) return false;
    if (generation_ == detail::glGeneration && texture != 0) return true;
    if (!pending_) return false;  // made in a context that has closed
    texture = CreateTexture(textureWidth_, textureHeight_, textureFlags_);
    UploadTexture(pending_, textureFlags_);
    generation_ = detail::glGeneration;
    pending_ = nullptr;
    return texture != 0;
}

Ref<TGLTextureFrame> TGLTextureFrame::CreateFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags) {
    const int32_t pw = pixmap->width;
    const int32_t ph = pixmap->height;
    int32_t tw = pw, th = ph;
    FitTextureSize(tw, th);
    // A picture larger than the largest texture is shrunk to fit.
    const int32_t w = std::min(pw, tw);
    const int32_t h = std::min(ph, th);
    Ref<TPixmap> image = (w != pw || h != ph) ? ScalePixmap(pixmap, w, h) : pixmap;

    Ref<TPixmap> padded;
    if (w < tw || h < th) {
        padded = NewPixmap(tw, th, PIX_RGBA32, 4);
        // Cleared, so that smaller mipmap levels mix in the same texels every time.
        std::memset(padded->pixels, 0, static_cast<size_t>(padded->capacity));
        padded->Paste(image, 0, 0);
        // The last column and row repeated, so that filtering at the border
        // samples the picture itself.
        if (w > 0 && h > 0) {
            if (w < tw) padded->Paste(image->Window(w - 1, 0, 1, h), w, 0);
            if (h < th) padded->Paste(image->Window(0, h - 1, w, 1), 0, h);
            if (w < tw && h < th) padded->Paste(image->Window(w - 1, h - 1, 1, 1), w, h);
        }
    } else {
        padded = detail::RGBARows(image);
    }

    Ref<TGLTextureFrame> frame = New<TGLTextureFrame>();
    frame->textureFlags_ = flags;
    frame->textureWidth_ = tw;
    frame->textureHeight_ = th;
    frame->pending_ = padded;
    frame->MakeTexture();
    frame->uMin = frame->vMin = 0;
    frame->uMax = static_cast<float>(w) / static_cast<float>(tw);
    frame->vMax = static_cast<float>(h) / static_cast<float>(th);
    return frame;
}

TGLDynamicTextureFrame::~TGLDynamicTextureFrame() {
    if (glDrawState.targetFrame == this) glDrawState.targetFrame = nullptr;
    if (framebuffer_ != 0 && detail::glOpen && framebufferSerial_ == detail::glContextSerial) {
        detail::FlushBatch();
        gl::DeleteFramebuffers(1, &framebuffer_);
    }
}

uint32_t TGLDynamicTextureFrame::Framebuffer() {
    if (!detail::glOpen || !MakeTexture()) return 0;
    if (framebuffer_ != 0 && framebufferSerial_ == detail::glContextSerial) return framebuffer_;
    // Framebuffers are not shared between contexts: each display makes its own.
    framebuffer_ = 0;
    gl::GenFramebuffers(1, &framebuffer_);
    gl::BindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl::FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    const bool complete = gl::CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl::BindFramebuffer(GL_FRAMEBUFFER, 0);
    framebufferSerial_ = detail::glContextSerial;
    if (!complete) {
        gl::DeleteFramebuffers(1, &framebuffer_);
        framebuffer_ = 0;
    }
    return framebuffer_;
}

void TGLDynamicTextureFrame::DrawnInto() {
    premultiplied_ = true;
    pixelsStale_ = true;
    mipmapsStale_ = true;
}

void TGLDynamicTextureFrame::SyncPixels() {
    if (!pixelsStale_ || !detail::glOpen || generation_ != detail::glGeneration) return;
    detail::FlushBatch();
    detail::BindTextureCached(texture);
    gl::PixelStorei(GL_PACK_ROW_LENGTH, pixmap->pitch / 4);
    gl::PixelStorei(GL_PACK_ALIGNMENT, 4);
    gl::GetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixmap->pixels);
    gl::PixelStorei(GL_PACK_ROW_LENGTH, 0);
    // While it is still the target, later draws change it again.
    pixelsStale_ = glDrawState.targetFrame == this;
}

void TGLDynamicTextureFrame::SyncMipmaps() {
    if (!mipmapsStale_ || glDrawState.targetFrame == this) return;
    mipmapsStale_ = false;
    if (!(flags & IMAGE_FILTERED)) return;
    detail::BindTextureCached(texture);
    gl::GenerateMipmap(GL_TEXTURE_2D);
}

Ref<TPixmap> TGLDynamicTextureFrame::Lock(int32_t read, int32_t write) {
    if (detail::glOpen) detail::FlushBatch();  // queued draws show the pixels as they were
    SyncPixels();
    lockRead = read;
    lockWrite = write;
    return window;
}

void TGLDynamicTextureFrame::Unlock() {
    if (detail::glOpen) detail::FlushBatch();
    if (lockWrite != 0 && detail::glOpen) {
        if (generation_ == detail::glGeneration && texture != 0) {
            detail::BindTextureCached(texture);
            UploadTexture(pixmap, flags);
        } else {
            MakeTexture();  // uploads the pixels it makes the texture from
        }
    }
    lockRead = 0;
    lockWrite = 0;
}

bool TGLDynamicTextureFrame::MakeTexture() {
    if (!detail::glOpen) return false;
    if (generation_ == detail::glGeneration && texture != 0) return true;
    // The pixels are kept: a texture can be made in any context.
    texture = CreateTexture(textureWidth_, textureHeight_, flags);
    UploadTexture(pixmap, flags);
    generation_ = detail::glGeneration;
    return texture != 0;
}

Ref<TGLDynamicTextureFrame> TGLDynamicTextureFrame::Create(int32_t width, int32_t height, int32_t flags) {
    int32_t tw = width, th = height;
    FitTextureSize(tw, th);
    if (tw < width || th < height) RaiseRuntimeError("Unable to create texture");
    Ref<TGLDynamicTextureFrame> frame = New<TGLDynamicTextureFrame>();
    frame->pixmap = NewPixmap(tw, th, PIX_RGBA32, 4);
    // Blank (transparent black) until written.
    std::memset(frame->pixmap->pixels, 0, static_cast<size_t>(frame->pixmap->capacity));
    frame->flags = flags;
    frame->textureFlags_ = flags;
    frame->textureWidth_ = tw;
    frame->textureHeight_ = th;
    frame->MakeTexture();  // blank, not undefined, until the first write
    frame->window = frame->pixmap->Window(0, 0, width, height);
    frame->uMax = static_cast<float>(width) / static_cast<float>(tw);
    frame->vMax = static_cast<float>(height) / static_cast<float>(th);
    return frame;
}

Ref<TGLDynamicTextureFrame> TGLDynamicTextureFrame::CreateFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags) {
    Ref<TGLDynamicTextureFrame> frame = Create(pixmap->width, pixmap->height, flags);
    Ref<TPixmap> window = frame->Lock(0, 1);
    window->Paste(pixmap, 0, 0);
    frame->Unlock();
    return frame;
}

}  // namespace korva
