// The image font: glyph images made once from a font face or from the
// built-in 8x16 font, drawn through the current draw driver.
#include "korvagl/graphics/image_font.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <cstdint>

#include "graphics/glyph_cache.h"
#include "graphics/korvafont_data.h"
#include "korvagl/app/embedded_data.h"
#include "korvagl/app/modules.h"
#include "korvagl/graphics/font.h"

namespace korva {
namespace {

constexpr char kDefaultFontName[] = "korvafont.bin";
constexpr int32_t kCellWidth = 8;
constexpr int32_t kCellHeight = 16;
constexpr int32_t kDefaultGlyphs = 96;
constexpr int32_t kLastCode = 0x10FFFF;

bool IsHighSurrogate(int32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(int32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// The image glyph of a face's glyph: its metrics, and a filtered image of its
// pixels when it has any. An empty glyph for the null object.
Ref<TImageGlyph> ImageGlyphOf(const Ref<TFontGlyph>& g) {
    Ref<TImageGlyph> glyph = New<TImageGlyph>();
    if (!g) return glyph;
    glyph->advance = g->Advance();
    g->GetRect(glyph->x, glyph->y, glyph->width, glyph->height);
    if (Ref<TPixmap> pixels = g->Pixels()) glyph->image = TImage::Load(pixels, 0, 0, 0, IMAGE_FILTERED);
    return glyph;
}

// What a glyph image holds: the glyph objects, its pixels, and its texture
// (RGBA, with mipmaps since glyphs are filtered).
int64_t BytesOf(const TImageGlyph* glyph) {
    if (!glyph) return 0;
    int64_t bytes = 1024;
    if (glyph->image) {
        for (const Ref<TPixmap>& pixels : glyph->image->pixmaps) {
            if (pixels) bytes += std::max<int64_t>(pixels->capacity, 0);
        }
        bytes += int64_t{glyph->image->width} * glyph->image->height * 16 / 3;
    }
    return bytes;
}

}  // namespace

struct TImageFont::MorePage : detail::CharGlyphPage<TImageGlyph> {};

TImageFont::TImageFont() = default;
TImageFont::~TImageFont() = default;

Ref<TImage> TImageGlyph::Image() { return image; }
float TImageGlyph::Advance() { return advance; }

void TImageGlyph::GetRect(int32_t& rx, int32_t& ry, int32_t& rwidth, int32_t& rheight) {
    rx = x;
    ry = y;
    rwidth = width;
    rheight = height;
}

int32_t TImageFont::Style() { return style; }
int32_t TImageFont::Height() { return height; }
int32_t TImageFont::FirstChar() { return firstChar; }
int32_t TImageFont::CountGlyphs() { return static_cast<int32_t>(glyphs.size()); }

Ref<TImageGlyph> TImageFont::Glyph(int32_t index) {
    if (index < 0 || index >= CountGlyphs()) RaiseArrayIndexFault();
    return glyphs[static_cast<size_t>(index)];
}

TImageGlyph* TImageFont::NextGlyph(const String& text, int32_t& n) {
    const int32_t unit = text[n++];
    const int64_t index = int64_t{unit} - firstChar;
    if (index >= 0 && index < static_cast<int64_t>(glyphs.size())) return glyphs[static_cast<size_t>(index)].Get();
    if (!source) return nullptr;
    int32_t code = unit;
    if (IsHighSurrogate(unit) && n < text.Length() && IsLowSurrogate(text[n])) {
        code = 0x10000 + ((unit - 0xD800) << 10) + (text[n++] - 0xDC00);
    }
    return MoreGlyph(code);
}

TImageGlyph* TImageFont::MoreGlyph(int32_t code) {
    if (code < 32 || code > kLastCode || (code >= 0xD800 && code < 0xE000)) return nullptr;
    const size_t page = static_cast<size_t>(code) >> 8;
    const size_t slot = static_cast<size_t>(code) & 255;
    if (page >= pages_.size()) pages_.resize(page + 1);
    if (!pages_[page]) pages_[page] = std::make_unique<MorePage>();
    MorePage& p = *pages_[page];
    if (p.asked[slot]) {
        p.Used();
        return p.glyphs[slot].Get();
    }
    // A character the face lacks is remembered as lacking.
    Ref<TImageGlyph> glyph;
    if (Ref<TFontGlyph> g = source->LoadCharGlyph(code)) glyph = ImageGlyphOf(g);
    p.Keep(BytesOf(glyph.Get()));
    p.glyphs[slot] = glyph;
    p.asked[slot] = true;
    return glyph.Get();
}

Ref<TImageGlyph> TImageFont::CharGlyph(int32_t code) {
    const int64_t index = int64_t{code} - firstChar;
    if (index >= 0 && index < static_cast<int64_t>(glyphs.size())) return glyphs[static_cast<size_t>(index)];
    return source ? MoreGlyph(code) : nullptr;
}

void TImageFont::Draw(const String& text, float x, float y, float xx, float xy, float yx, float yy) {
    for (int32_t n = 0; n < text.Length();) {
        const TImageGlyph* found = NextGlyph(text, n);
        if (!found) continue;
        const TImageGlyph& g = *found;
        const float gx = static_cast<float>(g.x);
        const float gy = static_cast<float>(g.y);
        const float dx = std::trunc(gx * xx + gy * xy);
        const float dy = std::trunc(gx * yx + gy * yy);
        if (g.image) {
            const TImage& image = *g.image;
            image.Frame(0).Draw(0, 0, static_cast<float>(image.width), static_cast<float>(image.height), x + dx,
                                y + dy);
        }
        x += g.advance * xx;
        y += g.advance * yx;
    }
}

Ref<TImageFont> TImageFont::Load(const Ref<Object>& url, int32_t size, int32_t style) {
    Ref<TFontFace> face = OpenFont(url, size, style);
    if (!face) return nullptr;
    Ref<TImageFont> font = New<TImageFont>();
    font->style = face->Style();
    font->height = face->Height();
    font->firstChar = face->FirstChar();
    const int32_t count = std::max(face->CountGlyphs(), 0);
    font->glyphs.resize(static_cast<size_t>(count));
    // A loader that has no glyph for an index leaves an empty one.
    for (int32_t i = 0; i < count; ++i) font->glyphs[static_cast<size_t>(i)] = ImageGlyphOf(face->LoadGlyph(i));
    font->source = face;
    return font;
}

Ref<TImageFont> TImageFont::Load(const String& url, int32_t size, int32_t style) {
    return Load(BoxString(url), size, style);
}

Ref<TImageFont> TImageFont::CreateDefault() {
    Ref<TImageFont> font = New<TImageFont>();
    font->height = kCellHeight;
    font->firstChar = 32;
    font->glyphs.resize(kDefaultGlyphs);

    // One sheet for all glyphs; each glyph image is a window into it, which
    // keeps the sheet alive for as long as any glyph is in use.
    const auto* data = static_cast<const uint8_t*>(EmbeddedDataAddress(kDefaultFontName));
    const int32_t length = data ? EmbeddedDataLength(kDefaultFontName) : 0;
    Ref<TPixmap> sheet = NewPixmap(kDefaultGlyphs * kCellWidth, kCellHeight, PIX_RGBA32, 4);
    for (int32_t row = 0; row < kCellHeight; ++row) {
        for (int32_t c = 0; c < kDefaultGlyphs; ++c) {
            // Bytes a shorter registered file lacks count as blank.
            const int32_t offset = row * kDefaultGlyphs + c;
            const uint8_t bits = offset < length ? data[offset] : 0;
            for (int32_t k = 0; k < kCellWidth; ++k) {
                sheet->WritePixel(c * kCellWidth + k, row, (bits >> k) & 1 ? 0xFFFFFFFFu : 0u);
            }
        }
    }
    for (int32_t c = 0; c < kDefaultGlyphs; ++c) {
        Ref<TImageGlyph> glyph = New<TImageGlyph>();
        glyph->advance = static_cast<float>(kCellWidth);
        glyph->width = kCellWidth;
        glyph->height = kCellHeight;
        glyph->image = TImage::Load(sheet->Window(c * kCellWidth, 0, kCellWidth, kCellHeight), 0, 0, 0, 0);
        font->glyphs[static_cast<size_t>(c)] = glyph;
    }
    return font;
}

int InitImageFont() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitFonts();
    InitImages();
    detail::NoteModuleStarted("image font");
    RegisterEmbeddedData(kDefaultFontName, detail::kKorvaFontData, detail::kKorvaFontSize);
    return 0;
}

}  // namespace korva
