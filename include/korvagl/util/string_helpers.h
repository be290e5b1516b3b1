// KorvaGL: line-of-text helpers with 1-based positions.
//
// Thin functions over String: they add the 1-based positions, the clamping of
// counts, and space padding where a position lies outside the text (the
// padding of String::Substring). None of them raises for out-of-range
// positions or counts; they clamp or pad as each one documents.
#pragma once

#include <cstdint>

#include "korvagl/app/string.h"

namespace korva {

// `size` units from the 1-based position `pos`; a position past the end
// gives the empty text. With a size of 0 or more, positions before 1 shorten
// the count by as many units and nothing is padded. A negative size takes
// everything from `pos` to the end, and positions before 1 come out as
// spaces: MidText("ABC", -1, -1) is "  ABC".
String MidText(const String& text, int32_t pos, int32_t size);
// The first / last `n` units (the whole text when shorter, empty for n <= 0).
String LeftText(const String& text, int32_t n);
String RightText(const String& text, int32_t n);
// Exactly `n` units: the first `n` filled up with spaces on the right, or the
// last `n` filled up with spaces on the left (empty for n <= 0).
String PadRight(const String& text, int32_t n);
String PadLeft(const String& text, int32_t n);
// The 1-based position of the first `sub` at or after position `start`
// (positions below 1 search from the first unit), or 0.
int32_t FindText(const String& text, const String& sub, int32_t start = 1);
// Every non-overlapping `sub`, found left to right, replaced by `with`. An
// empty `sub`, or none found, gives the same text back.
String ReplaceText(const String& text, const String& sub, const String& with);
// Without the leading and trailing units up to U+0020 (space and control
// characters); the same text when nothing is dropped.
String TrimText(const String& text);
// Only A-Z become a-z, and only a-z become A-Z.
String LowerText(const String& text);
String UpperText(const String& text);
// 8 upper-case hexadecimal / 32 binary digits of the 32 bits of `n`.
String HexText(int32_t n);
String BinText(int32_t n);
// 16 hexadecimal / 64 binary digits of the 64 bits of `n`.
String LongHexText(int64_t n);
String LongBinText(int64_t n);

// The module's initialiser ("string helpers").
int InitStringHelpers();

}  // namespace korva
