// The GL driver's state and its cached GL state (bound texture, texturing,
// blend mode), shared by the driver, its frames and the GL helpers; the
// vertex batch that draws run into.
#pragma once

#include <cstdint>
#include <cstring>

#include "graphics/gl_native.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {
class TImageFrame;
}

namespace korva::detail {

// What drawing cost GL, counted as it happens; Flip makes it the last frame's.
struct GLDrawStats {
    int32_t drawCalls = 0;        // GL draw calls of any kind
    int32_t textureSwitches = 0;  // texture binds that changed the bound texture
    int32_t shaderSwitches = 0;   // program changes (GL 3.3 driver)
    int32_t flushes = 0;          // queued draws drawn early: the state changed or the pixels were needed
};

struct GLDrawState {
    uint8_t drawColor[4] = {0, 0, 0, 0};  // red, green, blue, alpha as sent to GL
    float xx = 0, xy = 0, yx = 0, yy = 0;  // the matrix of the last SetTransform
    int32_t currentBlend = 0;
    uint32_t currentTexture = 0;
    int32_t texturingEnabled = 0;
    int32_t screenWidth = 0, screenHeight = 0;
    // The surface drawn into: the display, or a render target (whose rows
    // run top first in GL's own coordinates, so no y flip applies).
    int32_t surfaceWidth = 0, surfaceHeight = 0;
    bool inTarget = false;
    // The frame being drawn holds premultiplied colour (a render target).
    bool premultipliedSource = false;
    TImageFrame* targetFrame = nullptr;  // the render target drawn into, or none
    // GL 3.3: the texture that stands for "texturing off" (one white texel).
    uint32_t whiteTexture = 0;
    GLDrawStats counting, lastFrame;
};

extern GLDrawState glDrawState;

// Forgets the cached GL state: a new context starts with GL's defaults.
void ResetGLStateCaches();
// Sets GL's blending for currentBlend, the surface (a render target keeps
// premultiplied colour and composes its alpha) and the source's kind.
void ApplyBlend();
// The next draws' texels are (or are not) premultiplied; re-applies blending.
void SetPremultipliedSource(bool premultiplied);

// The pixmap as PIX_RGBA32 rows whose length GL can be told in pixels: the
// pixmap itself when it is that already, else a converted copy.
inline Ref<TPixmap> RGBARows(const Ref<TPixmap>& pixmap) {
    if (pixmap->format == PIX_RGBA32 && pixmap->pitch % 4 == 0) return pixmap;
    return pixmap->Convert(PIX_RGBA32);
}

// Calls level(n, width, height) for level 0 of a width x height texture and,
// when mipmapped, for every smaller level: each side halves until it is 1,
// down to 1 x 1.
template <typename Level>
void ForEachMipLevel(int32_t width, int32_t height, bool mipmapped, Level&& level) {
    for (int32_t n = 0;; ++n) {
        level(n, width, height);
        if (!mipmapped || (width <= 1 && height <= 1)) return;
        if (width > 1) width /= 2;
        if (height > 1) height /= 2;
    }
}

// Makes CurrentDrawDriver() the driver of the open context's kind (GL 3.3
// core or 1.1), once a display has opened (gl33_draw_driver.cpp).
void UseDriverOfContext();
// Makes both GL drivers and the chosen one current (InitGLDrawDriver).
void InstallGLDrivers();

// Deletes a texture of GL object set `generation` (see glNative's
// glGeneration): at once while a display of that set is open, else when
// the next one opens; never when the set is out of reach.
void DeleteTexture(uint32_t name, uint32_t generation);
// Deletes the textures that waited for a display (called once one is open).
void DeletePendingTextures();

}  // namespace korva::detail

#include "graphics/gl_calls.h"

