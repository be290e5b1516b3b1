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
// characters outside the font add nothing.
int32_t TextWidth(const String& text);
// The tallest glyph rectangle among the text's characters; 0 when none is in
// the font.
int32_t TextHeight(const String& text);
// The null object selects the default font.
void SetDrawFont(const Ref<TImageFont>& font);
Ref<TImageFont> GetDrawFont();
// An image font from a font file the font loaders open (FreeType: TrueType,
// OpenType, PCF, ...) at `size` pixels; the null object when none opens it.
Ref<TImageFont> OpenImageFont(const Ref<Object>& url, int32_t size, int32_t style = 0);
Ref<TImageFont> OpenImageFont(const String& url, int32_t size, int32_t style = 0);

}  // namespace korva
