// Images and their GL frames on a real Mesa context: loading, masks, strips,
// padding, dynamic frames, capture, tiling.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <cmath>

#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"
#include "tests/graphics/gl_test_support.h"

namespace korva {
namespace {

using test::GLCalls;
using test::Near;
using test::PixelAt;
namespace gl = detail::gl;

// A pixmap whose pixel (x, y) is (x * 4, y * 4, 100 + i) in RGBA, opaque.
Ref<TPixmap> Ramp(int32_t width, int32_t height, int32_t format = PIX_RGBA32) {
    Ref<TPixmap> p = NewPixmap(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p->WritePixel(x, y, 0xFF000000u | (uint32_t(x * 4 & 255) << 16) | (uint32_t(y * 4 & 255) << 8) | 100u);
    return p;
}

// The RGBA texels of level 0 of a texture.
std::vector<uint32_t> Texels(uint32_t texture, int32_t& width, int32_t& height) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<uint32_t> texels(static_cast<size_t>(width * height));
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    BindTexture(0);  // keep the driver's cache honest
    detail::gl::BindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseOffscreenVideo();
        OpenGraphics(800, 600, 0, 0);
        SetClearColor(0, 0, 0);
        ClearScreen();
    }
    void TearDown() override { CloseGraphics(); }
};

TEST_F(ImageTest, StaticFrameIsPaddedWithItsEdge) {
    Ref<TImage> image = LoadImageFile(Ramp(100, 60), 0);
    ASSERT_TRUE(image);
    auto* frame = dynamic_cast<TGLTextureFrame*>(image->frames[0].Get());
    ASSERT_NE(frame, nullptr);
    EXPECT_FLOAT_EQ(frame->uMax, 0.78125f);
    EXPECT_FLOAT_EQ(frame->vMax, 0.9375f);
    EXPECT_EQ(frame->uMin + frame->vMin, 0.0f);
    int32_t w = 0, h = 0;
    const auto texels = Texels(frame->texture, w, h);
    ASSERT_EQ(w, 128);
    ASSERT_EQ(h, 64);
    for (int y = 0; y < 60; ++y) EXPECT_EQ(texels[y * 128 + 100], texels[y * 128 + 99]) << y;
    for (int x = 0; x < 100; ++x) EXPECT_EQ(texels[60 * 128 + x], texels[59 * 128 + x]) << x;
    EXPECT_EQ(texels[60 * 128 + 100], texels[59 * 128 + 99]);
    EXPECT_THROW(frame->Lock(1, 1), TRuntimeError);
    EXPECT_THROW(UnlockImagePixels(image, 0), TRuntimeError);
    try {
        LockImagePixels(image, 0, 1, 0);
    } catch (const TRuntimeError& e) {
        EXPECT_EQ(e.text.ToBytes(), "Image frame cannot be locked");
    }

    Ref<TImage> square = LoadImageFile(Ramp(64, 64, PIX_RGB24), 0);
    auto* whole = dynamic_cast<TGLTextureFrame*>(square->frames[0].Get());
    EXPECT_FLOAT_EQ(whole->uMax, 1.0f);
    EXPECT_FLOAT_EQ(whole->vMax, 1.0f);
    Texels(whole->texture, w, h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 64);
}

TEST_F(ImageTest, DrawnImagesLandOnTheirHandle) {
    SetBlendMode(2);
    Ref<TImage> image = LoadImageFile(Ramp(64, 64), 0);
    SetImageAnchor(image, 10, 20);
    DrawImageAt(image, 100, 100, 0);  // pixel (0, 0) lands at (90, 80)
    EXPECT_TRUE(Near(PixelAt(90, 80), 0, 0, 100, 0));
    EXPECT_TRUE(Near(PixelAt(90 + 63, 80 + 63), 252, 252, 100, 0));
    EXPECT_TRUE(Near(PixelAt(89, 80), 0, 0, 0, 0));
    // Stretched to twice the width: source column x lands at 2x.
    ClearScreen();
    SetImageAnchor(image, 0, 0);
    DrawImageStretched(image, 200, 200, 128, 64, 0);
    EXPECT_TRUE(Near(PixelAt(200 + 2 * 10, 210), 40, 40, 100, 0));
    EXPECT_TRUE(Near(PixelAt(200 + 127, 263), 252, 252, 100, 0));
    // Colour tints the texture (modulate).
    ClearScreen();
    SetDrawColor(255, 0, 255);
    DrawImageAt(image, 0, 0, 0);
    EXPECT_TRUE(Near(PixelAt(10, 10), 40, 0, 100, 0));
    // Frame numbers outside the image are a fault, not a read past the array.
    EXPECT_THROW(DrawImageAt(image, 0, 0, 1), TArrayIndexFault);
    EXPECT_THROW(DrawImageAt(image, 0, 0, -1), TArrayIndexFault);
    EXPECT_THROW(TileImageAt(image, 0, 0, 5), TArrayIndexFault);
    EXPECT_THROW(DrawImageStretched(image, 0, 0, 5, 5, 1), TArrayIndexFault);
    EXPECT_THROW(LockImagePixels(image, 2), TArrayIndexFault);
    EXPECT_THROW(CaptureImage(image, 0, 0, 1), TArrayIndexFault);
    EXPECT_THROW(DrawImageAt(nullptr, 0, 0, 0), TNullObjectFault);
}

TEST_F(ImageTest, ImagesTurnAndScaleAboutTheirHandle) {
    SetBlendMode(2);
    Ref<TImage> image = LoadImageFile(Ramp(64, 64), 0);
    CentreImageAnchor(image);
    EXPECT_FLOAT_EQ(image->handleX, 32.0f);
    // A quarter turn clockwise: the picture's top-left corner goes to the top right.
    SetDrawTransform(90, 1, 1);
    DrawImageAt(image, 200, 200, 0);
    EXPECT_TRUE(Near(PixelAt(200 + 31, 200 - 32), 0, 0, 100, 0));    // pixel (0, 0)
    EXPECT_TRUE(Near(PixelAt(200 - 32, 200 - 32), 0, 252, 100, 0));  // pixel (0, 63)
    // Mirrored and doubled: pixel (0, 0) at the right, twice as wide.
    ClearScreen();
    SetDrawTransform(0, -2, 1);
    DrawImageAt(image, 400, 300, 0);
    EXPECT_TRUE(Near(PixelAt(400 + 63, 300 - 32), 0, 0, 100, 0));
    EXPECT_TRUE(Near(PixelAt(400 - 64, 300 - 32), 252, 0, 100, 0));
    EXPECT_TRUE(Near(PixelAt(400 + 64, 300), 0, 0, 0, 0));
    // The draw handle of primitives does not apply to images.
    ClearScreen();
    SetDrawTransform(0, 1, 1);
    SetDrawHandle(10, 10);
    DrawImageAt(image, 100, 100, 0);
    EXPECT_TRUE(Near(PixelAt(100 - 32, 100 - 32), 0, 0, 100, 0));
}

TEST_F(ImageTest, MaskedPixelsAreTransparentUnlessThePictureHasAlpha) {
    Ref<TPixmap> rgb = Ramp(16, 16, PIX_RGB24);
    rgb->WritePixel(3, 3, 0xFFFF00FFu);
    SetMaskColor(255, 0, 255);
    int32_t r, g, b;
    SetDrawColor(1, 2, 3);
    GetMaskColor(r, g, b);
    EXPECT_EQ(r + g + b, 510);
    Ref<TImage> masked = LoadImageFile(rgb, 4);
    EXPECT_EQ(masked->pixmaps[0]->format, PIX_RGBA32);
    EXPECT_EQ(masked->pixmaps[0]->ReadPixel(3, 3) >> 24, 0u);
    EXPECT_EQ(masked->pixmaps[0]->ReadPixel(4, 3) >> 24, 255u);

    Ref<TPixmap> rgba = Ramp(16, 16);
    rgba->WritePixel(3, 3, 0x80FF00FFu);
    Ref<TImage> own = LoadImageFile(rgba, 4);
    EXPECT_EQ(own->pixmaps[0].Get(), rgba.Get());  // shared, not copied
    EXPECT_EQ(own->pixmaps[0]->ReadPixel(3, 3), 0x80FF00FFu);

    // Drawn in mask mode, the masked pixel leaves the background.
    SetDrawColor(255, 255, 255);
    SetBlendMode(1);
    SetClearColor(0, 255, 0);
    ClearScreen();
    DrawImageAt(masked, 0, 0, 0);
    EXPECT_TRUE(Near(PixelAt(3, 3), 0, 255, 0, 0));
    EXPECT_TRUE(Near(PixelAt(5, 3), 20, 12, 100, 0));
}

TEST_F(ImageTest, FilesLoadWithTheAutoFlagsAndMidHandle) {
    InitJPEGLoader();
    InitPNGLoader();
    test::TempDir dir;
    const auto jpeg = test::TestPattern(100, 51, 3);
    const std::string path = dir.Write("p.jpg", test::EncodeJPEG(100, 51, 3, jpeg));
    SetAutoMidHandle(1);
    Ref<TImage> image = LoadImageFile(String(path.c_str()), -1);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->flags, 6);
    EXPECT_EQ(GetImageWidth(image), 100);
    EXPECT_EQ(GetImageHeight(image), 51);
    EXPECT_FLOAT_EQ(image->handleX, 50.0f);
    EXPECT_FLOAT_EQ(image->handleY, 25.5f);
    SetAutoImageFlags(-1);
    SetAutoImageFlags(2);
    EXPECT_EQ(LoadImageFile(String(path.c_str()), -1)->flags, 2);
    EXPECT_FALSE(LoadImageFile(String(dir.File("missing.png").c_str()), -1));
    EXPECT_FALSE(LoadImageFile(String(dir.Write("junk.png", "not a picture").c_str()), -1));
    EXPECT_FALSE(LoadAnimImageFile(String(dir.File("missing.png").c_str()), 8, 8, 0, 1, -1));
    SetAutoMidHandle(0);
    EXPECT_EQ(LoadImageFile(String(path.c_str()), -1)->handleX, 0.0f);
}

