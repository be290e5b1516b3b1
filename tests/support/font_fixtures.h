// Test support: font files made in memory.
#pragma once

#include <string>

namespace korva::test {

// A TrueType font of a few hundred bytes in which every character from 32 to
// U+10FFFF (one cmap group of format 13) is the same glyph: a solid block
// from 50 to 550 units across and -100 to 700 up, advance 600, on an em of
// 1000 units (ascender 800, descender -200). Text in any script measures and
// draws with it, so one small file can fill any number of glyph pages.
std::string EveryCharacterFont();

}  // namespace korva::test
