// The console stream over standard input and output.
#include "korvagl/stream/console.h"

#include <cstdio>

#include "korvagl/app/modules.h"

namespace korva {
namespace {

Ref<TConsoleStream>& Console() {
    static auto* console = new Ref<TConsoleStream>;  // lives for the whole process
    return *console;
}

}  // namespace

int32_t TConsoleStream::Flush() {
    std::fflush(stdout);
    return 0;
}

int32_t TConsoleStream::Read(void* buf, int32_t count) {
    if (count <= 0) return 0;
    return static_cast<int32_t>(std::fread(buf, 1, static_cast<size_t>(count), stdin));
}

int32_t TConsoleStream::Write(const void* buf, int32_t count) {
    if (count <= 0) return 0;
    return static_cast<int32_t>(std::fwrite(buf, 1, static_cast<size_t>(count), stdout));
}

const Ref<TConsoleStream>& ConsoleStream() { return Console(); }

int32_t PrintLine(const String& text) {
    ConsoleStream()->WriteLine(text);
    ConsoleStream()->Flush();
    return 0;
}

String InputLine(const String& prompt) {
    ConsoleStream()->WriteText(prompt);
    ConsoleStream()->Flush();
    return ConsoleStream()->ReadLine();
}

int InitStandardIO() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitSystemGlue();
    InitStreams();
    detail::NoteModuleStarted("standard I/O stream");
    Console() = New<TConsoleStream>();
    return 0;
}

}  // namespace korva