namespace korva::detail {

// One vertex as the client arrays read it.
struct BatchVertex {
    GLfloat x, y;
    GLfloat u, v;
    GLubyte color[4];
};

// Draws queue their vertices here while they share one GL state (texture,
// texturing, blend, scissor, line width, primitive kind); anything that
// changes that state, reads the screen, changes a texture or presents a
// frame draws the queue first with one glDrawArrays. Colours travel with
// each vertex, so colour changes need no GL call.
struct GLBatch {
    static constexpr int32_t kCapacity = 4096;  // vertices: 1024 quads
    bool enabled = true;   // false: every draw goes to GL on its own, in immediate mode
    GLenum mode = GL_QUADS;
    int32_t count = 0;
    bool colorSent = false;    // the GL's current colour is drawColor
    uint64_t drawnVertices = 0;  // every vertex drawn, batched or not (tests read it)
    BatchVertex vertices[kCapacity];
};

extern GLBatch glBatch;

// Chooses batched or immediate drawing for a new display (the environment
// variable KORVAGL_UNBATCHED, when set to anything but "0", asks for
// immediate mode) and points the client arrays at the batch.
void StartBatching();
// Draws the queued vertices.
void FlushBatchNow();
// GL 3.3: draws n vertices of `mode` (the batch's primitive kinds) from
// memory through the stream buffer (gl33_pipeline.cpp).
void DrawCoreVertices(GLenum mode, const BatchVertex* vertices, int32_t n);

// Draws the queue because its state is about to change or its pixels are needed.
inline void FlushBatch() {
    if (glBatch.count != 0) {
        ++glDrawState.counting.flushes;
        FlushBatchNow();
    }
}

// Room for n vertices of one primitive kind in the batch (n at most
// kCapacity); the caller fills them.
inline BatchVertex* ReserveVertices(GLenum mode, int32_t n) {
    if (glBatch.mode != mode) {
        FlushBatch();
        glBatch.mode = mode;
    } else if (glBatch.count + n > GLBatch::kCapacity) {
        FlushBatchNow();  // full: not a break of the batch
    }
    BatchVertex* v = glBatch.vertices + glBatch.count;
    glBatch.count += n;
    return v;
}

inline void PutVertex(BatchVertex& v, float x, float y, float u, float t) {
    v.x = x;
    v.y = y;
    v.u = u;
    v.v = t;
    std::memcpy(v.color, glDrawState.drawColor, 4);
}

// Makes the GL's current colour drawColor (immediate-mode drawing and the
// raster colour of bitmaps use it).
inline void SendColor() {
    const uint8_t* c = glDrawState.drawColor;
    gl::Color4ub(c[0], c[1], c[2], c[3]);
    glBatch.colorSent = true;
}

inline void SendColorIfNeeded() {
    if (!glBatch.colorSent) SendColor();
}

// The cached state changes; callers have checked that a context is open.
// Queued draws are drawn before the state they were queued under changes.
inline void BindTextureCached(uint32_t name) {
    if (name != glDrawState.currentTexture) {
        FlushBatch();
        gl::BindTexture(GL_TEXTURE_2D, name);
        glDrawState.currentTexture = name;
        ++glDrawState.counting.textureSwitches;
    }
}

// The GL 3.3 pipeline has no switch for texturing: untextured draws sample
// a white texel instead, which leaves their colour as it is.
inline void EnableTextureCached(uint32_t name) {
    BindTextureCached(name);
    if (glCore) return;
    if (glDrawState.texturingEnabled == 0) {
        FlushBatch();
        gl::Enable(GL_TEXTURE_2D);
        glDrawState.texturingEnabled = 1;
    }
}

// Untextured draws (and bitmaps) are never premultiplied.
inline void DisableTextureCached() {
    if (glDrawState.premultipliedSource) SetPremultipliedSource(false);
    if (glCore) {
        BindTextureCached(glDrawState.whiteTexture);
        return;
    }
    if (glDrawState.texturingEnabled == 1) {
        FlushBatch();
        gl::Disable(GL_TEXTURE_2D);
        glDrawState.texturingEnabled = 0;
    }
}

}  // namespace korva::detail
