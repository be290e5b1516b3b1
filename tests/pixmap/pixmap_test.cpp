// TPixmap: creation and its checks, windows, copies, pastes, conversion,
// per-pixel access, masking, mirroring and bilinear resizing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "korvagl/korvagl.h"
#include "pixmap/pixel_simd.h"

namespace korva {
namespace {

class PixmapTest : public ::testing::Test {
protected:
    void SetUp() override { InitPixmaps(); }
    void TearDown() override { detail::SetPixelSimdEnabled(true); }
};

std::string RuntimeErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const TRuntimeError& error) {
        return error.text.ToBytes();
    }
    return "no error";
}

// A pixmap filled with random bytes.
Ref<TPixmap> RandomPixmap(int32_t width, int32_t height, int32_t format, uint32_t seed) {
    Ref<TPixmap> p = NewPixmap(width, height, format, 4);
    std::mt19937 random(seed);
    for (int32_t i = 0; i < p->capacity; ++i) p->pixels[i] = static_cast<uint8_t>(random());
    return p;
}

// The pixel bytes of every row, without the padding between rows.
std::vector<uint8_t> RowBytes(const Ref<TPixmap>& p) {
    std::vector<uint8_t> out;
    const int32_t bytes = p->width * PixelBytes[p->format];
    for (int32_t y = 0; y < p->height; ++y) {
        const uint8_t* row = p->PixelAddress(0, y);
        out.insert(out.end(), row, row + bytes);
    }
    return out;
}

TEST_F(PixmapTest, CreateRoundsRowsUpToTheAlignment) {
    const Ref<TPixmap> rgb = NewPixmap(3, 2, PIX_RGB24, 4);
    EXPECT_EQ(rgb->pitch, 12);
    EXPECT_EQ(rgb->capacity, 24);
    EXPECT_EQ(rgb->width, 3);
    EXPECT_EQ(rgb->height, 2);
    EXPECT_EQ(rgb->format, PIX_RGB24);
    EXPECT_NE(rgb->pixels, nullptr);
    EXPECT_EQ(NewPixmap(5, 1, PIX_I8, 4)->pitch, 8);
    EXPECT_EQ(NewPixmap(5, 1, PIX_I8, 1)->pitch, 5);
    EXPECT_EQ(NewPixmap(3, 3, PIX_RGB24, 16)->capacity, 48);
    EXPECT_EQ(TPixmap::Create(7, 2, PIX_RGBA32, 4)->pitch, 28);

    const TPixmap empty;
    EXPECT_EQ(empty.pixels, nullptr);
    EXPECT_EQ(empty.width | empty.height | empty.pitch | empty.format | empty.capacity, 0);
}

TEST_F(PixmapTest, CreateRefusesWhatItCannotRepresent) {
    EXPECT_EQ(RuntimeErrorText([] { NewPixmap(-1, 4, PIX_RGBA32); }), "Illegal pixmap size");
    EXPECT_EQ(RuntimeErrorText([] { NewPixmap(4, -1, PIX_RGBA32); }), "Illegal pixmap size");
    EXPECT_EQ(RuntimeErrorText([] { NewPixmap(40000, 40000, PIX_RGBA32); }), "Illegal pixmap size");
    EXPECT_EQ(RuntimeErrorText([] { NewPixmap(INT32_MAX, 1, PIX_RGBA32); }), "Illegal pixmap size");
    EXPECT_EQ(RuntimeErrorText([] { NewPixmap(4, 4, 7); }), "Illegal pixel format");
    EXPECT_EQ(RuntimeErrorText([] { NewPixmap(4, 4, -1); }), "Illegal pixel format");
    EXPECT_EQ(RuntimeErrorText([] { NewPixmap(4, 4, PIX_I8, 0); }), "Illegal row alignment");
    EXPECT_EQ(RuntimeErrorText([] { NewPixmapOver(nullptr, -2, 1, 0, PIX_I8); }), "Illegal pixmap size");

    // Empty pixmaps are fine and every operation copes with them.
    const Ref<TPixmap> empty = NewPixmap(0, 5, PIX_RGBA32);
    EXPECT_EQ(empty->capacity, 0);
    EXPECT_EQ(DuplicatePixmap(empty)->height, 5);
    EXPECT_EQ(MirrorPixmapX(empty)->width, 0);
    EXPECT_EQ(MirrorPixmapY(empty)->height, 5);
    EXPECT_EQ(ApplyMaskColour(empty, 0, 0, 0)->width, 0);
    EXPECT_EQ(ScalePixmap(empty, 3, 2)->ReadPixel(2, 1), 0u);
}

