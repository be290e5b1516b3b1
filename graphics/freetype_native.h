// The FreeType side of the FreeType font: the only file that includes
// FreeType's headers is freetype_native.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "korvagl/graphics/freetype_font.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace korva::detail {

// A FreeType library and face kept open for the life of a font, with what
// rendering its glyphs needs to know.
class FreeTypeSource {
public:
    FreeTypeSource() = default;
    FreeTypeSource(const FreeTypeSource&) = delete;
    FreeTypeSource& operator=(const FreeTypeSource&) = delete;
    ~FreeTypeSource();

    // Reads the regular file at `path` and opens its face 0; false when the
    // file cannot be read (the reason recorded) or FreeType cannot open it.
    bool Open(const std::string& path);
    // The same over the bytes of a font read some other way (a URL).
    bool OpenBytes(std::shared_ptr<const std::vector<unsigned char>> bytes);

    // The whole font file, which the face reads from memory: changing the
    // file afterwards changes nothing here.
    std::shared_ptr<const std::vector<unsigned char>> file;
    FT_LibraryRec_* library = nullptr;
    FT_FaceRec_* face = nullptr;
    int32_t ascender = 0;  // of the chosen pixel size
    int64_t largest = 0;   // glyphs wider or taller get no pixels
    int64_t budget = 0;    // coverage bytes still allowed
};

// Opens the file, picks the pixel size and renders glyphs 32 to 255; the face
// stays open in the font's `source` for the characters rendered later. The
// null object when the file does not open or no size fits.
Ref<TFreeTypeFont> RenderFreeTypeFont(const std::string& path, int32_t size, int32_t style);
// The same over the bytes of a font file.
Ref<TFreeTypeFont> RenderFreeTypeFont(std::shared_ptr<const std::vector<unsigned char>> bytes, int32_t size,
                                      int32_t style);

// The glyph of Unicode character `code` from the open face; the null object
// when the face has no glyph for it.
Ref<TFreeTypeGlyph> RenderFreeTypeChar(FreeTypeSource& source, int32_t code);

}  // namespace korva::detail
