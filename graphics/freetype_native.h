// The FreeType side of the FreeType font: the only file that includes
// FreeType's headers is freetype_native.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "korvagl/graphics/freetype_font.h"

struct FT_FaceRec_;
struct FT_SizeRec_;

namespace korva::detail {

// A FreeType library and face over a font file read whole, shared by every
// font opened from the same unchanged file whatever its size (internal).
struct SharedFace;

// What a font renders with: the shared face and a FreeType size of its own,
// which is made the face's active size before the face is used.
class FreeTypeSource {
public:
    FreeTypeSource() = default;
    FreeTypeSource(const FreeTypeSource&) = delete;
    FreeTypeSource& operator=(const FreeTypeSource&) = delete;
    ~FreeTypeSource();

    // Opens face 0 of the regular file at `path` (or takes the face already
    // open for it) and makes a size for this font; false when the file cannot
    // be read (the reason recorded) or FreeType cannot open it.
    bool Open(const std::string& path);
    // The same over the bytes of a font read some other way (a URL).
    bool OpenBytes(std::shared_ptr<const std::vector<unsigned char>> bytes);
    // Makes this font's size the face's active one.
    void Activate();

    std::shared_ptr<SharedFace> shared;
    FT_FaceRec_* face = nullptr;  // the shared face
    FT_SizeRec_* size = nullptr;  // this font's
    int32_t ascender = 0;         // of the chosen pixel size
    int32_t pixelSize = 0;        // the chosen pixel size
    int64_t largest = 0;          // glyphs wider or taller get no pixels
    // The shaper's state for this font (text_shaping.cpp), made on first
    // use; goes before the face.
    std::shared_ptr<void> shaping;

private:
    bool OpenShared(std::shared_ptr<SharedFace> opened);
};

// Opens the file, picks the pixel size and renders glyphs 32 to 255; the face
// stays open in the font's `source` for the characters rendered later. The
// null object when the file does not open or no size fits.
Ref<TFreeTypeFont> RenderFreeTypeFont(const std::string& path, int32_t size, int32_t style);
// The same over the bytes of a font file.
Ref<TFreeTypeFont> RenderFreeTypeFont(std::shared_ptr<const std::vector<unsigned char>> bytes, int32_t size,
                                      int32_t style);

// The bytes of the font file a shared face reads, and a slot for the shaper's
// face over them (text_shaping.cpp), which goes before the bytes do.
const std::vector<unsigned char>& FaceBytes(const SharedFace& shared);
std::shared_ptr<void>& ShaperFace(SharedFace& shared);

// The glyph with index `index` in the face (what a shaper outputs); the null
// object for an index past the face's glyphs.
Ref<TFreeTypeGlyph> RenderFreeTypeGlyphIndex(FreeTypeSource& source, uint32_t index);
// The face's glyph index of character `code`; 0 when the face lacks it.
uint32_t FreeTypeCharIndex(FreeTypeSource& source, int32_t code);

// The glyph of Unicode character `code` from the open face; the null object
// when the face has no glyph for it.
Ref<TFreeTypeGlyph> RenderFreeTypeChar(FreeTypeSource& source, int32_t code);

}  // namespace korva::detail
