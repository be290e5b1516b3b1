// The BMP decoder, on files laid out byte by byte: row padding and order,
// every bit count, the colour table, and hostile headers.
#include <gtest/gtest.h>

#include <climits>

#include "korvagl/korvagl.h"
#include "tests/pixmap/decoder_test_support.h"
#include "tests/support/image_fixtures.h"
#include "tests/support/temp_dir.h"

namespace korva {
namespace {

struct Bmp {
    int32_t width = 1;
    int32_t height = 1;
    int bitCount = 24;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    uint32_t infoSize = 40;
    std::vector<uint8_t> table;   // colour table bytes, as stored
    size_t gap = 0;               // bytes between the table and the pixels
    std::vector<uint8_t> pixels;  // pixel rows, as stored
    int64_t dataOffset = -1;      // -1: where the pixels really start

    std::string Bytes() const {
        const uint32_t extra = infoSize > 40 ? infoSize - 40 : 0;
        const auto offset = static_cast<uint32_t>(
            dataOffset >= 0 ? dataOffset : static_cast<int64_t>(54 + extra + table.size() + gap));
        test::ByteWriter w;
        w.Text("BM").U32(offset + static_cast<uint32_t>(pixels.size())).U32(0).U32(offset);
        w.U32(infoSize).U32(static_cast<uint32_t>(width)).U32(static_cast<uint32_t>(height));
        w.U16(1).U16(static_cast<uint32_t>(bitCount)).U32(compression).U32(0).U32(2835).U32(2835);
        w.U32(coloursUsed).U32(0);
        w.Zeros(extra).Bytes(table).Zeros(gap).Bytes(pixels);
        return w.Data();
    }
};

class BmpDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { InitKorvaGL(); }
};

TEST_F(BmpDecoderTest, TwentyFourBitRowsArePaddedAndStoredBottomFirst) {
    Bmp bmp;
    bmp.width = 3, bmp.height = 2;
    // Rows of 9 pixel bytes and 3 fill bytes; the first file row is the bottom row.
    bmp.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0xEE, 0xEE, 0xEE};
    const Ref<TPixmap> p = test::Load(bmp.Bytes());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGB24);
    EXPECT_EQ(p->width, 3);
    EXPECT_EQ(p->height, 2);
    EXPECT_EQ(test::PixelRows(p), (std::vector<uint8_t>{12, 11, 10, 15, 14, 13, 18, 17, 16, 3, 2, 1, 6, 5, 4, 9, 8, 7}));
}

TEST_F(BmpDecoderTest, NegativeHeightMeansTopRowFirst) {
    Bmp bmp;
    bmp.width = 1, bmp.height = -2;
    bmp.pixels = {1, 2, 3, 0, 4, 5, 6, 0};
    const Ref<TPixmap> p = test::Load(bmp.Bytes());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->height, 2);
    EXPECT_EQ(p->ReadPixel(0, 0), 0xFF030201u);
    EXPECT_EQ(p->ReadPixel(0, 1), 0xFF060504u);
}

TEST_F(BmpDecoderTest, OneBitShowsTheSecondEntryWhereBitsAreSet) {
    Bmp bmp;
    bmp.width = 10, bmp.bitCount = 1;
    bmp.table = {0, 0, 0, 0, 255, 255, 255, 0};
    bmp.pixels = {0xA0, 0xC0, 0xEE, 0xEE};  // 1 0 1 0 0 0 0 0 | 1 1
    const Ref<TPixmap> p = test::Load(bmp.Bytes());
    ASSERT_TRUE(p);
    for (int32_t x = 0; x < 10; ++x) {
        const bool white = x == 0 || x == 2 || x == 8 || x == 9;
        EXPECT_EQ(p->ReadPixel(x, 0), white ? 0xFFFFFFFFu : 0xFF000000u) << x;
    }
}

std::vector<uint8_t> Table(int entries) {
    std::vector<uint8_t> t;
    for (int i = 0; i < entries; ++i) {
        t.insert(t.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 2), static_cast<uint8_t>(i * 3), 0x99});
    }
    return t;
}

ARGB Entry(int i) { return 0xFF000000u | (i * 3 & 0xFF) << 16 | (i * 2 & 0xFF) << 8 | (i & 0xFF); }

TEST_F(BmpDecoderTest, FourBitTakesTheHighNibbleFirst) {
    Bmp bmp;
    bmp.width = 5, bmp.bitCount = 4;
    bmp.table = Table(16);
    bmp.pixels = {0x12, 0x34, 0x5F, 0xEE};  // a 5-pixel row fills 4 bytes
    const Ref<TPixmap> p = test::Load(bmp.Bytes());
    ASSERT_TRUE(p);
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(p->ReadPixel(x, 0), Entry(x + 1)) << x;
}

