// Text on a real Mesa context: the built-in font's layout and drawing, text
// measurement, the font registry and fonts opened with FreeType.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>

#include "graphics/freetype_native.h"
#include "graphics/glyph_cache.h"
#include "graphics/korvafont_data.h"
#include "support/font_fixtures.h"
#include "support/temp_dir.h"
#include "tests/graphics/gl_test_support.h"

namespace korva {
namespace {

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char kFixed13[] = "/usr/share/fonts/X11/misc/7x13.pcf.gz";

bool Ink(const uint8_t* font, int code, int row, int column) {
    return (font[row * 96 + code - 32] >> column) & 1;
}

// Every pixel of the 8x16 cell of `code` lands where `place` says, lit
// exactly where the font data has ink.
void ExpectGlyph(const uint8_t* font, int code, const std::function<std::pair<int, int>(int, int)>& place) {
    const Ref<TPixmap> screen = ReadScreenPixmap(0, 0, 320, 240);
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < 8; ++column) {
            const auto [x, y] = place(column, row);
            const bool lit = (screen->ReadPixel(x, y) & 0xFFFFFF) != 0;
            EXPECT_EQ(lit, Ink(font, code, row, column)) << char(code) << " column " << column << " row " << row;
        }
    }
}

bool ScreenIsBlank() {
    const Ref<TPixmap> screen = ReadScreenPixmap(0, 0, 320, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            if (screen->ReadPixel(x, y) & 0xFFFFFF) return false;
    return true;
}

class FontTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseOffscreenVideo();
        InitFreeTypeFonts();
        OpenGraphics(320, 240, 0, 0);
        ClearScreen();
    }
    void TearDown() override { CloseGraphics(); }
};

TEST_F(FontTest, DefaultFontHoldsTheEmbeddedBitmaps) {
    Ref<TImageFont> font = GetDrawFont();
    ASSERT_TRUE(font);
    EXPECT_EQ(font->FirstChar(), 32);
    EXPECT_EQ(font->CountGlyphs(), 96);
    EXPECT_EQ(font->Height(), 16);
    EXPECT_EQ(EmbeddedDataLength("korvafont.bin"), 1536);
    // Glyph 33 is "A": its rows are bytes 33, 129, 225, ...; bit k is column k.
    const uint8_t* data = detail::kKorvaFontData;
    for (int c = 32; c < 128; ++c) {
        const Ref<TImageGlyph> glyph = font->Glyph(c - 32);
        EXPECT_EQ(glyph->Advance(), 8.0f);
        const Ref<TPixmap> pixels = glyph->Image()->pixmaps[0];
        for (int row = 0; row < 16; ++row)
            for (int k = 0; k < 8; ++k) ASSERT_EQ(pixels->ReadPixel(k, row), Ink(data, c, row, k) ? ~0u : 0u);
    }
    EXPECT_THROW(font->Glyph(96), TArrayIndexFault);
}

TEST_F(FontTest, TextIsDrawnGlyphByGlyphAlongTheMatrix) {
    const uint8_t* data = detail::kKorvaFontData;
    DrawText("AB", 10, 20);
    ExpectGlyph(data, 'A', [](int c, int r) { return std::pair(10 + c, 20 + r); });
    ExpectGlyph(data, 'B', [](int c, int r) { return std::pair(18 + c, 20 + r); });

    // A quarter turn: local (u, v) lands at (100 - v, 100 + u); the pen moves down.
    ClearScreen();
    SetDrawRotation(90);
    DrawText("AB", 100, 100);
    ExpectGlyph(data, 'A', [](int c, int r) { return std::pair(99 - r, 100 + c); });
    ExpectGlyph(data, 'B', [](int c, int r) { return std::pair(99 - r, 108 + c); });

    // Origin and draw handle apply as to primitives.
    ClearScreen();
    SetDrawRotation(0);
    SetDrawOrigin(5, 6);
    SetDrawHandle(3, 4);
    DrawText("A", 50, 50);
    ExpectGlyph(data, 'A', [](int c, int r) { return std::pair(52 + c, 52 + r); });

    // Units outside 32-127 draw nothing and measure nothing.
    ClearScreen();
    const char16_t outside[] = {31, 128, 255, 0x4100, 0};
    DrawText(String(outside), 10, 10);
    EXPECT_TRUE(ScreenIsBlank());
    EXPECT_EQ(TextWidth(String(outside)), 0);
    EXPECT_EQ(TextHeight(String(outside)), 0);

    // A fresh display makes a fresh default font, which draws.
    Ref<TImageFont> before = GetDrawFont();
    CloseGraphics();
    EXPECT_FALSE(GetDrawFont());
    EXPECT_EQ(TextWidth("AB"), 0);
    DrawText("AB", 0, 0);
    OpenGraphics(320, 240, 0, 0);
    EXPECT_NE(GetDrawFont().Get(), before.Get());
    DrawText("B", 0, 0);
    ExpectGlyph(data, 'B', [](int c, int r) { return std::pair(c, r); });
}

