// The JPEG decoder: its native layer on its own (DecodeJPEG fed by a read
// callback over bytes in memory, including short reads, cut and hostile
// data), then TJPEGPixmapDecoder on streams.
#include <gtest/gtest.h>

#include <setjmp.h>
#include <stdio.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <jpeglib.h>

#include "pixmap/jpeg_native.h"
#include "korvagl/korvagl.h"
#include "tests/pixmap/decoder_test_support.h"
#include "tests/support/image_fixtures.h"

namespace korva {
namespace {

struct Input {
    std::string data;
    size_t pos = 0;
    size_t maxPerCall = SIZE_MAX;  // simulates a source that delivers in dribs
    int calls = 0;
};

size_t ReadInput(void* buffer, size_t size, size_t count, void* handle) {
    auto* in = static_cast<Input*>(handle);
    ++in->calls;
    size_t n = size * count;
    n = std::min({n, in->maxPerCall, in->data.size() - in->pos});
    std::memcpy(buffer, in->data.data() + in->pos, n);
    in->pos += n;
    return n / size;
}

struct Decoded {
    int result = -2;
    int32_t width = -1, height = -1, components = -1;
    std::string pixels;
    std::string failure;
};

Decoded Decode(Input input) {
    Decoded d;
    uint8_t* block = nullptr;
    d.result = DecodeJPEG(&input, ReadInput, &d.width, &d.height, &d.components, &block, &d.failure);
    if (block) {
        d.pixels.assign(reinterpret_cast<char*>(block), static_cast<size_t>(d.width) * d.height * d.components);
        std::free(block);
    }
    return d;
}

Decoded Decode(const std::string& bytes) { return Decode(Input{bytes}); }

// Mean absolute difference between two equally long byte strings (JPEG is
// lossy, and chroma is subsampled).
double MeanDifference(const std::string& a, const std::vector<uint8_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    double sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        sum += std::abs(static_cast<uint8_t>(a[i]) - static_cast<int>(b[i]));
    }
    return a.empty() ? 0 : sum / static_cast<double>(a.size());
}

TEST(JpegNativeTest, DecodesColourAndGreyAsRgb) {
    const auto rgb = test::TestPattern(75, 41, 3);
    const Decoded colour = Decode(test::EncodeJPEG(75, 41, 3, rgb, 100));
    ASSERT_EQ(colour.result, 0);
    EXPECT_EQ(colour.width, 75);
    EXPECT_EQ(colour.height, 41);
    EXPECT_EQ(colour.components, 3);
    ASSERT_EQ(colour.pixels.size(), rgb.size());
    EXPECT_LE(MeanDifference(colour.pixels, rgb), 6);

    const auto grey = test::TestPattern(16, 8, 1);
    const Decoded g = Decode(test::EncodeJPEG(16, 8, 1, grey, 100));
    ASSERT_EQ(g.result, 0);
    EXPECT_EQ(g.components, 3);
    std::vector<uint8_t> greyAsRgb;
    for (uint8_t level : grey) greyAsRgb.insert(greyAsRgb.end(), 3, level);
    EXPECT_LE(MeanDifference(g.pixels, greyAsRgb), 3);

    const auto progressive = Decode(test::EncodeJPEG(75, 41, 3, rgb, 100, true));
    ASSERT_EQ(progressive.result, 0);
    EXPECT_LE(MeanDifference(progressive.pixels, rgb), 6);
}

TEST(JpegNativeTest, ShortReadsStillDecode) {
    const auto rgb = test::TestPattern(40, 30, 3);
    Input dribble{test::EncodeJPEG(40, 30, 3, rgb)};
    dribble.maxPerCall = 7;
    const Decoded d = Decode(dribble);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.pixels, Decode(test::EncodeJPEG(40, 30, 3, rgb)).pixels);
}

TEST(JpegNativeTest, EmptyOrForeignDataFails) {
    const Decoded empty = Decode(std::string());
    EXPECT_EQ(empty.result, -1);
    EXPECT_EQ(empty.width, 0);
    EXPECT_TRUE(empty.pixels.empty());
    EXPECT_EQ(empty.failure, "");  // not a JPEG: no reason to give
    const Decoded png = Decode(std::string("\x89PNG\r\n\x1a\n and so on"));
    EXPECT_EQ(png.result, -1);
    EXPECT_EQ(png.failure, "");
    EXPECT_EQ(Decode(std::string(5000, '\0')).result, -1);
    EXPECT_EQ(Decode(std::string("\xFF\xD8\xFF\xD9", 4)).result, -1);  // start and end, nothing between
}

