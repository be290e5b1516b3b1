// Text in the 2D drawing API: the current and default fonts, drawing and
// measuring.
#include <algorithm>
#include <cstdint>

#include "graphics/draw_state.h"
#include "graphics/text_blend.h"
#include "graphics/text_shaping.h"
#include "korvagl/graphics/drawing2d.h"

namespace korva {
namespace {
Ref<TImageFont> currentFont;
Ref<TImageFont> defaultFont;
int32_t textBlendMode = 0;

// Truncated toward zero; widths of absurd fonts stop at the int range.
int32_t TruncateWidth(float width) {
    if (!(width > -2147483648.0f)) return width != width ? 0 : INT32_MIN;
    if (width >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(width);
}
}  // namespace

namespace detail {

void OpenDefaultFont() {
    defaultFont = TImageFont::CreateDefault();
    currentFont = defaultFont;
}

void ReleaseFonts() {
    currentFont = nullptr;
    defaultFont = nullptr;
}

}  // namespace detail

void DrawText(const String& text, float x, float y) {
    if (!currentFont) return;
    const detail::DrawState& s = detail::drawState;
    const float tx = x + s.originX + s.handleX * s.xx + s.handleY * s.xy;
    const float ty = y + s.originY + s.handleX * s.yx + s.handleY * s.yy;
    const detail::TextBlend blend(s.blendMode);
    if (detail::PlainTextNeedsLayout(*currentFont)) {
        detail::DrawPlainText(*currentFont, text.View(), tx, ty, s.xx, s.xy, s.yx, s.yy);
        return;
    }
    currentFont->Draw(text, tx, ty, s.xx, s.xy, s.yx, s.yy);
}

void SetTextBlendMode(int32_t mode) {
    if (mode >= 0 && mode <= BLEND_SHADE) textBlendMode = mode;
}

int32_t GetTextBlendMode() { return textBlendMode; }

int32_t TextWidth(const String& text) {
    if (!currentFont) return 0;
    TImageFont& font = *currentFont;
    if (detail::PlainTextNeedsLayout(font)) return detail::PlainTextWidth(font, text.View());
    int32_t width = 0;
    for (int32_t n = 0; n < text.Length();) {
        TImageGlyph* glyph = font.NextGlyph(text, n);
        if (glyph) width = TruncateWidth(static_cast<float>(width) + glyph->Advance());
    }
    return width;
}

int32_t TextHeight(const String& text) {
    if (!currentFont) return 0;
    TImageFont& font = *currentFont;
    int32_t height = 0;
    for (int32_t n = 0; n < text.Length();) {
        TImageGlyph* glyph = font.NextGlyph(text, n);
        if (!glyph) continue;
        int32_t x = 0, y = 0, w = 0, h = 0;
        glyph->GetRect(x, y, w, h);
        height = std::max(height, h);
    }
    return height;
}

void SetDrawFont(const Ref<TImageFont>& font) { currentFont = font ? font : defaultFont; }
Ref<TImageFont> GetDrawFont() { return currentFont; }

Ref<TImageFont> OpenImageFont(const Ref<Object>& url, int32_t size, int32_t style) {
    return TImageFont::Load(url, size, style);
}

Ref<TImageFont> OpenImageFont(const String& url, int32_t size, int32_t style) {
    return TImageFont::Load(url, size, style);
}

}  // namespace korva
