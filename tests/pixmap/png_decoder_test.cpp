// The PNG decoder: its native layer on its own (DecodePNG fed by a read
// callback over bytes in memory: every colour type and depth, expansion,
// hostile data), then TPNGPixmapDecoder on streams.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "korvagl/korvagl.h"
#include "pixmap/png_native.h"
#include "tests/pixmap/decoder_test_support.h"
#include "tests/support/image_fixtures.h"

namespace korva {
namespace {

struct Input {
    std::string data;
    size_t pos = 0;
};

size_t ReadInput(void* buffer, size_t count, void* handle) {
    auto* in = static_cast<Input*>(handle);
    const size_t n = std::min(count, in->data.size() - in->pos);
    std::memcpy(buffer, in->data.data() + in->pos, n);
    in->pos += n;
    return n;
}

Ref<TPixmap> Decode(const std::string& bytes, std::string* failure = nullptr) {
    Input input{bytes};
    return DecodePNG(&input, ReadInput, failure);
}

std::vector<uint8_t> RowBytes(const Ref<TPixmap>& p) {
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < p->height; ++y) {
        const uint8_t* row = p->PixelAddress(0, y);
        out.insert(out.end(), row, row + p->width * PixelBytes[p->format]);
    }
    return out;
}

test::PngOptions Options(int colourType, int bitDepth = 8, std::vector<uint8_t> palette = {},
                         std::vector<uint8_t> transparency = {}) {
    test::PngOptions options;
    options.colourType = colourType;
    options.bitDepth = bitDepth;
    options.palette = std::move(palette);
    options.transparency = std::move(transparency);
    return options;
}

test::PngOptions Interlaced() {
    test::PngOptions options;
    options.interlaced = true;
    return options;
}

class PngNativeTest : public ::testing::Test {
protected:
    void SetUp() override { InitPixmaps(); }
};

TEST_F(PngNativeTest, EightBitColourLoadsByteForByte) {
    const auto rgb = test::TestPattern(13, 7, 3);
    const Ref<TPixmap> p = Decode(test::EncodePNG(13, 7, rgb));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGB24);
    EXPECT_EQ(p->width, 13);
    EXPECT_EQ(p->height, 7);
    EXPECT_EQ(p->pitch, 40);
    EXPECT_EQ(RowBytes(p), rgb);

    const auto rgba = test::TestPattern(5, 9, 4);
    const Ref<TPixmap> a = Decode(test::EncodePNG(5, 9, rgba, Options(6)));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->format, PIX_RGBA32);
    EXPECT_EQ(RowBytes(a), rgba);
}

TEST_F(PngNativeTest, InterlacedImagesLoadTheSame) {
    const auto rgb = test::TestPattern(17, 11, 3);
    const Ref<TPixmap> p = Decode(test::EncodePNG(17, 11, rgb, Interlaced()));
    ASSERT_TRUE(p);
    EXPECT_EQ(RowBytes(p), rgb);
}

TEST_F(PngNativeTest, PalettesExpandToColourAndTransparencyToAlpha) {
    // 4-bit palette: 3 pixels per row, indices 0, 1, 2 packed high nibble first.
    const std::vector<uint8_t> palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    const std::vector<uint8_t> rows = {0x01, 0x20, 0x21, 0x00};  // row 0: 0 1 2, row 1: 2 1 0
    const Ref<TPixmap> p = Decode(test::EncodePNG(3, 2, rows, Options(3, 4, palette)));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGB24);
    EXPECT_EQ(RowBytes(p), (std::vector<uint8_t>{10, 20, 30, 40, 50, 60, 70, 80, 90, 70, 80, 90, 40, 50, 60, 10,
                                                  20, 30}));

    // With a transparency chunk: entry 0 clear, entry 1 half, entry 2 opaque.
    const Ref<TPixmap> t = Decode(test::EncodePNG(
        3, 2, rows, Options(3, 4, palette, {0, 128})));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->format, PIX_RGBA32);
    EXPECT_EQ(t->ReadPixel(0, 0), 0x000A141Eu);
    EXPECT_EQ(t->ReadPixel(1, 0), 0x8028323Cu);
    EXPECT_EQ(t->ReadPixel(2, 0), 0xFF46505Au);

    // 8-bit RGB with a transparent colour: that colour gets alpha 0.
    const std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6};
    const Ref<TPixmap> k =
        Decode(test::EncodePNG(2, 1, rgb, Options(2, 8, {}, {0, 4, 0, 5, 0, 6})));
    ASSERT_TRUE(k);
    EXPECT_EQ(k->format, PIX_RGBA32);
    EXPECT_EQ(k->ReadPixel(0, 0), 0xFF010203u);
    EXPECT_EQ(k->ReadPixel(1, 0), 0x00040506u);
}