TEST_F(PixmapTest, PixelAddressFollowsPitchAndPixelSize) {
    const Ref<TPixmap> p = NewPixmap(5, 4, PIX_RGB24, 4);
    EXPECT_EQ(p->PixelAddress(0, 0), p->pixels);
    EXPECT_EQ(p->PixelAddress(2, 3), p->pixels + 3 * 16 + 2 * 3);
    EXPECT_EQ(GetPixmapPixels(p, 1, 1), p->pixels + 16 + 3);
    EXPECT_EQ(GetPixmapPixels(p), p->pixels);
    EXPECT_EQ(GetPixmapWidth(p), 5);
    EXPECT_EQ(GetPixmapHeight(p), 4);
    EXPECT_EQ(GetPixmapPitch(p), 16);
    EXPECT_EQ(GetPixmapFormat(p), PIX_RGB24);
}

TEST_F(PixmapTest, WindowSharesMemoryAndKeepsItAlive) {
    Ref<TPixmap> owner = RandomPixmap(6, 5, PIX_BGRA32, 1);
    const Ref<TPixmap> window = PixmapSubRegion(owner, 2, 1, 3, 4);
    EXPECT_EQ(window->pixels, owner->PixelAddress(2, 1));
    EXPECT_EQ(window->width, 3);
    EXPECT_EQ(window->height, 4);
    EXPECT_EQ(window->pitch, owner->pitch);
    EXPECT_EQ(window->format, PIX_BGRA32);
    EXPECT_EQ(window->capacity, -1);

    const ARGB before = owner->ReadPixel(4, 4);
    window->WritePixel(0, 0, 0x11223344);
    EXPECT_EQ(owner->ReadPixel(2, 1), 0x11223344u);
    // A window of a window still looks at the same memory.
    EXPECT_EQ(window->Window(1, 1, 2, 2)->pixels, owner->PixelAddress(3, 2));

    owner = nullptr;  // the window keeps the memory
    EXPECT_EQ(window->ReadPixel(2, 3), before);
    EXPECT_EQ(window->ReadPixel(0, 0), 0x11223344u);

    EXPECT_EQ(RuntimeErrorText([&] { window->Window(1, 0, 3, 1); }), "Pixmap region out of range");
    EXPECT_EQ(RuntimeErrorText([&] { window->Window(-1, 0, 1, 1); }), "Pixmap region out of range");
    EXPECT_EQ(RuntimeErrorText([&] { window->Window(0, 0, 1, 5); }), "Pixmap region out of range");
    EXPECT_EQ(RuntimeErrorText([&] { window->Window(0, 0, -1, 1); }), "Pixmap region out of range");
    EXPECT_EQ(window->Window(3, 4, 0, 0)->width, 0);
}

TEST_F(PixmapTest, PixmapOverForeignMemoryNeverFreesIt) {
    uint8_t memory[2 * 8] = {};
    {
        const Ref<TPixmap> p = NewPixmapOver(memory, 2, 2, 8, PIX_RGBA32);
        EXPECT_EQ(p->capacity, -1);
        EXPECT_EQ(p->pixels, memory);
        p->WritePixel(1, 1, 0x80FF0010);
    }  // freeing stack memory here would be caught by the sanitizer build
    EXPECT_EQ(memory[12], 0xFF);
    EXPECT_EQ(memory[14], 0x10);
    EXPECT_EQ(memory[15], 0x80);
}

TEST_F(PixmapTest, CopyAndConvertMakeNewAlignedPixmaps) {
    const Ref<TPixmap> source = RandomPixmap(7, 3, PIX_RGB24, 2);
    const Ref<TPixmap> window = source->Window(1, 1, 5, 2);  // pitch of its owner
    const Ref<TPixmap> copy = DuplicatePixmap(window);
    EXPECT_NE(copy->pixels, window->pixels);
    EXPECT_EQ(copy->pitch, 16);
    EXPECT_EQ(copy->capacity, 32);
    EXPECT_EQ(RowBytes(copy), RowBytes(window));

    const Ref<TPixmap> same = ReformatPixmap(source, PIX_RGB24);
    EXPECT_NE(same.Get(), source.Get());
    EXPECT_EQ(RowBytes(same), RowBytes(source));

    const Ref<TPixmap> bgr = NewPixmap(1, 1, PIX_BGR24);
    bgr->pixels[0] = 30, bgr->pixels[1] = 60, bgr->pixels[2] = 90;
    const Ref<TPixmap> grey = bgr->Convert(PIX_I8);
    EXPECT_EQ(grey->format, PIX_I8);
    EXPECT_EQ(grey->pitch, 4);
    EXPECT_EQ(grey->pixels[0], 60);
    EXPECT_EQ(RuntimeErrorText([&] { bgr->Convert(9); }), "Illegal pixel format");
}

