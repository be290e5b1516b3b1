// FreeType calls of the FreeType font: open a face, choose the pixel size,
// render every glyph into PIX_A8 coverage, and release FreeType again.
#include "graphics/freetype_native.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace korva::detail {
namespace {

constexpr int32_t kLargestPixelSize = 1024;
constexpr int64_t kCoverageBudget = int64_t{256} << 20;
constexpr int32_t kFirstChar = 32;
constexpr int32_t kGlyphCount = 224;

// The library and the face, released in the reverse order of their making.
struct Library {
    FT_Library handle = nullptr;
    ~Library() {
        if (handle) FT_Done_FreeType(handle);
    }
};

struct Face {
    FT_Face handle = nullptr;
    ~Face() {
        if (handle) FT_Done_Face(handle);
    }
};

struct GreyBitmap {
    FT_Library library;
    FT_Bitmap bitmap;
    explicit GreyBitmap(FT_Library library) : library(library) { FT_Bitmap_Init(&bitmap); }
    ~GreyBitmap() { FT_Bitmap_Done(library, &bitmap); }
};

int32_t ToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// 26.6 fixed point to whole pixels, as FreeType's own metrics round.
int32_t WholePixels(FT_Pos value) { return ToInt32(static_cast<int64_t>(value) >> 6); }

// The requested size, or the largest below it the face accepts (a bitmap
// font accepts only its strikes); 0 when none fits. Sizes above the largest
// are cut first, so a huge request cannot mean billions of attempts.
int32_t ChoosePixelSize(FT_Face face, int32_t size) {
    for (int32_t s = std::min(size, kLargestPixelSize); s >= 1; --s) {
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(s)) == 0) return s;
    }
    return 0;
}

// Row `row` (0 the top) of a bitmap stored in either direction.
const uint8_t* RowOf(const FT_Bitmap& bitmap, int32_t row) {
    const size_t stride = static_cast<size_t>(std::abs(static_cast<int64_t>(bitmap.pitch)));
    const size_t index = bitmap.pitch >= 0 ? static_cast<size_t>(row) : bitmap.rows - 1 - static_cast<size_t>(row);
    return bitmap.buffer + index * stride;
}

// The bitmap as coverage from 0 to 255; the null object when its rows are
// shorter than its width says.
Ref<TPixmap> Coverage(FT_Library library, const FT_Bitmap& bitmap) {
    const int32_t width = static_cast<int32_t>(bitmap.width);
    const int32_t rows = static_cast<int32_t>(bitmap.rows);
    const int64_t rowBytes = std::abs(static_cast<int64_t>(bitmap.pitch));
    if (!bitmap.buffer) return nullptr;
    Ref<TPixmap> pixels = NewPixmap(width, rows, PIX_A8, 4);

    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.num_grays == 256) {
        if (rowBytes < width) return nullptr;
        for (int32_t r = 0; r < rows; ++r) std::memcpy(pixels->PixelAddress(0, r), RowOf(bitmap, r), width);
        return pixels;
    }
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        if (rowBytes < (int64_t{width} + 7) / 8) return nullptr;
        for (int32_t r = 0; r < rows; ++r) {
            const uint8_t* in = RowOf(bitmap, r);
            uint8_t* out = pixels->PixelAddress(0, r);
            for (int32_t x = 0; x < width; ++x) out[x] = (in[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
        }
        return pixels;
    }
    // Other depths (two or four bits, other level counts, colour) through
    // FreeType's conversion to one byte per pixel, then scaled to 0-255.
    GreyBitmap grey(library);
    if (FT_Bitmap_Convert(library, &bitmap, &grey.bitmap, 1) != 0) return nullptr;
    const FT_Bitmap& g = grey.bitmap;
    if (g.width != bitmap.width || g.rows != bitmap.rows || g.num_grays < 2 || !g.buffer ||
        std::abs(static_cast<int64_t>(g.pitch)) < width) {
        return nullptr;
    }
    const int32_t top = g.num_grays - 1;
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* in = RowOf(g, r);
        uint8_t* out = pixels->PixelAddress(0, r);
        for (int32_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(std::min(255, in[x] * 255 / top));
    }
    return pixels;
}

bool Exceeds(int64_t extent, int64_t limit) { return extent > limit; }

}  // namespace

Ref<TFreeTypeFont> RenderFreeTypeFont(const std::string& path, int32_t size, int32_t style) {
    Library library;
    if (FT_Init_FreeType(&library.handle) != 0) {
        library.handle = nullptr;
        return nullptr;
    }
    Face face;
    if (FT_New_Face(library.handle, path.c_str(), 0, &face.handle) != 0) {
        face.handle = nullptr;
        return nullptr;
    }
    const int32_t pixelSize = ChoosePixelSize(face.handle, size);
    if (pixelSize == 0) return nullptr;

    const FT_Size_Metrics& metrics = face.handle->size->metrics;
    Ref<TFreeTypeFont> font = New<TFreeTypeFont>();
    font->style = style;
    font->height = WholePixels(metrics.height);
    font->ascender = WholePixels(metrics.ascender);
    font->descender = WholePixels(metrics.descender);
    font->firstChar = kFirstChar;
    font->glyphs.resize(kGlyphCount);

    // No real glyph comes near these; broken files can ask for gigabytes.
    const int64_t largest = 4 * int64_t{pixelSize} + 64;
    int64_t budget = kCoverageBudget;
    FT_GlyphSlot slot = face.handle->glyph;
    for (int32_t c = kFirstChar; c < kFirstChar + kGlyphCount; ++c) {
        Ref<TFreeTypeGlyph> glyph = New<TFreeTypeGlyph>();
        font->glyphs[static_cast<size_t>(c - kFirstChar)] = glyph;
        const FT_UInt index = FT_Get_Char_Index(face.handle, static_cast<FT_ULong>(c));
        if (FT_Load_Glyph(face.handle, index, FT_LOAD_DEFAULT) != 0) continue;
        glyph->advance = static_cast<float>(static_cast<double>(slot->advance.x) / 64.0);
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            // Measured before rendering, so that FreeType never allocates it.
            FT_BBox box;
            FT_Outline_Get_CBox(&slot->outline, &box);
            if (Exceeds((box.xMax - box.xMin) >> 6, largest) || Exceeds((box.yMax - box.yMin) >> 6, largest)) {
                continue;
            }
        }
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) continue;
        const FT_Bitmap& bitmap = slot->bitmap;
        if (Exceeds(bitmap.width, largest) || Exceeds(bitmap.rows, largest)) continue;
        glyph->x = slot->bitmap_left;
        glyph->y = ToInt32(int64_t{font->ascender} - slot->bitmap_top);
        glyph->width = static_cast<int32_t>(bitmap.width);
        glyph->height = static_cast<int32_t>(bitmap.rows);
        const int64_t bytes = int64_t{glyph->width} * glyph->height;
        if (bytes == 0 || bytes > budget) continue;
        glyph->pixels = Coverage(library.handle, bitmap);
        if (glyph->pixels) budget -= bytes;
    }
    return font;
}

}  // namespace korva::detail