struct Kind {
    int colourType, depth;
    bool transparency, interlaced;
};

// A 13x7 PNG of this kind: pattern bytes as packed samples (any bits make a
// valid level or palette index), a full palette for palette images, and for
// a transparency chunk a few palette alphas or the first pixel's level.
std::string KindFile(const Kind& kind, uint32_t seed) {
    static const int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
    const int w = 13, h = 7;
    const int rowBytes = (w * kChannels[kind.colourType] * kind.depth + 7) / 8;
    test::PngOptions options = Options(kind.colourType, kind.depth);
    options.interlaced = kind.interlaced;
    const std::vector<uint8_t> rows = test::TestPattern(rowBytes, h, 1, seed);
    if (kind.colourType == 3) options.palette = test::TestPattern(1 << kind.depth, 1, 3, seed + 1);
    if (kind.transparency) {
        options.transparency = kind.colourType == 3 ? std::vector<uint8_t>{0, 128, 255, 7}
                                                    : std::vector<uint8_t>{0, rows[0]};
    }
    return test::EncodePNG(w, h, rows, options);
}

TEST_F(PngNativeTest, EveryColourTypeAndDepthLoadsAsPillowDecodesIt) {
    const std::vector<Kind> kinds = {
        {0, 1, false, false}, {0, 2, false, false}, {0, 4, false, false}, {0, 8, false, false},
        {0, 16, false, false}, {0, 8, true, false}, {0, 16, false, true}, {4, 8, false, false},
        {4, 16, false, false}, {4, 8, false, true}, {3, 1, false, false}, {3, 2, false, false},
        {3, 8, false, false}, {3, 2, true, false}, {3, 8, true, true}, {2, 16, false, false},
        {6, 16, false, false}, {6, 16, false, true},
    };
    std::vector<std::string> files;
    for (size_t i = 0; i < kinds.size(); ++i) files.push_back(KindFile(kinds[i], static_cast<uint32_t>(i + 1)));
    const std::vector<test::PilImage> references = test::DecodeWithPIL(files);
    for (size_t i = 0; i < kinds.size(); ++i) {
        SCOPED_TRACE("colour type " + std::to_string(kinds[i].colourType) + ", depth " +
                     std::to_string(kinds[i].depth) + (kinds[i].transparency ? ", tRNS" : "") +
                     (kinds[i].interlaced ? ", interlaced" : ""));
        const Ref<TPixmap> p = Decode(files[i]);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->format, references[i].alpha ? PIX_RGBA32 : PIX_RGB24);
        EXPECT_EQ(p->width, references[i].width);
        EXPECT_EQ(RowBytes(p), references[i].pixels);
    }
}

// Replaces the CRC of the chunk that starts at `at` after changing its data.
void FixCrc(std::string& png, size_t at) {
    const uint32_t length = static_cast<uint8_t>(png[at]) << 24 | static_cast<uint8_t>(png[at + 1]) << 16 |
                            static_cast<uint8_t>(png[at + 2]) << 8 | static_cast<uint8_t>(png[at + 3]);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4);
    for (int i = 0; i < 4; ++i) png[at + 8 + length + i] = static_cast<char>(crc >> (24 - 8 * i));
}