// Failed loads say why (LastErrorText), naming the file; a success clears it.
TEST_F(ImageTest, FailedLoadsSayWhy) {
    InitPNGLoader();
    test::TempDir dir;
    const String missing(dir.File("ship.png"));
    EXPECT_FALSE(LoadImageFile(missing));
    EXPECT_EQ(LastErrorText(), "cannot open \"" + missing + "\": No such file or directory");
    const std::string png = test::EncodePNG(64, 64, test::TestPattern(64, 64, 3));
    const String cut(dir.Write("cut.png", png.substr(0, png.size() / 2)));
    EXPECT_FALSE(LoadImageFile(cut));
    EXPECT_EQ(LastErrorText().Find("\"" + cut + "\": "), 0) << LastErrorText();
    const String junk(dir.Write("notes.png", "not a picture"));
    EXPECT_FALSE(LoadImageFile(junk));
    EXPECT_EQ(LastErrorText(), "\"" + junk + "\": no image decoder accepts this data");
    EXPECT_FALSE(LoadAnimImageFile(junk, 0, 16, 0, 1));
    EXPECT_EQ(LastErrorText(), "\"" + junk + "\": cells of 0 x 16 pixels cannot be cut");
    const String sheet(dir.Write("sheet.png", test::EncodePNG(32, 16, test::TestPattern(32, 16, 3))));
    EXPECT_FALSE(LoadAnimImageFile(sheet, 16, 16, 1, 2));
    EXPECT_EQ(LastErrorText(), "\"" + sheet + "\": cells 1 to 2 asked, but 32 x 16 pixels hold 2 cells of 16 x 16");
    EXPECT_TRUE(LoadAnimImageFile(sheet, 16, 16, 0, 2));
    EXPECT_TRUE(LastErrorText().IsEmpty());
}

