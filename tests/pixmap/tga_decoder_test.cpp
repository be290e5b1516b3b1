// The TGA decoder: the four depths, 16-bit alpha, row order, run-length
// packets, and the header checks.
#include <gtest/gtest.h>

#include "korvagl/korvagl.h"
#include "tests/pixmap/decoder_test_support.h"
#include "tests/support/image_fixtures.h"

namespace korva {
namespace {

// An 18-byte header followed by `body`.
std::string Tga(int imageType, int depth, int width, int height, const std::vector<uint8_t>& body,
                int colourMapType = 0, int descriptor = 0) {
    test::ByteWriter w;
    w.U8(0).U8(static_cast<uint32_t>(colourMapType)).U8(static_cast<uint32_t>(imageType)).U16(0).U16(0).U8(0);
    w.U16(0).U16(0).U16(static_cast<uint32_t>(width)).U16(static_cast<uint32_t>(height));
    w.U8(static_cast<uint32_t>(depth)).U8(static_cast<uint32_t>(descriptor)).Bytes(body);
    return w.Data();
}

class TgaDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { InitKorvaGL(); }
};

TEST_F(TgaDecoderTest, TwentyFourBitPixelsAreBlueGreenRed) {
    const Ref<TPixmap> p = test::Load(Tga(2, 24, 2, 1, {0, 0, 255, 10, 20, 30}));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGB24);
    EXPECT_EQ(p->ReadPixel(0, 0), 0xFFFF0000u);  // pure red
    EXPECT_EQ(p->ReadPixel(1, 0), 0xFF1E140Au);
}

TEST_F(TgaDecoderTest, SixteenBitTopBitMakesThePixelTransparent) {
    const Ref<TPixmap> p = test::Load(Tga(2, 16, 3, 1, {0xFF, 0x7F, 0xFF, 0xFF, 0x1F, 0x7C}));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGBA32);
    EXPECT_EQ(p->ReadPixel(0, 0), 0xFFF8F8F8u);  // 0x7FFF: opaque white, 248 per channel
    EXPECT_EQ(p->ReadPixel(1, 0), 0x00F8F8F8u);  // 0xFFFF: the same colour, alpha 0
    EXPECT_EQ(p->ReadPixel(2, 0), 0xFFF800F8u);  // 0x7C1F: red and blue
}

TEST_F(TgaDecoderTest, FifteenBitIgnoresTheTopBit) {
    const Ref<TPixmap> p = test::Load(Tga(2, 15, 2, 1, {0xFF, 0xFF, 0xE0, 0x03}));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGB24);
    EXPECT_EQ(p->ReadPixel(0, 0), 0xFFF8F8F8u);
    EXPECT_EQ(p->ReadPixel(1, 0), 0xFF00F800u);  // 0x03E0: green
}

TEST_F(TgaDecoderTest, ThirtyTwoBitKeepsAlpha) {
    const Ref<TPixmap> p = test::Load(Tga(2, 32, 1, 1, {1, 2, 3, 4}));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGBA32);
    EXPECT_EQ(p->ReadPixel(0, 0), 0x04030201u);
}

TEST_F(TgaDecoderTest, RowOrderFollowsTheDescriptorOrigin) {
    const std::vector<uint8_t> body = {1, 1, 1, 2, 2, 2};  // file row 0, file row 1
    const Ref<TPixmap> bottomLeft = test::Load(Tga(2, 24, 1, 2, body));
    ASSERT_TRUE(bottomLeft);
    EXPECT_EQ(bottomLeft->ReadPixel(0, 1), 0xFF010101u);
    EXPECT_EQ(bottomLeft->ReadPixel(0, 0), 0xFF020202u);
    // A top-left origin stores the top row first: it still loads the right way up.
    const Ref<TPixmap> topLeft = test::Load(Tga(2, 24, 1, 2, body, 0, 0x20));
    ASSERT_TRUE(topLeft);
    EXPECT_EQ(topLeft->ReadPixel(0, 0), 0xFF010101u);
    EXPECT_EQ(topLeft->ReadPixel(0, 1), 0xFF020202u);
    const Ref<TPixmap> topLeftRle = test::Load(Tga(10, 24, 1, 2, {0x80, 1, 1, 1, 0x80, 2, 2, 2}, 0, 0x20));
    ASSERT_TRUE(topLeftRle);
    EXPECT_EQ(test::PixelRows(topLeftRle), test::PixelRows(topLeft));
}

