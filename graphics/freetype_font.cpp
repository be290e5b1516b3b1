// The FreeType font: glyphs rendered once by FreeType, and its font loader.
#include "korvagl/graphics/freetype_font.h"

#include <algorithm>
#include <array>
#include <bitset>

#include "graphics/freetype_native.h"
#include "graphics/glyph_cache.h"
#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/stream/file_system.h"

namespace korva {

Ref<TPixmap> TFreeTypeGlyph::Pixels() { return pixels; }
float TFreeTypeGlyph::Advance() { return advance; }

void TFreeTypeGlyph::GetRect(int32_t& rx, int32_t& ry, int32_t& rwidth, int32_t& rheight) {
    rx = x;
    ry = y;
    rwidth = width;
    rheight = height;
}

int32_t TFreeTypeFont::Style() { return style; }
int32_t TFreeTypeFont::Height() { return height; }
int32_t TFreeTypeFont::FirstChar() { return firstChar; }
int32_t TFreeTypeFont::CountGlyphs() { return static_cast<int32_t>(glyphs.size()); }

Ref<TFontGlyph> TFreeTypeFont::LoadGlyph(int32_t index) {
    if (index < 0 || index >= CountGlyphs()) RaiseArrayIndexFault();
    return glyphs[static_cast<size_t>(index)];
}

struct TFreeTypeFont::MorePage : detail::CharGlyphPage<TFreeTypeGlyph> {};

TFreeTypeFont::TFreeTypeFont() = default;
TFreeTypeFont::~TFreeTypeFont() = default;

Ref<TFontGlyph> TFreeTypeFont::LoadCharGlyph(int32_t code) {
    const int64_t index = int64_t{code} - firstChar;
    if (index >= 0 && index < CountGlyphs()) return glyphs[static_cast<size_t>(index)];
    if (code < 32 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || !source) return nullptr;
    std::unique_ptr<MorePage>& slotPage = morePages_[code >> 8];
    if (!slotPage) slotPage = std::make_unique<MorePage>();
    MorePage& page = *slotPage;
    const size_t slot = static_cast<size_t>(code) & 255;
    if (page.asked[slot]) {
        page.Used();
        return page.glyphs[slot];
    }
    Ref<TFreeTypeGlyph> glyph = detail::RenderFreeTypeChar(*source, code);
    // The pixels and the glyph object.
    page.Keep(glyph ? int64_t{sizeof(TFreeTypeGlyph)} + (glyph->pixels ? std::max<int64_t>(glyph->pixels->capacity, 0) : 0) : 0);
    page.glyphs[slot] = glyph;
    page.asked[slot] = true;
    return glyph;
}

Ref<TFreeTypeFont> TFreeTypeFont::Load(const String& path, int32_t size, int32_t style) {
    // The file layer's name for the path: none for text that names no file.
    const std::string bytes = detail::NativePathToOpen(path);
    if (bytes.empty()) return nullptr;
    return detail::RenderFreeTypeFont(bytes, size, style);
}

Ref<TFontFace> TFreeTypeFontDecoder::Load(const Ref<Object>& url, int32_t size, int32_t style) {
    Ref<TStringObject> path = DownCast<TStringObject>(url);
    if (path && path->text.IsEmpty()) return nullptr;
    // A file is read by the native layer itself, without blocking.
    if (path && path->text.Find("::") < 0) return TFreeTypeFont::Load(path->text, size, style);
    if (!path && !DownCast<TByteStream>(url)) return nullptr;
    // Any other URL, or a stream object, is read whole under the load limit.
    const String name = path ? detail::Quoted(path->text) : String("stream");
    Ref<TByteStream> stream = OpenForLoading(url);
    if (!stream) return nullptr;  // the opener said why
    const int32_t start = stream->Pos();
    std::shared_ptr<std::vector<unsigned char>> bytes;
    try {
        bytes = std::make_shared<std::vector<unsigned char>>(detail::ReadAllAndClose(stream));
    } catch (const TFault& fault) {
        detail::SetLastErrorTextIfNone("cannot read " + name + ": " + fault.ToString());
        return nullptr;
    }
    Ref<TFontFace> face = detail::RenderFreeTypeFont(std::move(bytes), size, style);
    if (!face) {
        // A stream object goes back to where it stood, for the next decoder.
        if (!path) stream->Seek(start);
        detail::SetLastErrorTextIfNone(name + ": no font decoder accepts this data");
    }
    return face;
}

int InitFreeTypeGlyphs() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitFonts();
    InitPixmaps();
    detail::NoteModuleStarted("FreeType glyphs");
    return 0;
}

int InitFreeTypeFonts() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitFonts();
    InitPixmaps();
    InitFreeTypeGlyphs();
    detail::NoteModuleStarted("FreeType fonts");
    RegisterFontDecoder(New<TFreeTypeFontDecoder>());
    return 0;
}

}  // namespace korva