TEST_F(PixmapTest, PasteConvertsIntoPlaceAndRefusesWhatDoesNotFit) {
    const Ref<TPixmap> target = NewPixmap(4, 3, PIX_RGBA32);
    std::memset(target->pixels, 0, static_cast<size_t>(target->capacity));
    const Ref<TPixmap> source = NewPixmap(2, 2, PIX_BGR24);
    source->WritePixel(0, 0, 0xFF010203);
    source->WritePixel(1, 0, 0xFF040506);
    source->WritePixel(0, 1, 0xFF070809);
    source->WritePixel(1, 1, 0xFF0A0B0C);
    target->Paste(source, 2, 1);
    EXPECT_EQ(target->ReadPixel(2, 1), 0xFF010203u);
    EXPECT_EQ(target->ReadPixel(3, 2), 0xFF0A0B0Cu);
    EXPECT_EQ(target->ReadPixel(1, 1), 0u);
    EXPECT_EQ(target->ReadPixel(2, 0), 0u);

    EXPECT_EQ(RuntimeErrorText([&] { target->Paste(source, 3, 0); }), "Pixmap region out of range");
    EXPECT_EQ(RuntimeErrorText([&] { target->Paste(source, 0, 2); }), "Pixmap region out of range");
    EXPECT_EQ(RuntimeErrorText([&] { target->Paste(source, -1, 0); }), "Pixmap region out of range");
    EXPECT_THROW(target->Paste(nullptr, 0, 0), TNullObjectFault);
}

TEST_F(PixmapTest, ReadAndWritePixelInEveryFormat) {
    struct Case {
        int32_t format;
        std::vector<uint8_t> bytes;
        ARGB read;
    };
    const std::vector<Case> cases = {
        {PIX_I8, {0x40}, 0xFF404040},
        {PIX_A8, {128}, 0x80FFFFFF},
        {PIX_BGR24, {1, 2, 3}, 0xFF030201},
        {PIX_RGB24, {1, 2, 3}, 0xFF010203},
        {PIX_BGRA32, {1, 2, 3, 4}, 0x04030201},
        {PIX_RGBA32, {1, 2, 3, 4}, 0x04010203},
    };
    for (const Case& c : cases) {
        const Ref<TPixmap> p = NewPixmap(2, 2, c.format);
        std::memcpy(p->PixelAddress(1, 1), c.bytes.data(), c.bytes.size());
        EXPECT_EQ(ReadPixel(p, 1, 1), c.read) << c.format;
        std::memset(p->pixels, 0, static_cast<size_t>(p->capacity));
        WritePixel(p, 1, 1, c.read);
        EXPECT_EQ(std::vector<uint8_t>(p->PixelAddress(1, 1), p->PixelAddress(1, 1) + c.bytes.size()), c.bytes)
            << c.format;
    }
    // Alpha 128 on white, written to grey, is white.
    const Ref<TPixmap> grey = NewPixmap(1, 1, PIX_I8);
    grey->WritePixel(0, 0, 0x80FFFFFF);
    EXPECT_EQ(grey->pixels[0], 255);
    grey->WritePixel(0, 0, 0xFF0A141F);  // (10 + 20 + 31) / 3
    EXPECT_EQ(grey->pixels[0], 20);
    const Ref<TPixmap> alpha = NewPixmap(1, 1, PIX_A8);
    alpha->WritePixel(0, 0, 0x7F000000);
    EXPECT_EQ(alpha->pixels[0], 0x7F);
}

TEST_F(PixmapTest, NullPixmapsRaiseTheNullObjectFault) {
    const Ref<TPixmap> none;
    EXPECT_THROW(GetPixmapWidth(none), TNullObjectFault);
    EXPECT_THROW(ReadPixel(none, 0, 0), TNullObjectFault);
    EXPECT_THROW(ScalePixmap(none, 1, 1), TNullObjectFault);
    EXPECT_THROW(ApplyMaskColour(none, 0, 0, 0), TNullObjectFault);
    EXPECT_THROW(MirrorPixmapX(none), TNullObjectFault);
    EXPECT_THROW(DuplicatePixmap(none), TNullObjectFault);
}

// ---- Masking ----------------------------------------------------------------

