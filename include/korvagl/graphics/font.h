// KorvaGL: fonts and the registry of font loaders.
//
// A font loader (TFontDecoder) opens a font file into a TFontFace: glyphs for
// consecutive character codes, glyph i standing for FirstChar() + i, each with
// its coverage as a pixmap, its advance and the rectangle its pixels cover.
// OpenFont asks every registered loader in turn, newest first; the first that
// opens the url wins. The FreeType loader (freetype_font.h) registers at
// start-up. Faces are not drawn directly: the image font (image_font.h) turns
// one into drawable images once.
//
// The operations of TFontGlyph, TFontFace and TFontDecoder are abstract here:
// calling one on the base class raises TAbstractMethodFault.
//
// Not thread-safe: register loaders and open fonts from the main thread.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

class TFontGlyph : public Object {
public:
    // The glyph's coverage (a pixmap whose alpha is the ink), or the null
    // object for a glyph without pixels such as the space.
    virtual Ref<TPixmap> Pixels();
    // How far the pen moves after the glyph, in pixels.
    virtual float Advance();
    // Where the pixels lie: x to the right of the pen, y down from the top
    // of the text line; width and height of the pixmap.
    virtual void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height);
};

class TFontFace : public Object {
public:
    // The style the face was opened with.
    virtual int32_t Style();
    // Line height in pixels.
    virtual int32_t Height();
    // Character code of glyph 0.
    virtual int32_t FirstChar();
    virtual int32_t CountGlyphs();
    // Glyph `index`, 0 to CountGlyphs() - 1.
    virtual Ref<TFontGlyph> LoadGlyph(int32_t index);
    // The glyph of character `code` (a Unicode code point), or the null
    // object when the face has none. Here: LoadGlyph(code - FirstChar())
    // within the range and the null object outside it; faces that have more
    // characters (FreeType) give those too.
    virtual Ref<TFontGlyph> LoadCharGlyph(int32_t code);
};

class TFontDecoder : public Object {
public:
    // The loader registered before this one (asked after it); the null
    // object at the end of the registry.
    Ref<TFontDecoder> next;

    // The face of `url` at `size` pixels, or the null object when this loader
    // cannot open it.
    virtual Ref<TFontFace> Load(const Ref<Object>& url, int32_t size, int32_t style);
};

// Puts the loader at the head of the registry. A loader already registered
// (or whose next link is set) stays where it is.
void RegisterFontDecoder(const Ref<TFontDecoder>& loader);
// The newest loader, the head of the registry; the null object when none.
Ref<TFontDecoder> FirstFontDecoder();
// Asks each loader, newest first; the first face that is not the null object
// wins. The null object when every loader declines; LastErrorText() then
// says why (the file cannot be opened, or no loader knows its data). A
// stream error inside a loader only means the data is not in its format.
Ref<TFontFace> OpenFont(const Ref<Object>& url, int32_t size, int32_t style = 0);
Ref<TFontFace> OpenFont(const String& url, int32_t size, int32_t style = 0);

// The module "fonts". Run-once; returns 0.
int InitFonts();

}  // namespace korva