TEST_F(ImageTest, StripsAreCutRowByRow) {
    // A 256x128 sheet: cell n has red n * 10.
    Ref<TPixmap> sheet = NewPixmap(256, 128, PIX_RGBA32);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 256; ++x) sheet->WritePixel(x, y, 0xFF000000u | uint32_t((y / 64 * 4 + x / 64) * 10) << 16);
    Ref<TImage> strip = LoadAnimImageFile(sheet, 64, 64, 1, 3, 0);
    ASSERT_TRUE(strip);
    ASSERT_EQ(strip->frames.size(), 3u);
    EXPECT_EQ(strip->width, 64);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(strip->pixmaps[i]->ReadPixel(10, 10) >> 16 & 255, uint32_t((i + 1) * 10));
        EXPECT_NE(strip->pixmaps[i]->pixels, sheet->pixels);  // a copy of its own
    }
    Ref<TImage> fifth = LoadAnimImageFile(sheet, 64, 64, 5, 1, 0);
    EXPECT_EQ(fifth->pixmaps[0]->ReadPixel(0, 0) >> 16 & 255, 50u);  // column 1 of row 1
    EXPECT_TRUE(LoadAnimImageFile(sheet, 64, 64, 0, 8, 0));
    EXPECT_FALSE(LoadAnimImageFile(sheet, 64, 64, 2, 7, 0));
    EXPECT_FALSE(LoadAnimImageFile(sheet, 0, 64, 0, 1, 0));
    EXPECT_FALSE(LoadAnimImageFile(sheet, 64, -3, 0, 1, 0));
    EXPECT_FALSE(LoadAnimImageFile(sheet, 64, 64, -1, 1, 0));
    EXPECT_FALSE(LoadAnimImageFile(sheet, 64, 64, 0, -1, 0));
    EXPECT_FALSE(LoadAnimImageFile(sheet, 300, 64, 0, 1, 0));
    // Drawing frame 2 shows cell 3.
    SetBlendMode(2);
    DrawImageAt(strip, 0, 0, 2);
    EXPECT_TRUE(Near(PixelAt(5, 5), 30, 0, 0, 0));
}