TEST_F(PixmapTest, MaskOfAnAllKeyImageIsAllZero) {
    const Ref<TPixmap> p = NewPixmap(3, 3, PIX_RGB24);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x) p->WritePixel(x, y, 0xFFFF00FF);
    const Ref<TPixmap> masked = ApplyMaskColour(p, 255, 0, 255);
    EXPECT_EQ(masked->format, PIX_RGBA32);
    for (uint8_t b : RowBytes(masked)) EXPECT_EQ(b, 0);
}

TEST_F(PixmapTest, MaskAveragesTheNonKeyNeighboursOfKeyPixels) {
    // Key is black. Row 0: red, key, blue; row 1: key, key, green; row 2: all key.
    const Ref<TPixmap> p = NewPixmap(3, 3, PIX_RGBA32);
    std::memset(p->pixels, 0, static_cast<size_t>(p->capacity));
    p->WritePixel(0, 0, 0x10FF0000);  // source alpha is not kept
    p->WritePixel(2, 0, 0xFF0000FF);
    p->WritePixel(2, 1, 0xFF00FF00);
    for (int32_t x = 0; x < 3; ++x) p->WritePixel(x, 2, 0xFF000000);
    const Ref<TPixmap> m = ApplyMaskColour(p, 0, 0, 0);

    EXPECT_EQ(m->ReadPixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(m->ReadPixel(2, 1), 0xFF00FF00u);
    // (1, 0) sees red, blue and green: 255/3 each.
    EXPECT_EQ(m->ReadPixel(1, 0), 0x00555555u);
    // (0, 1) sees only red.
    EXPECT_EQ(m->ReadPixel(0, 1), 0x00FF0000u);
    // (1, 1) sees red, blue, green: 85 each.
    EXPECT_EQ(m->ReadPixel(1, 1), 0x00555555u);
    // (2, 2) sees green only; (0, 2) sees nothing but key.
    EXPECT_EQ(m->ReadPixel(2, 2), 0x0000FF00u);
    EXPECT_EQ(m->ReadPixel(0, 2), 0x00000000u);
}

TEST_F(PixmapTest, MaskConvertsOtherFormatsAndNeedsAllThreeChannels) {
    const Ref<TPixmap> p = NewPixmap(2, 1, PIX_BGR24);
    p->WritePixel(0, 0, 0xFF0A0B0C);
    p->WritePixel(1, 0, 0xFF0A0B0D);
    const Ref<TPixmap> m = ApplyMaskColour(p, 10, 11, 12);
    EXPECT_EQ(m->ReadPixel(0, 0), 0x000A0B0Du);
    EXPECT_EQ(m->ReadPixel(1, 0), 0xFF0A0B0Du);
    EXPECT_EQ(p->ReadPixel(0, 0), 0xFF0A0B0Cu);  // the source is untouched
}

// ---- Mirroring --------------------------------------------------------------

TEST_F(PixmapTest, MirrorsReverseColumnsOrRows) {
    for (int32_t format : {PIX_I8, PIX_RGB24, PIX_RGBA32}) {
        const Ref<TPixmap> p = RandomPixmap(5, 3, format, 9);
        const Ref<TPixmap> mx = MirrorPixmapX(p);
        const Ref<TPixmap> my = MirrorPixmapY(p);
        EXPECT_EQ(mx->format, format);
        EXPECT_NE(mx->pixels, p->pixels);
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < 5; ++x) {
                EXPECT_EQ(mx->ReadPixel(x, y), p->ReadPixel(4 - x, y));
                EXPECT_EQ(my->ReadPixel(x, y), p->ReadPixel(x, 2 - y));
            }
        }
    }
}

// ---- Resizing ---------------------------------------------------------------