TEST_F(FontTest, TextMeasuresTruncateAfterEveryGlyph) {
    EXPECT_EQ(TextWidth(""), 0);
    EXPECT_EQ(TextWidth("AB"), 16);
    EXPECT_EQ(TextHeight("AB"), 16);
    EXPECT_EQ(TextHeight(""), 0);
    Ref<TImageFont> font = GetDrawFont();
    for (auto& glyph : font->glyphs) glyph->advance = 8.5f;
    EXPECT_EQ(TextWidth("AB"), 16);
    EXPECT_EQ(TextWidth("ABC"), 24);
    font->glyphs[1]->height = 20;  // "!"
    EXPECT_EQ(TextHeight("A!"), 20);

    SetDrawFont(nullptr);  // the default font
    EXPECT_EQ(GetDrawFont().Get(), font.Get());
}

TEST_F(FontTest, FreeTypeRendersScalableFonts) {
    Ref<TFreeTypeFont> face = TFreeTypeFont::Load(kDejaVu, 16, 3);
    ASSERT_TRUE(face) << "fonts-dejavu-core is needed: " << kDejaVu;
    EXPECT_EQ(face->FirstChar(), 32);
    EXPECT_EQ(face->CountGlyphs(), 224);
    EXPECT_EQ(face->Style(), 3);
    EXPECT_GT(face->Height(), 16);
    const Ref<TFontGlyph> space = face->LoadGlyph(0);
    EXPECT_GT(space->Advance(), 0.0f);
    EXPECT_FALSE(space->Pixels());
    // Proportional: "i" is narrower than "W"; anti-aliased grey levels.
    EXPECT_LT(face->LoadGlyph('i' - 32)->Advance(), face->LoadGlyph('W' - 32)->Advance());
    const Ref<TFreeTypeGlyph> a = face->glyphs['A' - 32];
    ASSERT_TRUE(a->pixels);
    EXPECT_EQ(a->pixels->format, PIX_A8);
    EXPECT_EQ(a->pixels->width, a->width);
    EXPECT_EQ(a->pixels->height, a->height);
    EXPECT_GE(a->y, 0);  // the top of "A" is at or below the ascender
    bool grey = false;
    for (int y = 0; y < a->height; ++y)
        for (int x = 0; x < a->width; ++x) grey |= a->pixels->pixels[y * a->pixels->pitch + x] % 255 != 0;
    EXPECT_TRUE(grey);
    EXPECT_THROW(face->LoadGlyph(224), TArrayIndexFault);

    // As an image font: glyph images with the rendered metrics and advances.
    Ref<TImageFont> font = OpenImageFont(kDejaVu, 16);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->CountGlyphs(), 224);
    EXPECT_FALSE(font->Glyph(0)->Image());
    const Ref<TImage> image = font->Glyph('A' - 32)->Image();
    EXPECT_EQ(image->width, a->width);
    EXPECT_EQ(image->flags, IMAGE_FILTERED);
    SetDrawFont(font);
    const float i = font->Glyph('i' - 32)->advance, w = font->Glyph('W' - 32)->advance;
    EXPECT_EQ(TextWidth("iW"), int32_t(float(int32_t(i)) + w));
    DrawText("W", 20, 20);
    EXPECT_FALSE(ScreenIsBlank());
}

