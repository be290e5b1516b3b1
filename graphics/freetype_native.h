// The FreeType side of the FreeType font: the only file that includes
// FreeType's headers is freetype_native.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "korvagl/graphics/freetype_font.h"

namespace korva::detail {

// Opens the file, picks the pixel size, renders glyphs 32 to 255 and releases
// FreeType again. The null object when the file does not open or no size fits.
Ref<TFreeTypeFont> RenderFreeTypeFont(const std::string& path, int32_t size, int32_t style);

}  // namespace korva::detail