TEST_F(ImageTest, DynamicFramesUploadOnlyAfterWriting) {
    Ref<TImage> image = NewImage(32, 32, 2, 0);
    EXPECT_EQ(image->flags, 1);
    ASSERT_EQ(image->frames.size(), 2u);
    EXPECT_FALSE(image->pixmaps[0]);
    EXPECT_FALSE(image->pixmaps[1]);
    Ref<TPixmap> pixels = LockImagePixels(image, 1, 1, 0);
    EXPECT_EQ(pixels->width, 32);
    EXPECT_EQ(pixels->ReadPixel(31, 31), 0u);  // blank
    gl::ResetCallCounts();
    UnlockImagePixels(image, 1);
    EXPECT_EQ(GLCalls(gl::kTexSubImage2D), 0u);

    pixels = LockImagePixels(image, 1, 0, 1);
    for (int i = 0; i < 32 * 32; ++i) pixels->WritePixel(i % 32, i / 32, 0xFF0000FFu);
    UnlockImagePixels(image, 1);
    EXPECT_EQ(GLCalls(gl::kTexSubImage2D), 1u);
    SetBlendMode(2);
    DrawImageAt(image, 0, 0, 1);
    EXPECT_TRUE(Near(PixelAt(31, 31), 0, 0, 255, 0));
    EXPECT_TRUE(Near(PixelAt(32, 32), 0, 0, 0, 0));

    // Filtered: every mipmap level is rebuilt (64, 32, ..., 1: seven levels).
    Ref<TImage> filtered = NewImage(40, 40, 1, 2);
    EXPECT_EQ(filtered->flags, 3);
    gl::ResetCallCounts();
    LockImagePixels(filtered, 0, 0, 1);
    UnlockImagePixels(filtered, 0);
    EXPECT_EQ(GLCalls(gl::kTexSubImage2D), 7u);
    auto* frame = dynamic_cast<TGLDynamicTextureFrame*>(filtered->frames[0].Get());
    EXPECT_FLOAT_EQ(frame->uMax, 40.0f / 64.0f);

    // A dynamic frame larger than any texture cannot be made.
    GLint most = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &most);
    EXPECT_THROW(NewImage(most * 2, 1, 1, 0), TRuntimeError);
}

