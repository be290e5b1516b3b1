// Start-up, the initialisers and the uncaught-fault path, each observed in a
// child process running the probe program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>

#include "support/process.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

const std::string kProbe = KORVAGL_STARTUP_PROBE;

test::ChildResult Probe(const std::string& what, const test::ChildOptions& options = {}) {
    return test::RunChild(kProbe, {"startup_probe", what}, options);
}

std::string Line(const std::string& out, const std::string& key) {
    const size_t at = out.find(key + "=");
    if (at == std::string::npos) return "<missing>";
    return out.substr(at + key.size() + 1, out.find('\n', at) - at - key.size() - 1);
}

TEST(StartupTest, RecordsWhereTheProgramLives) {
    test::TempDir elsewhere;
    test::ChildOptions options;
    options.workingDirectory = elsewhere.Path();
    const auto result = test::RunChild(kProbe, {"startup_probe", "records", "two words"}, options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string programDir = std::filesystem::canonical(kProbe).parent_path().string();
    EXPECT_EQ(Line(result.out, "start"), std::filesystem::canonical(elsewhere.Path()).string());
    EXPECT_EQ(Line(result.out, "programdir"), programDir);
    EXPECT_EQ(Line(result.out, "cwd"), programDir);
    EXPECT_EQ(Line(result.out, "path"), std::filesystem::canonical(kProbe).string());
    EXPECT_EQ(Line(result.out, "argc"), "3");
    EXPECT_NE(result.out.find("arg=two words\n"), std::string::npos);
}

TEST(StartupTest, InitialisersRunOnceAndCyclesEnd) {
    const auto result = Probe("modules");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("again=0 results=0 cycle=2\n"), std::string::npos) << result.out;
    // The runtime starts first, then the application stub.
    EXPECT_NE(result.out.find("\nruntime errors\napplication stub\n"), std::string::npos) << result.out;
}

TEST(StartupTest, NormalExitKeepsTheAppResult) {
    EXPECT_EQ(Probe("").exitCode, 0);
    EXPECT_EQ(Probe("exit7").exitCode, 7);
}

struct FaultCase {
    const char* what;
    const char* text;
    friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }
};

class UncaughtFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(UncaughtFaultTest, WritesTheTextAndExitsWithMinusOne) {
    const auto result = Probe(GetParam().what);
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.err, GetParam().text);  // the text and the reason, each line ended
}

INSTANTIATE_TEST_SUITE_P(Faults, UncaughtFaultTest,
                         testing::Values(FaultCase{"raise", "x\n"},
                                         FaultCase{"null", "Attempt to access field or method of Null object\n"},
                                         FaultCase{"std", "plain C++ failure\n"},
                                         FaultCase{"nodisplay", "Unable to set graphics mode\ncannot open a window of "
                                                                "640 x 480: no display (DISPLAY and WAYLAND_DISPLAY "
                                                                "are unset)\n"},
                                         FaultCase{"unsaved", "Attempt to access field or method of Null object\n"
                                                              "cannot open \"no-such-dir/scores.txt\": "
                                                              "No such file or directory\n"},
                                         FaultCase{"term", "Received Signal\n"},
                                         FaultCase{"abort", "Received Signal\n"},
                                         FaultCase{"segv", "Unhandled Memory Exception Error\n"},
                                         FaultCase{"fpe", "Unhandled Memory Exception Error\n"}),
                         [](const auto& info) { return std::string(info.param.what); });

// KORVAGL_NATIVE_FAULTS=1 leaves faults to the system: the child dies by the
// signal itself, where a core dump, a debugger or a sanitizer would see it.
TEST(StartupTest, NativeFaultsLeaveSignalsToTheSystem) {
    const rlimit noCores{0, 0};
    ASSERT_EQ(setrlimit(RLIMIT_CORE, &noCores), 0);  // children inherit it
    const char* asan = std::getenv("ASAN_OPTIONS");
    test::ChildOptions native;
    native.environment = {"KORVAGL_NATIVE_FAULTS=1",
                          "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":handle_segv=0"};
    const auto fault = Probe("segv", native);
    EXPECT_EQ(fault.signal, SIGSEGV) << fault.err;
    EXPECT_EQ(Probe("abort", native).signal, SIGABRT);
    const auto handled = Probe("segv");
    EXPECT_EQ(handled.exitCode, 255);
    EXPECT_EQ(handled.err, "Unhandled Memory Exception Error\n");
}

TEST(StartupTest, SignalFromAnotherProcess) {
    // Start the probe waiting, then send SIGTERM from outside.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        execl(kProbe.c_str(), "startup_probe", "wait", nullptr);
        _exit(127);
    }
    close(fds[1]);
    char buffer[64];
    std::string seen;
    while (seen.find("ready\n") == std::string::npos) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        seen.append(buffer, static_cast<size_t>(n));
    }
    kill(pid, SIGTERM);
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) seen.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_EQ(seen, "ready\nReceived Signal\n");
}

}  // namespace
}  // namespace korva
