// The display window as the user and the window system see it, on a private
// X server: its title read back through X, close requests sent as the
// window manager sends them (WM_DELETE_WINDOW), the keyboard focus given and
// taken; and OpenGraphics without any display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "support/process.h"
#include "support/xvfb.h"
#include "tests/graphics/gl_test_support.h"

// Last: Xlib defines macros (None, Status, True ...).
#include <X11/Xlib.h>

namespace korva {
namespace {

// Pumps (through the queries) until `done` holds, for at most 5 s.
bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i) {
        if (done()) return true;
        usleep(10000);
    }
    return false;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseXvfbVideo();
        x_ = XOpenDisplay(nullptr);
        ASSERT_NE(x_, nullptr);
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // Xlib's own ends the process
    }
    void TearDown() override {
        CloseGraphics();
        if (x_) XCloseDisplay(x_);
    }

    // The X window of the display, found by its title.
    Window Find(const std::string& title) {
        std::string error;
        const std::string id = test::FindWindow(title, 10000, &error);
        EXPECT_FALSE(id.empty()) << error;
        return id.empty() ? 0 : static_cast<Window>(std::stoul(id));
    }

    // What a window manager sends when the user clicks the close button.
    static void RequestClose(Window window) {
        std::string error;
        EXPECT_TRUE(test::RequestWindowClose(std::to_string(window), &error)) << error;
    }

    Display* x_ = nullptr;
};

// The title is kept for every later display, full screen too, and renames
// the open window (UTF-8 included).
TEST_F(WindowTest, TitleNowAndForLaterDisplays) {
    SetWindowTitle("Asteroid Field");
    OpenGraphics(800, 600, 24, 0);
    EXPECT_NE(Find("Asteroid Field"), 0u);
    OpenGraphics(320, 200, 0, 0);
    const Window window = Find("Asteroid Field");
    ASSERT_NE(window, 0u);
    const std::string title = "Level 2 \xE2\x80\x93 K\xC3\xA4" "fer";
    SetWindowTitle(String::FromUtf8(title));
    const std::string expected = "_NET_WM_NAME(UTF8_STRING) = \"" + title + "\"\n";
    std::string seen;
    EXPECT_TRUE(Eventually([&] {
        seen = test::RunChild("xprop", {"xprop", "-id", std::to_string(window), "_NET_WM_NAME"}).out;
        return seen == expected;
    })) << seen;
}

// Each request counts once and is then read as 0; the window stays open.
// The focus follows the X input focus.
TEST_F(WindowTest, CloseRequestsAreCountedAndFocusFollowsTheWindow) {
    SetWindowTitle("Close Me");
    OpenGraphics(320, 200, 0, 0);
    const Window window = Find("Close Me");
    ASSERT_NE(window, 0u);
    WindowCloseRequested();  // whatever came before

    XSetInputFocus(x_, window, RevertToNone, CurrentTime);
    XSync(x_, False);
    EXPECT_TRUE(Eventually([] { return WindowHasFocus() == 1; }));
    XSetInputFocus(x_, None, RevertToNone, CurrentTime);
    XSync(x_, False);
    EXPECT_TRUE(Eventually([] { return WindowHasFocus() == 0; }));

    RequestClose(window);
    int32_t requests = 0;
    EXPECT_TRUE(Eventually([&] { return (requests += WindowCloseRequested()) > 0; }));
    usleep(100000);
    requests += WindowCloseRequested();
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(WindowCloseRequested(), 0);
    RequestClose(window);
    RequestClose(window);
    EXPECT_TRUE(Eventually([&] { return (requests += WindowCloseRequested()) >= 3; }));
    EXPECT_EQ(requests, 3);
    EXPECT_EQ((DisplayWidth)(), 320);  // the window never closes by itself (Xlib has a macro of that name)
}

// No display in the environment: "Unable to set graphics mode" at once, the
// reason in LastErrorText, and nothing printed (no driver's probe runs).
TEST(NoDisplayTest, OpenGraphicsFailsAtOnceAndQuietly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "KORVAGL_LOG"}) unsetenv(name);
            InitKorvaGL();
            const auto start = std::chrono::steady_clock::now();
            int failures = 0;
            for (const int32_t depth : {32, 0}) {  // full screen, then a window
                try {
                    OpenGraphics(640, 480, depth, 60);
                    failures |= 8;
                } catch (const TRuntimeError& error) {
                    if (error.text != "Unable to set graphics mode") failures |= 8;
                }
            }
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) failures |= 2;
            const String why = "cannot open a window of 640 x 480: no display (DISPLAY and WAYLAND_DISPLAY are unset)";
            if (LastErrorText() != why) failures |= 4;
            std::fflush(stdout);
            _exit(failures);
        },
        ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
}  // namespace korva
