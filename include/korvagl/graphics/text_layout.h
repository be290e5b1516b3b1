// KorvaGL: text that reads right: shaped text in both directions, kerning,
// fallback fonts, and paragraphs wrapped to a width.
//
// Beside DrawText and TextWidth (text.h), which place each glyph by its own
// advance, the shaped path places glyphs where the font's OpenType tables
// say: kerning, ligatures, marks on their bases, the contextual forms of
// joining scripts, reordered syllables. A line's left-to-right and
// right-to-left runs are ordered by the Unicode bidirectional algorithm, each
// line of the text (split at its line breaks) a paragraph of its own.
// Shaping needs a font opened from an OpenType or TrueType file; with any
// other font (the built-in one, a bitmap strike) the shaped calls draw and
// measure as DrawText and TextWidth do. Shaped lines are cached, so drawing
// the same lines every frame does not shape them again.
//
// The text is the usual UTF-16; a lone surrogate stands for U+FFFD. In the
// shaped path a character no font of the chain has draws as the first
// font's missing-character box.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/graphics/image_font.h"

namespace korva {

// Alignments of DrawTextBox.
inline constexpr int32_t TEXT_LEFT = 0;
inline constexpr int32_t TEXT_CENTRE = 1;
inline constexpr int32_t TEXT_RIGHT = 2;
// Lines stretched to the width at their spaces; a paragraph's last line,
// and a line without spaces, stay left-aligned.
inline constexpr int32_t TEXT_JUSTIFY = 3;

// Shaped text with the current font, the top-left of its first line at (x,
// y) like DrawText (origin, handle, rotation and scale apply); each line
// break starts a new line one line height lower.
void DrawTextShaped(const String& text, float x, float y);
// The width of the widest line, shaped, truncated to whole pixels.
int32_t ShapedTextWidth(const String& text);

// 1 makes DrawText and TextWidth add the font's kerning between
// neighbouring characters of the same font; 0 (the default) leaves them
// as described in text.h. Other values are taken as 1. Kept across
// OpenGraphics and CloseGraphics.
void SetTextKerning(int32_t on);
int32_t GetTextKerning();

// Makes `fallback` the font that characters `font` lacks come from, in both
// paths; the fallback's own fallback is asked next, and so on (at most 15).
// The null object as fallback removes it. A fallback that would close a
// ring (a font falling back on itself) is refused: returns 0 then, 1 when
// set. Glyphs of a fallback stand on the same baseline as the font's.
int32_t SetFontFallback(const Ref<TImageFont>& font, const Ref<TImageFont>& fallback);
Ref<TImageFont> GetFontFallback(const Ref<TImageFont>& font);

// A paragraph of shaped text in a box `width` pixels wide, its first line's
// top at y: lines break where the Unicode line-breaking rules allow (after
// spaces, hyphens, between ideographs, ...), at every line break of the
// text, and inside a word only when the word alone is wider than the box.
// Spaces at the end of a line take no room. `align` is TEXT_LEFT,
// TEXT_CENTRE, TEXT_RIGHT or TEXT_JUSTIFY (others count as TEXT_LEFT). The
// direction of each paragraph comes from its first strong character.
void DrawTextBox(const String& text, float x, float y, float width, int32_t align = TEXT_LEFT);
// The height DrawTextBox takes: the number of lines times the line height;
// 0 for the empty text.
int32_t TextBoxHeight(const String& text, float width);
// How many lines DrawTextBox makes.
int32_t TextBoxLines(const String& text, float width);
// The line height of shaped and boxed text: the font's line height (from
// its metrics) times `spacing`; 1 by default. Values that are not positive
// and finite are ignored.
void SetLineSpacing(float spacing);
float GetLineSpacing();

}  // namespace korva
