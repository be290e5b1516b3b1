// Joysticks through SDL's virtual joysticks, and the reading arithmetic.
#include <gtest/gtest.h>
#include <SDL.h>

#include <cstdlib>

#include "korvagl/korvagl.h"
#include "system/joystick_native.h"

namespace korva {
namespace {

class JoystickTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitJoystick();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    }
    void TearDown() override {
        for (SDL_Joystick* j : opened_) SDL_JoystickClose(j);
        while (SDL_NumJoysticks() > 0) SDL_JoystickDetachVirtual(0);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    // Attaches a virtual joystick and opens it for setting its controls.
    SDL_Joystick* Attach(int axes, int buttons, int hats) {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, buttons, hats);
        EXPECT_GE(index, 0) << SDL_GetError();
        SDL_Joystick* j = SDL_JoystickOpen(index);
        EXPECT_NE(j, nullptr) << SDL_GetError();
        opened_.push_back(j);
        return j;
    }
    void Detach(SDL_Joystick* j) {
        const SDL_JoystickID id = SDL_JoystickInstanceID(j);
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
        }
        std::erase(opened_, j);
        SDL_JoystickClose(j);
    }
    std::vector<SDL_Joystick*> opened_;
};

TEST_F(JoystickTest, AxesScaleTheirPositionsToMinusOnePlusOne) {
    SDL_Joystick* j = Attach(6, 4, 1);
    SDL_JoystickSetVirtualAxis(j, 0, -32768);  // position 0
    SDL_JoystickSetVirtualAxis(j, 1, -1);      // position 32767
    SDL_JoystickSetVirtualAxis(j, 2, 32767);   // position 65535
    SDL_JoystickSetVirtualAxis(j, 3, 0);
    SDL_JoystickSetVirtualAxis(j, 4, 16383);
    SDL_JoystickSetVirtualAxis(j, 5, -16384);
    EXPECT_FLOAT_EQ(JoystickX(), -1.0f);
    EXPECT_NEAR(JoystickY(), 0.0f, 1e-4);
    EXPECT_FLOAT_EQ(JoystickY(), static_cast<float>(2.0 * 32767 / 65535 - 1));
    EXPECT_FLOAT_EQ(JoystickZ(), 1.0f);
    EXPECT_FLOAT_EQ(JoystickR(), static_cast<float>(2.0 * 32768 / 65535 - 1));
    EXPECT_NEAR(JoystickU(0), 0.5f, 1e-4);
    EXPECT_NEAR(JoystickV(0), -0.5f, 1e-4);
}

TEST_F(JoystickTest, TheHatIsAFractionOfATurnOrMinusOne) {
    SDL_Joystick* j = Attach(2, 1, 1);
    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_RIGHT);
    EXPECT_FLOAT_EQ(JoystickHat(), 0.25f);
    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_UP);
    EXPECT_FLOAT_EQ(JoystickHat(), 0.0f);
    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_DOWN);
    EXPECT_FLOAT_EQ(JoystickHat(), 0.5f);
    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_LEFTUP);
    EXPECT_FLOAT_EQ(JoystickHat(), 0.875f);
    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_CENTERED);
    EXPECT_FLOAT_EQ(JoystickHat(), -1.0f);
}

