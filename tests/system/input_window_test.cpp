// End to end: a real SDL window on a private X server, with xdotool typing,
// holding shift, clicking and scrolling; checked through the system API.
#include <gtest/gtest.h>
#include <SDL.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "korvagl/korvagl.h"
#include "support/process.h"
#include "support/xvfb.h"

namespace korva {
namespace {

class InputWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        display_ = test::UsePrivateDisplay(&error);
        ASSERT_FALSE(display_.empty()) << error;
        setenv("SDL_VIDEODRIVER", "x11", 1);
        InitSystemAPI();
        PumpEvents();  // starts SDL video on the private display
        ASSERT_TRUE(SDL_WasInit(SDL_INIT_VIDEO)) << SDL_GetError();
        window_ = SDL_CreateWindow("KorvaGL Window", 0, 0, 320, 240, SDL_WINDOW_SHOWN);
        ASSERT_NE(window_, nullptr) << SDL_GetError();
        const auto found = Xdotool({"search", "--sync", "--name", "^KorvaGL Window$"});
        windowId_ = found.substr(0, found.find('\n'));
        ASSERT_FALSE(windowId_.empty());
        Xdotool({"windowfocus", "--sync", windowId_});
        ASSERT_TRUE(Eventually([] { return SDL_GetKeyboardFocus() == window_; }));
    }
    static void TearDownTestSuite() {
        if (window_) SDL_DestroyWindow(window_);
        window_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(window_, nullptr);
        ClearKeyState();
    }

    // Runs xdotool on the private display; returns its output.
    static std::string Xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        const auto result = test::RunChild("xdotool", args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }
    // Pumps (through the queries) until `done` holds, for at most 5 s.
    static bool Eventually(const std::function<bool()>& done) {
        for (int i = 0; i < 1000; ++i) {
            PumpEvents();
            if (done()) return true;
            SDL_Delay(5);
        }
        return false;
    }

    static std::string display_;
    static std::string windowId_;
    static SDL_Window* window_;
};

std::string InputWindowTest::display_;
std::string InputWindowTest::windowId_;
SDL_Window* InputWindowTest::window_ = nullptr;

TEST_F(InputWindowTest, TypedKeysAreCountedAndQueued) {
    Xdotool({"key", "--delay", "20", "h", "i", "Return", "BackSpace", "Escape"});
    std::u16string typed;
    ASSERT_TRUE(Eventually([&] {
        while (const int32_t c = NextTypedChar()) typed += static_cast<char16_t>(c);
        return typed.size() >= 5;
    })) << typed.size();
    EXPECT_EQ(typed, u"hi\r\b\x1b");
    EXPECT_EQ(KeyWasHit('H'), 1);
    EXPECT_EQ(KeyWasHit('I'), 1);
    EXPECT_EQ(KeyWasHit(13), 1);
    EXPECT_EQ(KeyWasHit(8), 1);
    EXPECT_EQ(KeyWasHit(27), 1);
    EXPECT_EQ(KeyIsDown('H'), 0);
}

TEST_F(InputWindowTest, HoldingShiftSetsBothCodesAndShiftsTheText) {
    Xdotool({"keydown", "Shift_L"});
    EXPECT_TRUE(Eventually([] { return KeyIsDown(16) && KeyIsDown(160); }));
    EXPECT_EQ(KeyIsDown(161), 0);
    Xdotool({"key", "a"});
    int32_t c = 0;
    EXPECT_TRUE(Eventually([&] { return (c = NextTypedChar()) != 0; }));
    EXPECT_EQ(c, 'A');
    Xdotool({"keyup", "Shift_L"});
    EXPECT_TRUE(Eventually([] { return !KeyIsDown(16) && !KeyIsDown(160); }));
    EXPECT_EQ(KeyWasHit(16), 1);
    EXPECT_EQ(KeyWasHit(160), 1);
    EXPECT_EQ(KeyWasHit('A'), 1);
}

TEST_F(InputWindowTest, PointerMovesClicksAndScrolls) {
    Xdotool({"mousemove", "--window", windowId_, "--sync", "50", "60"});
    EXPECT_TRUE(Eventually([] { return MousePosX() == 50 && MousePosY() == 60; }))
        << MousePosX() << "," << MousePosY();
    int32_t left = 0, right = 0, middle = 0;
    Xdotool({"click", "1"});
    Xdotool({"click", "3"});
    Xdotool({"click", "2"});
    EXPECT_TRUE(Eventually([&] {
        left += MouseWasHit(1);
        right += MouseWasHit(2);
        middle += MouseWasHit(3);
        return left && right && middle;
    }));
    EXPECT_EQ(left, 1);
    EXPECT_EQ(right, 1);
    EXPECT_EQ(middle, 1);
    EXPECT_EQ(MouseIsDown(1), 0);

    const int32_t z = MouseWheelPos();
    Xdotool({"click", "--repeat", "3", "--delay", "10", "4"});  // wheel away from the user
    EXPECT_TRUE(Eventually([&] { return MouseWheelPos() == z + 3; })) << MouseWheelPos() - z;
    Xdotool({"click", "5"});
    EXPECT_TRUE(Eventually([&] { return MouseWheelPos() == z + 2; })) << MouseWheelPos() - z;
}

TEST_F(InputWindowTest, PlaceMouseMovesThePointerInTheActiveWindow) {
    PlaceMouse(120, 90);
    EXPECT_TRUE(Eventually([] { return MousePosX() == 120 && MousePosY() == 90; }))
        << MousePosX() << "," << MousePosY();
    const auto where = Xdotool({"getmouselocation", "--shell"});
    EXPECT_NE(where.find("X=120\n"), std::string::npos) << where;  // the window sits at 0,0
    EXPECT_NE(where.find("Y=90\n"), std::string::npos) << where;
}

}  // namespace
}  // namespace korva
