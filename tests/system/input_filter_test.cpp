// The input filter, driven by synthetic Win32-shaped messages, and the
// polled queries of the system API that read what it recorded.
#include <gtest/gtest.h>

#include <cstdlib>

#include "korvagl/korvagl.h"
#include "system/input_filter.h"

namespace korva {
namespace {

using namespace detail;

constexpr uint32_t kLeftShiftParam = 0x2Au << 16;
constexpr uint32_t kRightShiftParam = 0x36u << 16;
constexpr uint32_t kRepeat = 1u << 30;
constexpr uint32_t kExtended = 1u << 24;

uint32_t WheelParam(int16_t delta) { return static_cast<uint32_t>(static_cast<uint16_t>(delta)) << 16; }

TEST(InputFilterTest, HoldingAKeyCountsOneHitWhateverTheRepeats) {
    InputState s;
    EXPECT_EQ(InputFilter(s, WM_KEYDOWN, 'A', 0x1Eu << 16), 1);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(InputFilter(s, WM_KEYDOWN, 'A', (0x1Eu << 16) | kRepeat), 1);
    // Even a down message without the repeat bit counts only once the key was up.
    InputFilter(s, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(KeyHeldFlag(s, 'A'), 1);
    EXPECT_EQ(TakeKeyHits(s, 'A'), 1);
    EXPECT_EQ(TakeKeyHits(s, 'A'), 0);  // read and reset
    InputFilter(s, WM_KEYUP, 'A', 0);
    EXPECT_EQ(KeyHeldFlag(s, 'A'), 0);
    InputFilter(s, WM_KEYDOWN, 'A', 0);
    InputFilter(s, WM_KEYUP, 'A', 0);
    InputFilter(s, WM_SYSKEYDOWN, 'A', 0);
    EXPECT_EQ(TakeKeyHits(s, 'A'), 2);
}

TEST(InputFilterTest, HitCountsWrapAfter255) {
    InputState s;
    for (int i = 0; i < 257; ++i) {
        InputFilter(s, WM_KEYDOWN, 27, 0);
        InputFilter(s, WM_KEYUP, 27, 0);
    }
    EXPECT_EQ(TakeKeyHits(s, 27), 1);
}

TEST(InputFilterTest, ShiftSetsTheGenericAndTheSideKey) {
    InputState s;
    InputFilter(s, WM_KEYDOWN, VK_SHIFT, kLeftShiftParam);
    EXPECT_EQ(KeyHeldFlag(s, 16), 1);
    EXPECT_EQ(KeyHeldFlag(s, 160), 1);
    EXPECT_EQ(KeyHeldFlag(s, 161), 0);
    InputFilter(s, WM_KEYUP, VK_SHIFT, kLeftShiftParam);
    EXPECT_EQ(KeyHeldFlag(s, 16), 0);
    EXPECT_EQ(KeyHeldFlag(s, 160), 0);
    EXPECT_EQ(TakeKeyHits(s, 16), 1);
    EXPECT_EQ(TakeKeyHits(s, 160), 1);

    // Any other scan code is the right shift; bit 23 is not part of the code.
    InputFilter(s, WM_KEYDOWN, VK_SHIFT, kRightShiftParam);
    EXPECT_EQ(KeyHeldFlag(s, 161), 1);
    InputFilter(s, WM_KEYUP, VK_SHIFT, kRightShiftParam);
    InputFilter(s, WM_KEYDOWN, VK_SHIFT, kLeftShiftParam | (1u << 23));
    EXPECT_EQ(KeyHeldFlag(s, 160), 1);
}

TEST(InputFilterTest, ControlAndAltSidesComeFromTheExtendedBit) {
    InputState s;
    EXPECT_EQ(InputFilter(s, WM_KEYDOWN, VK_CONTROL, 0x1Du << 16), 1);
    EXPECT_EQ(InputFilter(s, WM_KEYDOWN, VK_CONTROL, (0x1Du << 16) | kExtended), 1);
    EXPECT_EQ(KeyHeldFlag(s, 162), 1);
    EXPECT_EQ(KeyHeldFlag(s, 163), 1);
    EXPECT_EQ(TakeKeyHits(s, 17), 1);  // generic code counted once: it was already down

    // Right alt: 18 and 165, and the message is swallowed.
    EXPECT_EQ(InputFilter(s, WM_SYSKEYDOWN, VK_MENU, (0x38u << 16) | kExtended), 0);
    EXPECT_EQ(KeyHeldFlag(s, 18), 1);
    EXPECT_EQ(KeyHeldFlag(s, 165), 1);
    EXPECT_EQ(KeyHeldFlag(s, 164), 0);
    EXPECT_EQ(InputFilter(s, WM_SYSKEYUP, VK_MENU, (0x38u << 16) | kExtended), 0);
    EXPECT_EQ(KeyHeldFlag(s, 18), 0);
    EXPECT_EQ(KeyHeldFlag(s, 165), 0);
    EXPECT_EQ(InputFilter(s, WM_KEYDOWN, VK_MENU, 0x38u << 16), 0);
    EXPECT_EQ(KeyHeldFlag(s, 164), 1);
    // A repeated alt is passed on (the repeat check comes first).
    EXPECT_EQ(InputFilter(s, WM_KEYDOWN, VK_MENU, (0x38u << 16) | kRepeat), 1);
}

TEST(InputFilterTest, TheCharacterQueueKeepsTheFirst256) {
    InputState s;
    for (int i = 0; i < 300; ++i) InputFilter(s, i % 2 ? WM_SYSCHAR : WM_CHAR, 0x10000u + 1000 + i, 0);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(TakeTypedChar(s), 1000 + i) << i;  // low 16 bits only
    EXPECT_EQ(TakeTypedChar(s), 0);
    // Room again once read; the counters run on past the slot count.
    InputFilter(s, WM_CHAR, 'x', 0);
    EXPECT_EQ(TakeTypedChar(s), 'x');
}

TEST(InputFilterTest, MousePositionIsTwoUnsignedHalves) {
    InputState s;
    InputFilter(s, WM_MOUSEMOVE, 0, (300u << 16) | 200u);
    EXPECT_EQ(MouseAxisValue(s, 0), 200);
    EXPECT_EQ(MouseAxisValue(s, 1), 300);
    // A captured move left of and above the window: not sign-extended.
    InputFilter(s, WM_MOUSEMOVE, 0, 0xFFF0FFFBu);
    EXPECT_EQ(MouseAxisValue(s, 0), 65531);
    EXPECT_EQ(MouseAxisValue(s, 1), 65520);
    EXPECT_EQ(MouseAxisValue(s, 3), 0);
    EXPECT_EQ(MouseAxisValue(s, -1), 0);
}

TEST(InputFilterTest, WheelCountsWholeNotches) {
    InputState s;
    InputFilter(s, WM_MOUSEWHEEL, WheelParam(240), 0);
    EXPECT_EQ(MouseAxisValue(s, 2), 2);
    InputFilter(s, WM_MOUSEWHEEL, WheelParam(60), 0);
    EXPECT_EQ(MouseAxisValue(s, 2), 2);
    InputFilter(s, WM_MOUSEWHEEL, WheelParam(-120), 0);
    EXPECT_EQ(MouseAxisValue(s, 2), 1);
    InputFilter(s, WM_MOUSEWHEEL, WheelParam(-119), 0);  // truncates toward zero
    EXPECT_EQ(MouseAxisValue(s, 2), 1);
}

TEST(InputFilterTest, MouseButtonsShareTheKeyArrays) {
    InputState s;
    InputFilter(s, WM_LBUTTONDOWN, 1, 0);
    InputFilter(s, WM_RBUTTONDOWN, 2, 0);
    InputFilter(s, WM_MBUTTONDOWN, 16, 0);
    EXPECT_EQ(KeyHeldFlag(s, 1), 1);
    EXPECT_EQ(KeyHeldFlag(s, 2), 1);
    EXPECT_EQ(KeyHeldFlag(s, 4), 1);
    InputFilter(s, WM_MBUTTONUP, 0, 0);
    EXPECT_EQ(KeyHeldFlag(s, 4), 0);
    // Double clicks and other messages pass untouched.
    EXPECT_EQ(InputFilter(s, 0x203, 1, 0), 1);
    EXPECT_EQ(InputFilter(s, 0x10, 0, 0), 1);
    EXPECT_EQ(TakeKeyHits(s, 1), 1);
}

TEST(InputFilterTest, OddKeyCodesAreHarmless) {
    InputState s;
    InputFilter(s, WM_KEYDOWN, 0, 0);
    InputFilter(s, WM_KEYDOWN, 256, 0);
    InputFilter(s, WM_KEYDOWN, 0xFFFFFFFFu, 0);
    InputFilter(s, WM_KEYUP, 300, 0);
    for (int k = 0; k < 256; ++k) ASSERT_EQ(s.hitCounts[k], 0) << k;
    EXPECT_EQ(TakeKeyHits(s, 0), 0);
    EXPECT_EQ(TakeKeyHits(s, 256), 0);
    EXPECT_EQ(KeyHeldFlag(s, -1), 0);
}

// The queries of the system API over the SDL driver read the same state.
class PolledInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);  // no display needed: nothing arrives from SDL
        InitSystemAPI();
        ClearKeyState();
    }
    static void Send(uint32_t message, uint32_t w, uint32_t l) { InputFilter(TheInputState(), message, w, l); }
};