TEST_F(BmpDecoderTest, EightBitWithColoursUsedZeroHasAFullTable) {
    Bmp bmp;
    bmp.width = 3, bmp.height = 2, bmp.bitCount = 8;
    bmp.table = Table(256);
    bmp.pixels = {0, 255, 7, 0xEE, 128, 1, 2, 0xEE};
    const Ref<TPixmap> p = test::Load(bmp.Bytes());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ReadPixel(0, 1), Entry(0));
    EXPECT_EQ(p->ReadPixel(1, 1), Entry(255));
    EXPECT_EQ(p->ReadPixel(2, 1), Entry(7));
    EXPECT_EQ(p->ReadPixel(0, 0), Entry(128));
}

TEST_F(BmpDecoderTest, ShortTablesLeaveLaterIndicesBlack) {
    Bmp bmp;
    bmp.width = 4, bmp.bitCount = 8, bmp.coloursUsed = 3;
    bmp.table = Table(3);
    bmp.pixels = {0, 2, 3, 200};
    const Ref<TPixmap> p = test::Load(bmp.Bytes());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ReadPixel(1, 0), Entry(2));
    EXPECT_EQ(p->ReadPixel(2, 0), 0xFF000000u);
    EXPECT_EQ(p->ReadPixel(3, 0), 0xFF000000u);
}

TEST_F(BmpDecoderTest, ColoursUsedBeyondTheTableIsClamped) {
    for (uint32_t used : {300u, 0xFFFFFFFFu}) {
        Bmp bmp;
        bmp.width = 2, bmp.bitCount = 8, bmp.coloursUsed = used;
        bmp.table = Table(300);  // the file really holds 300 entries
        bmp.pixels = {255, 4, 0, 0};
        const Ref<TPixmap> p = test::Load(bmp.Bytes());
        ASSERT_TRUE(p);
        EXPECT_EQ(p->ReadPixel(0, 0), Entry(255));
        EXPECT_EQ(p->ReadPixel(1, 0), Entry(4));
    }
    Bmp four;
    four.width = 2, four.bitCount = 4, four.coloursUsed = 17;
    four.table = Table(17);
    four.pixels = {0xF1, 0, 0, 0};
    const Ref<TPixmap> p = test::Load(four.Bytes());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ReadPixel(0, 0), Entry(15));
    EXPECT_EQ(p->ReadPixel(1, 0), Entry(1));
}

TEST_F(BmpDecoderTest, LongerHeadersAndGapsBeforeThePixels) {
    for (uint32_t infoSize : {52u, 56u, 108u, 124u}) {
        Bmp bmp;
        bmp.infoSize = infoSize;
        bmp.width = 1;
        bmp.pixels = {1, 2, 3, 0};
        const Ref<TPixmap> p = test::Load(bmp.Bytes());
        ASSERT_TRUE(p) << infoSize;
        EXPECT_EQ(p->ReadPixel(0, 0), 0xFF030201u) << infoSize;
    }
    Bmp gap;
    gap.bitCount = 4, gap.coloursUsed = 2, gap.gap = 10;
    gap.table = Table(2);
    gap.pixels = {0x10, 0, 0, 0};
    const Ref<TPixmap> p = test::Load(gap.Bytes());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ReadPixel(0, 0), Entry(1));

    // An offset inside the table is not believed: the pixels follow the table.
    Bmp early = gap;
    early.gap = 0, early.dataOffset = 20;
    ASSERT_TRUE(test::Load(early.Bytes()));
    EXPECT_EQ(test::Load(early.Bytes())->ReadPixel(0, 0), Entry(1));
}

// 32 bits: the fourth byte is reserved unless bit-field masks (after the
// 40-byte header, or inside a longer one) give it to alpha.
TEST_F(BmpDecoderTest, ThirtyTwoBitPixelsKeepAlphaOnlyWithAMask) {
    const auto masks = [](std::initializer_list<uint32_t> values) {
        test::ByteWriter w;
        for (uint32_t v : values) w.U32(v);
        return std::vector<uint8_t>(w.Data().begin(), w.Data().end());
    };
    Bmp plain;
    plain.bitCount = 32, plain.pixels = {1, 2, 3, 9};
    Bmp fields = plain;
    fields.compression = 3, fields.table = masks({0xFF0000, 0xFF00, 0xFF});
    for (const Bmp& bmp : {plain, fields}) {
        const Ref<TPixmap> p = test::Load(bmp.Bytes());
        ASSERT_TRUE(p);
        EXPECT_EQ(p->format, PIX_RGB24);
        EXPECT_EQ(p->ReadPixel(0, 0), 0xFF030201u);
    }
    // A 56-byte header holds four masks; its own bytes are the masks.
    Bmp withAlpha = plain;
    withAlpha.compression = 3, withAlpha.infoSize = 40, withAlpha.table = masks({0xFF0000, 0xFF00, 0xFF, 0xFF000000});
    std::string bytes = withAlpha.Bytes();
    bytes[14] = 56;  // the masks now lie inside the header
    const Ref<TPixmap> p = test::Load(bytes);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGBA32);
    EXPECT_EQ(p->ReadPixel(0, 0), 0x09030201u);
}