TEST(JpegNativeTest, DataCutInsideTheScanEndsTheImageThere) {
    const auto rgb = test::TestPattern(64, 64, 3);
    const std::string whole = test::EncodeJPEG(64, 64, 3, rgb, 95);
    const Decoded cut = Decode(whole.substr(0, whole.size() * 2 / 3));
    ASSERT_EQ(cut.result, 0);
    EXPECT_EQ(cut.width, 64);
    EXPECT_EQ(cut.height, 64);
    // The top rows arrived; the bottom row did not.
    const std::vector<uint8_t> top(rgb.begin(), rgb.begin() + 64 * 3);
    EXPECT_LE(MeanDifference(cut.pixels.substr(0, 64 * 3), top), 8);
    const std::vector<uint8_t> bottom(rgb.end() - 64 * 3, rgb.end());
    EXPECT_GT(MeanDifference(cut.pixels.substr(cut.pixels.size() - 64 * 3), bottom), 20);

    // Cut inside the header: there is no image to show.
    EXPECT_EQ(Decode(whole.substr(0, 100)).result, -1);
    EXPECT_EQ(Decode(whole.substr(0, 2)).result, -1);
}

TEST(JpegNativeTest, ALengthPastTheEndStopsReading) {
    // SOI, then an APP1 segment that claims 65533 bytes of a file of 11.
    Input input{std::string("\xFF\xD8\xFF\xE1\xFF\xFFshort", 11)};
    uint8_t* block = nullptr;
    int32_t width, height, components;
    EXPECT_EQ(DecodeJPEG(&input, ReadInput, &width, &height, &components, &block), -1);
    EXPECT_EQ(block, nullptr);
    EXPECT_LE(input.calls, 4);  // not a read for every two bytes claimed
}

// Offset of the frame header's height field (SOF0: FF C0, length, precision).
size_t FrameSizeOffset(const std::string& jpeg) {
    for (size_t i = 0; i + 9 < jpeg.size(); ++i) {
        if (static_cast<uint8_t>(jpeg[i]) == 0xFF && (static_cast<uint8_t>(jpeg[i + 1]) & 0xFE) == 0xC0) return i + 5;
    }
    return std::string::npos;
}

std::string WithSize(std::string jpeg, int width, int height) {
    const size_t at = FrameSizeOffset(jpeg);
    jpeg[at] = static_cast<char>(height >> 8), jpeg[at + 1] = static_cast<char>(height);
    jpeg[at + 2] = static_cast<char>(width >> 8), jpeg[at + 3] = static_cast<char>(width);
    return jpeg;
}

TEST(JpegNativeTest, OversizedImagesAreRefusedBeforeDecoding) {
    const std::string small = test::EncodeJPEG(16, 16, 3, test::TestPattern(16, 16, 3));
    ASSERT_NE(FrameSizeOffset(small), std::string::npos);
    const Decoded wider = Decode(WithSize(small, 40000, 16));  // wider than 32768
    EXPECT_EQ(wider.result, -1);
    EXPECT_EQ(wider.failure, "image too large (40000 x 16)");
    EXPECT_EQ(Decode(WithSize(small, 16, 33000)).result, -1);   // taller than 32768
    EXPECT_EQ(Decode(WithSize(small, 30000, 30000)).result, -1); // 2.7 GB of pixels
    // A size within the limits decodes (mostly grey, since the data is short).
    const Decoded wide = Decode(WithSize(small, 2000, 16));
    EXPECT_EQ(wide.result, 0);
    EXPECT_EQ(wide.width, 2000);
}

