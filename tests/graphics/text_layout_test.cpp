// Shaped text against the shaper's own tool: hb-shape (libharfbuzz-bin) run
// on the same font file and text gives the glyphs and positions the shaped
// path must produce. Kerning and fallback in the plain path, text boxes
// against a greedy reference built from hb-shape's advances, the cache, and
// hostile text. Real Mesa context through SDL's offscreen video.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "graphics/text_shaping.h"
#include "tests/graphics/gl_test_support.h"

namespace korva {
namespace {

const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const std::string kNoto = "/usr/share/fonts/truetype/noto/";
constexpr int kSize = 32;

struct Expected {
    uint32_t glyph, cluster;
    int x, y, advance;  // 64ths of a pixel
};

// hb-shape's glyphs for `text` at `size` pixels, in 64ths of a pixel (the
// font size is the scale); the pen starts at `pen`, which moves on.
std::vector<Expected> HbShape(const std::string& font, const std::string& text, int size, const std::string& options,
                              int& pen) {
    const std::string command = "hb-shape --no-glyph-names --output-format=json --font-size=" +
                                std::to_string(size * 64) + " " + options + " '" + font + "' '" + text + "'";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pipe) pclose(pipe);
    std::vector<Expected> glyphs;
    const std::regex item(R"(\{"g":(\d+),"cl":(\d+),"dx":(-?\d+),"dy":(-?\d+),"ax":(-?\d+),"ay":(-?\d+)\})");
    for (std::sregex_iterator i(out.begin(), out.end(), item), end; i != end; ++i) {
        const std::smatch& m = *i;
        glyphs.push_back({uint32_t(std::stoul(m[1])), uint32_t(std::stoul(m[2])), pen + std::stoi(m[3]),
                          std::stoi(m[4]), std::stoi(m[5])});
        pen += std::stoi(m[5]);
    }
    return glyphs;
}

struct Segment {
    std::string font, text, options;
    int fontIndex = 0;  // in the chain
};

// The shaped line equals the segments' hb-shape output placed side by side.
void ExpectShapedLike(const detail::FontChain& chain, const String& line, const std::vector<Segment>& segments) {
    std::vector<Expected> expected;
    std::vector<int> fonts;
    int pen = 0;
    for (const Segment& s : segments) {
        for (const Expected& e : HbShape(s.font, s.text, kSize, s.options, pen)) {
            expected.push_back(e);
            fonts.push_back(s.fontIndex);
        }
    }
    ASSERT_FALSE(expected.empty());
    const detail::ShapedLine& shaped = detail::ShapeLine(chain, line.View());
    ASSERT_EQ(shaped.glyphs.size(), expected.size()) << line;
    for (size_t i = 0; i < expected.size(); ++i) {
        const detail::ShapedGlyph& g = shaped.glyphs[i];
        EXPECT_EQ(g.glyph, expected[i].glyph) << line << " glyph " << i;
        EXPECT_EQ(g.font, fonts[i]) << line << " glyph " << i;
        EXPECT_EQ(g.x * 64, expected[i].x) << line << " glyph " << i;
        EXPECT_EQ(g.y * 64, expected[i].y) << line << " glyph " << i;
        EXPECT_EQ(g.advance * 64, expected[i].advance) << line << " glyph " << i;
    }
    EXPECT_EQ(shaped.width * 64, pen);
}

class TextLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseOffscreenVideo();
        InitFreeTypeFonts();
        OpenGraphics(320, 240, 0, 0);
        ClearScreen();
    }
    void TearDown() override {
        SetTextKerning(0);
        SetLineSpacing(1);
        SetDrawFont(nullptr);
        CloseGraphics();
    }
    static Ref<TImageFont> Open(const std::string& path, int size = kSize) {
        Ref<TImageFont> font = OpenImageFont(String(path), size);
        EXPECT_TRUE(font) << path;
        return font;
    }
    static bool Blank(int x0, int y0, int x1, int y1) {
        const Ref<TPixmap> screen = ReadScreenPixmap(0, 0, 320, 240);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (screen->ReadPixel(x, y) & 0xFFFFFF) return false;
        return true;
    }
};

