// SaveScreenshot on a real window (a private Xvfb) and Mesa: the file holds
// the drawn pixels without alpha, a draw target is saved with its alpha, and
// with no display nothing is written.
#include <gtest/gtest.h>

#include "tests/graphics/gl_test_support.h"
#include "tests/support/temp_dir.h"

namespace korva {
namespace {

class ScreenshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseXvfbVideo();
        InitKorvaGL();  // the encoders and loaders
    }
    void TearDown() override { CloseGraphics(); }
    test::TempDir dir;
};

TEST_F(ScreenshotTest, TheFileHoldsWhatWasDrawn) {
    OpenGraphics(320, 240, 0, 0);
    SetClearColor(40, 80, 120);
    ClearScreen();
    SetBlendMode(BLEND_ALPHA);
    SetDrawColor(250, 200, 10);
    SetDrawAlpha(0.5f);
    DrawRect(10, 20, 100, 50);
    SetDrawAlpha(1);
    DrawOval(200, 100, 60, 60);
    const String png(dir.File("shot.png")), jpg(dir.File("shot.jpg"));
    ASSERT_EQ(SaveScreenshot(png), 1) << LastErrorText().ToBytes();
    ASSERT_EQ(SaveScreenshot(jpg, 95), 1);
    const Ref<TPixmap> screen = ReadScreenPixmap(0, 0, 320, 240);
    const Ref<TPixmap> saved = ReadPixmap(png);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->format, PIX_RGB24);
    ASSERT_EQ(saved->width * 1000 + saved->height, 320240);
    double jpegError = 0;  // mean over pixels of the largest channel difference
    const Ref<TPixmap> lossy = ReadPixmap(jpg);
    ASSERT_TRUE(lossy);
    for (int32_t y = 0; y < 240; ++y) {
        for (int32_t x = 0; x < 320; ++x) {
            ASSERT_EQ(saved->ReadPixel(x, y), screen->ReadPixel(x, y) | 0xFF000000u) << x << "," << y;
            jpegError += test::ChannelDifference(lossy->ReadPixel(x, y), saved->ReadPixel(x, y)) / (320.0 * 240);
        }
    }
    EXPECT_LT(jpegError, 3.0);
    EXPECT_EQ(saved->ReadPixel(5, 5), 0xFF285078u);
}

TEST_F(ScreenshotTest, ADrawTargetIsSavedWithItsAlpha) {
    OpenGraphics(320, 240, 0, 0);
    Ref<TImage> target = NewImage(40, 30, 1, 0);
    if (SetDrawTarget(target) != 1) GTEST_SKIP() << LastErrorText().ToBytes();
    SetClearAlpha(0);
    ClearScreen();
    SetBlendMode(BLEND_SOLID);
    SetDrawColor(255, 0, 0);
    DrawRect(0, 0, 10, 10);
    const String path(dir.File("target.tga"));
    ASSERT_EQ(SaveScreenshot(path), 1);
    SetDrawTarget(nullptr);
    const Ref<TPixmap> saved = ReadPixmap(path);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->width * 1000 + saved->height, 40030);
    EXPECT_EQ(saved->ReadPixel(2, 2), 0xFFFF0000u);
    EXPECT_EQ(saved->ReadPixel(20, 20) >> 24, 0u);
}

TEST_F(ScreenshotTest, WithoutADisplayNothingIsSaved) {
    const String path(dir.File("none.png"));
    EXPECT_EQ(SaveScreenshot(path), 0);
    EXPECT_EQ(LastErrorText(), "cannot save \"" + path + "\": no display is open");
    EXPECT_EQ(FileKind(path), 0);
}

}  // namespace
}  // namespace korva