TEST_F(JoystickTest, ButtonsAreBitsCountedFromZero) {
    SDL_Joystick* j = Attach(2, 40, 0);
    SDL_JoystickSetVirtualButton(j, 0, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(j, 5, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(j, 31, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(j, 35, SDL_PRESSED);  // beyond the 32-bit word
    EXPECT_EQ(JoystickButtonHeld(0), 1);
    EXPECT_EQ(JoystickButtonHeld(1), 0);
    EXPECT_EQ(JoystickButtonHeld(5, 0), 1);
    EXPECT_EQ(JoystickButtonHeld(31), 1);
    EXPECT_EQ(JoystickButtonHeld(32), 0);
    EXPECT_EQ(JoystickButtonHeld(35), 0);
    EXPECT_EQ(JoystickButtonHeld(-1), 0);
    SDL_JoystickSetVirtualButton(j, 0, SDL_RELEASED);
    EXPECT_EQ(JoystickButtonHeld(0), 0);
    EXPECT_EQ(JoystickButtonMask(0), -1);  // all 32 bits
    EXPECT_EQ(JoystickAxisMask(0), 0x3);
}

TEST_F(JoystickTest, CapabilitiesAndName) {
    Attach(6, 8, 1);
    EXPECT_EQ(JoystickButtonMask(0), 0xFF);
    EXPECT_EQ(JoystickAxisMask(0), 0x3F);
    EXPECT_EQ(JoystickName(0), String(SDL_JoystickNameForIndex(0)));
    EXPECT_FALSE(JoystickName(0).IsEmpty());
    TearDown();
    SetUp();
    Attach(1, 3, 1);
    EXPECT_EQ(JoystickAxisMask(0), 0x1 | 9);  // a hat sets bits 0 and 3
    EXPECT_EQ(JoystickButtonMask(0), 0x7);
}

TEST_F(JoystickTest, AMissingAxisOrAFailedReadingKeepsTheLastValues) {
    SDL_Joystick* three = Attach(3, 2, 1);
    SDL_JoystickSetVirtualAxis(three, 0, -32768);
    SDL_JoystickSetVirtualAxis(three, 2, 32767);
    SDL_JoystickSetVirtualButton(three, 1, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(three, 0, SDL_HAT_RIGHT);
    EXPECT_FLOAT_EQ(JoystickZ(), 1.0f);
    EXPECT_FLOAT_EQ(JoystickHat(), 0.25f);
    Detach(three);

    // No joystick: every query gives the last reading.
    EXPECT_FLOAT_EQ(JoystickX(), -1.0f);
    EXPECT_FLOAT_EQ(JoystickZ(), 1.0f);
    EXPECT_EQ(JoystickButtonHeld(1), 1);
    EXPECT_EQ(JoystickName(0), String());
    EXPECT_EQ(JoystickButtonMask(0), 0);
    EXPECT_EQ(JoystickAxisMask(0), 0);

    // A joystick with two axes and no hat: X moves, Z and the hat stay.
    SDL_Joystick* two = Attach(2, 2, 0);
    SDL_JoystickSetVirtualAxis(two, 0, 32767);
    EXPECT_FLOAT_EQ(JoystickX(), 1.0f);
    EXPECT_FLOAT_EQ(JoystickZ(), 1.0f);
    EXPECT_FLOAT_EQ(JoystickHat(), 0.25f);
    EXPECT_EQ(JoystickButtonHeld(1), 0);  // buttons come with every reading
}

TEST_F(JoystickTest, JoystickCountNumbersThePorts) {
    SDL_Joystick* first = Attach(2, 1, 0);
    SDL_Joystick* second = Attach(2, 1, 0);
    SDL_JoystickSetVirtualAxis(first, 0, -32768);
    SDL_JoystickSetVirtualAxis(second, 0, 32767);
    // Before counting, every port reads the first joystick.
    EXPECT_FLOAT_EQ(JoystickX(1), -1.0f);
    EXPECT_EQ(JoystickCount(), 2);
    EXPECT_FLOAT_EQ(JoystickX(0), -1.0f);
    EXPECT_FLOAT_EQ(JoystickX(1), 1.0f);
    // A port past the numbered ones reads the first device again (id 0 left there)...
    // ...and ports outside 0-15 read 0 and touch nothing.
    EXPECT_FLOAT_EQ(JoystickX(16), 0.0f);
    EXPECT_FLOAT_EQ(JoystickX(-1), 0.0f);
    EXPECT_FLOAT_EQ(JoystickHat(1000000), 0.0f);
    EXPECT_EQ(JoystickButtonHeld(0, 16), 0);
    EXPECT_EQ(JoystickName(-1), String());
    EXPECT_EQ(JoystickButtonMask(256), 0);
    EXPECT_FLOAT_EQ(JoystickX(1), 1.0f);
}

TEST_F(JoystickTest, UntrackedQueriesReadZero) {
    SDL_Joystick* j = Attach(6, 2, 1);
    SDL_JoystickSetVirtualAxis(j, 0, 32767);
    SDL_JoystickSetVirtualButton(j, 0, SDL_PRESSED);
    EXPECT_FLOAT_EQ(JoystickYaw(), 0.0f);
    EXPECT_FLOAT_EQ(JoystickPitch(), 0.0f);
    EXPECT_FLOAT_EQ(JoystickRoll(), 0.0f);
    EXPECT_FLOAT_EQ(JoystickWheel(), 0.0f);
    EXPECT_EQ(JoystickButtonHit(0), 0);
    EXPECT_EQ(JoystickXDir(), 0);
    EXPECT_EQ(JoystickYDir(), 0);
    EXPECT_EQ(JoystickZDir(), 0);
    EXPECT_EQ(JoystickRDir(), 0);
    EXPECT_EQ(JoystickUDir(), 0);
    EXPECT_EQ(JoystickVDir(), 0);
    EXPECT_EQ(JoystickHatDir(), 0);
}

TEST(JoystickReadingTest, TheDivisorIsTheMaximumNotTheRange) {
    detail::JoystickReading r;
    r.reportedAxes = 0x3;
    r.axisMinimum[0] = 1000;
    r.axisMaximum[0] = 65535;
    r.axisPositions[0] = 65535;
    r.axisMinimum[1] = 1000;
    r.axisMaximum[1] = 65535;
    r.axisPositions[1] = 1000;
    r.hatReported = true;
    r.hat = 36001;
    int32_t buttons = 0;
    float axes[16] = {};
    axes[2] = 0.5f;
    detail::StoreJoystickReading(r, buttons, axes);
    EXPECT_FLOAT_EQ(axes[0], static_cast<float>(2.0 * 64535 / 65535 - 1));  // short of +1
    EXPECT_LT(axes[0], 0.97f);
    EXPECT_FLOAT_EQ(axes[1], -1.0f);
    EXPECT_FLOAT_EQ(axes[2], 0.5f);  // not reported
    EXPECT_FLOAT_EQ(axes[9], -1.0f);
    r.hat = 36000;
    r.axisMaximum[0] = 0;  // no range: the value stays
    detail::StoreJoystickReading(r, buttons, axes);
    EXPECT_FLOAT_EQ(axes[9], 1.0f);
    EXPECT_FLOAT_EQ(axes[0], static_cast<float>(2.0 * 64535 / 65535 - 1));
}

}  // namespace
}  // namespace korva
