// The drawing paths: a long random scene draws exactly the pixels of
// immediate mode (KORVAGL_UNBATCHED) when batched by the GL 1.1 driver, and
// the same pixels within 1 per channel on the GL 3.3 driver; draws sharing
// one state become one GL draw call on both.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "tests/graphics/gl_test_support.h"

namespace korva {
namespace {

using test::GLCalls;
namespace gl = detail::gl;

void UseBatching(bool batched) {
    if (batched) {
        unsetenv("KORVAGL_UNBATCHED");
    } else {
        setenv("KORVAGL_UNBATCHED", "1", 1);
    }
}

// A picture with alpha, a black (mask-coloured) frame and a ramp.
Ref<TPixmap> Picture(int32_t width, int32_t height, uint32_t seed) {
    Ref<TPixmap> p = NewPixmap(width, height, PIX_RGBA32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t alpha = (x + y + seed) % 5 == 0 ? 0x40u : 0xFFu;
            const bool edge = x == 0 || y == 0;
            p->WritePixel(x, y, edge ? 0xFF000000u : alpha << 24 | (x * 7 + seed) % 256 << 16 | (y * 11) % 256 << 8 | seed * 40 % 256);
        }
    }
    return p;
}

// A long scene of every kind of drawing, state change and read-back, made
// from `seed`; returns every read-back and the final screen.
std::vector<Ref<TPixmap>> RandomScene(uint32_t seed, int32_t driver, bool batched) {
    UseBatching(batched);
    EXPECT_EQ(ChooseGLDriver(driver), 1);
    OpenGraphics(400, 300, 0, 0);
    EXPECT_EQ(CurrentGLDriver(), driver);
    SetMaskColor(0, 0, 0);
    std::vector<Ref<TImage>> images = {
        LoadImageFile(Picture(40, 30, 1), 0),
        LoadImageFile(Picture(33, 17, 2), IMAGE_FILTERED),
        LoadImageFile(Picture(16, 16, 3)->Convert(PIX_RGB24), IMAGE_MASKED | IMAGE_FILTERED),
        LoadAnimImageFile(Picture(48, 16, 4), 16, 16, 0, 3, IMAGE_MASKED),
        NewImage(24, 24, 2, 0),
        NewImage(64, 48, 1, static_cast<int32_t>(seed % 2) * IMAGE_FILTERED),
    };
    Ref<TImage> target = images.back();
    Ref<TImage> dynamic = images[4];
    Ref<TImageFont> font = GetDrawFont();
    std::mt19937 random(seed);
    auto below = [&](uint32_t n) { return static_cast<int32_t>(random() % n); };
    auto real = [&](float low, float high) {
        return low + (high - low) * static_cast<float>(random() % 10000) / 10000.0f;
    };
    std::vector<Ref<TPixmap>> reads;
    SetClearColor(30, 60, 90);
    ClearScreen();
    for (int step = 0; step < 4000; ++step) {
        switch (below(25)) {
            case 0: SetBlendMode(below(7)); break;
            case 1: SetDrawColor(below(256), below(256), below(256)); break;
            case 2: SetDrawAlpha(real(-0.1f, 1.2f)); break;
            case 3: SetDrawTransform(real(-360, 360), real(-2, 2), real(-2, 2)); break;
            case 4: SetDrawTransform(0, 1, 1); break;
            case 5: case 6: case 7: case 8: {
                Ref<TImage>& image = images[static_cast<size_t>(below(6))];
                DrawImageAt(image, real(-20, 420), real(-20, 320), below(static_cast<uint32_t>(image->frames.size())));
                break;
            }
            case 9: DrawImageStretched(images[static_cast<size_t>(below(3))], real(0, 400), real(0, 300), real(-50, 90), real(-50, 90), 0); break;
            case 10: if (below(8) == 0) TileImageAt(images[static_cast<size_t>(below(3))], real(-50, 50), real(-50, 50), 0); break;
            case 11: PlotPoint(real(0, 400), real(0, 300)); break;
            case 12: DrawLine(real(0, 400), real(0, 300), real(0, 400), real(0, 300), below(2)); break;
            case 13: DrawRect(real(0, 400), real(0, 300), real(-40, 60), real(-40, 60)); break;
            case 14: DrawOval(real(0, 400), real(0, 300), real(-60, 90), real(-60, 90)); break;
            case 15: DrawPoly({real(0, 400), real(0, 300), real(0, 400), real(0, 300), real(0, 400), real(0, 300), real(0, 400), real(0, 300)}); break;
            case 16: DrawText(below(2) ? "Batched" : "glyphs 0123", real(0, 380), real(0, 290)); break;
            case 17: if (below(4) == 0) DrawDebugText("debug", below(380), below(290)); break;
            case 18:
                if (below(3) == 0) {
                    SetViewport(0, 0, 400, 300);
                } else {
                    SetViewport(below(200), below(150), below(250), below(200));
                }
                break;
            case 19: reads.push_back(ReadScreenPixmap(below(200), below(150), 1 + below(200), 1 + below(150))); break;
            case 20: {
                Ref<TPixmap> pixels = LockImagePixels(dynamic, below(2), 1, below(2));
                for (int i = 0; i < 40; ++i) pixels->WritePixel(below(24), below(24), static_cast<ARGB>(random()));
                UnlockImagePixels(dynamic, 0);
                UnlockImagePixels(dynamic, 1);
                break;
            }
            case 21:
                if (below(2) == 0) {
                    CaptureImage(dynamic, below(380), below(280), below(2));
                } else {
                    BlitPixmap(Picture(12, 9, static_cast<uint32_t>(step)), below(400) - 6, below(300) - 4);
                }
                break;
            case 22:
                SetDrawOrigin(real(-10, 10), real(-10, 10));
                SetDrawHandle(real(-8, 8), real(-8, 8));
                SetLineWidth(real(1, 3));
                break;
            case 23:
                // Into the target and out again; drawing it into itself is refused.
                if (!GetDrawTarget()) {
                    SetDrawTarget(target, 0);
                } else if (below(3) == 0) {
                    SetDrawTarget(nullptr);
                }
                break;
            default:
                if (below(10) == 0) ClearScreen();
                if (below(10) == 0) SetClearColor(below(256), below(256), below(256));
                break;
        }
    }
    SetDrawTarget(nullptr);
    SetViewport(0, 0, 400, 300);
    reads.push_back(ReadScreenPixmap(0, 0, 400, 300));
    reads.push_back(LockImagePixels(target, 0, 1, 0)->Copy());
    UnlockImagePixels(target, 0);
    CloseGraphics();
    ChooseGLDriver(GL_DRIVER_AUTO);
    unsetenv("KORVAGL_UNBATCHED");
    return reads;
}

// The largest difference of one channel between two pixels.
int ChannelDifference(ARGB a, ARGB b) {
    int most = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        most = std::max(most, std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)));
    }
    return most;
}