TEST_F(FontTest, FreeTypeFallsBackToBitmapStrikesAndRejectsWhatItCannotOpen) {
    Ref<TFreeTypeFont> fixed = TFreeTypeFont::Load(kFixed13, 16);
    ASSERT_TRUE(fixed) << "xfonts-base is needed: " << kFixed13;
    EXPECT_EQ(fixed->Height(), 13);
    const Ref<TFreeTypeGlyph> a = fixed->glyphs['A' - 32];
    ASSERT_TRUE(a->pixels);
    EXPECT_EQ(a->width, 7);
    EXPECT_EQ(a->advance, 7.0f);
    // One-bit bitmaps become 0 and 255 only.
    int ink = 0, grey = 0;
    for (int y = 0; y < a->height; ++y) {
        for (int x = 0; x < a->width; ++x) {
            const uint8_t v = a->pixels->pixels[y * a->pixels->pitch + x];
            ink += v == 255;
            grey += v != 0 && v != 255;
        }
    }
    EXPECT_EQ(grey, 0);
    EXPECT_GT(ink, 10);
    // A huge request counts down from the largest size, not from 2^31.
    EXPECT_EQ(TFreeTypeFont::Load(kFixed13, INT32_MAX)->Height(), 13);
    EXPECT_FALSE(TFreeTypeFont::Load(kFixed13, 12));
    EXPECT_FALSE(TFreeTypeFont::Load(kDejaVu, 0));
    EXPECT_FALSE(TFreeTypeFont::Load(kDejaVu, -5));

    test::TempDir dir;
    const std::string text = dir.Write("notes.ttf", "not a font at all\n");
    for (const String& path : {String(dir.File("missing.ttf")), String(""), String(text)}) {
        EXPECT_FALSE(TFreeTypeFont::Load(path, 16));
        EXPECT_FALSE(OpenImageFont(path, 16));
    }
    EXPECT_FALSE(OpenImageFont(String(dir.File("missing.ttf")), 16));
    EXPECT_EQ(LastErrorText(), "cannot open \"" + String(dir.File("missing.ttf")) + "\": No such file or directory");
    EXPECT_FALSE(OpenImageFont(String(text), 16));
    EXPECT_EQ(LastErrorText(), "\"" + String(text) + "\": no font decoder accepts this data");
    EXPECT_FALSE(OpenImageFont(Ref<Object>(NewPixmap(1, 1, PIX_A8)), 16));
    EXPECT_FALSE(OpenImageFont(Ref<Object>(), 16));
    const char16_t withNul[] = {'/', 0, 'x'};
    EXPECT_FALSE(TFreeTypeFont::Load(String(withNul, 3), 16));
    // Backslashes are path separators.
    std::string backslashed = kFixed13;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_TRUE(OpenImageFont(backslashed, 16));
    EXPECT_TRUE(LastErrorText().IsEmpty());
}

