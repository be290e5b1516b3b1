// SDL events translated into the polled input state: real events pushed into
// SDL's queue under its dummy video driver, then pumped by the driver.
#include <gtest/gtest.h>
#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "korvagl/korvagl.h"
#include "system/sdl_events.h"

namespace korva {
namespace {

class SDLEventsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        InitSystemAPI();
    }
    void SetUp() override {
        PumpEvents();  // starts SDL video (dummy) and empties the queue
        ASSERT_TRUE(SDL_WasInit(SDL_INIT_VIDEO)) << SDL_GetError();
        ClearKeyState();
    }

    static void Key(SDL_Scancode code, bool down, Uint16 mod = KMOD_NUM, bool repeat = false) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat;
        e.key.keysym.scancode = code;
        e.key.keysym.mod = mod;
        ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    }
    static void Press(SDL_Scancode code, Uint16 mod = KMOD_NUM) {
        Key(code, true, mod);
        Key(code, false, mod);
    }
    static void Text(const char* utf8) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    static void Button(Uint8 button, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.button = button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    static void Wheel(Sint32 y, Uint32 direction = SDL_MOUSEWHEEL_NORMAL) {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.y = y;
        e.wheel.preciseY = static_cast<float>(y);
        e.wheel.direction = direction;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    static void Move(Sint32 x, Sint32 y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = x;
        e.motion.y = y;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
};

TEST_F(SDLEventsTest, KeysArriveAsVirtualKeyCodes) {
    Key(SDL_SCANCODE_A, true);
    Key(SDL_SCANCODE_A, true, KMOD_NUM, true);
    Key(SDL_SCANCODE_A, true, KMOD_NUM, true);
    EXPECT_EQ(KeyIsDown('A'), 1);
    Key(SDL_SCANCODE_A, false);
    EXPECT_EQ(KeyIsDown('A'), 0);
    EXPECT_EQ(KeyWasHit('A'), 1);  // repeats are not presses
    Press(SDL_SCANCODE_ESCAPE);
    Press(SDL_SCANCODE_F24);
    Press(SDL_SCANCODE_UP);
    EXPECT_EQ(KeyWasHit(27), 1);
    EXPECT_EQ(KeyWasHit(135), 1);
    EXPECT_EQ(KeyWasHit(38), 1);
}

TEST_F(SDLEventsTest, ModifiersReachTheirSideSpecificCodes) {
    Key(SDL_SCANCODE_LSHIFT, true);
    EXPECT_EQ(KeyIsDown(16), 1);
    EXPECT_EQ(KeyIsDown(160), 1);
    EXPECT_EQ(KeyIsDown(161), 0);
    Key(SDL_SCANCODE_LSHIFT, false);
    Key(SDL_SCANCODE_RSHIFT, true);
    Key(SDL_SCANCODE_RCTRL, true);
    Key(SDL_SCANCODE_LCTRL, true);
    Key(SDL_SCANCODE_RALT, true, KMOD_RALT);
    Key(SDL_SCANCODE_LALT, true, KMOD_LALT);
    EXPECT_EQ(KeyIsDown(161), 1);
    EXPECT_EQ(KeyIsDown(160), 0);
    EXPECT_EQ(KeyIsDown(17), 1);
    EXPECT_EQ(KeyIsDown(162), 1);
    EXPECT_EQ(KeyIsDown(163), 1);
    EXPECT_EQ(KeyIsDown(18), 1);
    EXPECT_EQ(KeyIsDown(164), 1);
    EXPECT_EQ(KeyIsDown(165), 1);
    Key(SDL_SCANCODE_RALT, false);
    EXPECT_EQ(KeyIsDown(165), 0);
    EXPECT_EQ(KeyIsDown(18), 0);  // the generic flag follows the last release
    EXPECT_EQ(KeyIsDown(164), 1);
}

TEST_F(SDLEventsTest, TypedTextAndControlCharactersFillTheQueue) {
    Text("h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");  // h, e acute, euro sign, an emoji
    Press(SDL_SCANCODE_BACKSPACE);
    Press(SDL_SCANCODE_TAB);
    Press(SDL_SCANCODE_RETURN);
    Key(SDL_SCANCODE_KP_ENTER, true, KMOD_NUM, true);  // a repeat types again, as on Windows
    Press(SDL_SCANCODE_ESCAPE);
    Press(SDL_SCANCODE_B);  // no text event: no character
    const int expected[] = {'h', 0xE9, 0x20AC, 0xD83D, 0xDE00, 8, 9, 13, 13, 27};
    for (int c : expected) EXPECT_EQ(NextTypedChar(), c);
    EXPECT_EQ(NextTypedChar(), 0);
    EXPECT_EQ(KeyIsDown(13), 0);  // the keypad enter repeat was not a press
}

TEST_F(SDLEventsTest, MouseMovesButtonsAndWheel) {
    Move(-5, 700);
    EXPECT_EQ(MousePosX(), 65531);
    EXPECT_EQ(MousePosY(), 700);
    Button(SDL_BUTTON_LEFT, true);
    Button(SDL_BUTTON_RIGHT, true);
    Button(SDL_BUTTON_MIDDLE, true);
    Button(SDL_BUTTON_X1, true);
    EXPECT_EQ(MouseIsDown(1), 1);
    EXPECT_EQ(MouseIsDown(2), 1);
    EXPECT_EQ(MouseIsDown(3), 1);
    Button(SDL_BUTTON_MIDDLE, false);
    EXPECT_EQ(MouseIsDown(3), 0);
    EXPECT_EQ(MouseWasHit(1), 1);
    EXPECT_EQ(MouseWasHit(2), 1);
    EXPECT_EQ(MouseWasHit(3), 1);
    const int32_t z = MouseWheelPos();
    Wheel(2);
    EXPECT_EQ(MouseWheelPos(), z + 2);
    Wheel(1, SDL_MOUSEWHEEL_FLIPPED);
    EXPECT_EQ(MouseWheelPos(), z + 1);
    Wheel(-1000);  // beyond one 16-bit delta: nothing is lost
    EXPECT_EQ(MouseWheelPos(), z - 999);
}

TEST_F(SDLEventsTest, WaitEventsPumpsWhatArrived) {
    AutoPoll = 0;
    Key(SDL_SCANCODE_SPACE, true);
    WaitEvents();
    EXPECT_EQ(KeyIsDown(32), 1);
    AutoPoll = 1;
}

// The waiting functions clear the state first, then wait for what comes later.
TEST_F(SDLEventsTest, WaitForKeyCharAndClickReturnWhatComesNext) {
    Press(SDL_SCANCODE_Q);  // pending before the wait: forgotten
    std::thread later([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Press(SDL_SCANCODE_K);
    });
    EXPECT_EQ(WaitForKey(), 'K');
    later.join();

    Text("z");
    later = std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Text("w");
    });
    EXPECT_EQ(WaitForChar(), 'w');
    later.join();

    later = std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Button(SDL_BUTTON_RIGHT, true);
    });
    EXPECT_EQ(WaitForClick(), 2);
    later.join();
}

