// The GL driver's state and its cached GL state (bound texture, texturing,
// blend mode), shared by the driver, its frames and the GL helpers.
#pragma once

#include <cstdint>

#include "korvagl/pixmap/pixmap.h"

namespace korva::detail {

struct GLDrawState {
    uint8_t drawColor[4] = {0, 0, 0, 0};  // red, green, blue, alpha as sent to GL
    float xx = 0, xy = 0, yx = 0, yy = 0;  // the matrix of the last SetTransform
    int32_t currentBlend = 0;
    uint32_t currentTexture = 0;
    int32_t texturingEnabled = 0;
    int32_t screenWidth = 0, screenHeight = 0;
};

extern GLDrawState glDrawState;

// Forgets the cached GL state: a new context starts with GL's defaults.
void ResetGLStateCaches();

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

}  // namespace korva::detail

#include "graphics/gl_calls.h"

namespace korva::detail {

// The cached state changes; callers have checked that a context is open.
inline void BindTextureCached(uint32_t name) {
    if (name != glDrawState.currentTexture) {
        gl::BindTexture(GL_TEXTURE_2D, name);
        glDrawState.currentTexture = name;
    }
}

inline void EnableTextureCached(uint32_t name) {
    BindTextureCached(name);
    if (glDrawState.texturingEnabled == 0) {
        gl::Enable(GL_TEXTURE_2D);
        glDrawState.texturingEnabled = 1;
    }
}

inline void DisableTextureCached() {
    if (glDrawState.texturingEnabled == 1) {
        gl::Disable(GL_TEXTURE_2D);
        glDrawState.texturingEnabled = 0;
    }
}

}  // namespace korva::detail