TEST_F(PolledInputTest, KeyQueriesGoThroughTheDriver) {
    Send(WM_KEYDOWN, VK_SHIFT, kLeftShiftParam);
    EXPECT_EQ(KeyIsDown(16), 1);
    EXPECT_EQ(KeyIsDown(160), 1);
    EXPECT_EQ(KeyWasHit(160), 1);
    EXPECT_EQ(KeyWasHit(160), 0);
    EXPECT_EQ(KeyWasHit(0), 0);
    EXPECT_EQ(KeyWasHit(256), 0);
    EXPECT_EQ(KeyIsDown(256), 0);
    Send(WM_CHAR, 'q', 0);
    EXPECT_EQ(NextTypedChar(), 'q');
    EXPECT_EQ(NextTypedChar(), 0);
}

TEST_F(PolledInputTest, ClearKeyStateForgetsButtonsAndCharacters) {
    Send(WM_LBUTTONDOWN, 0, 0);
    Send(WM_KEYDOWN, 'K', 0);
    Send(WM_CHAR, 'k', 0);
    ClearKeyState();
    EXPECT_EQ(MouseWasHit(1), 0);
    EXPECT_EQ(MouseIsDown(1), 0);
    EXPECT_EQ(KeyIsDown('K'), 0);
    EXPECT_EQ(NextTypedChar(), 0);
}

