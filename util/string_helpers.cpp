// String helpers: 1-based positions and clamped counts over String.
#include "korvagl/util/string_helpers.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "korvagl/app/modules.h"

namespace korva {

String MidText(const String& text, int32_t pos, int32_t size) {
    const int64_t length = text.Length();
    if (pos > length) return String();
    int64_t p = static_cast<int64_t>(pos) - 1;
    int64_t count = size;
    if (count < 0) {
        // The rest of the text; positions before the first unit read as
        // spaces. Clamping the start to INT32_MIN keeps it representable:
        // from there the result is already longer than a String can hold,
        // which Substring reports.
        return text.Substring(static_cast<int32_t>(std::max<int64_t>(p, INT32_MIN)), static_cast<int32_t>(length));
    }
    if (p < 0) {
        count += p;
        p = 0;
    }
    if (p + count > length) count = length - p;
    if (count <= 0) return String();
    return text.Substring(static_cast<int32_t>(p), static_cast<int32_t>(p + count));
}

String LeftText(const String& text, int32_t n) {
    n = std::min(n, text.Length());
    return text.Substring(0, n);
}

String RightText(const String& text, int32_t n) {
    n = std::min(n, text.Length());
    if (n <= 0) return String();
    return text.Substring(text.Length() - n, text.Length());
}

String PadRight(const String& text, int32_t n) { return text.Substring(0, n); }

String PadLeft(const String& text, int32_t n) {
    if (n <= 0) return String();
    return text.Substring(text.Length() - n, text.Length());
}

int32_t FindText(const String& text, const String& sub, int32_t start) {
    if (start < 1) start = 1;
    const int32_t at = text.Find(sub, start - 1);
    return at < 0 ? 0 : at + 1;
}

String ReplaceText(const String& text, const String& sub, const String& with) {
    return text.ReplaceAll(sub, with);
}

String TrimText(const String& text) {
    int32_t begin = 0;
    int32_t end = text.Length();
    while (begin < end && text[begin] <= u' ') ++begin;
    while (end > begin && text[end - 1] <= u' ') --end;
    if (begin == end) return String();
    return text.Substring(begin, end);
}

namespace {

// The text with every unit in [from, from + 25] moved by `shift`; the same
// text when no unit is in that range.
String ShiftLetters(const String& text, char16_t from, int shift) {
    const std::u16string_view units = text.View();
    const auto in_range = [from](char16_t u) { return u >= from && u <= from + 25; };
    if (std::none_of(units.begin(), units.end(), in_range)) return text;
    std::u16string out(units);
    for (char16_t& u : out) {
        if (in_range(u)) u = static_cast<char16_t>(u + shift);
    }
    return String(out);
}

String Digits(uint64_t bits, int count, int bitsPerDigit) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const uint64_t mask = (uint64_t{1} << bitsPerDigit) - 1;
    std::string out(static_cast<size_t>(count), '0');
    for (int i = count - 1; i >= 0; --i) {
        out[static_cast<size_t>(i)] = kDigits[bits & mask];
        bits >>= bitsPerDigit;
    }
    return String(out);
}

}  // namespace

String LowerText(const String& text) { return ShiftLetters(text, u'A', 'a' - 'A'); }

String UpperText(const String& text) { return ShiftLetters(text, u'a', 'A' - 'a'); }

String HexText(int32_t n) { return Digits(static_cast<uint32_t>(n), 8, 4); }

String BinText(int32_t n) { return Digits(static_cast<uint32_t>(n), 32, 1); }

String LongHexText(int64_t n) { return Digits(static_cast<uint64_t>(n), 16, 4); }

String LongBinText(int64_t n) { return Digits(static_cast<uint64_t>(n), 64, 1); }

int InitStringHelpers() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("string helpers");
    return 0;
}

}  // namespace korva
