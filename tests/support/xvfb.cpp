#include "support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "support/process.h"

namespace korva::test {
namespace {

// Waits up to `ms` for the child to end; true when it was reaped.
bool Reap(pid_t pid, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (true) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

bool OffscreenTests() {
    const char* value = std::getenv("KORVAGL_TEST_OFFSCREEN");
    return value && std::string(value) == "1";
}

bool Xvfb::Start(int width, int height, int depth) {
    if (Running()) return true;
    error_.clear();
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return false;
    }
    // Everything the child needs is made before fork: only async-signal-safe
    // calls happen between fork and exec.
    const std::string fd = std::to_string(ready[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid == 0) {
        // The server ends with the test process, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        fcntl(ready[1], F_SETFD, 0);  // the server writes its display number here
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            if (null > 2) close(null);
        }
        setpgid(0, 0);  // keep terminal signals meant for the test away from it
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(ready[1]);
    if (pid < 0) {
        close(ready[0]);
        error_ = "fork failed";
        return false;
    }
    pid_ = pid;

    // The display number arrives, followed by a line end, once the server listens.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool complete = false;
    while (!complete) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{ready[0], POLLIN, 0};
        const int n = poll(&p, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        char buffer[32];
        const ssize_t k = read(ready[0], buffer, sizeof buffer);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break;  // the server ended without a display
        for (ssize_t i = 0; i < k; ++i) {
            if (buffer[i] == '\n') complete = true;
            else if (buffer[i] >= '0' && buffer[i] <= '9') number += buffer[i];
        }
    }
    close(ready[0]);
    if (!complete || number.empty()) {
        error_ = "Xvfb did not start (is it installed?)";
        Stop();
        return false;
    }
    display_ = ":" + number;
    return true;
}

void Xvfb::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!Reap(pid_, 5000)) {
        kill(pid_, SIGKILL);
        Reap(pid_, 5000);
    }
    pid_ = -1;
    display_.clear();
}

std::string UsePrivateDisplay(std::string* error) {
    // KORVAGL_TEST_OFFSCREEN=1: no X server; SDL's offscreen display instead
    // (tests that drive windows with xdotool cannot pass so).
    if (OffscreenTests()) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        return "offscreen";
    }
    static Xvfb* server = nullptr;
    if (!server) {
        server = new Xvfb;
        if (!server->Start()) {
            if (error) *error = server->Error();
            delete server;
            server = nullptr;
            return "";
        }
        setenv("DISPLAY", server->Display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        std::atexit([] {
            delete server;
            server = nullptr;
        });
    }
    return server->Display();
}

std::string FindWindow(const std::string& title, int timeoutMs, std::string* error) {
    ChildOptions patient;
    patient.timeoutMs = timeoutMs;
    const auto found =
        RunChild("xdotool", {"xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}, patient);
    if (found.exitCode != 0 || found.out.empty()) {
        if (error) *error = "no window \"" + title + "\": " + (found.timedOut ? "timed out" : found.err);
        return "";
    }
    return found.out.substr(0, found.out.find('\n'));
}

bool PressKey(const std::string& window, const std::string& key, std::string* error) {
    const auto pressed = RunChild("xdotool", {"xdotool", "windowfocus", "--sync", window, "key", key});
    if (pressed.exitCode != 0 && error) *error = "xdotool key " + key + ": " + pressed.err;
    return pressed.exitCode == 0;
}

}  // namespace korva::test