TEST_F(TextLayoutTest, LatinKerningMatchesTheShaper) {
    const Ref<TImageFont> font = Open(kDejaVu);
    SetDrawFont(font);
    ExpectShapedLike(detail::ChainOf(font.Get()), "AVATAR", {{kDejaVu, "AVATAR", ""}});
    int pen = 0;
    HbShape(kDejaVu, "AVATAR", kSize, "", pen);
    EXPECT_EQ(ShapedTextWidth("AVATAR"), pen / 64);

    // The plain path keeps its advances unless kerning is on; then "AV"
    // closes up by the pair's kerning.
    const int32_t apart = TextWidth("AV");
    EXPECT_EQ(apart, TextWidth("A") + TextWidth("V"));
    SetTextKerning(1);
    int kerned = 0, alone = 0;
    const std::vector<Expected> pair = HbShape(kDejaVu, "AV", kSize, "", kerned);
    HbShape(kDejaVu, "A", kSize, "", alone);
    EXPECT_EQ(TextWidth("AV"), int(float(TextWidth("A")) + float(pair[0].advance - alone) / 64 + TextWidth("V")));
    EXPECT_LT(TextWidth("AV"), apart);
    const int32_t kernedWord = TextWidth("AVATAR");
    SetTextKerning(0);
    EXPECT_LT(kernedWord, TextWidth("AVATAR"));

    // Fonts the shaper cannot take draw and measure as DrawText does.
    SetDrawFont(nullptr);
    EXPECT_EQ(ShapedTextWidth("AB\nABC"), 24);
}

TEST_F(TextLayoutTest, ScriptsShapeAsTheShaperShapesThem) {
    // Arabic: joined forms, right to left (the whole line one run).
    const std::string arabic = kNoto + "NotoSansArabic-Regular.ttf";
    const Ref<TImageFont> naskh = Open(arabic);
    ExpectShapedLike(detail::ChainOf(naskh.Get()), String::FromUtf8("سلام"), {{arabic, "سلام", ""}});
    int pen = 0;
    const std::vector<Expected> isolated = HbShape(arabic, "س", kSize, "", pen);
    EXPECT_NE(detail::ShapeLine(detail::ChainOf(naskh.Get()), String::FromUtf8("سلام").View()).glyphs.back().glyph,
              isolated[0].glyph);

    // Hebrew with digits: a right-to-left paragraph whose number runs left
    // to right, drawn left of the Hebrew.
    const Ref<TImageFont> dejavu = Open(kDejaVu);
    ExpectShapedLike(detail::ChainOf(dejavu.Get()), String::FromUtf8("שלום 123"),
                     {{kDejaVu, "123", "--direction=ltr"}, {kDejaVu, "שלום ", "--direction=rtl"}});

    // Devanagari: the vowel sign before its consonant, the conjunct, marks.
    const std::string devanagari = kNoto + "NotoSansDevanagari-Regular.ttf";
    const Ref<TImageFont> hindi = Open(devanagari);
    ExpectShapedLike(detail::ChainOf(hindi.Get()), String::FromUtf8("हिन्दी"), {{devanagari, "हिन्दी", ""}});

    // A ligature: "ffi" is one glyph of Noto Serif.
    const std::string notoSerif = kNoto + "NotoSerif-Regular.ttf";
    const Ref<TImageFont> serif = Open(notoSerif);
    ExpectShapedLike(detail::ChainOf(serif.Get()), "office", {{notoSerif, "office", ""}});
    EXPECT_EQ(detail::ShapeLine(detail::ChainOf(serif.Get()), u"office").glyphs.size(), 4u);
}

