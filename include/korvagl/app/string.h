// KorvaGL: String, the framework's immutable text of 16-bit code units.
//
// A String is a value: copying it shares one reference-counted buffer, and no
// operation changes a String in place. Text built from bytes (const char*,
// std::string) widens each byte to one code unit; ToBytes() keeps the low byte
// of each unit. That 8-bit form is what streams, file names and Lua see.
// UTF-8 helpers exist for callers that need real Unicode text.
//
// Strings compare by code unit, then by length. Reference counts are atomic,
// so Strings may be copied across threads; the text itself never changes.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace korva {

class String {
public:
    // The empty text. Never allocates.
    String() noexcept;
    // Widens each byte; a null pointer gives the empty text.
    String(const char* bytes);
    String(const std::string& bytes);
    String(std::string_view bytes);
    // Copies code units as they are.
    String(const char16_t* units, int32_t length);
    String(std::u16string_view units);

    String(const String& other) noexcept;
    String(String&& other) noexcept;
    String& operator=(const String& other) noexcept;
    String& operator=(String&& other) noexcept;
    ~String();

    // Decodes UTF-8 into UTF-16 code units; malformed bytes become U+FFFD.
    static String FromUtf8(std::string_view utf8);
    // A text of `count` copies of one unit (empty when count < 1).
    static String Repeat(char16_t unit, int32_t count);

    int32_t Length() const noexcept;
    bool IsEmpty() const noexcept { return Length() == 0; }
    const char16_t* Units() const noexcept;
    std::u16string_view View() const noexcept { return {Units(), static_cast<size_t>(Length())}; }
    // Unchecked, like the framework's arrays: index must lie in 0 .. Length()-1.
    char16_t operator[](int32_t index) const noexcept { return Units()[index]; }

    // The low byte of each unit.
    std::string ToBytes() const;
    // Encodes the units as UTF-8 (unpaired surrogates become U+FFFD).
    std::string ToUtf8() const;
    // ToUtf8() by a shorter name, for text handed to C APIs that take UTF-8:
    // `SDL_SetWindowTitle(window, title.Utf8().c_str())`.
    std::string Utf8() const { return ToUtf8(); }

    // Negative, 0 or positive: code units first, then length.
    int Compare(const String& other) const noexcept;
    // True when both values share one buffer (the "same text object").
    bool SameText(const String& other) const noexcept { return rep_ == other.rep_; }

    // Index of the first occurrence of `sub` at or after `start`, or -1.
    // An empty `sub` is found at `start` when start lies in 0 .. Length().
    int32_t Find(const String& sub, int32_t start = 0) const noexcept;
    // Exactly end - start units; positions outside the text read as spaces.
    String Substring(int32_t start, int32_t end) const;
    // Every non-overlapping occurrence of `sub`, left to right, replaced by `with`.
    // Returns this same text when `sub` is empty or not found.
    String ReplaceAll(const String& sub, const String& with) const;

    // Either side may be 8-bit text: "x" + s and s + "x" both work.
    friend String operator+(const String& a, const String& b);
    String& operator+=(const String& other);

    friend bool operator==(const String& a, const String& b) noexcept;
    friend std::strong_ordering operator<=>(const String& a, const String& b) noexcept;

    size_t Hash() const noexcept;

private:
    struct Rep;
    explicit String(Rep* rep) noexcept : rep_(rep) {}
    static Rep* Allocate(int32_t length);
    Rep* rep_;
};

// The runtime's string-to-integer conversion: leading white space is skipped,
// then an optional sign, then decimal digits up to the first non-digit; a
// leading "$" reads hexadecimal digits and "%" binary ones. No digits give 0.
// Values wrap modulo 2^32 like the 32-bit arithmetic they model.
int32_t StringToInt(const String& text);
// The same rules for 64-bit values.
int64_t StringToLong(const String& text);
// Decimal rendering of an integer.
String IntToString(int64_t value);

// Writes the text as UTF-8 (ToUtf8), so `std::cout << text` shows any text.
std::ostream& operator<<(std::ostream& out, const String& text);

}  // namespace korva

template <>
struct std::hash<korva::String> {
    size_t operator()(const korva::String& s) const noexcept { return s.Hash(); }
};
