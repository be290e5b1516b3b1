// Test support: a private X server (Xvfb) for tests that need a display.
//
// The server picks a free display number itself (-displayfd), so any number
// of test processes may start their own at the same time (ctest -j). It
// listens on no TCP port, dies with the process that started it (even when
// that process is killed), and is stopped and reaped by Stop() or the
// destructor, so no server outlives its test.
#pragma once

#include <sys/types.h>

#include <string>

namespace korva::test {

class Xvfb {
public:
    Xvfb() = default;
    ~Xvfb() { Stop(); }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    // Starts the server with one screen of width x height x depth and waits
    // until it accepts connections. False (with a reason in Error()) when it
    // does not start within 20 s.
    bool Start(int width = 800, int height = 600, int depth = 24);
    // Terminates the server and waits for it. Does nothing when not running.
    void Stop();

    bool Running() const { return pid_ > 0; }
    // The display name, ":N".
    const std::string& Display() const { return display_; }
    const std::string& Error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
};

// One private server for the whole test process, started on the first call
// and stopped at process exit; sets DISPLAY to it (and unsets WAYLAND_DISPLAY)
// so that SDL and the tools the test runs use it. Returns the display name,
// or "" when the server could not start (Error text in `error`).
std::string UsePrivateDisplay(std::string* error = nullptr);
// True when KORVAGL_TEST_OFFSCREEN=1: UsePrivateDisplay then starts no server
// and selects SDL's offscreen display (unsetting DISPLAY and WAYLAND_DISPLAY)
// and returns "offscreen".
bool OffscreenTests();

// With xdotool on the current display: waits up to `timeoutMs` for a visible
// window named exactly `title` and gives its id, or "" (with the reason in
// `error`); focuses a window and presses a key in it (an X key name such as
// "Escape"), false with the reason in `error`.
std::string FindWindow(const std::string& title, int timeoutMs = 10000, std::string* error = nullptr);
bool PressKey(const std::string& window, const std::string& key, std::string* error = nullptr);
// Asks a window to close as a window manager does when its close button is
// clicked (a WM_DELETE_WINDOW client message); false with the reason in `error`.
bool RequestWindowClose(const std::string& window, std::string* error = nullptr);

}  // namespace korva::test