// A legal progressive greyscale JPEG with one scan per coefficient and
// refinement pass: 128 scans.
std::string ManyScanJpeg() {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = 16, cinfo.image_height = 16, cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    std::vector<jpeg_scan_info> scans;
    scans.push_back({1, {0}, 0, 0, 0, 1});
    for (int k = 1; k < 64; ++k) scans.push_back({1, {0}, k, k, 0, 1});
    scans.push_back({1, {0}, 0, 0, 1, 0});
    for (int k = 1; k < 64; ++k) scans.push_back({1, {0}, k, k, 1, 0});
    cinfo.scan_info = scans.data();
    cinfo.num_scans = static_cast<int>(scans.size());
    jpeg_start_compress(&cinfo, TRUE);
    const auto grey = test::TestPattern(16, 16, 1);
    while (cinfo.next_scanline < 16) {
        JSAMPROW row = const_cast<JSAMPROW>(grey.data() + cinfo.next_scanline * 16);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return out;
}

TEST(JpegNativeTest, TooManyScansAreRefused) {
    const Decoded d = Decode(ManyScanJpeg());
    EXPECT_EQ(d.result, -1);
    EXPECT_EQ(d.failure, "too many scans (more than 100)");
}

TEST(JpegNativeTest, NothingIsPrinted) {
    const std::string good = test::EncodeJPEG(64, 64, 3, test::TestPattern(64, 64, 3));
    const std::string errors = test::CapturedStandardError([&] {
        Decode(good.substr(0, good.size() / 2));
        Decode(good.substr(0, 300));
        std::string corrupt = good;
        for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 40; ++i) corrupt[i] = '\x13';
        Decode(corrupt);
        Decode(ManyScanJpeg());
    });
    EXPECT_EQ(errors, "");
}

// ---- On streams ---------------------------------------------------------------

TEST(JpegDecoderTest, ColourLoadsAsRgbOfFullSize) {
    InitKorvaGL();
    const auto rgb = test::TestPattern(75, 41, 3);
    const std::string file = test::EncodeJPEG(75, 41, 3, rgb, 100);
    const Ref<TPixmap> p = test::Load(file);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->format, PIX_RGB24);
    EXPECT_EQ(p->width, 75);
    EXPECT_EQ(p->height, 41);
    EXPECT_EQ(p->pitch, 228);
    const std::vector<uint8_t> rows = test::PixelRows(p);
    EXPECT_EQ(std::string(rows.begin(), rows.end()), Decode(file).pixels);

    // Rows of a multiple of 4 bytes need no spreading out.
    const std::string even = test::EncodeJPEG(20, 6, 3, test::TestPattern(20, 6, 3));
    const Ref<TPixmap> e = test::Load(even);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->pitch, 60);
    const std::vector<uint8_t> evenRows = test::PixelRows(e);
    EXPECT_EQ(std::string(evenRows.begin(), evenRows.end()), Decode(even).pixels);

    const Ref<TJPEGPixmapDecoder> jpeg = test::RegisteredDecoder<TJPEGPixmapDecoder>();
    EXPECT_FALSE(jpeg->ReadPixmap(test::StreamOf("")));
    EXPECT_FALSE(jpeg->ReadPixmap(test::StreamOf(file.substr(0, 200))));
    const Ref<TPixmap> cut = jpeg->ReadPixmap(test::StreamOf(file.substr(0, file.size() / 2)));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->height, 41);
}

TEST(JpegDecoderTest, GreyCmykAndYcckLoadAsPillowDecodesThem) {
    InitKorvaGL();
    const auto cmyk = test::TestPattern(37, 21, 4, 3);
    const std::vector<std::string> files = {
        test::EncodeJPEG(37, 21, 1, test::TestPattern(37, 21, 1, 2)),
        test::EncodeJPEG(37, 21, 1, test::TestPattern(37, 21, 1, 2), 80, true),
        test::EncodeJPEG(37, 21, 4, cmyk),
        test::EncodeJPEG(37, 21, 4, cmyk, 90, false, true),
    };
    const std::vector<test::PilImage> references = test::DecodeWithPIL(files);
    for (size_t i = 0; i < files.size(); ++i) {
        const Ref<TPixmap> p = test::Load(files[i]);
        ASSERT_TRUE(p) << i;
        EXPECT_EQ(p->format, PIX_RGB24) << i;
        EXPECT_EQ(p->width, 37) << i;
        EXPECT_EQ(test::PixelRows(p), references[i].pixels) << i;
    }
}

TEST(JpegDecoderTest, StreamErrorsLeaveTheDecoder) {
    InitKorvaGL();
    const Ref<TJPEGPixmapDecoder> jpeg = test::RegisteredDecoder<TJPEGPixmapDecoder>();
    const std::string file = test::EncodeJPEG(64, 64, 3, test::TestPattern(64, 64, 3));
    for (int32_t failAt : {0, 2, 300, static_cast<int32_t>(file.size()) - 10}) {
        const Ref<test::ScriptedStream> stream = New<test::ScriptedStream>(file);
        stream->failAt = failAt;
        EXPECT_THROW(jpeg->ReadPixmap(stream), TStreamReadError) << failAt;
        stream->Seek(0);
        EXPECT_FALSE(ReadPixmap(Ref<Object>(stream))) << failAt;  // absorbed
    }
}

}  // namespace
}  // namespace korva
