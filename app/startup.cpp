// RunApplication: fault handlers, start-up records, initialisers, the app.
#include "korvagl/app/startup.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"

namespace korva {
namespace {

constexpr int kFaultExitCode = -1;

struct StartupRecords {
    String startDir;
    String programDir;
    String programPath;
    StringArray programArgs;
};

StartupRecords& Records() {
    static auto* records = new StartupRecords;
    return *records;
}

// The signal handler writes these whole, line end included.
constexpr char kSignalText[] = "Received Signal";
constexpr char kSignalReport[] = "Received Signal\n";
constexpr char kProcessorFaultReport[] = "Unhandled Memory Exception Error\n";

// What an uncaught fault leaves on standard error: its text and, on the
// next line, the reason the last failed call of this thread recorded (the
// file that did not open, the display that is missing), when there is one
// that says more than the text itself.
std::string FaultReport(const String& text) {
    std::string report = text.ToBytes() + "\n";
    const String reason = LastErrorText();
    if (!reason.IsEmpty() && reason != text) report += reason.ToBytes() + "\n";
    return report;
}

// A signal handler cannot throw, and the interrupted code may hold locks the
// normal exit path needs; so it writes the fault text with write(2) and ends
// the process with _exit, both async-signal-safe.
void OnSignal(int signal, siginfo_t* info, void*) {
    const bool raisedByKernel = info != nullptr && info->si_code > 0 &&
                                (signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL);
    const char* text = raisedByKernel ? kProcessorFaultReport : kSignalReport;
    const size_t length = raisedByKernel ? sizeof kProcessorFaultReport - 1 : sizeof kSignalReport - 1;
    ssize_t ignored = write(STDERR_FILENO, text, length);
    (void)ignored;
    _exit(kFaultExitCode & 0xFF);
}

// KORVAGL_NATIVE_FAULTS=1 leaves faults to the system: core dumps,
// debuggers and sanitizer reports then see them as they happened.
bool NativeFaults() {
    const char* value = std::getenv("KORVAGL_NATIVE_FAULTS");
    return value && std::strcmp(value, "1") == 0;
}

void InstallFaultHandlers() {
    if (NativeFaults()) return;
    // An alternate stack lets a stack overflow reach the handler too.
    static char alternateStack[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);

    struct sigaction action{};
    action.sa_sigaction = OnSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGILL, SIGSEGV, SIGBUS, SIGFPE, SIGABRT, SIGTERM}) sigaction(signal, &action, nullptr);

    // A fault that escapes on another thread, or through a noexcept frame,
    // ends the process the same way as an uncaught fault on the main thread.
    std::set_terminate([] {
        String text = kSignalText;
        if (std::exception_ptr current = std::current_exception()) {
            try {
                std::rethrow_exception(current);
            } catch (const TFault& fault) {
                text = fault.ToString();
            } catch (const std::exception& error) {
                text = error.what();
            } catch (...) {
            }
        }
        const std::string report = FaultReport(text);
        ssize_t ignored = write(STDERR_FILENO, report.data(), report.size());
        (void)ignored;
        _exit(kFaultExitCode & 0xFF);
    });
}

String CurrentDirectoryText() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? String(buffer) : String();
}

String ProgramFileText(const char* argv0) {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) return String(std::string_view(buffer, static_cast<size_t>(length)));
    return String(argv0);
}

void RecordStartup(int argc, char** argv) {
    StartupRecords& records = Records();
    records.startDir = CurrentDirectoryText();
    records.programPath = ProgramFileText(argc > 0 ? argv[0] : nullptr);
    const std::string path = records.programPath.ToBytes();
    const size_t slash = path.rfind('/');
    records.programDir = String(slash == std::string::npos ? std::string() : path.substr(0, slash));
    if (records.programDir.IsEmpty() && slash == 0) records.programDir = "/";
    records.programArgs.clear();
    for (int i = 0; i < argc; ++i) records.programArgs.emplace_back(argv[i]);
}

}  // namespace

const String& StartDir() { return Records().startDir; }
const String& ProgramDir() { return Records().programDir; }
const String& ProgramPath() { return Records().programPath; }
const StringArray& ProgramArgs() { return Records().programArgs; }

void EndWithFault(const String& text) {
    const std::string report = FaultReport(text);
    std::fflush(stdout);
    std::fwrite(report.data(), 1, report.size(), stderr);
    std::fflush(stderr);
    std::exit(kFaultExitCode);
}

int RunApplication(int argc, char** argv, const Application& app) {
    InstallFaultHandlers();
    RecordStartup(argc, argv);
    if (!ProgramDir().IsEmpty() && chdir(ProgramDir().ToBytes().c_str()) != 0) {
        // The records stay as found; relative paths then resolve where we are.
    }
    try {
        InitApplicationStub();
        InitKorvaGL();
        return app ? app() : 0;
    } catch (const TFault& fault) {
        EndWithFault(fault.ToString());
    } catch (const std::exception& error) {
        EndWithFault(error.what());
    }
}

}  // namespace korva
