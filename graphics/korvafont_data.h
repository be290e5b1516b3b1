// The built-in 8x16 font data, registered as the embedded file "korvafont.bin".
#pragma once

namespace korva::detail {

inline constexpr int kKorvaFontSize = 1536;
extern const unsigned char kKorvaFontData[kKorvaFontSize];

}  // namespace korva::detail