TEST_F(PngNativeTest, BrokenFilesGiveTheNullObjectQuietly) {
    const std::string good = test::EncodePNG(32, 32, test::TestPattern(32, 32, 3));
    ASSERT_TRUE(Decode(good));
    const std::string errors = test::CapturedStandardError([&] {
        EXPECT_FALSE(Decode(""));
        EXPECT_FALSE(Decode(good.substr(0, 7)));
        EXPECT_FALSE(Decode(good.substr(0, 8)));
        EXPECT_FALSE(Decode(good.substr(0, 40)));
        EXPECT_FALSE(Decode(good.substr(0, good.size() / 2)));
        EXPECT_FALSE(Decode(good.substr(0, good.size() - 1)));  // the end chunk is cut
        EXPECT_FALSE(Decode("\x89PNG\r\n\x1a\x0b" + good.substr(8)));  // wrong signature

        std::string badCrc = good;
        badCrc[20] ^= 1;  // inside the header chunk's data
        EXPECT_FALSE(Decode(badCrc));

        std::string badData = good;
        const size_t idat = badData.find("IDAT") - 4;
        for (size_t i = idat + 10; i < idat + 30; ++i) badData[i] = static_cast<char>(0xA5);
        FixCrc(badData, idat);
        EXPECT_FALSE(Decode(badData));
    });
    EXPECT_EQ(errors, "");
}

TEST_F(PngNativeTest, OversizedHeadersAreRefusedBeforeAllocating) {
    const std::string good = test::EncodePNG(1, 1, {1, 2, 3});
    const auto withSize = [&](uint32_t width, uint32_t height) {
        std::string png = good;
        for (int i = 0; i < 4; ++i) {
            png[16 + i] = static_cast<char>(width >> (24 - 8 * i));
            png[20 + i] = static_cast<char>(height >> (24 - 8 * i));
        }
        FixCrc(png, 8);
        return png;
    };
    std::string failure;
    EXPECT_FALSE(Decode(withSize(40000, 1), &failure));
    EXPECT_EQ(failure, "image too large (40000 x 1)");
    EXPECT_FALSE(Decode(withSize(1, 40000)));
    EXPECT_FALSE(Decode(withSize(20000, 20000)));  // 1.2 GB of pixels
    EXPECT_FALSE(Decode(withSize(0x7FFFFFFF, 0x7FFFFFFF)));
    // Within the limits the header is believed, and the short data is fatal.
    EXPECT_FALSE(Decode(withSize(300, 300)));
}

// ---- On streams ---------------------------------------------------------------

TEST_F(PngNativeTest, LoadsThroughTheRegistry) {
    InitKorvaGL();
    const auto rgb = test::TestPattern(9, 3, 3);
    const Ref<TPixmap> p = test::Load(test::EncodePNG(9, 3, rgb));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGB24);
    EXPECT_EQ(test::PixelRows(p), rgb);
    const Ref<TPixmap> palette = test::Load(test::EncodePNG(3, 2, {0x01, 0x20, 0x21, 0x00}, Options(3, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9})));
    ASSERT_TRUE(palette);
    EXPECT_EQ(palette->format, PIX_RGB24);
    const Ref<TPixmap> grey = test::Load(test::EncodePNG(4, 4, test::TestPattern(4, 4, 1), Options(0)));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->format, PIX_RGB24);
    const Ref<TPixmap> deep = test::Load(test::EncodePNG(4, 4, test::TestPattern(4, 8, 4), Options(6, 16)));
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->format, PIX_RGBA32);
}

TEST_F(PngNativeTest, StreamErrorsLeaveTheDecoder) {
    InitKorvaGL();
    const Ref<TPNGPixmapDecoder> png = test::RegisteredDecoder<TPNGPixmapDecoder>();
    EXPECT_FALSE(png->ReadPixmap(test::StreamOf("")));
    const std::string file = test::EncodePNG(32, 32, test::TestPattern(32, 32, 3));
    for (int32_t failAt : {0, 4, 8, 60, static_cast<int32_t>(file.size()) - 3}) {
        const Ref<test::ScriptedStream> stream = New<test::ScriptedStream>(file);
        stream->failAt = failAt;
        EXPECT_THROW(png->ReadPixmap(stream), TStreamReadError) << failAt;
        stream->Seek(0);
        EXPECT_FALSE(ReadPixmap(Ref<Object>(stream))) << failAt;  // absorbed
    }
}

}  // namespace
}  // namespace korva