// DejaVu Sans at 16 (or `size`) pixels as FreeType itself gives it.
class FreeTypeReference {
public:
    explicit FreeTypeReference(int size = 16) {
        FT_Init_FreeType(&library_);
        if (FT_New_Face(library_, kDejaVu, 0, &face_) != 0) face_ = nullptr;
        if (face_) FT_Set_Pixel_Sizes(face_, 0, FT_UInt(size));
    }
    ~FreeTypeReference() {
        if (face_) FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    // The slot of character c rendered, as FreeType's metrics.
    FT_GlyphSlot Render(char32_t c) {
        FT_Load_Char(face_, c, FT_LOAD_RENDER);
        return face_->glyph;
    }
    int32_t Ascender() const { return int32_t(face_->size->metrics.ascender >> 6); }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

TEST_F(FontTest, FreeTypeDrawsEveryCharacterTheFontHas) {
    Ref<TImageFont> font = OpenImageFont(kDejaVu, 16);
    ASSERT_TRUE(font) << "fonts-dejavu-core is needed: " << kDejaVu;
    SetDrawFont(font);
    FreeTypeReference reference;
    // Cyrillic, Greek, the euro sign, an en dash and U+1F600 (a surrogate pair).
    const char32_t codes[] = {U'Ж', U'ж', U'α', U'Ω', U'€', U'–', 0x1F600};
    const std::u16string text = u"Жжα Ω€–\U0001F600";
    int32_t width = 0, height = 0;
    for (char32_t c : std::u32string(U"Жжα Ω€–\U0001F600")) {
        const FT_GlyphSlot slot = reference.Render(c);
        width = int32_t(float(width) + float(slot->advance.x / 64.0));
        height = std::max(height, int32_t(slot->bitmap.rows));
    }
    EXPECT_EQ(TextWidth(String(text)), width);
    EXPECT_EQ(TextHeight(String(text)), height);
    // U+4E2D (not in DejaVu Sans), a lone surrogate and a tab measure and draw nothing.
    const std::u16string lacking = u"\u4E2D\xD800\t";
    EXPECT_EQ(TextWidth(String(text + lacking)), width);
    EXPECT_EQ(TextWidth(String(lacking)), 0);
    DrawText(String(lacking), 20, 20);
    EXPECT_TRUE(ScreenIsBlank());
    EXPECT_FALSE(font->CharGlyph(0x4E2D));

    // Each glyph has FreeType's rectangle and draws ink inside it.
    for (char32_t c : codes) {
        const FT_GlyphSlot slot = reference.Render(c);
        const Ref<TImageGlyph> glyph = font->CharGlyph(int32_t(c));
        ASSERT_TRUE(glyph && glyph->Image()) << int32_t(c);
        EXPECT_EQ(glyph->x, slot->bitmap_left);
        EXPECT_EQ(glyph->y, reference.Ascender() - slot->bitmap_top);
        EXPECT_EQ(glyph->width, int32_t(slot->bitmap.width));
        EXPECT_EQ(glyph->height, int32_t(slot->bitmap.rows));
        EXPECT_EQ(glyph.Get(), font->CharGlyph(int32_t(c)).Get());  // kept, not made again
        ClearScreen();
        std::u16string unit = c > 0xFFFF ? std::u16string{char16_t(0xD800 + ((c - 0x10000) >> 10)),
                                                           char16_t(0xDC00 + ((c - 0x10000) & 0x3FF))}
                                         : std::u16string(1, char16_t(c));
        DrawText(String(unit), 20, 20);
        const Ref<TPixmap> screen = ReadScreenPixmap(20 + glyph->x, 20 + glyph->y, glyph->width, glyph->height);
        int ink = 0;
        for (int y = 0; y < glyph->height; ++y)
            for (int x = 0; x < glyph->width; ++x) ink += (screen->ReadPixel(x, y) & 0xFF) > 128;
        EXPECT_GT(ink, 3) << int32_t(c);
    }
    // Codes 32-255 keep their glyphs.
    EXPECT_EQ(font->CountGlyphs(), 224);
    EXPECT_EQ(font->CharGlyph('A').Get(), font->Glyph('A' - 32).Get());

    // The font works from the file as it was read: cutting the file short
    // later changes nothing (but opening it again fails).
    test::TempDir dir;
    const std::string copy = dir.File("copy.ttf");
    std::filesystem::copy_file(kDejaVu, copy);
    Ref<TImageFont> cut = OpenImageFont(copy, 16);
    ASSERT_TRUE(cut);
    std::filesystem::resize_file(copy, 0);
    SetDrawFont(cut);
    EXPECT_EQ(TextWidth(String(u"\u0416")), int32_t(reference.Render(U'Ж')->advance.x / 64.0));
    EXPECT_FALSE(OpenImageFont(copy, 16));
    EXPECT_FALSE(OpenImageFont(dir.Path(), 16));
    EXPECT_NE(LastErrorText().ToBytes().find("not a font file (not a regular file)"), std::string::npos);
}

TEST_F(FontTest, FontsOfOneFileShareOneFaceAtEverySize) {
    Ref<TImageFont> small = OpenImageFont(kDejaVu, 16);
    Ref<TImageFont> big = OpenImageFont(kDejaVu, 32);
    ASSERT_TRUE(small && big);
    auto source = [](const Ref<TImageFont>& font) { return DownCast<TFreeTypeFont>(font->source)->source; };
    EXPECT_EQ(source(small)->face, source(big)->face);
    EXPECT_NE(source(small)->size, source(big)->size);
    // Each font renders at its own size, whichever used the face last.
    FreeTypeReference at16(16), at32(32);
    for (char32_t c : {U'Ж', U'ж', U'Ω', U'α'}) {
        for (auto [font, reference] : {std::pair{small, &at16}, std::pair{big, &at32}}) {
            const Ref<TImageGlyph> glyph = font->CharGlyph(int32_t(c));
            const FT_GlyphSlot slot = reference->Render(c);
            ASSERT_TRUE(glyph);
            EXPECT_EQ(glyph->height, int32_t(slot->bitmap.rows));
            EXPECT_EQ(glyph->advance, float(slot->advance.x / 64.0));
        }
    }
    // The face stays with the fonts left.
    small = nullptr;
    EXPECT_EQ(big->CharGlyph(U'ё')->height, int32_t(at32.Render(U'ё')->bitmap.rows));
}

// What one anti-aliased glyph leaves on black: the pixels where its
// coverage is nil and where it is about half, white ink.
struct InkProbe {
    int clear = -1, half = -1;
};

InkProbe DrawW(const Ref<TImageFont>& font) {
    const Ref<TImageGlyph> w = font->Glyph('W' - 32);
    const Ref<TPixmap> coverage = w->Image()->pixmaps[0];
    int cx = -1, cy = -1, hx = -1, hy = -1;
    for (int y = 0; y < w->height; ++y) {
        for (int x = 0; x < w->width; ++x) {
            const int v = coverage->pixels[y * coverage->pitch + x];
            if (v == 0 && cx < 0) cx = x, cy = y;
            if (v > 100 && v < 156 && hx < 0) hx = x, hy = y;
        }
    }
    EXPECT_TRUE(cx >= 0 && hx >= 0);
    ClearScreen();
    DrawText("W", 20, 20);
    return {test::PixelAt(20 + w->x + cx, 20 + w->y + cy).g, test::PixelAt(20 + w->x + hx, 20 + w->y + hy).g};
}

TEST_F(FontTest, TextBlendModeDrawsGlyphsInItsOwnMode) {
    Ref<TImageFont> font = OpenImageFont(kDejaVu, 32);
    ASSERT_TRUE(font);
    SetDrawFont(font);
    EXPECT_EQ(GetTextBlendMode(), 0);
    // Following SetBlendMode: masked drops half coverage, solid draws a box.
    InkProbe masked = DrawW(font);
    EXPECT_EQ(masked.clear, 0);
    EXPECT_TRUE(masked.half == 0 || masked.half == 255) << masked.half;
    SetBlendMode(BLEND_SOLID);
    EXPECT_EQ(DrawW(font).clear, 255);
    // Forced to alpha blending: coverage mixed in, and SetBlendMode keeps
    // its hold on everything else.
    SetTextBlendMode(BLEND_ALPHA);
    const InkProbe alpha = DrawW(font);
    EXPECT_EQ(alpha.clear, 0);
    EXPECT_GT(alpha.half, 90);
    EXPECT_LT(alpha.half, 166);
    EXPECT_EQ(GetBlendMode(), BLEND_SOLID);
    SetDrawAlpha(0.5f);
    DrawRect(200, 20, 10, 10);
    EXPECT_EQ(test::PixelAt(205, 25).g, 255);  // solid: alpha not mixed
    SetDrawAlpha(1);
    // Out-of-range modes are ignored; 0 follows SetBlendMode again.
    SetTextBlendMode(7);
    SetTextBlendMode(-1);
    EXPECT_EQ(GetTextBlendMode(), BLEND_ALPHA);
    SetTextBlendMode(0);
    EXPECT_EQ(DrawW(font).clear, 255);
}

// The glyph budget lowered to `bytes` above what is held now, for a test.
class LowGlyphBudget {
public:
    explicit LowGlyphBudget(int64_t bytes) { detail::SetGlyphBudget(detail::GlyphBytes() + bytes); }
    ~LowGlyphBudget() { detail::SetGlyphBudget(detail::kGlyphBudget); }
};

// Characters 256 * page + first .. + count - 1.
String Chars(int32_t page, int32_t first, int32_t count) {
    std::u16string text;
    for (int32_t i = 0; i < count; ++i) text += char16_t(page * 256 + first + i);
    return String(text);
}

TEST_F(FontTest, GlyphBudgetGivesBackTheLeastRecentlyUsedPages) {
    test::TempDir dir;
    const std::string path = dir.Write("every.ttf", test::EveryCharacterFont());
    Ref<TImageFont> font = OpenImageFont(path, 64);
    ASSERT_TRUE(font);
    SetDrawFont(font);
    // 600 units of 1000 at 64 px: 38.4, truncated after each glyph.
    const int64_t start = detail::GlyphBytes();
    EXPECT_EQ(TextWidth(Chars(0x10, 0, 1)), 38);
    const int64_t glyph = detail::GlyphBytes() - start;
    EXPECT_GT(glyph, 64 * 51 * 4);  // at least its texture

    const LowGlyphBudget budget(40 * glyph);
    const int64_t released = detail::GlyphPagesReleased();
    const Ref<TImageGlyph> first = font->CharGlyph(0x1000);
    // 16 pages of 16: the budget holds 40 glyphs, and every character still
    // measures, however often pages were given back.
    for (int32_t page = 0x10; page < 0x20; ++page) {
        EXPECT_EQ(TextWidth(Chars(page, 0, 16)), 16 * 38) << page;
        EXPECT_LE(detail::GlyphBytes(), detail::GlyphBudget());
    }
    EXPECT_GE(detail::GlyphPagesReleased() - released, 13);
    const Ref<TImageGlyph> last = font->CharGlyph(0x1F0F);
    EXPECT_EQ(last.Get(), font->CharGlyph(0x1F0F).Get());  // the newest page is kept
    // A page given back makes its glyphs again, drawn with the same pixels.
    const Ref<TImageGlyph> again = font->CharGlyph(0x1000);
    ASSERT_TRUE(again && again->Image());
    EXPECT_NE(again.Get(), first.Get());
    EXPECT_EQ(std::tie(again->x, again->y, again->width, again->height),
              std::tie(first->x, first->y, first->width, first->height));
    ClearScreen();
    DrawText(Chars(0x10, 0, 1), 20, 20);
    EXPECT_NE(ReadScreenPixmap(20 + again->x + again->width / 2, 20 + again->y + again->height / 2, 1, 1)
                  ->ReadPixel(0, 0) & 0xFFFFFF, 0u);

    // A budget below one page: the page starts afresh rather than stopping.
    detail::SetGlyphBudget(detail::GlyphBytes() + 3 * glyph);
    EXPECT_EQ(TextWidth(Chars(0x30, 0, 64)), 64 * 38);
    EXPECT_LE(detail::GlyphBytes(), detail::GlyphBudget());
    // The face alone, asked directly, keeps to the budget too.
    Ref<TFreeTypeFont> face = TFreeTypeFont::Load(path, 64);
    for (int32_t code = 0x4000; code < 0x4400; ++code) {
        const Ref<TFontGlyph> g = face->LoadCharGlyph(code);
        ASSERT_TRUE(g && g->Pixels()) << code;
    }
    EXPECT_LE(detail::GlyphBytes(), detail::GlyphBudget());
    // Fonts that go take their pages' bytes with them.
    SetDrawFont(nullptr);
    font = nullptr;
    face = nullptr;
    EXPECT_EQ(detail::GlyphBytes(), start);
}

// A loader of its own: registered once, asked first, and a face without
// glyph objects still makes an image font.
class TEmptyFace : public TFontFace {
public:
    int32_t Style() override { return 7; }
    int32_t Height() override { return 9; }
    int32_t FirstChar() override { return 65; }
    int32_t CountGlyphs() override { return 2; }
    Ref<TFontGlyph> LoadGlyph(int32_t) override { return nullptr; }
};

class TEmptyLoader : public TFontDecoder {
public:
    Ref<TFontFace> Load(const Ref<Object>& url, int32_t, int32_t) override {
        return UnboxString(url) == String("empty") ? New<TEmptyFace>() : nullptr;
    }
};

TEST_F(FontTest, LoadersAreAskedNewestFirst) {
    Ref<TFontDecoder> loader = New<TEmptyLoader>();
    RegisterFontDecoder(loader);
    RegisterFontDecoder(loader);  // not twice
    RegisterFontDecoder(FirstFontDecoder()->next);  // the FreeType loader stays where it is
    EXPECT_EQ(FirstFontDecoder().Get(), loader.Get());
    EXPECT_FALSE(loader->next->next);
    EXPECT_THROW(RegisterFontDecoder(nullptr), TNullObjectFault);

    Ref<TImageFont> font = OpenImageFont("empty", 10);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->Style(), 7);
    EXPECT_EQ(font->FirstChar(), 65);
    EXPECT_EQ(font->CountGlyphs(), 2);
    EXPECT_EQ(font->Glyph(1)->advance, 0.0f);
    EXPECT_TRUE(OpenImageFont(kDejaVu, 12));  // the FreeType loader still answers
    EXPECT_THROW(TFontFace().Height(), TAbstractMethodFault);
}

}  // namespace
}  // namespace korva
