// KorvaGL: the image font, the font the 2D layer draws text with.
//
// A TImageFont holds one drawable image per character plus its metrics. It is
// made either from a font file that a font loader opens (Load: every glyph of
// the face's range becomes an image), or from the built-in 8x16 font
// (CreateDefault, codes 32 to 127 only). A font made by Load keeps its face:
// any other character of the text is asked of the face when first met, made
// into an image the same way, and kept for later draws (one image per glyph,
// like the glyphs of the range) within the process-wide glyph budget of
// 256 MB for pixels and textures together: when it is reached, the least
// recently used pages of 256 characters, of any font, are given back and
// made again when next met. Text is drawn glyph by glyph through the current
// draw driver; characters the font lacks draw nothing and do not move the
// pen. (A FreeType font lacks none of codes 32 to 255: those its character
// map lacks draw the face's missing-character box.)
//
// Text is UTF-16: a code unit within the range always stands for its own
// glyph; outside it, a surrogate pair forms one character, a lone surrogate
// and codes below 32 (control characters) are lacking.
//
// The built-in font is the embedded file "korvafont.bin" (registered by
// InitImageFont): 16 rows of 96 bytes, byte row * 96 + c holding pixel row
// `row` (0 the top) of character code 32 + c, bit k the pixel k columns from
// the left, a set bit ink. Its glyphs are 8 x 16, unfiltered, white ink on
// transparency, so text takes the draw colour.
//
// Glyph images are made by the current draw driver: made before OpenGraphics,
// they get their textures when first drawn. Like every image, they keep
// drawing after any later OpenGraphics; the default font is rebuilt by each
// OpenGraphics.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/graphics/font.h"
#include "korvagl/graphics/image.h"

namespace korva {

// One character of an image font.
class TImageGlyph : public Object {
public:
    Ref<TImage> image;  // the null object for a glyph without pixels
    float advance = 0;  // pen movement after the glyph, pixels
    int32_t x = 0;      // left edge relative to the pen
    int32_t y = 0;      // top edge relative to the top of the text line
    int32_t width = 0;
    int32_t height = 0;

    virtual Ref<TImage> Image();
    virtual float Advance();
    virtual void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height);
};

class TImageFont : public Object {
public:
    int32_t style = 0;
    int32_t height = 0;     // line height, pixels
    int32_t firstChar = 0;  // character code of glyph 0
    std::vector<Ref<TImageGlyph>> glyphs;
    // The face characters beyond the range come from; the null object for
    // the built-in font.
    Ref<TFontFace> source;
    // The font characters this one lacks come from (SetFontFallback, see
    // text_layout.h); the null object for none.
    Ref<TImageFont> fallback;

    virtual int32_t Style();
    virtual int32_t Height();
    virtual int32_t FirstChar();
    virtual int32_t CountGlyphs();
    // Raises TArrayIndexFault outside 0 to CountGlyphs() - 1.
    virtual Ref<TImageGlyph> Glyph(int32_t index);
    // Draws the text with the pen starting at (x, y), already translated by
    // the caller, moving along the matrix's x axis (xx, yx) by each glyph's
    // advance; the current draw matrix turns and scales the glyph images.
    virtual void Draw(const String& text, float x, float y, float xx, float xy, float yx, float yy);
    // The glyph of character `code` (a Unicode code point): glyphs[code -
    // firstChar] within the range; beyond it made from `source` on the first
    // request and kept. The null object for a character the font lacks.
    virtual Ref<TImageGlyph> CharGlyph(int32_t code);

    // The glyph of the character that starts at unit n of the text, with n
    // moved past it (two units for a surrogate pair); null when the font
    // lacks it. The font owns the glyph. Draw and the text measures walk
    // text with this.
    TImageGlyph* NextGlyph(const String& text, int32_t& n);

    // The font `url` opens through the font loaders (OpenFont), each glyph
    // made into a filtered image; the null object when no loader opens it.
    static Ref<TImageFont> Load(const Ref<Object>& url, int32_t size, int32_t style = 0);
    static Ref<TImageFont> Load(const String& url, int32_t size, int32_t style = 0);
    // The built-in 8x16 font for codes 32 to 127, advance 8.
    static Ref<TImageFont> CreateDefault();

    TImageFont();
    ~TImageFont() override;

private:
    // Glyphs beyond the range, 256 characters a page, made on first use and
    // kept within the glyph budget.
    struct MorePage;
    std::vector<std::unique_ptr<MorePage>> pages_;
    TImageGlyph* MoreGlyph(int32_t code);
};

// The module "image font"; registers "korvafont.bin". Run-once; returns 0.
int InitImageFont();

}  // namespace korva
