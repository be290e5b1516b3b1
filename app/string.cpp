// String: one heap block holds the count, the length and the units.
#include "korvagl/app/string.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <ostream>

#include "korvagl/app/faults.h"

namespace korva {

struct String::Rep {
    std::atomic<int32_t> refs;
    int32_t length;
    char16_t* Units() noexcept { return reinterpret_cast<char16_t*>(this + 1); }
};

namespace {

// The length of a text of `count` units; texts longer than 2^31 - 1 units
// cannot exist.
int32_t CheckedLength(size_t count) {
    if (count > static_cast<size_t>(INT32_MAX)) RaiseRuntimeError("Illegal String length");
    return static_cast<int32_t>(count);
}

}  // namespace

String::Rep* String::Allocate(int32_t length) {
    if (length < 0) RaiseRuntimeError("Illegal String length");
    void* block = ::operator new(sizeof(Rep) + sizeof(char16_t) * (static_cast<size_t>(length) + 1));
    Rep* rep = new (block) Rep;
    rep->refs.store(1, std::memory_order_relaxed);
    rep->length = length;
    rep->Units()[length] = 0;
    return rep;
}

String::String() noexcept : rep_(nullptr) {}

String::String(const char* bytes) : String(bytes ? std::string_view(bytes) : std::string_view()) {}

String::String(const std::string& bytes) : String(std::string_view(bytes)) {}

String::String(std::string_view bytes) : rep_(nullptr) {
    if (bytes.empty()) return;
    rep_ = Allocate(CheckedLength(bytes.size()));
    char16_t* out = rep_->Units();
    for (size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<unsigned char>(bytes[i]);
}

String::String(const char16_t* units, int32_t length) : rep_(nullptr) {
    if (length <= 0 || units == nullptr) return;
    rep_ = Allocate(length);
    std::memcpy(rep_->Units(), units, sizeof(char16_t) * static_cast<size_t>(length));
}

String::String(std::u16string_view units) : String(units.data(), CheckedLength(units.size())) {}

String::String(const String& other) noexcept : rep_(other.rep_) {
    if (rep_) rep_->refs.fetch_add(1, std::memory_order_relaxed);
}

String::String(String&& other) noexcept : rep_(other.rep_) { other.rep_ = nullptr; }

String& String::operator=(const String& other) noexcept {
    String copy(other);
    std::swap(rep_, copy.rep_);
    return *this;
}

String& String::operator=(String&& other) noexcept {
    std::swap(rep_, other.rep_);
    return *this;
}

String::~String() {
    if (rep_ && rep_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        rep_->~Rep();
        ::operator delete(rep_);
    }
}

int32_t String::Length() const noexcept { return rep_ ? rep_->length : 0; }

const char16_t* String::Units() const noexcept {
    static const char16_t kEmpty[1] = {0};
    return rep_ ? rep_->Units() : kEmpty;
}

String String::Repeat(char16_t unit, int32_t count) {
    if (count < 1) return String();
    String s(Allocate(count));
    std::fill_n(s.rep_->Units(), count, unit);
    return s;
}

std::string String::ToBytes() const {
    std::string out(static_cast<size_t>(Length()), '\0');
    const char16_t* in = Units();
    for (int32_t i = 0; i < Length(); ++i) out[static_cast<size_t>(i)] = static_cast<char>(in[i] & 0xFF);
    return out;
}

String String::FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        uint32_t c = *p++;
        int more = 0;
        uint32_t min = 0;
        if (c < 0x80) {
            out.push_back(static_cast<char16_t>(c));
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            c &= 0x1F, more = 1, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            c &= 0x0F, more = 2, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            c &= 0x07, more = 3, min = 0x10000;
        } else {
            out.push_back(u'\uFFFD');
            continue;
        }
        bool ok = true;
        for (int i = 0; i < more; ++i) {
            if (p >= end || (*p & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (*p++ & 0x3F);
        }
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(u'\uFFFD');
        } else if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return String(out);
}

std::string String::ToUtf8() const {
    std::string out;
    out.reserve(static_cast<size_t>(Length()));
    const char16_t* u = Units();
    const int32_t n = Length();
    for (int32_t i = 0; i < n; ++i) {
        uint32_t c = u[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

int String::Compare(const String& other) const noexcept {
    if (rep_ == other.rep_) return 0;
    const int32_t n = std::min(Length(), other.Length());
    const char16_t* a = Units();
    const char16_t* b = other.Units();
    for (int32_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return Length() < other.Length() ? -1 : (Length() > other.Length() ? 1 : 0);
}

bool operator==(const String& a, const String& b) noexcept {
    return a.Length() == b.Length() && (a.rep_ == b.rep_ || a.View() == b.View());
}

std::strong_ordering operator<=>(const String& a, const String& b) noexcept {
    const int c = a.Compare(b);
    return c < 0 ? std::strong_ordering::less : (c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal);
}

int32_t String::Find(const String& sub, int32_t start) const noexcept {
    if (start < 0) start = 0;
    if (start > Length()) return -1;
    const size_t at = View().find(sub.View(), static_cast<size_t>(start));
    return at == std::u16string_view::npos ? -1 : static_cast<int32_t>(at);
}

String String::Substring(int32_t start, int32_t end) const {
    const int64_t count = static_cast<int64_t>(end) - start;
    if (count <= 0) return String();
    if (start == 0 && end == Length()) return *this;
    if (count > INT32_MAX) RaiseRuntimeError("Illegal String length");
    String out(Allocate(static_cast<int32_t>(count)));
    char16_t* dst = out.rep_->Units();
    const char16_t* src = Units();
    for (int64_t k = 0; k < count; ++k) {
        const int64_t index = start + k;
        dst[k] = (index >= 0 && index < Length()) ? src[index] : u' ';
    }
    return out;
}

String String::ReplaceAll(const String& sub, const String& with) const {
    if (sub.IsEmpty()) return *this;
    int32_t at = Find(sub, 0);
    if (at < 0) return *this;
    std::u16string out;
    int32_t from = 0;
    while (at >= 0) {
        out.append(View().substr(static_cast<size_t>(from), static_cast<size_t>(at - from)));
        out.append(with.View());
        from = at + sub.Length();
        at = Find(sub, from);
    }
    out.append(View().substr(static_cast<size_t>(from)));
    return String(out);
}

String operator+(const String& a, const String& b) {
    if (b.IsEmpty()) return a;
    if (a.IsEmpty()) return b;
    const int64_t total = static_cast<int64_t>(a.Length()) + b.Length();
    if (total > INT32_MAX) RaiseRuntimeError("Illegal String length");
    String out(String::Allocate(static_cast<int32_t>(total)));
    std::memcpy(out.rep_->Units(), a.Units(), sizeof(char16_t) * static_cast<size_t>(a.Length()));
    std::memcpy(out.rep_->Units() + a.Length(), b.Units(), sizeof(char16_t) * static_cast<size_t>(b.Length()));
    return out;
}

String& String::operator+=(const String& other) { return *this = *this + other; }

size_t String::Hash() const noexcept { return std::hash<std::u16string_view>()(View()); }

namespace {

template <typename Unsigned>
Unsigned ParseUnsigned(const String& text, bool& negative) {
    const char16_t* s = text.Units();
    const int32_t n = text.Length();
    int32_t i = 0;
    while (i < n && (s[i] == u' ' || (s[i] >= 9 && s[i] <= 13))) ++i;
    negative = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    unsigned base = 10;
    if (i < n && s[i] == u'$') {
        base = 16, ++i;
    } else if (i < n && s[i] == u'%') {
        base = 2, ++i;
    }
    Unsigned value = 0;
    for (; i < n; ++i) {
        const char16_t c = s[i];
        unsigned digit;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (base == 16 && c >= u'a' && c <= u'f') {
            digit = c - u'a' + 10;
        } else if (base == 16 && c >= u'A' && c <= u'F') {
            digit = c - u'A' + 10;
        } else {
            break;
        }
        if (digit >= base) break;
        value = static_cast<Unsigned>(value * base + digit);
    }
    return value;
}

}  // namespace

int32_t StringToInt(const String& text) {
    bool negative;
    uint32_t v = ParseUnsigned<uint32_t>(text, negative);
    if (negative) v = 0u - v;
    return static_cast<int32_t>(v);
}

int64_t StringToLong(const String& text) {
    bool negative;
    uint64_t v = ParseUnsigned<uint64_t>(text, negative);
    if (negative) v = 0u - v;
    return static_cast<int64_t>(v);
}

String IntToString(int64_t value) { return String(std::to_string(value)); }

std::ostream& operator<<(std::ostream& out, const String& text) { return out << text.ToUtf8(); }

}  // namespace korva
