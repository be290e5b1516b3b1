// KorvaGL: fonts opened with FreeType 2.
//
// TFreeTypeFont::Load opens an outline or bitmap font file (TrueType,
// OpenType, Type 1, PCF, BDF and whatever else FreeType reads) and renders
// the 224 glyphs of character codes 32 to 255 at one pixel size at once; a
// code of that range the character map lacks gets the face's glyph 0 (its
// missing-character box). The face stays open until the font goes, over a
// copy of the file read at load; fonts opened from the same unchanged file,
// at any size, share one face (each with a size of its own), so another size
// neither reads nor parses the file again. Any other character the face has
// is rendered when LoadCharGlyph first asks for it, and kept within the
// process-wide glyph budget of 256 MB (least recently used pages of 256
// characters are given back, and rendered again when next asked). Character
// codes (Unicode code points for the usual fonts) are looked up in the
// face's default character map. The pixel size falls back from the request
// downwards until the face accepts one, so a bitmap font with only a
// 13-pixel strike asked for 16 loads at 13. Sizes above 1024 are taken as
// 1024. A file: regular, at most 256 MB; other URLs load whole into memory.
//
// Glyph coverage is a PIX_A8 pixmap (255 full ink); anti-aliased outlines
// give grey levels, one-bit bitmaps 0 and 255. Glyphs the face cannot load or
// render keep their place with no pixels (and their advance when it is
// known); so do glyphs whose pixels would exceed four times the pixel size
// plus 64 in either direction, which only broken or hostile files ask for.
// Main thread only, like the rest of the 2D layer (fonts of one file share
// their face).
//
// InitFreeTypeFonts registers a TFreeTypeFontDecoder with the font loader
// registry, so OpenFont and OpenImageFont accept font files and URLs.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/graphics/font.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

namespace detail {
class FreeTypeSource;
}

class TFreeTypeGlyph : public TFontGlyph {
public:
    Ref<TPixmap> pixels;  // PIX_A8 coverage, or the null object
    float advance = 0;    // pen advance, pixels
    int32_t x = 0;        // left edge relative to the pen
    int32_t y = 0;        // top edge relative to the top of the text line
    int32_t width = 0;
    int32_t height = 0;

    Ref<TPixmap> Pixels() override;
    float Advance() override;
    void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) override;
};

class TFreeTypeFont : public TFontFace {
public:
    int32_t style = 0;       // as passed to Load
    int32_t height = 0;      // line height, pixels
    int32_t ascender = 0;    // pixels above the baseline
    int32_t descender = 0;   // pixels, negative below the baseline
    int32_t firstChar = 32;  // always 32
    std::vector<Ref<TFreeTypeGlyph>> glyphs;  // 224 once loaded
    // The open face that renders characters beyond the 224 (internal).
    std::shared_ptr<detail::FreeTypeSource> source;

    TFreeTypeFont();
    ~TFreeTypeFont() override;

    int32_t Style() override;
    int32_t Height() override;
    int32_t FirstChar() override;
    int32_t CountGlyphs() override;
    // Raises TArrayIndexFault outside 0 to CountGlyphs() - 1.
    Ref<TFontGlyph> LoadGlyph(int32_t index) override;
    // Codes 32 to 255 give their glyph of `glyphs`. Any other character the
    // face has is rendered on the first request and kept while the glyph
    // budget allows (rendered again when asked after its page was given
    // back, so a glyph kept by the caller may differ in identity, never in
    // content); codes below 32,
    // surrogates, codes past 0x10FFFF and characters the face lacks give the
    // null object.
    Ref<TFontGlyph> LoadCharGlyph(int32_t code) override;

    // The font at `path` (backslashes taken as "/"), rendered at `size`
    // pixels or the largest size below it that the face accepts; the null
    // object for an empty path, a file FreeType cannot open, or a face that
    // accepts no size from the request down to 1.
    static Ref<TFreeTypeFont> Load(const String& path, int32_t size, int32_t style = 0);

private:
    // Characters beyond the 224 rendered so far, 256 a page by code >> 8,
    // within the glyph budget (internal).
    struct MorePage;
    std::unordered_map<int32_t, std::unique_ptr<MorePage>> morePages_;
};

class TFreeTypeFontDecoder : public TFontDecoder {
public:
    // TFreeTypeFont::Load when `url` is a boxed text of at least one
    // character; otherwise the null object.
    Ref<TFontFace> Load(const Ref<Object>& url, int32_t size, int32_t style) override;
};

// The modules "FreeType glyphs" and "FreeType fonts" (which registers the
// loader). Run-once; return 0.
int InitFreeTypeGlyphs();
int InitFreeTypeFonts();

}  // namespace korva
