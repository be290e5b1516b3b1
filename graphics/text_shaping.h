// Shaped text: HarfBuzz places the glyphs of a line, FriBidi orders its
// left-to-right and right-to-left runs, glyph images are kept by glyph
// index. Only text_shaping.cpp includes HarfBuzz and FriBidi.
//
// A line is shaped as one paragraph of the Unicode bidirectional algorithm
// (its direction from its first strong character unless the caller gives
// one), cut into runs of one embedding level, one script and one font of
// the fallback chain; each run is shaped with the whole line as context, and
// the runs are put in visual order (rule L2). The result, glyphs left to
// right with the shaper's positions, is cached by fonts, options and text.
// Like the rest of the 2D layer, main thread only.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "korvagl/graphics/image_font.h"

namespace korva::detail {

// A FreeType font as the shaper sees it (internal to text_shaping.cpp).
struct ShapingFont;

// At most this many fallbacks follow a font.
inline constexpr int32_t kMaxFallbacks = 15;

// A font and its fallbacks, in the order they are asked; `shaping[i]` is
// null for a font without a shapeable face (the built-in font, a bitmap
// strike), which shaped text skips. The fonts outlive the chain.
struct FontChain {
    std::vector<TImageFont*> fonts;
    std::vector<ShapingFont*> shaping;
};
FontChain ChainOf(TImageFont* font);

struct ShapedGlyph {
    uint32_t glyph;    // index in its font
    uint32_t cluster;  // code unit of the line where the glyph's characters start
    float x, y;        // origin from the start of the line, pixels; y upwards
    float advance;
    uint8_t font;  // in the chain
};

struct ShapedLine {
    std::vector<ShapedGlyph> glyphs;  // visual order, left to right
    float width = 0;
};

// The direction of a line's paragraph: from its first strong character, or
// as given.
enum class LineDirection : uint8_t { kAuto, kLeftToRight, kRightToLeft };

// The shaped line; `line` holds no line breaks (the caller splits text at
// them). Served from the cache when the same fonts shaped the same text with
// the same direction; the reference holds until the next call.
const ShapedLine& ShapeLine(const FontChain& chain, std::u16string_view line,
                            LineDirection direction = LineDirection::kAuto);
// The same, never cached (and nothing added to the cache).
ShapedLine ShapeLineUncached(const FontChain& chain, std::u16string_view line, LineDirection direction);
// The direction of the first strong character of `text`; kAuto when none.
LineDirection ParagraphDirection(std::u16string_view text);

// The cache of shaped lines: at most kShapingCacheEntries lines and
// kShapingCacheBytes bytes (least recently used go first); lines longer than
// kLongestCachedLine code units are shaped each time.
inline constexpr size_t kShapingCacheEntries = 4096;
inline constexpr size_t kShapingCacheBytes = size_t{16} << 20;
inline constexpr size_t kLongestCachedLine = 16384;
void ClearShapingCache();
size_t ShapingCacheEntries();
size_t ShapingCacheBytes();
// How many lines have been shaped (cache misses) so far.
int64_t LinesShaped();

// Draws the line with the top-left of its line box at (x, y) (already
// translated by the caller), its glyphs along the matrix; `spaceExtra`
// widens every space of `line` (the text it was shaped from) by that many
// pixels, for justified lines.
void DrawShapedLine(const FontChain& chain, const ShapedLine& shaped, std::u16string_view line, float x, float y,
                    float xx, float xy, float yx, float yy, float spaceExtra = 0);

// The chain's font for a character: whether the face maps it, its
// kerning with another character (pixels to add to the first one's
// advance; 0 unless both are shaped left to right as two glyphs), and the
// ascender, pixels.
bool HasChar(ShapingFont* font, int32_t code);
float PairKerning(ShapingFont* font, int32_t first, int32_t second);
int32_t Ascender(const FontChain& chain, size_t index);

}  // namespace korva::detail

// The plain path of DrawText and TextWidth when kerning is on or the font
// has a fallback (text_layout.cpp): each character's own glyph, from the
// first font of the chain that has it, kerned when kerning is on.
namespace korva::detail {
bool PlainTextNeedsLayout(const TImageFont& font);
void DrawPlainText(TImageFont& font, std::u16string_view text, float x, float y, float xx, float xy, float yx,
                   float yy);
int32_t PlainTextWidth(TImageFont& font, std::u16string_view text);

// The lines of a text box: code units [start, end) of the text (spaces at
// the end of a line left out), where the line's top-left lies from the
// box's, in the box's own axes, the room added to each space of a justified
// line, and the direction of its paragraph.
struct PlacedLine {
    size_t start, end;
    float x, y;
    float spaceExtra;
    LineDirection direction;
};
std::vector<PlacedLine> LayOutTextBox(const FontChain& chain, std::u16string_view text, float width,
                                      int32_t align);
}  // namespace korva::detail