// Bilinear resampling written out per output byte, as described.
std::vector<uint8_t> ReferenceScale(const Ref<TPixmap>& source, int32_t w, int32_t h) {
    const Ref<TPixmap> s = source->Convert(PIX_RGBA32);
    const float xs = static_cast<float>(s->width) / static_cast<float>(w);
    const float ys = static_cast<float>(s->height) / static_cast<float>(h);
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < h; ++y) {
        const float sy = (static_cast<float>(y) + 0.5f) * ys - 0.5f;
        float fy = std::floor(sy), ty = sy - fy;
        int32_t dy = s->pitch;
        if (fy < 0) {
            fy = 0, ty = 0, dy = 0;
        } else if (fy >= static_cast<float>(s->height - 1)) {
            fy = static_cast<float>(s->height - 1), ty = 0, dy = 0;
        }
        for (int32_t x = 0; x < w; ++x) {
            const float sx = (static_cast<float>(x) + 0.5f) * xs - 0.5f;
            float fx = std::floor(sx), tx = sx - fx;
            int32_t dx = 4;
            if (fx < 0) {
                fx = 0, tx = 0, dx = 0;
            } else if (fx >= static_cast<float>(s->width - 1)) {
                fx = static_cast<float>(s->width - 1), tx = 0, dx = 0;
            }
            const uint8_t* p = s->PixelAddress(static_cast<int32_t>(fx), static_cast<int32_t>(fy));
            for (int c = 0; c < 4; ++c) {
                const int a = p[c], b = p[c + dx], e = p[c + dy], d = p[c + dy + dx];
                const double top = a + (b - a) * static_cast<double>(tx);
                const double bottom = e + (d - e) * static_cast<double>(tx);
                const double v = top + (bottom - top) * static_cast<double>(ty);
                out.push_back(static_cast<uint8_t>(static_cast<int>(v)));
            }
        }
    }
    return out;
}

TEST_F(PixmapTest, ScalingOnePixelRepeatsIt) {
    const Ref<TPixmap> p = NewPixmap(1, 1, PIX_RGB24);
    p->WritePixel(0, 0, 0xFF123456);
    const Ref<TPixmap> big = ScalePixmap(p, 7, 5);
    EXPECT_EQ(big->format, PIX_RGB24);
    EXPECT_EQ(big->width, 7);
    EXPECT_EQ(big->height, 5);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(big->ReadPixel(x, y), 0xFF123456u);
}

TEST_F(PixmapTest, ScalingToTheSameSizeReproducesTheSource) {
    for (bool simd : {true, false}) {
        detail::SetPixelSimdEnabled(simd);
        for (int32_t format : {PIX_RGBA32, PIX_BGR24, PIX_A8}) {
            const Ref<TPixmap> p = RandomPixmap(13, 9, format, 5);
            const Ref<TPixmap> same = ScalePixmap(p, 13, 9);
            EXPECT_NE(same.Get(), p.Get());
            EXPECT_EQ(same->format, format);
            EXPECT_EQ(RowBytes(same), RowBytes(p)) << format;
        }
    }
}

TEST_F(PixmapTest, ScalingHalvesByAveragingNeighbours) {
    // Downscaling 4x1 to 2x1 samples at 0.5 and 2.5: the mean of each pair.
    const Ref<TPixmap> p = NewPixmap(4, 1, PIX_RGBA32);
    const uint8_t bytes[16] = {0, 10, 100, 255, 10, 20, 201, 255, 40, 0, 0, 0, 60, 255, 255, 255};
    std::memcpy(p->pixels, bytes, 16);
    const Ref<TPixmap> half = ScalePixmap(p, 2, 1);
    const std::vector<uint8_t> expected = {5, 15, 150, 255, 50, 127, 127, 127};
    EXPECT_EQ(RowBytes(half), expected);
}

TEST_F(PixmapTest, ScalingMatchesTheReferenceWithAndWithoutVectors) {
    const Ref<TPixmap> p = RandomPixmap(37, 23, PIX_RGBA32, 11);
    const Ref<TPixmap> rgb = RandomPixmap(19, 31, PIX_RGB24, 12);
    for (bool simd : {true, false}) {
        detail::SetPixelSimdEnabled(simd);
        for (auto [w, h] : {std::pair{18, 11}, std::pair{100, 70}, std::pair{37, 5}, std::pair{1, 1},
                            std::pair{3, 50}}) {
            EXPECT_EQ(RowBytes(ScalePixmap(p, w, h)), ReferenceScale(p, w, h)) << w << "x" << h;
            const Ref<TPixmap> scaled = ScalePixmap(rgb, w, h);
            EXPECT_EQ(RowBytes(scaled->Convert(PIX_RGBA32)), ReferenceScale(rgb, w, h)) << w << "x" << h;
        }
    }
}

TEST_F(PixmapTest, ScalingToNothingOrBelowNothing) {
    const Ref<TPixmap> p = RandomPixmap(4, 4, PIX_RGBA32, 3);
    EXPECT_EQ(ScalePixmap(p, 0, 4)->width, 0);
    EXPECT_EQ(ScalePixmap(p, 4, 0)->capacity, 0);
    EXPECT_EQ(RuntimeErrorText([&] { ScalePixmap(p, -1, 4); }), "Illegal pixmap size");
}

}  // namespace
}  // namespace korva
