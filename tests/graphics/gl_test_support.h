// Shared pieces of the graphics tests: a real GL display (SDL's offscreen
// video with Mesa, or a private Xvfb), pixel reads and GL call counts.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "graphics/gl_calls.h"
#include "korvagl/korvagl.h"
#include "support/xvfb.h"

namespace korva::test {

// Pixel tests need no input and no display modes: SDL's offscreen video
// gives a real Mesa context without an X server.
inline void UseOffscreenVideo() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    InitGLDrawDriver();
}

// Display-mode and full-screen tests: a private 800x600x24 X server (or,
// with KORVAGL_TEST_OFFSCREEN=1, SDL's offscreen display).
inline void UseXvfbVideo() {
    std::string error;
    ASSERT_FALSE(UsePrivateDisplay(&error).empty()) << error;
    if (!OffscreenTests()) setenv("SDL_VIDEODRIVER", "x11", 1);
    InitGLDrawDriver();
}

struct Rgb {
    int r, g, b;
};

inline Rgb PixelAt(int32_t x, int32_t y) {
    Ref<TPixmap> p = ReadScreenPixmap(x, y, 1, 1);
    const ARGB c = p->ReadPixel(0, 0);
    return {static_cast<int>((c >> 16) & 255), static_cast<int>((c >> 8) & 255), static_cast<int>(c & 255)};
}

inline ::testing::AssertionResult Near(const Rgb& got, int r, int g, int b, int tolerance = 2) {
    if (std::abs(got.r - r) <= tolerance && std::abs(got.g - g) <= tolerance && std::abs(got.b - b) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "got (" << got.r << ", " << got.g << ", " << got.b << "), want (" << r
                                         << ", " << g << ", " << b << ")";
}

// The largest difference of one channel (alpha too) between two pixels.
inline int ChannelDifference(ARGB a, ARGB b) {
    int most = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int d = std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255));
        most = d > most ? d : most;
    }
    return most;
}

inline uint32_t GLCalls(detail::gl::Fn fn) { return detail::gl::callCounts[fn]; }

}  // namespace korva::test