TEST_F(TextLayoutTest, FallbackFontsFillWhatAFontLacks) {
    const std::string latin = kNoto + "NotoSans-Regular.ttf", arabic = kNoto + "NotoSansArabic-Regular.ttf";
    const Ref<TImageFont> font = Open(latin), second = Open(arabic);
    const String line = String::FromUtf8("Hello سلام");
    const String sin(u"\u0633");

    // Without a fallback the plain path draws nothing for Arabic.
    SetDrawFont(font);
    EXPECT_EQ(TextWidth(sin), 0);
    DrawText(line, 10, 10);
    EXPECT_TRUE(Blank(130, 0, 320, 60));

    EXPECT_EQ(SetFontFallback(font, second), 1);
    EXPECT_EQ(SetFontFallback(second, font), 0);  // a ring is refused
    EXPECT_EQ(GetFontFallback(font).Get(), second.Get());
    ExpectShapedLike(detail::ChainOf(font.Get()), line,
                     {{latin, "Hello ", "--direction=ltr"}, {arabic, "سلام", "--direction=rtl", 1}});
    EXPECT_GT(TextWidth(sin), 0);
    ClearScreen();
    DrawText(line, 10, 10);
    EXPECT_FALSE(Blank(130, 0, 320, 60));
    SetFontFallback(font, nullptr);
    EXPECT_FALSE(GetFontFallback(font));
}

// A line of the reference: code units, and the width of its glyphs in 64ths.
struct RefLine {
    size_t start, end;
    int width;
};

TEST_F(TextLayoutTest, TextBoxesWrapAndAlignLikeAReference) {
    constexpr int size = 16;
    const Ref<TImageFont> font = Open(kDejaVu, size);
    SetDrawFont(font);
    const std::string text =
        "The quick brown fox jumps over the lazy dog while seven wizards quietly hex the jovial judge.";
    // Advances of every character from the shaper, then greedy breaking at
    // spaces; trailing spaces take no room.
    int pen = 0;
    const std::vector<Expected> glyphs = HbShape(kDejaVu, text, size, "", pen);
    std::vector<int> advance(text.size(), 0);
    for (const Expected& g : glyphs) advance[g.cluster] += g.advance;
    for (const float width : {90.0f, 150.0f, 260.0f}) {
        std::vector<RefLine> expected;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = start, best = 0;
            int bestWidth = 0;
            while (end < text.size()) {
                size_t word = text.find(' ', end);
                if (word == std::string::npos) word = text.size();
                int w = 0;
                for (size_t i = start; i < word; ++i) w += advance[i];
                if (w > int(width * 64) + 0 && best) break;
                best = word;
                bestWidth = w;
                end = word + 1;
            }
            expected.push_back({start, best, bestWidth});
            start = std::min(text.size(), best + 1);
        }
        for (const int align : {TEXT_LEFT, TEXT_CENTRE, TEXT_RIGHT}) {
            const auto lines = detail::LayOutTextBox(detail::ChainOf(font.Get()), String(text).View(), width, align);
            ASSERT_EQ(lines.size(), expected.size()) << width;
            for (size_t i = 0; i < lines.size(); ++i) {
                EXPECT_EQ(lines[i].start, expected[i].start) << width << " line " << i;
                EXPECT_EQ(lines[i].end, expected[i].end) << width << " line " << i;
                const float free = width - float(expected[i].width) / 64;
                EXPECT_EQ(lines[i].x, align == TEXT_LEFT ? 0 : std::trunc(align == TEXT_CENTRE ? free / 2 : free));
                EXPECT_EQ(lines[i].y, float(i * font->Height()));
            }
        }
        EXPECT_EQ(TextBoxHeight(String(text), width), int(expected.size()) * font->Height());
    }

    // Line breaks are kept, a word wider than the box is broken, line
    // spacing scales the line height, and justified lines fill the box.
    EXPECT_EQ(TextBoxLines("one\ntwo\r\n\nthree", 1000), 4);
    EXPECT_EQ(TextBoxLines("", 100), 0);
    const auto broken = detail::LayOutTextBox(detail::ChainOf(font.Get()), u"Supercalifragilistic", 40, TEXT_LEFT);
    ASSERT_GT(broken.size(), 2u);
    for (const auto& line : broken) EXPECT_LE(ShapedTextWidth(String(u"Supercalifragilistic").Substring(
                                                  int32_t(line.start), int32_t(line.end))), 40);
    SetLineSpacing(1.5f);
    EXPECT_EQ(TextBoxHeight("a\nb", 100), int(std::ceil(2 * 1.5f * font->Height())));
    const auto justified = detail::LayOutTextBox(detail::ChainOf(font.Get()), String(text).View(), 150, TEXT_JUSTIFY);
    const detail::ShapedLine& first =
        detail::ShapeLine(detail::ChainOf(font.Get()), String(text).View().substr(0, justified[0].end));
    const auto spaces = std::count(text.begin(), text.begin() + long(justified[0].end), ' ');
    EXPECT_FLOAT_EQ(first.width + justified[0].spaceExtra * float(spaces), 150);
    EXPECT_EQ(justified.back().spaceExtra, 0);
    DrawTextBox(String(text), 10, 10, 150, TEXT_JUSTIFY);
    EXPECT_FALSE(Blank(10, 10, 160, 40));
}

