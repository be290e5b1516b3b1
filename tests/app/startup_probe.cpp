// A program started by the start-up tests: argv[1] says what it does once
// RunApplication has set everything up.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "korvagl/korvagl.h"

using namespace korva;

namespace {

// Two modules that import each other, written like every initialiser.
int InitCycleB();
int cycleWork = 0;
int InitCycleA() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitCycleB();
    ++cycleWork;
    return 0;
}
int InitCycleB() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitCycleA();
    ++cycleWork;
    return 0;
}

// The division traps in the processor; the sanitizer must not report it first.
__attribute__((no_sanitize("undefined"))) int Divide(int a, int b) { return a / b; }

int Probe() {
    const std::string what = ProgramArgs().size() > 1 ? ProgramArgs()[1].ToBytes() : "";
    if (what == "records") {
        char cwd[4096];
        std::printf("start=%s\nprogramdir=%s\npath=%s\ncwd=%s\nargc=%zu\n", StartDir().ToBytes().c_str(),
                    ProgramDir().ToBytes().c_str(), ProgramPath().ToBytes().c_str(),
                    getcwd(cwd, sizeof cwd) ? cwd : "", ProgramArgs().size());
        for (const String& arg : ProgramArgs()) std::printf("arg=%s\n", arg.ToBytes().c_str());
        return 0;
    }
    if (what == "modules") {
        // Every initialiser a second time: returns 0 and starts nothing new.
        const size_t before = StartedModules().size();
        int results = InitKorvaGL() + InitRuntime() + InitApplicationStub() + InitStreamUtilities();
        results += InitCycleA() + InitCycleA();
        std::printf("again=%d results=%d cycle=%d\n", static_cast<int>(StartedModules().size() - before), results,
                    cycleWork);
        for (const String& name : StartedModules()) std::printf("%s\n", name.ToBytes().c_str());
        return 0;
    }
    if (what == "raise") RaiseRuntimeError("x");
    if (what == "null") {
        Ref<Object> none;
        none->ToString();
    }
    if (what == "std") throw std::runtime_error("plain C++ failure");
    if (what == "nodisplay") {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) unsetenv(name);
        OpenGraphics(640, 480, 0, 60);
    }
    if (what == "unsaved") {
        // A soft failure the program does not check, then a fault it causes.
        Ref<TByteStream> scores = OpenWriteStream("no-such-dir/scores.txt");
        scores->WriteLine("42");
    }
    if (what == "term") std::raise(SIGTERM);
    if (what == "abort") std::abort();
    if (what == "segv") {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    if (what == "fpe") {
        volatile int seven = 7, zero = 0;
        volatile int result = Divide(seven, zero);
        (void)result;
    }
    if (what == "wait") {
        std::printf("ready\n");
        std::fflush(stdout);
        pause();
    }
    if (what == "exit7") return 7;
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunApplication(argc, argv, Probe); }
