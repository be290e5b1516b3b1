// The GL driver on a real Mesa context: blend modes, colour and alpha, the
// viewport scissor, primitives and their half-pixel rules, pixmaps, the
// state caches. Pixels are read back from the frame buffer.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "tests/graphics/gl_test_support.h"

namespace korva {
namespace {

using test::GLCalls;
using test::Near;
using test::PixelAt;
namespace gl = detail::gl;

class GLDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseOffscreenVideo();
        OpenGraphics(800, 600, 0, 0);
        SetClearColor(100, 50, 200);
        ClearScreen();
    }
    void TearDown() override { CloseGraphics(); }

    TGLDrawDriver& Driver() { return static_cast<TGLDrawDriver&>(*CurrentDrawDriver()); }

    // A 20x20 square at (10, 10) in the given colour and alpha.
    void Square(int r, int g, int b, float alpha) {
        SetDrawColor(r, g, b);
        SetDrawAlpha(alpha);
        DrawRect(10, 10, 20, 20);
    }
};

TEST_F(GLDriverTest, OpeningSetsTheDefaults) {
    SetDrawColor(1, 2, 3);
    SetDrawAlpha(0.25f);
    SetBlendMode(4);
    SetMaskColor(9, 9, 9);
    SetDrawOrigin(5, 6);
    SetDrawHandle(7, 8);
    SetViewport(1, 1, 10, 10);
    SetDrawTransform(30, 2, 3);
    SetAutoMidHandle(1);
    SetAutoImageFlags(1);
    OpenGraphics(640, 480, 0, 0);
    int32_t r, g, b, x, y, w, h;
    float fx, fy;
    GetDrawColor(r, g, b);
    EXPECT_EQ(r + g + b, 765);
    EXPECT_EQ(GetDrawAlpha(), 1.0f);
    EXPECT_EQ(GetBlendMode(), 1);
    GetMaskColor(r, g, b);
    EXPECT_EQ(r + g + b, 0);
    GetDrawOrigin(fx, fy);
    EXPECT_EQ(fx + fy, 0.0f);
    GetDrawHandle(fx, fy);
    EXPECT_EQ(fx + fy, 0.0f);
    GetViewport(x, y, w, h);
    EXPECT_EQ(x + y, 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_EQ(GetDrawRotation(), 0.0f);
    GetDrawScale(fx, fy);
    EXPECT_EQ(fx, 1.0f);
    EXPECT_EQ(fy, 1.0f);
    EXPECT_EQ(detail::glDrawState.xx, 1.0f);
    EXPECT_EQ(detail::glDrawState.xy, 0.0f);
    EXPECT_EQ(detail::glDrawState.yy, 1.0f);
    // The driver got the same state: white, opaque, masked blending.
    const uint8_t* color = detail::glDrawState.drawColor;
    EXPECT_EQ(color[0] + color[1] + color[2] + color[3], 4 * 255);
    EXPECT_EQ(detail::glDrawState.currentBlend, 1);
    if (CurrentGLDriver() == GL_DRIVER_11) EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));  // 3.3: the shader discards
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    int32_t depth, hertz;
    DisplaySettings(w, h, depth, hertz);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(depth + hertz, 0);
    // The projection puts (0, 0) at the top-left pixel corner.
    SetClearColor(0, 0, 0);
    ClearScreen();
    DrawRect(0, 0, 1, 1);
    EXPECT_TRUE(Near(PixelAt(0, 0), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(1, 1), 0, 0, 0, 0));
    // Depth 0 is never checked against the mode list, even with no modes at all.
    EXPECT_EQ(ModeCount(), 0);
}

TEST_F(GLDriverTest, EveryBlendModeOnKnownColours) {
    SetBlendMode(2);  // solid: alpha ignored
    Square(255, 0, 0, 0.5f);
    EXPECT_TRUE(Near(PixelAt(15, 15), 255, 0, 0, 0));

    ClearScreen();
    SetBlendMode(3);  // alpha: 127/255 of the source
    Square(255, 0, 0, 0.5f);
    EXPECT_TRUE(Near(PixelAt(15, 15), 177, 25, 100));

    ClearScreen();
    SetBlendMode(4);  // light: destination + source * alpha
    Square(100, 0, 40, 0.5f);
    EXPECT_TRUE(Near(PixelAt(15, 15), 150, 50, 220));

    ClearScreen();
    SetBlendMode(5);  // shade: destination * source colour
    Square(128, 255, 0, 1.0f);
    EXPECT_TRUE(Near(PixelAt(15, 15), 50, 50, 0));

    ClearScreen();
    SetBlendMode(9);  // unknown: as solid
    Square(0, 255, 0, 0.25f);
    EXPECT_TRUE(Near(PixelAt(15, 15), 0, 255, 0, 0));
    EXPECT_TRUE(Near(PixelAt(5, 5), 100, 50, 200, 0));  // outside: the clear colour
}