TEST(KeyTableTest, TheWholeKeyboardHasWindowsCodes) {
    using detail::WinKeyForScancode;
    for (int i = 0; i < 26; ++i) EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_A + i).vk, 'A' + i);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_1 + i).vk, '1' + i);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_0).vk, '0');
    for (int i = 0; i < 12; ++i) EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_F1 + i).vk, 112 + i);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_F13 + i).vk, 124 + i);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_LEFT).vk, 37);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_UP).vk, 38);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_RIGHT).vk, 39);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_DOWN).vk, 40);
    EXPECT_TRUE(WinKeyForScancode(SDL_SCANCODE_DOWN).extended);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_INSERT).vk, 45);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_DELETE).vk, 46);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_HOME).vk, 36);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_PAGEDOWN).vk, 34);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_SPACE).vk, 32);
    // Punctuation as on a US keyboard.
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_SEMICOLON).vk, 0xBA);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_EQUALS).vk, 0xBB);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_COMMA).vk, 0xBC);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_MINUS).vk, 0xBD);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_PERIOD).vk, 0xBE);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_SLASH).vk, 0xBF);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_GRAVE).vk, 0xC0);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_LEFTBRACKET).vk, 0xDB);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_BACKSLASH).vk, 0xDC);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_RIGHTBRACKET).vk, 0xDD);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_APOSTROPHE).vk, 0xDE);
    // Keypad: digits with num lock, navigation keys without.
    for (int i = 0; i < 9; ++i) EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_KP_1 + i).vk, 0x61 + i);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_KP_0).vk, 0x60);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_KP_7, false).vk, 36);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_KP_PERIOD, false).vk, 46);
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_KP_MULTIPLY, false).vk, 0x6A);
    // Modifiers: generic codes, sides by scan code and extended bit.
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_LSHIFT).scan, 0x2A);
    EXPECT_NE(WinKeyForScancode(SDL_SCANCODE_RSHIFT).scan, 0x2A);
    EXPECT_TRUE(WinKeyForScancode(SDL_SCANCODE_RCTRL).extended);
    EXPECT_FALSE(WinKeyForScancode(SDL_SCANCODE_LALT).extended);
    // Outside the table: nothing.
    EXPECT_EQ(WinKeyForScancode(SDL_SCANCODE_UNKNOWN).vk, 0);
    EXPECT_EQ(WinKeyForScancode(-1).vk, 0);
    EXPECT_EQ(WinKeyForScancode(SDL_NUM_SCANCODES).vk, 0);
}

}  // namespace
}  // namespace korva