TEST_F(ImageTest, CaptureCopiesTheScreen) {
    SetBlendMode(2);
    SetDrawColor(10, 20, 30);
    DrawRect(100, 100, 8, 8);
    SetDrawColor(255, 255, 255);
    Ref<TImage> image = NewImage(16, 16, 1, 4);
    SetMaskColor(0, 0, 0);
    CaptureImage(image, 96, 96, 0);
    ASSERT_TRUE(image->pixmaps[0]);
    EXPECT_EQ(image->pixmaps[0]->ReadPixel(5, 5), 0xFF0A141Eu);
    EXPECT_EQ(image->pixmaps[0]->ReadPixel(0, 0) >> 24, 0u);  // black was masked
    ClearScreen();
    DrawImageAt(image, 0, 0, 0);
    EXPECT_TRUE(Near(PixelAt(5, 5), 10, 20, 30, 0));
}

// Tiling: one frame draw per covering tile, the viewport fully covered,
// each tile at its place for positive and negative offsets.
class TileTest : public ImageTest {
protected:
    void Check(float x, float y, int32_t expectedDraws) {
        ClearScreen();
        const uint64_t vertices = detail::glBatch.drawnVertices;
        TileImageAt(image_, x, y, 0);
        detail::FlushBatch();
        EXPECT_EQ(detail::glBatch.drawnVertices - vertices, 4u * static_cast<uint64_t>(expectedDraws)) << x << "," << y;
        Ref<TPixmap> screen = ReadScreenPixmap(vx_, vy_, vw_, vh_);
        // Screen pixel (sx, sy) shows the image pixel under its centre.
        const double px = x - image_->handleX;
        const double py = y - image_->handleY;
        for (int sy = 0; sy < vh_; sy += 7) {
            for (int sx = 0; sx < vw_; sx += 5) {
                const int ix = ((static_cast<int>(std::floor(vx_ + sx + 0.5 - px)) % 64) + 64) % 64;
                const int iy = ((static_cast<int>(std::floor(vy_ + sy + 0.5 - py)) % 64) + 64) % 64;
                const ARGB want = 0xFF000000u | uint32_t(ix * 4) << 16 | uint32_t(iy * 4) << 8 | 100u;
                ASSERT_EQ(screen->ReadPixel(sx, sy), want) << x << "," << y << " at " << sx << "," << sy;
            }
        }
        for (int sy : {0, vh_ - 1})
            for (int sx : {0, vw_ - 1}) ASSERT_EQ(screen->ReadPixel(sx, sy) >> 24, 255u);
    }
    void SetUp() override {
        ImageTest::SetUp();
        SetBlendMode(2);
        image_ = LoadImageFile(Ramp(64, 64), 0);
    }
    Ref<TImage> image_;
    int32_t vx_ = 0, vy_ = 0, vw_ = 800, vh_ = 600;
};

TEST_F(TileTest, CoversTheScreenForAnyOffset) {
    Check(10, 10, 14 * 11);
    Check(0, 0, 13 * 10);
    Check(-191, -191, 14 * 11);  // floor(px) + 63 = -128: first tile at -63
    Check(-5000.75f, 3333.25f, 13 * 11);
    // More than half a pixel past the lattice: the tiles one place up and to
    // the left reach into the first column and row.
    Check(0.75f, 0.75f, 14 * 11);
    Check(-5119.25f, 64.6f, 14 * 11);
    SetImageAnchor(image_, 32, 32);
    Check(7, -7, 13 * 10);
    // The transform is back afterwards.
    SetDrawTransform(90, 2, 1);
    TileImageAt(image_, 0, 0, 0);
    EXPECT_NEAR(detail::glDrawState.xx, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(detail::glDrawState.yx, 2.0f);
}

TEST_F(TileTest, CoversAScissoredViewport) {
    vx_ = 100, vy_ = 50, vw_ = 200, vh_ = 100;
    SetViewport(vx_, vy_, vw_, vh_);
    Check(3, 4, 4 * 3);
    Check(-64 * 3 + 100 - 63, 0, 5 * 3);  // first column at exactly vx - 63
}

TEST_F(TileTest, TilesOnlyTheDisplayOfALargerViewport) {
    SetViewport(-1000, -1000, 3000, 3000);  // Check reads the 800 x 600 display
    Check(0, 0, 13 * 10);
    Check(-191, -191, 14 * 11);
}

}  // namespace
}  // namespace korva
