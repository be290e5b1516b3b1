// The per-thread reason of the last failed load. Reasons are escaped as
// they are recorded, so every call site may put outside text into them.
#include "korvagl/app/last_error.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korva {
namespace {

thread_local String lastError;
thread_local String decoderFailure;

bool Logging() {
    static const bool logging = [] {
        const char* value = std::getenv("KORVAGL_LOG");
        return value && std::strcmp(value, "1") == 0;
    }();
    return logging;
}

}  // namespace

String LastErrorText() { return lastError; }

String detail::Escaped(const String& text) {
    const std::u16string_view units = text.View();
    const auto plain = [](char16_t c) { return c >= 0x20 && c != 0x7F && (c < 0x80 || c > 0x9F) && c != u'\\'; };
    if (std::all_of(units.begin(), units.end(), plain)) return text;
    static const char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    out.reserve(units.size() + 16);
    for (const char16_t c : units) {
        if (plain(c)) {
            out += c;
        } else if (c == u'\\') {
            out += u"\\\\";
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\t') {
            out += u"\\t";
        } else {
            out += u"\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return String(out);
}

void detail::SetLastErrorText(const String& reason) {
    lastError = Escaped(reason);
    if (Logging()) {
        const std::string line = "KorvaGL: " + lastError.ToUtf8() + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
}

void detail::SetLastErrorTextIfNone(const String& reason) {
    if (lastError.IsEmpty()) SetLastErrorText(reason);
}

void detail::ClearLastErrorText() { lastError = String(); }

void detail::SetDecoderFailure(const String& reason) {
    if (decoderFailure.IsEmpty()) decoderFailure = reason;
}

String detail::TakeDecoderFailure() {
    String reason = decoderFailure;
    decoderFailure = String();
    return reason;
}

String detail::Quoted(const String& text) { return String("\"") + text + String("\""); }

}  // namespace korva