TEST_F(BmpDecoderTest, AFileThatEndsEarlyLoadsWithBlackRows) {
    Bmp bmp;
    bmp.width = 1, bmp.height = 3;
    bmp.pixels = {1, 2, 3, 0};  // only the bottom row
    const Ref<TPixmap> p = test::Load(bmp.Bytes());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ReadPixel(0, 2), 0xFF030201u);
    EXPECT_EQ(p->ReadPixel(0, 1), 0xFF000000u);
    EXPECT_EQ(p->ReadPixel(0, 0), 0xFF000000u);
}

TEST_F(BmpDecoderTest, WhatItCannotShowGivesTheNullObject) {
    const auto refused = [](Bmp bmp) {
        if (bmp.pixels.empty()) bmp.pixels.assign(64, 0);
        return !test::Load(bmp.Bytes());
    };
    Bmp base;
    Bmp rle = base;
    rle.bitCount = 8, rle.compression = 1, rle.table = Table(256);
    EXPECT_TRUE(refused(rle));
    Bmp bitfields = base;
    bitfields.bitCount = 32, bitfields.compression = 3;
    EXPECT_TRUE(refused(bitfields));
    for (int bits : {0, 2, 16, 48}) {
        Bmp b = base;
        b.bitCount = bits;
        EXPECT_TRUE(refused(b)) << bits;
    }
    for (auto [w, h] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{-4, 1}, std::pair{40000, 1},
                        std::pair{1, 40000}, std::pair{1, INT32_MIN}, std::pair{INT32_MIN, 1},
                        std::pair{32768, 32768}}) {
        Bmp b = base;
        b.width = w, b.height = h;
        EXPECT_TRUE(refused(b)) << w << "x" << h;
    }
    EXPECT_FALSE(test::Load("BM"));
    EXPECT_FALSE(test::RegisteredDecoder<TBMPPixmapDecoder>()->ReadPixmap(test::StreamOf("MB" + base.Bytes())));
    EXPECT_FALSE(test::RegisteredDecoder<TBMPPixmapDecoder>()->ReadPixmap(test::StreamOf("")));
}

// A BMP refused after its signature says why (LastErrorText), naming the
// source as ReadPixmap names it.
TEST_F(BmpDecoderTest, RefusalsSayWhy) {
    const auto why = [](const Bmp& bmp) {
        test::Load(bmp.Bytes());
        return LastErrorText().ToBytes();
    };
    Bmp big;
    big.width = 40000, big.height = -40000;
    EXPECT_EQ(why(big), "stream: image too large (40000 x 40000)");
    Bmp empty;
    empty.width = 0;
    EXPECT_EQ(why(empty), "stream: BMP header gives no image size (0 x 1)");
    Bmp rle;
    rle.bitCount = 8, rle.compression = 1, rle.table = Table(256);
    EXPECT_EQ(why(rle), "stream: compressed BMP (method 1) is not supported");
    Bmp deep;
    deep.bitCount = 16;
    EXPECT_EQ(why(deep), "stream: 16-bit BMP is not supported");
    Bmp masks;
    masks.bitCount = 32, masks.compression = 3;
    EXPECT_EQ(why(masks), "stream: BMP bit-field masks other than 8-bit blue, green, red, alpha are not supported");
    test::TempDir dir;
    const String cut(dir.Write("cut.bmp", Bmp().Bytes().substr(0, 30)));
    EXPECT_FALSE(ReadPixmap(cut));
    EXPECT_EQ(LastErrorText(), "\"" + cut + "\": BMP header is cut short");
}

TEST_F(BmpDecoderTest, EncodedFixturesRoundTrip) {
    // The fixture writer's files, for every bit count, both row orders.
    const auto indices = test::TestPattern(9, 5, 1);
    for (int bits : {1, 4, 8}) {
        std::vector<uint8_t> index(indices.size());
        for (size_t i = 0; i < index.size(); ++i) index[i] = static_cast<uint8_t>(indices[i] % (1 << bits));
        for (bool topDown : {false, true}) {
            const Ref<TPixmap> p = test::Load(test::EncodeBMP(9, 5, bits, index, Table(1 << bits), topDown));
            ASSERT_TRUE(p) << bits;
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < 9; ++x) ASSERT_EQ(p->ReadPixel(x, y), Entry(index[y * 9 + x])) << bits;
        }
    }
}

}  // namespace
}  // namespace korva
