// KorvaGL: text in the 2D layer, drawn with image fonts.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/graphics/image_font.h"

namespace korva {

// Text, with the current font: the built-in 8x16 font that OpenGraphics makes
// afresh, or one chosen with SetDrawFont. Before OpenGraphics and after
// CloseGraphics there is no font: text draws nothing and measures 0.
// Draws the text with the top-left of its line at (x, y), like a primitive:
// origin, draw handle, rotation and scale apply.
void DrawText(const String& text, float x, float y);
// The sum of the advances of the text's glyphs, truncated after each glyph;
// characters the font lacks add nothing. A font from OpenImageFont lacks no
// code from 32 to 255: one its file does not map draws and measures as the
// file's missing-character box. Beyond 255 a character the file lacks draws
// and measures nothing, as do codes below 32 in every font.
int32_t TextWidth(const String& text);
// The tallest glyph rectangle among the text's characters; 0 when the font
// has none of them.
int32_t TextHeight(const String& text);
// The blend mode the glyphs of DrawText are drawn with: 0 (the default) uses
// the mode of SetBlendMode like every other drawing; BLEND_MASKED to
// BLEND_SHADE (1-5) draw text in that mode whatever SetBlendMode says, which
// stays in force for everything else. Other values are ignored. Kept across
// OpenGraphics and CloseGraphics.
//
// Why it matters: the glyphs of a font opened with OpenImageFont are white
// with their anti-aliased coverage in alpha. Only BLEND_ALPHA mixes that
// coverage into what lies below, which gives smooth edges; under the default
// BLEND_MASKED every pixel below half coverage is dropped and the rest drawn
// solid (jagged, thin strokes broken), and under BLEND_SOLID the whole glyph
// rectangle is drawn, a box. The built-in font is fully opaque or fully
// clear, so BLEND_MASKED and BLEND_ALPHA draw it alike.
// SetTextBlendMode(BLEND_ALPHA) gives smooth text while sprites keep their
// mode.
void SetTextBlendMode(int32_t mode);
int32_t GetTextBlendMode();
// The null object selects the default font.
void SetDrawFont(const Ref<TImageFont>& font);
Ref<TImageFont> GetDrawFont();
// An image font from a font file the font loaders open (FreeType: TrueType,
// OpenType, PCF, ...) at `size` pixels; the null object when none opens it
// (LastErrorText() says why).
Ref<TImageFont> OpenImageFont(const Ref<Object>& url, int32_t size, int32_t style = 0);
Ref<TImageFont> OpenImageFont(const String& url, int32_t size, int32_t style = 0);

}  // namespace korva