TEST_F(TgaDecoderTest, TheIdFieldIsSkipped) {
    const Ref<TPixmap> p = test::Load(test::EncodeTGA(1, 1, 24, {5, 6, 7}, false, false, "made by a test"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ReadPixel(0, 0), 0xFF070605u);
}

TEST_F(TgaDecoderTest, RunLengthPacketsDecodeAtEveryDepth) {
    // Run of 3 red, then a raw packet of 2 (blue, green) that carries into the
    // second row, then a run of 1 white.
    const std::vector<uint8_t> body = {0x82, 0, 0, 255, 0x01, 255, 0, 0, 0, 255, 0, 0x80, 255, 255, 255};
    const Ref<TPixmap> p = test::Load(Tga(10, 24, 3, 2, body));
    ASSERT_TRUE(p);
    // File row 0 (red, red, red) is the bottom row.
    EXPECT_EQ(p->ReadPixel(0, 1), 0xFFFF0000u);
    EXPECT_EQ(p->ReadPixel(2, 1), 0xFFFF0000u);
    EXPECT_EQ(p->ReadPixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(p->ReadPixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(p->ReadPixel(2, 0), 0xFFFFFFFFu);

    for (int depth : {15, 16, 24, 32}) {
        const int bytes = (depth + 7) / 8;
        // Runs and raw stretches, longer than one packet can hold.
        std::vector<uint8_t> pixels;
        for (int i = 0; i < 300 * 4; ++i) {
            const uint8_t v = static_cast<uint8_t>(i < 500 ? 0x5A : i < 700 ? i * 7 : 0xC3);
            for (int b = 0; b < bytes; ++b) pixels.push_back(static_cast<uint8_t>(v + b));
        }
        const Ref<TPixmap> raw = test::Load(test::EncodeTGA(300, 4, depth, pixels, false));
        const Ref<TPixmap> rle = test::Load(test::EncodeTGA(300, 4, depth, pixels, true));
        ASSERT_TRUE(raw) << depth;
        ASSERT_TRUE(rle) << depth;
        EXPECT_EQ(test::PixelRows(rle), test::PixelRows(raw)) << depth;
    }
}

TEST_F(TgaDecoderTest, AFileThatEndsEarlyLoadsWithZeroPixels) {
    const Ref<TPixmap> p = test::Load(Tga(2, 32, 2, 2, {1, 2, 3, 4}));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ReadPixel(0, 1), 0x04030201u);
    EXPECT_EQ(p->ReadPixel(1, 1), 0u);
    EXPECT_EQ(p->ReadPixel(0, 0), 0u);
    const Ref<TPixmap> r = test::Load(Tga(10, 24, 2, 2, {0x81, 9, 9, 9}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ReadPixel(1, 1), 0xFF090909u);
    EXPECT_EQ(r->ReadPixel(1, 0), 0xFF000000u);
}

TEST_F(TgaDecoderTest, HeadersOutsideTheLimitsGiveTheNullObject) {
    const std::vector<uint8_t> body(64, 0);
    const Ref<TTGAPixmapDecoder> tga = test::RegisteredDecoder<TTGAPixmapDecoder>();
    const auto refused = [&](const std::string& bytes) { return !tga->ReadPixmap(test::StreamOf(bytes)); };
    EXPECT_FALSE(refused(Tga(2, 24, 4096, 1, body)));
    EXPECT_TRUE(refused(Tga(2, 24, 4097, 1, body)));
    EXPECT_TRUE(refused(Tga(2, 24, 1, 4097, body)));
    EXPECT_TRUE(refused(Tga(2, 24, 0, 1, body)));
    EXPECT_TRUE(refused(Tga(2, 24, 1, 0, body)));
    EXPECT_TRUE(refused(Tga(2, 24, 1, 1, body, 1)));  // colour map
    EXPECT_TRUE(refused(Tga(1, 8, 1, 1, body, 1)));   // colour-mapped
    EXPECT_TRUE(refused(Tga(1, 24, 1, 1, body)));
    EXPECT_TRUE(refused(Tga(3, 24, 1, 1, body)));     // grey
    EXPECT_TRUE(refused(Tga(9, 24, 1, 1, body)));
    EXPECT_TRUE(refused(Tga(0, 24, 1, 1, body)));
    for (int depth : {0, 8, 12, 17, 31, 48}) EXPECT_TRUE(refused(Tga(2, depth, 1, 1, body))) << depth;
    EXPECT_TRUE(refused(""));
    EXPECT_TRUE(refused(std::string("\0\0\x02\0\0\0\0", 7)));  // the first block is short
}

// A header whose fields all hold TGA values is refused with a reason; other
// data is not taken for a TGA and gets the registry's reason.
TEST_F(TgaDecoderTest, RefusalsSayWhy) {
    const std::vector<uint8_t> body(64, 0);
    const auto why = [](const std::string& bytes) {
        test::Load(bytes);
        return LastErrorText().ToBytes();
    };
    EXPECT_EQ(why(Tga(2, 24, 5000, 20, body)), "stream: image too large (5000 x 20)");
    EXPECT_EQ(why(Tga(10, 32, 7, 0, body)), "stream: TGA header gives no image size (7 x 0)");
    EXPECT_EQ(why(Tga(1, 8, 1, 1, body, 1)), "stream: colour-mapped TGA is not supported");
    EXPECT_EQ(why(Tga(11, 8, 1, 1, body)), "stream: greyscale TGA is not supported");
    EXPECT_EQ(why(Tga(2, 8, 1, 1, body)), "stream: 8-bit true-colour TGA is not supported");
    EXPECT_EQ(why(Tga(0, 24, 1, 1, body)), "stream: no image decoder accepts this data");
}

TEST_F(TgaDecoderTest, HeaderFieldsAreReadInFileOrder) {
    test::ByteWriter w;
    w.U8(3).U8(0).U8(10).U16(0x0102).U16(0x0304).U8(24).U16(0x0506).U16(0x0708).U16(640).U16(480).U8(32).U8(0x28);
    const Ref<TTGAHeader> header = New<TTGAHeader>();
    const Ref<TByteStream> in = test::StreamOf(w.Data());
    ASSERT_TRUE(header->Read(*in));
    EXPECT_EQ(header->idLength, 3);
    EXPECT_EQ(header->colourMapType, 0);
    EXPECT_EQ(header->imageType, 10);
    EXPECT_EQ(header->colourMapFirstEntry, 0x0102);
    EXPECT_EQ(header->colourMapLength, 0x0304);
    EXPECT_EQ(header->colourMapEntrySize, 24);
    EXPECT_EQ(header->xOrigin, 0x0506);
    EXPECT_EQ(header->yOrigin, 0x0708);
    EXPECT_EQ(header->width, 640);
    EXPECT_EQ(header->height, 480);
    EXPECT_EQ(header->pixelDepth, 32);
    EXPECT_EQ(header->imageDescriptor, 0x28);
    EXPECT_TRUE(header->Supported());
}

}  // namespace
}  // namespace korva
