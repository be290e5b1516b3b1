// The system library glue: the console functions over C stdio. Sockets need
// no library start-up here, and the process-wide signal state is left alone
// (sockets send with MSG_NOSIGNAL instead of ignoring SIGPIPE).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "korvagl/app/modules.h"
#include "korvagl/stream/console.h"

namespace korva {
namespace {

int32_t WriteAndFlush(const String& text, std::FILE* file) {
    // Every unit goes out, a U+0000 included.
    const std::string bytes = text.ToBytes();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
    return 0;
}

}  // namespace

int32_t WriteStdout(const String& text) { return WriteAndFlush(text, stdout); }
int32_t WriteStderr(const String& text) { return WriteAndFlush(text, stderr); }

String ReadStdinLine() {
    char buffer[1024];
    if (!std::fgets(buffer, sizeof buffer, stdin)) return String();
    buffer[sizeof buffer - 1] = 0;
    buffer[std::strcspn(buffer, "\n")] = 0;
    return String(buffer);
}

int InitSystemGlue() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("system library glue");
    return 0;
}

}  // namespace korva