void ExpectSameReads(const std::vector<Ref<TPixmap>>& want, const std::vector<Ref<TPixmap>>& got, int tolerance,
                     const char* what) {
    ASSERT_EQ(want.size(), got.size()) << what;
    for (size_t n = 0; n < want.size(); ++n) {
        const TPixmap& a = *want[n];
        const TPixmap& b = *got[n];
        ASSERT_EQ(a.width, b.width);
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) {
                ASSERT_LE(ChannelDifference(a.ReadPixel(x, y), b.ReadPixel(x, y)), tolerance)
                    << what << ", read " << n << ", at " << x << "," << y;
            }
        }
    }
}

TEST(BatchTest, EveryDriverAndPathDrawsTheSamePixels) {
    test::UseOffscreenVideo();
    for (uint32_t seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        const auto immediate = RandomScene(seed, GL_DRIVER_11, false);
        const auto batched = RandomScene(seed, GL_DRIVER_11, true);
        const auto core = RandomScene(seed, GL_DRIVER_33, true);
        ASSERT_GT(immediate.size(), 20u);
        std::set<ARGB> colours;  // the scene is no flat fill
        const TPixmap& screen = *batched[batched.size() - 2];
        for (int i = 0; i < screen.width * screen.height; ++i) colours.insert(screen.ReadPixel(i % screen.width, i / screen.width));
        EXPECT_GT(colours.size(), 500u);
        ExpectSameReads(immediate, batched, 0, "GL 1.1 batched");
        ExpectSameReads(batched, core, 1, "GL 3.3");
    }
}