TEST_F(PolledInputTest, MouseButtonsMapOntoKeys124) {
    Send(WM_MBUTTONDOWN, 0, 0);
    Send(WM_RBUTTONDOWN, 0, 0);
    EXPECT_EQ(MouseIsDown(3), 1);
    EXPECT_EQ(MouseWasHit(3), 1);
    EXPECT_EQ(KeyWasHit(4), 0);  // button 3 read and reset index 4
    EXPECT_EQ(MouseWasHit(4), 0);
    EXPECT_EQ(MouseWasHit(0), 0);
    EXPECT_EQ(MouseIsDown(-1), 0);
    ClearMouseState();
    EXPECT_EQ(MouseWasHit(2), 0);
    EXPECT_EQ(MouseIsDown(2), 1);  // held flags stay
    const int32_t wheel = MouseWheelPos();
    Send(WM_MOUSEMOVE, 0, (7u << 16) | 40000u);
    Send(WM_MOUSEWHEEL, WheelParam(-360), 0);
    EXPECT_EQ(MousePosX(), 40000);
    EXPECT_EQ(MousePosY(), 7);
    EXPECT_EQ(MouseWheelPos(), wheel - 3);
}

TEST(PlatformDriverTest, TheBaseDriverRaisesForAbstractOperations) {
    auto base = New<TPlatformDriver>();
    EXPECT_THROW(base->Poll(), TAbstractMethodFault);
    EXPECT_THROW(base->Wait(), TAbstractMethodFault);
    EXPECT_THROW(base->ElapsedMs(), TAbstractMethodFault);
    EXPECT_THROW(base->SleepMs(1), TAbstractMethodFault);
    EXPECT_THROW(base->NextTypedChar(), TAbstractMethodFault);
    EXPECT_THROW(base->KeyHitCount(1), TAbstractMethodFault);
    EXPECT_THROW(base->KeyHeld(1), TAbstractMethodFault);
    EXPECT_THROW(base->ClearKeyState(), TAbstractMethodFault);
    EXPECT_THROW(base->MouseAxis(0), TAbstractMethodFault);
    EXPECT_THROW(base->PlaceMouse(0, 0), TAbstractMethodFault);
    EXPECT_THROW(base->CloseRequestCount(), TAbstractMethodFault);
    EXPECT_THROW(base->WindowFocus(), TAbstractMethodFault);
    try {
        base->Poll();
    } catch (const TFault& fault) {
        EXPECT_STREQ(fault.what(), "Attempt to call abstract method");
    }
}

TEST(PlatformDriverTest, SystemApiStartsWithTheSDLDriverAndAutoPoll) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    InitSystemAPI();
    EXPECT_TRUE(DownCast<TSDLPlatformDriver>(CurrentPlatformDriver()));
    EXPECT_EQ(AutoPoll, 1);
    const auto& started = StartedModules();
    std::vector<std::string> names;
    for (const String& n : started) names.push_back(n.ToBytes());
    const std::vector<std::string> expected = {"platform driver base", "frame timer", "SDL platform driver",
                                               "system API"};
    auto at = std::search(names.begin(), names.end(), expected.begin(), expected.end());
    EXPECT_NE(at, names.end());
}

// Without any display the driver still works: polling starts only SDL's
// event queue, finds no events, and the state stays as it is.
// Run in a fresh process, where SDL has not started.
TEST(HeadlessTest, PollingWithoutADisplayChangesNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("SDL_VIDEODRIVER");
            InitSystemAPI();
            InputFilter(TheInputState(), WM_KEYDOWN, 27, 0);
            PumpEvents();
            PlaceMouse(10, 10);
            const bool kept = KeyIsDown(27) == 1 && KeyWasHit(27) == 1 && MousePosX() == 0;
            std::exit(kept ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace korva