TEST_F(GLDriverTest, MaskedModeDrawsAlphaFromOneHalf) {
    SetBlendMode(1);
    Square(255, 255, 255, 0.5f);  // byte 127: just below one half
    EXPECT_TRUE(Near(PixelAt(15, 15), 100, 50, 200, 0));
    Square(255, 255, 255, 0.51f);  // byte 130
    EXPECT_TRUE(Near(PixelAt(15, 15), 255, 255, 255, 0));
}

TEST_F(GLDriverTest, AlphaIsClampedAndTruncated) {
    const uint8_t* color = detail::glDrawState.drawColor;
    SetDrawAlpha(1.5f);
    EXPECT_EQ(color[3], 255);
    SetDrawAlpha(-1.0f);
    EXPECT_EQ(color[3], 0);
    SetDrawAlpha(0.5f);
    EXPECT_EQ(color[3], 127);
    SetDrawAlpha(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(color[3], 0);
    SetDrawColor(0x1FF, 0x102, -1);  // the low 8 bits of each
    EXPECT_EQ(color[0], 0xFF);
    EXPECT_EQ(color[1], 0x02);
    EXPECT_EQ(color[2], 0xFF);
    SetBlendMode(2);
    PlotPoint(300, 300);
    EXPECT_TRUE(Near(PixelAt(300, 300), 0xFF, 0x02, 0xFF, 0));
}

TEST_F(GLDriverTest, ViewportScissorsInGLCoordinatesAndClearsInside) {
    SetViewport(10, 20, 100, 50);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    GLint box[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[0], 10);
    EXPECT_EQ(box[1], 530);
    EXPECT_EQ(box[2], 100);
    EXPECT_EQ(box[3], 50);
    SetClearColor(0, 255, 0);
    ClearScreen();
    EXPECT_TRUE(Near(PixelAt(10, 20), 0, 255, 0, 0));
    EXPECT_TRUE(Near(PixelAt(109, 69), 0, 255, 0, 0));
    EXPECT_TRUE(Near(PixelAt(9, 20), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(110, 20), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(10, 70), 100, 50, 200, 0));
    int32_t x, y, w, h;
    GetViewport(x, y, w, h);
    EXPECT_EQ(x + y + w + h, 180);

    SetViewport(0, 0, 800, 600);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
}

TEST_F(GLDriverTest, PointsAndLinesHitPixelCentres) {
    SetBlendMode(2);
    SetDrawColor(255, 255, 255);
    PlotPoint(5, 7);
    EXPECT_TRUE(Near(PixelAt(5, 7), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(6, 7), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(5, 8), 100, 50, 200, 0));

    DrawLine(10, 30, 20, 30, 0);
    for (int x = 10; x < 20; ++x) EXPECT_TRUE(Near(PixelAt(x, 30), 255, 255, 255, 0)) << x;
    EXPECT_TRUE(Near(PixelAt(20, 30), 100, 50, 200, 0));  // the last pixel is left out
    EXPECT_TRUE(Near(PixelAt(15, 29), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(15, 31), 100, 50, 200, 0));
    DrawLine(10, 40, 20, 40, 1);
    EXPECT_TRUE(Near(PixelAt(20, 40), 255, 255, 255, 0));  // plotted on request
    DrawLine(50, 10, 50, 20, 0);
    EXPECT_TRUE(Near(PixelAt(50, 10), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(51, 15), 100, 50, 200, 0));
}

TEST_F(GLDriverTest, RectanglesAndOvalsCoverTheirBoxes) {
    SetBlendMode(2);
    SetDrawColor(255, 255, 255);
    DrawRect(10, 10, 20, 20);
    EXPECT_TRUE(Near(PixelAt(10, 10), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(29, 29), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(9, 10), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(30, 10), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(10, 30), 100, 50, 200, 0));

    const uint64_t vertices = detail::glBatch.drawnVertices;
    DrawOval(100, 100, 100, 60);
    EXPECT_EQ(detail::glBatch.drawnVertices - vertices, 80u);
    EXPECT_TRUE(Near(PixelAt(150, 130), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(102, 130), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(197, 130), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(150, 101), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(98, 130), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(101, 101), 100, 50, 200, 0));  // the box's corner lies outside
    EXPECT_TRUE(Near(PixelAt(198, 158), 100, 50, 200, 0));

    EXPECT_EQ(OvalSegments(4, 4), 12);
    EXPECT_EQ(OvalSegments(100, 60), 80);
    EXPECT_EQ(OvalSegments(-100, 60), 80);
    EXPECT_EQ(OvalSegments(27, 0), 12);
    EXPECT_EQ(OvalSegments(30, 4), 16);  // 17 rounded down to a multiple of 4
    EXPECT_EQ(OvalSegments(1e30f, 1), 65536);
    EXPECT_EQ(OvalSegments(std::numeric_limits<float>::quiet_NaN(), 1), 12);
}

TEST_F(GLDriverTest, PolygonsNeedThreeWholePoints) {
    SetBlendMode(2);
    SetDrawColor(255, 255, 255);
    ReadScreenPixmap(0, 0, 1, 1);  // nothing queued
    const uint32_t draws = GLCalls(gl::kDrawArrays);
    DrawPoly({10, 10, 50, 10});
    DrawPoly({10, 10, 50, 10, 10});
    DrawPoly({});
    DrawPoly({10, 10, 50, 10, 10, 50, 7});
    EXPECT_EQ(GLCalls(gl::kDrawArrays), draws);
    DrawPoly({10, 10, 50, 10, 10, 50});
    EXPECT_EQ(GLCalls(gl::kDrawArrays), draws + 1);  // a polygon is drawn at once
    EXPECT_TRUE(Near(PixelAt(15, 15), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(45, 45), 100, 50, 200, 0));
    // Handle and origin apply to polygons too.
    SetDrawOrigin(200, 0);
    SetDrawHandle(10, 10);
    DrawPoly({10, 10, 50, 10, 10, 50});
    EXPECT_TRUE(Near(PixelAt(201, 1), 255, 255, 255, 0));  // the first point lands on (200, 0)
    EXPECT_TRUE(Near(PixelAt(199, 1), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(235, 35), 100, 50, 200, 0));
}

TEST_F(GLDriverTest, HandleAndOriginCompose) {
    SetBlendMode(2);
    SetDrawColor(255, 255, 255);
    SetDrawHandle(5, 3);
    float hx, hy;
    GetDrawHandle(hx, hy);
    EXPECT_EQ(hx, 5);
    EXPECT_EQ(hy, 3);
    SetDrawOrigin(100, 0);
    DrawRect(10, 10, 20, 20);  // local (-5, -3)-(15, 17) moved by (110, 10)
    EXPECT_TRUE(Near(PixelAt(105, 7), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(124, 26), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(104, 7), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(105, 6), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(125, 26), 100, 50, 200, 0));
    // A point ignores the handle but not the origin.
    PlotPoint(300, 300);
    EXPECT_TRUE(Near(PixelAt(400, 300), 255, 255, 255, 0));
}

TEST_F(GLDriverTest, RotationAndScaleFormTheMatrix) {
    SetDrawTransform(90, 2, 1);
    const auto& s = detail::glDrawState;
    EXPECT_NEAR(s.xx, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(s.xy, -1.0f);
    EXPECT_FLOAT_EQ(s.yx, 2.0f);
    EXPECT_NEAR(s.yy, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(GetDrawRotation(), 90);
    // The local x axis now runs down the screen, twice as long.
    SetBlendMode(2);
    SetDrawColor(255, 255, 255);
    DrawRect(100, 100, 10, 5);  // local (0..10, 0..5) -> screen x 95..100, y 100..120
    EXPECT_TRUE(Near(PixelAt(97, 118), 255, 255, 255, 0));
    EXPECT_TRUE(Near(PixelAt(102, 110), 100, 50, 200, 0));
    EXPECT_TRUE(Near(PixelAt(97, 121), 100, 50, 200, 0));
}

TEST_F(GLDriverTest, ScreenReadAndBlitReproduceTheArea) {
    SetBlendMode(2);
    for (int i = 0; i < 8; ++i) {
        SetDrawColor(i * 30, 255 - i * 20, i * 7);
        DrawOval(50 + i * 5, 60 + i * 3, 20, 15);
    }
    Ref<TPixmap> before = ReadScreenPixmap(50, 60, 40, 30);
    ASSERT_TRUE(before);
    SetClearColor(0, 0, 0);
    ClearScreen();
    BlitPixmap(before, 50, 60);
    Ref<TPixmap> after = ReadScreenPixmap(50, 60, 40, 30);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) ASSERT_EQ(before->ReadPixel(x, y), after->ReadPixel(x, y)) << x << "," << y;
    }
    EXPECT_TRUE(Near(PixelAt(49, 60), 0, 0, 0, 0));
    // A blit partly off the window draws its visible part.
    BlitPixmap(before, -20, -10);
    EXPECT_EQ(ReadScreenPixmap(0, 0, 1, 1)->ReadPixel(0, 0), before->ReadPixel(20, 10));
    // Formats other than RGBA are converted.
    Ref<TPixmap> rgb = NewPixmap(2, 2, PIX_RGB24);
    for (int i = 0; i < 4; ++i) rgb->WritePixel(i % 2, i / 2, 0xFF102030u);
    BlitPixmap(rgb, 700, 500);
    EXPECT_TRUE(Near(PixelAt(701, 501), 0x10, 0x20, 0x30, 0));
}

TEST_F(GLDriverTest, StateCachesSkipRedundantCalls) {
    gl::ResetCallCounts();
    Driver().SetBlend(2);  // from 1, set by OpenGraphics
    const uint64_t first = gl::TotalCalls();
    EXPECT_GT(first, 0u);
    Driver().SetBlend(2);
    EXPECT_EQ(gl::TotalCalls(), first);

    EnableTexture(7);
    EnableTexture(7);
    EXPECT_EQ(GLCalls(gl::kBindTexture), 1u);
    DisableTexture();
    DisableTexture();
    DrawRect(0, 0, 1, 1);  // untextured: texturing is off already
    if (CurrentGLDriver() == GL_DRIVER_11) {
        EXPECT_EQ(GLCalls(gl::kEnable), 1u);
        EXPECT_EQ(GLCalls(gl::kDisable), 3u);  // blend and alpha test, then texturing once
    } else {
        EXPECT_EQ(GLCalls(gl::kBindTexture), 2u);  // the white texel, once
    }
    BindTexture(0);

    // A new display starts from GL's defaults: the same mode is applied again.
    OpenGraphics(800, 600, 0, 0);
    gl::ResetCallCounts();
    Driver().SetBlend(2);
    EXPECT_GT(gl::TotalCalls(), 0u);
}

TEST_F(GLDriverTest, FittedSizesArePowersOfTwo) {
    int32_t w = 300, h = 5;
    FitTextureSize(w, h);
    EXPECT_EQ(w, 512);
    EXPECT_EQ(h, 8);
    w = 1, h = 0;
    FitTextureSize(w, h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    GLint most = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &most);
    // A size past the limit halves both sizes, as a failed GL test does.
    w = most + 1, h = 3;
    FitTextureSize(w, h);
    EXPECT_EQ(w, most);
    EXPECT_EQ(h, 2);
    w = 0x7FFFFFFF, h = 3;
    FitTextureSize(w, h);
    EXPECT_LE(w, most);
    EXPECT_EQ(h, 1);
}

TEST_F(GLDriverTest, TextureFromPixmapStretchesToItsFittedSize) {
    Ref<TPixmap> p = NewPixmap(3, 2, PIX_RGB24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) p->WritePixel(x, y, 0xFF000000u | (x * 80u << 16) | (y * 200u << 8));
    GLint bound = 0;
    BindTexture(0);
    const uint32_t name = TextureFromPixmap(p, 1);
    ASSERT_NE(name, 0u);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);  // binding restored
    glBindTexture(GL_TEXTURE_2D, name);
    GLint w = 0, h = 0, w2 = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 2, GL_TEXTURE_WIDTH, &w2);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(w2, 1);  // levels down to 1x1
    glBindTexture(GL_TEXTURE_2D, 0);
    GLuint n = name;
    glDeleteTextures(1, &n);
}

