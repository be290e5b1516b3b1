// The per-thread reason of the last failed load.
#include "korvagl/app/last_error.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korva {
namespace {

thread_local String lastError;

bool Logging() {
    static const bool logging = [] {
        const char* value = std::getenv("KORVAGL_LOG");
        return value && std::strcmp(value, "1") == 0;
    }();
    return logging;
}

}  // namespace

String LastErrorText() { return lastError; }

void detail::SetLastErrorText(const String& reason) {
    lastError = reason;
    if (Logging()) {
        const std::string line = "KorvaGL: " + reason.ToUtf8() + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
}

void detail::SetLastErrorTextIfNone(const String& reason) {
    if (lastError.IsEmpty()) SetLastErrorText(reason);
}

void detail::ClearLastErrorText() { lastError = String(); }

String detail::Quoted(const String& text) { return String("\"") + text + String("\""); }

}  // namespace korva
