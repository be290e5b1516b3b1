// Images and fonts across display changes, on a private X server: every kind
// of frame draws the same pixels after any later OpenGraphics, and textures
// let go of while no display is open are deleted when the next one opens.
#include <gtest/gtest.h>

#include <epoxy/gl.h>
#include <SDL.h>

#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "tests/graphics/gl_test_support.h"

namespace korva {
namespace {

namespace gl = detail::gl;

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A colour ramp with a black (mask-coloured) border.
Ref<TPixmap> Picture(int32_t width, int32_t height) {
    Ref<TPixmap> p = NewPixmap(width, height, PIX_RGB24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool border = x < 2 || y < 2 || x >= width - 2 || y >= height - 2;
            p->WritePixel(x, y, border ? 0xFF000000u : 0xFF000000u | uint32_t(x * 5) << 16 | uint32_t(y * 7) << 8 | 90u);
        }
    }
    return p;
}

uint32_t TextureOf(const Ref<TImage>& image, int32_t frame = 0) {
    return dynamic_cast<TGLTextureFrame&>(image->Frame(frame)).texture;
}

// One of every kind of frame and font.
struct Drawables {
    Ref<TImage> masked, filtered, strip, dynamic, target;
    Ref<TImageFont> font, builtIn;
};

Drawables MakeDrawables() {
    Drawables d;
    SetMaskColor(0, 0, 0);
    d.masked = LoadImageFile(Picture(40, 30), IMAGE_MASKED);
    d.filtered = LoadImageFile(Picture(50, 50), IMAGE_FILTERED);
    d.strip = LoadAnimImageFile(Picture(64, 16), 16, 16, 0, 4, 0);
    d.dynamic = NewImage(20, 20, 1, 0);
    Ref<TPixmap> pixels = LockImagePixels(d.dynamic, 0, 0, 1);
    for (int i = 0; i < 400; ++i) pixels->WritePixel(i % 20, i / 20, 0xFF000000u | uint32_t(i * 97) << 4);
    UnlockImagePixels(d.dynamic, 0);
    d.target = NewImage(40, 20, 1, 0);  // a render target, drawn into once
    SetDrawTarget(d.target);
    SetBlendMode(2);
    SetDrawColor(200, 100, 50);
    DrawOval(2, 2, 36, 16);
    SetDrawTarget(nullptr);
    d.font = OpenImageFont(kDejaVu, 16);
    d.builtIn = GetDrawFont();
    return d;
}

// All of them drawn (turned and scaled too) and read back.
Ref<TPixmap> Scene(const Drawables& d) {
    SetClearColor(20, 40, 60);
    ClearScreen();
    SetBlendMode(3);
    SetDrawColor(255, 255, 255);
    DrawImageAt(d.masked, 10, 10, 0);
    SetDrawTransform(30, 1.5f, 0.75f);
    DrawImageAt(d.filtered, 120, 40, 0);
    SetDrawTransform(0, 1, 1);
    for (int32_t i = 0; i < 4; ++i) DrawImageAt(d.strip, 10 + i * 20, 80, i);
    DrawImageAt(d.dynamic, 200, 10, 0);
    DrawImageAt(d.target, 230, 40, 0);
    SetDrawColor(255, 200, 100);
    SetDrawFont(d.font);
    DrawText("KorvaGL", 10, 120);
    SetDrawFont(d.builtIn);
    DrawText("Font", 10, 150);
    DrawDebugText("debug", 150, 150);
    return ReadScreenPixmap(0, 0, 300, 200);
}

class DisplayChangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseXvfbVideo();
        InitFreeTypeFonts();
        OpenGraphics(320, 240, 0, 0);
        made_ = MakeDrawables();
        ASSERT_TRUE(made_.font) << "fonts-dejavu-core is needed: " << kDejaVu;
    }
    void TearDown() override { CloseGraphics(); }

    // The frames made before the change draw `want`: the first picture when
    // the display has its first size, else what frames made in this display
    // draw (a window of another size may round turned texture coordinates
    // differently). The screen reads and captures the new display, and its
    // fresh state caches apply a blend mode once.
    void ExpectSameScene(Ref<TPixmap> want, const char* change) {
        SCOPED_TRACE(change);
        if (!want) want = Scene(MakeDrawables());
        const Ref<TPixmap> got = Scene(made_);
        for (int y = 0; y < want->height; ++y) {
            for (int x = 0; x < want->width; ++x) {
                ASSERT_EQ(got->ReadPixel(x, y), want->ReadPixel(x, y)) << "at " << x << "," << y;
            }
        }
        Ref<TImage> grab = NewImage(300, 200, 1, 0);
        CaptureImage(grab, 0, 0, 0);
        EXPECT_EQ(grab->pixmaps[0]->ReadPixel(150, 100), want->ReadPixel(150, 100));
        SetBlendMode(1);
        gl::ResetCallCounts();
        SetBlendMode(2);
        EXPECT_GT(gl::TotalCalls(), 0u);
        const uint64_t calls = gl::TotalCalls();
        SetBlendMode(2);
        EXPECT_EQ(gl::TotalCalls(), calls);
    }

    Drawables made_;
};

TEST_F(DisplayChangeTest, ImagesAndFontsDrawTheSameAfterEveryDisplayChange) {
    const Ref<TPixmap> first = Scene(made_);
    int32_t drawn = 0;
    for (int y = 0; y < first->height; ++y)
        for (int x = 0; x < first->width; ++x) drawn += (first->ReadPixel(x, y) & 0xFFFFFFu) != 0x14283Cu;
    ASSERT_GT(drawn, 4000);

    OpenGraphics(640, 480, 0, 0);
    ExpectSameScene(nullptr, "another window size");
    CloseGraphics();
    OpenGraphics(320, 240, 0, 0);
    ExpectSameScene(first, "closed, then opened again");
    OpenGraphics(800, 600, 24, 0);
    EXPECT_TRUE(SDL_GetWindowFlags(SDL_GL_GetCurrentWindow()) & SDL_WINDOW_FULLSCREEN);
    ExpectSameScene(nullptr, "full screen");
    OpenGraphics(320, 240, 0, 0);
    ExpectSameScene(first, "back to a window");
}

TEST_F(DisplayChangeTest, TexturesLetGoWhileClosedAreDeletedAtTheNextOpen) {
    const uint32_t kept = TextureOf(made_.masked);
    const uint32_t dropped = TextureOf(made_.filtered);
    const uint32_t glyph = TextureOf(made_.font->Glyph('A' - 32)->Image());
    const uint32_t defaultGlyph = TextureOf(made_.builtIn->Glyph('A' - 32)->Image());
    ASSERT_TRUE(glIsTexture(kept) && glIsTexture(dropped) && glIsTexture(glyph) && glIsTexture(defaultGlyph));
    CloseGraphics();
    gl::ResetCallCounts();
    made_.filtered = nullptr;
    made_.font = nullptr;
    made_.builtIn = nullptr;  // the closed display's default font goes with it
    EXPECT_EQ(gl::TotalCalls(), 0u);  // nothing is called without a display

    OpenGraphics(320, 240, 0, 0);
    EXPECT_TRUE(glIsTexture(kept));
    EXPECT_FALSE(glIsTexture(dropped));
    EXPECT_FALSE(glIsTexture(glyph));
    EXPECT_FALSE(glIsTexture(defaultGlyph));
    // Let go of while open: deleted at once.
    made_.masked = nullptr;
    EXPECT_FALSE(glIsTexture(kept));
}

}  // namespace
}  // namespace korva