TEST_F(GLDriverTest, DebugTextDrawsTheBuiltInFont) {
    SetBlendMode(2);
    SetDrawColor(255, 255, 0);
    DrawDebugText(String("H"), 20, 40);
    // Within the 8x16 cell at (20, 40) some pixel is inked, outside none.
    Ref<TPixmap> cell = ReadScreenPixmap(16, 36, 16, 24);
    int inked = 0, outside = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool ink = (cell->ReadPixel(x, y) & 0xFFFFFFu) == 0xFFFF00u;
            const bool inCell = x >= 4 && x < 12 && y >= 4 && y < 20;
            (inCell ? inked : outside) += ink ? 1 : 0;
        }
    }
    EXPECT_GT(inked, 10);
    EXPECT_EQ(outside, 0);
    if (CurrentGLDriver() == GL_DRIVER_33) return;  // textured quads there
    const uint32_t lists = detail::GetTextLists();
    EXPECT_NE(lists, 0u);
    EXPECT_EQ(detail::GetTextLists(), lists);  // built once per context
}

TEST(GLDriverClosedTest, NothingIsDrawnWithoutADisplay) {
    test::UseOffscreenVideo();
    gl::ResetCallCounts();
    auto drawEverything = [] {
        SetBlendMode(3);
        SetDrawColor(1, 2, 3);
        SetDrawAlpha(0.5f);
        SetClearColor(1, 1, 1);
        SetViewport(1, 2, 3, 4);
        SetLineWidth(2);
        ClearScreen();
        PlotPoint(1, 1);
        DrawLine(0, 0, 5, 5);
        DrawRect(0, 0, 5, 5);
        DrawOval(0, 0, 5, 5);
        DrawPoly({0, 0, 5, 0, 0, 5});
        BlitPixmap(NewPixmap(2, 2, PIX_RGBA32), 0, 0);
        DrawDebugText(String("x"), 0, 0);
        ShowPointer();
        FlipFrame();
        EXPECT_FALSE(ReadScreenPixmap(0, 0, 4, 4));
        int32_t w = 20000, h = 100;  // no GL to ask: 16384 is the limit
        FitTextureSize(w, h);
        EXPECT_EQ(w, 16384);
        EXPECT_EQ(h, 64);
        // Images made now get their textures once a display opens.
        Ref<TPixmap> p = NewPixmap(8, 8, PIX_RGBA32);
        Ref<TImage> image = LoadImageFile(p, 0);
        EXPECT_TRUE(image);
        DrawImageAt(image, 0, 0, 0);
        TileImageAt(image, 0, 0, 0);
        return image;
    };
    Ref<TImage> early = drawEverything();
    EXPECT_EQ(gl::TotalCalls(), 0u);

    OpenGraphics(64, 64, 0, 0);
    SetBlendMode(2);
    Ref<TPixmap> red = NewPixmap(8, 8, PIX_RGBA32);
    for (int i = 0; i < 64; ++i) red->WritePixel(i % 8, i / 8, 0xFFFF0000u);
    Ref<TImage> image = LoadImageFile(red, 0);
    Ref<TImage> dynamic = LoadImageFile(red, 1);
    CloseGraphics();
    gl::ResetCallCounts();
    drawEverything();
    image = nullptr;  // its texture is deleted when a display opens again
    EXPECT_EQ(gl::TotalCalls(), 0u);

    // Frames of the closed display draw in the new one.
    OpenGraphics(64, 64, 0, 0);
    SetBlendMode(2);
    DrawImageAt(dynamic, 0, 0, 0);
    EXPECT_TRUE(Near(PixelAt(4, 4), 255, 0, 0, 0));
    // The image made before any display gets its texture now, from its pixmap.
    SetClearColor(0, 0, 255);
    ClearScreen();
    Ref<TPixmap> pixels = early->pixmaps[0];
    for (int i = 0; i < 64; ++i) pixels->WritePixel(i % 8, i / 8, 0xFF00FF00u);
    DrawImageAt(early, 10, 10, 0);
    EXPECT_TRUE(Near(PixelAt(12, 12), 0, 255, 0, 0));
    CloseGraphics();
}

}  // namespace
}  // namespace korva
