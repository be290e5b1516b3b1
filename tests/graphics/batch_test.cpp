// The batched drawing path: a long random scene draws exactly the pixels of
// immediate mode (KORVAGL_UNBATCHED), and draws sharing one state become one
// GL draw call.
#include <gtest/gtest.h>

#include <GL/gl.h>

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
std::vector<Ref<TPixmap>> RandomScene(uint32_t seed, bool batched) {
    UseBatching(batched);
    OpenGraphics(400, 300, 0, 0);
    SetMaskColor(0, 0, 0);
    std::vector<Ref<TImage>> images = {
        LoadImageFile(Picture(40, 30, 1), 0),
        LoadImageFile(Picture(33, 17, 2), IMAGE_FILTERED),
        LoadImageFile(Picture(16, 16, 3)->Convert(PIX_RGB24), IMAGE_MASKED | IMAGE_FILTERED),
        LoadAnimImageFile(Picture(48, 16, 4), 16, 16, 0, 3, IMAGE_MASKED),
        NewImage(24, 24, 2, 0),
    };
    Ref<TImage> dynamic = images.back();
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
        switch (below(24)) {
            case 0: SetBlendMode(below(7)); break;
            case 1: SetDrawColor(below(256), below(256), below(256)); break;
            case 2: SetDrawAlpha(real(-0.1f, 1.2f)); break;
            case 3: SetDrawTransform(real(-360, 360), real(-2, 2), real(-2, 2)); break;
            case 4: SetDrawTransform(0, 1, 1); break;
            case 5: case 6: case 7: case 8: {
                Ref<TImage>& image = images[static_cast<size_t>(below(5))];
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
            default:
                if (below(10) == 0) ClearScreen();
                if (below(10) == 0) SetClearColor(below(256), below(256), below(256));
                break;
        }
    }
    SetViewport(0, 0, 400, 300);
    reads.push_back(ReadScreenPixmap(0, 0, 400, 300));
    CloseGraphics();
    unsetenv("KORVAGL_UNBATCHED");
    return reads;
}

TEST(BatchTest, BatchedAndImmediateDrawTheSamePixels) {
    test::UseOffscreenVideo();
    for (uint32_t seed : {1u, 2u}) {
        const auto immediate = RandomScene(seed, false);
        const auto batched = RandomScene(seed, true);
        ASSERT_EQ(immediate.size(), batched.size());
        ASSERT_GT(immediate.size(), 20u);
        std::set<ARGB> colours;  // the scene is no flat fill
        const TPixmap& screen = *batched.back();
        for (int i = 0; i < screen.width * screen.height; ++i) colours.insert(screen.ReadPixel(i % screen.width, i / screen.width));
        EXPECT_GT(colours.size(), 500u);
        for (size_t n = 0; n < immediate.size(); ++n) {
            const TPixmap& a = *immediate[n];
            const TPixmap& b = *batched[n];
            ASSERT_EQ(a.width, b.width);
            for (int y = 0; y < a.height; ++y) {
                for (int x = 0; x < a.width; ++x) {
                    ASSERT_EQ(a.ReadPixel(x, y), b.ReadPixel(x, y))
                        << "seed " << seed << ", read " << n << ", at " << x << "," << y;
                }
            }
        }
    }
}

TEST(BatchTest, DrawsSharingOneStateAreOneDrawCall) {
    test::UseOffscreenVideo();
    OpenGraphics(200, 100, 0, 0);
    Ref<TImage> a = LoadImageFile(Picture(8, 8, 1), 0);
    Ref<TImage> b = LoadImageFile(Picture(8, 8, 2), 0);
    SetBlendMode(3);
    gl::ResetCallCounts();
    for (int i = 0; i < 1000; ++i) {
        SetDrawColor(i, 255 - i, 7);  // colours travel with the vertices
        SetDrawAlpha(0.5f);
        SetDrawTransform(static_cast<float>(i), 1, 1);
        DrawImageAt(a, static_cast<float>(i % 200), 50, 0);
    }
    EXPECT_EQ(GLCalls(gl::kDrawArrays), 0u);  // nothing has needed the pixels yet
    EXPECT_EQ(GLCalls(gl::kColor4ub) + GLCalls(gl::kBegin) + GLCalls(gl::kVertex2f), 0u);
    FlipFrame();
    EXPECT_EQ(GLCalls(gl::kDrawArrays), 1u);

    // Each change of texture, texturing or primitive kind draws the queue.
    gl::ResetCallCounts();
    for (int i = 0; i < 10; ++i) {
        DrawImageAt(i % 2 ? a : b, 0, 0, 0);
        DrawImageAt(i % 2 ? a : b, 9, 0, 0);
    }
    DrawRect(0, 0, 1, 1);
    DrawRect(2, 0, 1, 1);
    PlotPoint(5, 5);
    DrawLine(0, 0, 5, 5, 0);
    EXPECT_EQ(GLCalls(gl::kBindTexture), 10u);
    EXPECT_EQ(GLCalls(gl::kDrawArrays), 12u);
    ReadScreenPixmap(0, 0, 1, 1);
    EXPECT_EQ(GLCalls(gl::kDrawArrays), 13u);

    // Immediate mode: every sprite is a glBegin / glEnd of its own.
    UseBatching(false);
    OpenGraphics(200, 100, 0, 0);
    unsetenv("KORVAGL_UNBATCHED");
    gl::ResetCallCounts();
    for (int i = 0; i < 100; ++i) DrawImageAt(a, 0, 0, 0);
    FlipFrame();
    EXPECT_EQ(GLCalls(gl::kBegin), 100u);
    EXPECT_EQ(GLCalls(gl::kDrawArrays), 0u);
    CloseGraphics();
}

}  // namespace
}  // namespace korva
