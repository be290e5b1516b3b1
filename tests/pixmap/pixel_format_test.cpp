// Pixel formats: the tables, conversion through the RGBA hub, and the vector
// paths against an independent per-pixel reference.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "korvagl/korvagl.h"
#include "pixmap/pixel_simd.h"

namespace korva {
namespace {

class PixelFormatTest : public ::testing::Test {
protected:
    void SetUp() override { InitPixelConversion(); }
    void TearDown() override { detail::SetPixelSimdEnabled(true); }
};

TEST_F(PixelFormatTest, TablesDescribeEveryFormat) {
    const std::array<std::array<int32_t, 6>, 7> expected = {{
        {0, 0, 0, 0, 0, 0},
        {1, 8, 0, 0, 0, 0},
        {1, 8, 0, 0, 0, 8},
        {3, 24, 8, 8, 8, 0},
        {3, 24, 8, 8, 8, 0},
        {4, 32, 8, 8, 8, 8},
        {4, 32, 8, 8, 8, 8},
    }};
    for (int f = 0; f < 7; ++f) {
        EXPECT_EQ(PixelBytes[f], expected[f][0]) << f;
        EXPECT_EQ(PixelBits[f], expected[f][1]) << f;
        EXPECT_EQ(RedBitCount[f], expected[f][2]) << f;
        EXPECT_EQ(GreenBitCount[f], expected[f][3]) << f;
        EXPECT_EQ(BlueBitCount[f], expected[f][4]) << f;
        EXPECT_EQ(AlphaBitCount[f], expected[f][5]) << f;
    }
    EXPECT_EQ(PIX_NONE, 0);
    EXPECT_EQ(PIX_I8, 1);
    EXPECT_EQ(PIX_A8, 2);
    EXPECT_EQ(PIX_BGR24, 3);
    EXPECT_EQ(PIX_RGB24, 4);
    EXPECT_EQ(PIX_BGRA32, 5);
    EXPECT_EQ(PIX_RGBA32, 6);
}

TEST_F(PixelFormatTest, EveryFormatReachesRgba) {
    uint8_t out[4];
    const auto toRgba = [&](const std::vector<uint8_t>& in, int32_t format) {
        ConvertPixelRun(in.data(), format, out, PIX_RGBA32, 1);
        return std::vector<uint8_t>(out, out + 4);
    };
    EXPECT_EQ(toRgba({7}, PIX_I8), (std::vector<uint8_t>{7, 7, 7, 255}));
    EXPECT_EQ(toRgba({7}, PIX_A8), (std::vector<uint8_t>{255, 255, 255, 7}));
    EXPECT_EQ(toRgba({1, 2, 3}, PIX_BGR24), (std::vector<uint8_t>{3, 2, 1, 255}));
    EXPECT_EQ(toRgba({1, 2, 3}, PIX_RGB24), (std::vector<uint8_t>{1, 2, 3, 255}));
    EXPECT_EQ(toRgba({1, 2, 3, 4}, PIX_BGRA32), (std::vector<uint8_t>{3, 2, 1, 4}));
    EXPECT_EQ(toRgba({1, 2, 3, 4}, PIX_RGBA32), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(PixelFormatTest, RgbaReachesEveryFormat) {
    const uint8_t rgba[4] = {10, 20, 31, 40};
    const auto from = [&](int32_t format) {
        std::vector<uint8_t> out(static_cast<size_t>(PixelBytes[format]));
        ConvertPixelRun(rgba, PIX_RGBA32, out.data(), format, 1);
        return out;
    };
    EXPECT_EQ(from(PIX_I8), (std::vector<uint8_t>{20}));  // 61 / 3, truncated
    EXPECT_EQ(from(PIX_A8), (std::vector<uint8_t>{40}));
    EXPECT_EQ(from(PIX_BGR24), (std::vector<uint8_t>{31, 20, 10}));
    EXPECT_EQ(from(PIX_RGB24), (std::vector<uint8_t>{10, 20, 31}));
    EXPECT_EQ(from(PIX_BGRA32), (std::vector<uint8_t>{31, 20, 10, 40}));
    EXPECT_EQ(from(PIX_RGBA32), (std::vector<uint8_t>{10, 20, 31, 40}));
}

TEST_F(PixelFormatTest, OtherPairsGoThroughTheHub) {
    // Blue 30, green 60, red 90 averages to 60.
    const uint8_t bgr[3] = {30, 60, 90};
    uint8_t grey = 0;
    ConvertPixelRun(bgr, PIX_BGR24, &grey, PIX_I8, 1);
    EXPECT_EQ(grey, 60);
    // Grey has no alpha, so it becomes fully opaque alpha.
    uint8_t alpha = 0;
    const uint8_t v = 9;
    ConvertPixelRun(&v, PIX_I8, &alpha, PIX_A8, 1);
    EXPECT_EQ(alpha, 255);
    // Alpha alone is white.
    uint8_t rgb[3] = {};
    ConvertPixelRun(&v, PIX_A8, rgb, PIX_RGB24, 1);
    EXPECT_EQ(rgb[0], 255);
    EXPECT_EQ(rgb[2], 255);
}

TEST_F(PixelFormatTest, BadFormatsAndCountsConvertNothing) {
    uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t dst[8] = {};
    for (int32_t bad : {-1, 0, 7, 100}) {
        ConvertPixelRun(src, bad, dst, PIX_RGBA32, 2);
        ConvertPixelRun(src, PIX_RGBA32, dst, bad, 2);
        ConvertPixelRun(src, bad, dst, bad, 2);
    }
    ConvertPixelRun(src, PIX_RGBA32, dst, PIX_RGBA32, 0);
    ConvertPixelRun(src, PIX_RGBA32, dst, PIX_BGRA32, -5);
    CopyPixelRun(src, dst, 9, 2);
    CopyPixelRun(src, dst, PIX_RGBA32, -1);
    for (uint8_t b : dst) EXPECT_EQ(b, 0);
}

TEST_F(PixelFormatTest, CopyPixelRunCopiesWholePixelsAndAllowsOverlap) {
    uint8_t buffer[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    CopyPixelRun(buffer, buffer + 3, PIX_RGB24, 3);
    const uint8_t expected[12] = {1, 2, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 12), std::vector<uint8_t>(expected, expected + 12));
}

// The value of one pixel as (R, G, B, A), straight from the format tables.
std::array<int, 4> Decode(const uint8_t* p, int32_t format) {
    switch (format) {
        case PIX_I8: return {p[0], p[0], p[0], 255};
        case PIX_A8: return {255, 255, 255, p[0]};
        case PIX_BGR24: return {p[2], p[1], p[0], 255};
        case PIX_RGB24: return {p[0], p[1], p[2], 255};
        case PIX_BGRA32: return {p[2], p[1], p[0], p[3]};
        default: return {p[0], p[1], p[2], p[3]};
    }
}

std::vector<uint8_t> Encode(std::array<int, 4> c, int32_t format) {
    const auto b = [](int v) { return static_cast<uint8_t>(v); };
    switch (format) {
        case PIX_I8: return {b((c[0] + c[1] + c[2]) / 3)};
        case PIX_A8: return {b(c[3])};
        case PIX_BGR24: return {b(c[2]), b(c[1]), b(c[0])};
        case PIX_RGB24: return {b(c[0]), b(c[1]), b(c[2])};
        case PIX_BGRA32: return {b(c[2]), b(c[1]), b(c[0]), b(c[3])};
        default: return {b(c[0]), b(c[1]), b(c[2]), b(c[3])};
    }
}

std::vector<uint8_t> Reference(const std::vector<uint8_t>& src, int32_t from, int32_t to, int32_t count) {
    std::vector<uint8_t> out;
    for (int32_t i = 0; i < count; ++i) {
        const auto pixel = Encode(Decode(src.data() + i * PixelBytes[from], from), to);
        out.insert(out.end(), pixel.begin(), pixel.end());
    }
    return out;
}

// Every pair of formats, run lengths around the 16-pixel vector blocks and
// the 1024-pixel hub chunks, at odd addresses, with and without the vector
// paths.
TEST_F(PixelFormatTest, EveryPairMatchesTheReferenceWithAndWithoutVectors) {
    std::mt19937 random(42);
    std::vector<uint8_t> src(3000 * 4 + 1);
    for (auto& b : src) b = static_cast<uint8_t>(random());
    for (bool simd : {true, false}) {
        detail::SetPixelSimdEnabled(simd);
        for (int32_t from = 1; from <= 6; ++from) {
            for (int32_t to = 1; to <= 6; ++to) {
                for (int32_t count : {1, 15, 16, 17, 33, 64, 1023, 1024, 1025, 2999}) {
                    const std::vector<uint8_t> input(src.begin() + 1, src.begin() + 1 + count * PixelBytes[from]);
                    std::vector<uint8_t> out(static_cast<size_t>(count * PixelBytes[to]) + 1, 0xEE);
                    ConvertPixelRun(input.data(), from, out.data() + 1, to, count);
                    const std::vector<uint8_t> got(out.begin() + 1, out.end());
                    ASSERT_EQ(got, Reference(input, from, to, count))
                        << "simd " << simd << " from " << from << " to " << to << " count " << count;
                    EXPECT_EQ(out[0], 0xEE);  // nothing written before the run
                }
            }
        }
    }
}

TEST_F(PixelFormatTest, SameSizeFormatsConvertInPlace) {
    std::mt19937 random(7);
    for (bool simd : {true, false}) {
        detail::SetPixelSimdEnabled(simd);
        for (auto [from, to] : {std::pair{PIX_RGBA32, PIX_BGRA32}, std::pair{PIX_BGRA32, PIX_RGBA32},
                                std::pair{PIX_BGR24, PIX_RGB24}, std::pair{PIX_I8, PIX_A8}}) {
            std::vector<uint8_t> buffer(static_cast<size_t>(100 * PixelBytes[from]));
            for (auto& b : buffer) b = static_cast<uint8_t>(random());
            const auto expected = Reference(buffer, from, to, 100);
            ConvertPixelRun(buffer.data(), from, buffer.data(), to, 100);
            EXPECT_EQ(buffer, expected) << from << " to " << to;
        }
    }
}

}  // namespace
}  // namespace korva