// Counted by the draw statistics, on whichever driver runs.
TEST(BatchTest, DrawsSharingOneStateAreOneDrawCall) {
    test::UseOffscreenVideo();
    OpenGraphics(200, 100, 0, 0);
    Ref<TImage> a = LoadImageFile(Picture(8, 8, 1), 0);
    Ref<TImage> b = LoadImageFile(Picture(8, 8, 2), 0);
    SetBlendMode(3);
    int32_t draws = -1, textures = -1, shaders = -1, flushes = -1;
    auto stats = [&] { GetDrawStats(draws, textures, shaders, flushes); };
    FlipFrame();
    gl::ResetCallCounts();
    for (int i = 0; i < 1000; ++i) {
        SetDrawColor(i, 255 - i, 7);  // colours travel with the vertices
        SetDrawAlpha(0.5f);
        SetDrawTransform(static_cast<float>(i), 1, 1);
        DrawImageAt(a, static_cast<float>(i % 200), 50, 0);
    }
    // Nothing has needed the pixels yet: no draw, and no call per colour.
    EXPECT_EQ(GLCalls(gl::kDrawArrays) + GLCalls(gl::kDrawElements), 0u);
    EXPECT_EQ(GLCalls(gl::kColor4ub) + GLCalls(gl::kBegin) + GLCalls(gl::kBufferData), 0u);
    FlipFrame();
    stats();
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(textures, 1);
    EXPECT_EQ(flushes, 0);  // the frame's end is no break

    // Each change of texture, texturing or primitive kind draws the queue.
    for (int i = 0; i < 10; ++i) {
        DrawImageAt(i % 2 ? a : b, 0, 0, 0);
        DrawImageAt(i % 2 ? a : b, 9, 0, 0);
    }
    DrawRect(0, 0, 1, 1);
    DrawRect(2, 0, 1, 1);
    PlotPoint(5, 5);
    DrawLine(0, 0, 5, 5, 0);
    ReadScreenPixmap(0, 0, 1, 1);
    FlipFrame();
    stats();
    EXPECT_EQ(draws, 13);
    EXPECT_EQ(flushes, 13);
    EXPECT_EQ(textures, CurrentGLDriver() == GL_DRIVER_33 ? 11 : 10);  // 3.3: a white texel for the rectangles
    EXPECT_EQ(shaders, 0);
    SetBlendMode(1);  // the masked mode's program on 3.3
    DrawImageAt(a, 0, 0, 0);
    SetBlendMode(3);
    DrawImageAt(a, 0, 0, 0);
    FlipFrame();
    stats();
    EXPECT_EQ(shaders, CurrentGLDriver() == GL_DRIVER_33 ? 2 : 0);

    if (CurrentGLDriver() == GL_DRIVER_11) {
        // Immediate mode: every sprite is a glBegin / glEnd of its own.
        UseBatching(false);
        OpenGraphics(200, 100, 0, 0);
        unsetenv("KORVAGL_UNBATCHED");
        gl::ResetCallCounts();
        for (int i = 0; i < 100; ++i) DrawImageAt(a, 0, 0, 0);
        FlipFrame();
        EXPECT_EQ(GLCalls(gl::kBegin), 100u);
        EXPECT_EQ(GLCalls(gl::kDrawArrays), 0u);
        stats();
        EXPECT_EQ(draws, 100);
    }
    CloseGraphics();
}

}  // namespace
}  // namespace korva