TEST_F(TextLayoutTest, ShapedLinesAreCachedWithinBounds) {
    const Ref<TImageFont> font = Open(kDejaVu, 12);
    SetDrawFont(font);
    detail::ClearShapingCache();
    std::vector<String> dialogue;
    for (int i = 0; i < 200; ++i) dialogue.push_back("Line " + IntToString(i) + " of the dialogue");
    for (const String& line : dialogue) DrawTextShaped(line, 0, 0);
    const int64_t shaped = detail::LinesShaped();
    for (const String& line : dialogue) DrawTextShaped(line, 0, 0);
    EXPECT_EQ(detail::LinesShaped(), shaped);
    for (int i = 0; i < int(detail::kShapingCacheEntries) + 100; ++i) ShapedTextWidth(IntToString(i));
    EXPECT_EQ(detail::ShapingCacheEntries(), detail::kShapingCacheEntries);
    EXPECT_LE(detail::ShapingCacheBytes(), detail::kShapingCacheBytes);
}

int64_t PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(TextLayoutTest, HostileTextStaysWithinBounds) {
    const Ref<TImageFont> font = Open(kDejaVu, 16);
    SetDrawFont(font);
    const auto began = std::chrono::steady_clock::now();
    const int64_t peak = PeakKilobytes();

    // A million combining marks on one base: one cluster, one line.
    const String marks = "a" + String::Repeat(0x0301, 1000000);
    EXPECT_GT(ShapedTextWidth(marks), 0);
    DrawTextShaped(marks, 0, 0);
    EXPECT_EQ(TextBoxLines(marks, 50), 1);

    // 100 000 direction overrides, nested past the deepest level and not.
    std::u16string overrides;
    for (int i = 0; i < 50000; ++i) overrides += i % 2 ? u"\u202Eab" : u"\u202Dc";
    for (int i = 0; i < 50000; ++i) overrides += u"\u202C";
    EXPECT_GT(ShapedTextWidth(String(overrides)), 0);
    DrawTextBox(String(overrides), 0, 0, 300, TEXT_CENTRE);

    // Lone surrogates stand for U+FFFD.
    const char16_t lone[] = {0xD800, u'a', 0xDC00, 0xDBFF, 0};
    const detail::ShapedLine& shaped = detail::ShapeLine(detail::ChainOf(font.Get()), lone);
    ASSERT_EQ(shaped.glyphs.size(), 4u);
    EXPECT_EQ(shaped.glyphs[0].glyph, shaped.glyphs[2].glyph);
    DrawText(String(lone), 0, 0);
    DrawTextBox(String(lone), 0, 0, 1, TEXT_RIGHT);
    // The line breaker's own checks fail on these two: they reach it as U+FFFD.
    const char16_t endsHigh[] = {u'a', 0xD800, 0}, noncharacter[] = {u'a', 0xFFFF, u'a', 0};
    EXPECT_EQ(TextBoxLines(String(endsHigh), 1000), 1);
    EXPECT_EQ(TextBoxLines(String(noncharacter), 1000), 1);

    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(20));
    EXPECT_LT(PeakKilobytes() - peak, 1 << 20);  // under 1 GB more
}

}  // namespace
}  // namespace korva
