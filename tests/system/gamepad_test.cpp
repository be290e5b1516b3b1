// Gamepads through SDL's virtual joysticks: mappings, presses, hot-plug,
// numbering, dead zones, rumble, and the refusal of bad mapping texts.
#include <gtest/gtest.h>
#include <SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "korvagl/korvagl.h"
#include "support/temp_dir.h"
#include "support/virtual_pad.h"
#include "sdl/sdl_init.h"
#include "system/gamepad_native.h"

namespace korva {
namespace {

using test::PadShape;
using test::VirtualPad;

class GamepadTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitGamepads();
        // The virtual joysticks live in SDL's joystick part, kept up here
        // while the gamepads stop and start.
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        ASSERT_TRUE(detail::StartGamepads()) << SDL_GetError();
    }
    void TearDown() override {
        pads_.clear();
        detail::StopGamepads();
        detail::StopSDLPart(SDL_INIT_JOYSTICK);  // as the raw joystick calls started it
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        unsetenv("SDL_GAMECONTROLLERCONFIG");
    }
    VirtualPad& Attach(const PadShape& shape = {}) {
        pads_.push_back(std::make_unique<VirtualPad>(shape));
        return *pads_.back();
    }
    // A mapping text in a file; the URL to read it.
    std::string Mappings(const std::string& text) { return dir_.Write("pads.txt", text); }

    test::TempDir dir_;
    std::vector<std::unique_ptr<VirtualPad>> pads_;
};

PadShape Unmapped(const char* name, uint16_t product = 0x0077) {
    PadShape shape;
    shape.name = name;
    shape.product = product;
    shape.controller = false;
    shape.axes = 4;
    shape.buttons = 8;
    shape.hats = 1;
    return shape;
}

// A mapped pad of a model of its own (a mapping, and with it the name, is per model).
PadShape Named(const char* name) {
    PadShape shape;
    shape.name = name;
    shape.product = static_cast<uint16_t>(0x100 + name[std::strlen(name) - 1]);
    return shape;
}

TEST_F(GamepadTest, AnUnmappedDeviceIsNumberedAndReadRaw) {
    VirtualPad& stick = Attach(Unmapped("Odd Stick"));
    EXPECT_EQ(GamepadCount(), 1);
    EXPECT_EQ(GamepadConnected(0), 1);
    EXPECT_EQ(GamepadType(0), PAD_TYPE_UNMAPPED);
    EXPECT_EQ(GamepadName(0), String("Odd Stick (unmapped)"));
    EXPECT_EQ(GamepadGuid(0), String(stick.Guid()));
    stick.Button(0, true);
    stick.Axis(0, 32767);
    EXPECT_EQ(GamepadIsDown(PAD_A), 0);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_LEFTX), 0.0f);
    EXPECT_EQ(JoystickCount(), 1);
    EXPECT_EQ(JoystickButtonHeld(0), 1);
    EXPECT_FLOAT_EQ(JoystickX(), 1.0f);
}

TEST_F(GamepadTest, AMappingLineMapsNamesButtonsAndAxes) {
    Attach(Unmapped("Other Stick", 0x0078));  // another model
    VirtualPad& stick = Attach(Unmapped("Odd Stick"));
    ASSERT_EQ(GamepadType(1), PAD_TYPE_UNMAPPED);
    const std::string line = stick.Guid() +
                             ",Mapped Stick,a:b3,b:b2,dpup:h0.1,dpleft:h0.8,leftx:a1,lefty:a0,"
                             "lefttrigger:b6,righttrigger:a3,start:b7,platform:Linux,\n";
    EXPECT_EQ(AddGamepadMappings(Mappings(line)), 1);
    EXPECT_EQ(LastErrorText(), String());

    // The connected pad takes the mapping at once and keeps its number.
    EXPECT_EQ(GamepadName(1), String("Mapped Stick"));
    EXPECT_EQ(GamepadType(1), PAD_TYPE_GENERIC);
    EXPECT_EQ(GamepadType(0), PAD_TYPE_UNMAPPED);
    stick.Button(3, true);
    EXPECT_EQ(GamepadIsDown(PAD_A, 1), 1);
    EXPECT_EQ(GamepadIsDown(PAD_B, 1), 0);
    stick.Button(2, true);
    stick.Button(7, true);
    stick.Hat(0, SDL_HAT_LEFTUP);
    stick.Axis(1, 32767);
    stick.Axis(3, 32767);
    EXPECT_EQ(GamepadIsDown(PAD_B, 1), 1);
    EXPECT_EQ(GamepadIsDown(PAD_START, 1), 1);
    EXPECT_EQ(GamepadIsDown(PAD_DPAD_UP, 1), 1);
    EXPECT_EQ(GamepadIsDown(PAD_DPAD_LEFT, 1), 1);
    EXPECT_EQ(GamepadIsDown(PAD_DPAD_DOWN, 1), 0);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_LEFTX, 1), 1.0f);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_LEFTY, 1), 0.0f);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_TRIGGERRIGHT, 1), 1.0f);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_TRIGGERLEFT, 1), 0.0f);
    stick.Axis(1, 0);
    stick.Axis(0, -32768);
    stick.Axis(3, -32768);  // a full-range axis as a trigger: its low end is released
    stick.Button(6, true);  // a button as a trigger: fully pressed
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_LEFTY, 1), -1.0f);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_LEFTX, 1), 0.0f);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_TRIGGERRIGHT, 1), 0.0f);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_TRIGGERLEFT, 1), 1.0f);
}

TEST_F(GamepadTest, TheEnvironmentVariableStillMaps) {
    // SDL reads the variable when its joystick part starts.
    const std::string guid = Attach(Unmapped("Env Stick")).Guid();
    TearDown();
    setenv("SDL_GAMECONTROLLERCONFIG", (guid + ",Env Pad,a:b1,b:b0,platform:Linux,").c_str(), 1);
    SetUp();
    VirtualPad& stick = Attach(Unmapped("Env Stick"));
    EXPECT_EQ(GamepadName(0), String("Env Pad"));
    stick.Button(1, true);
    EXPECT_EQ(GamepadIsDown(PAD_A), 1);
}

TEST_F(GamepadTest, PressesAreCountedUntilAsked) {
    // Held and pushed before the pad is seen: down, but not a press.
    VirtualPad& pad = Attach();
    pad.Button(PAD_BACK, true);
    pad.Axis(PAD_RIGHTY, 32767);
    EXPECT_EQ(GamepadIsDown(PAD_BACK), 1);
    EXPECT_EQ(GamepadWasHit(PAD_BACK), 0);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_RIGHTY), 1.0f);
    // A press and a release within one frame: both events wait in the queue.
    pad.Button(PAD_A, true);
    pad.Button(PAD_A, false);
    EXPECT_EQ(GamepadWasHit(PAD_A), 1);
    EXPECT_EQ(GamepadIsDown(PAD_A), 0);
    EXPECT_EQ(GamepadWasHit(PAD_A), 0);
    // Three taps between two asks; a held button counts once.
    for (int i = 0; i < 3; ++i) {
        pad.Button(PAD_X, true);
        PumpEvents();
        pad.Button(PAD_X, false);
        PumpEvents();
    }
    pad.Button(PAD_Y, true);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(GamepadIsDown(PAD_Y), 1);
    EXPECT_EQ(GamepadWasHit(PAD_X), 3);
    EXPECT_EQ(GamepadWasHit(PAD_Y), 1);
    EXPECT_EQ(GamepadWasHit(PAD_Y), 0);
    // Out of range: nothing.
    EXPECT_EQ(GamepadIsDown(PAD_Y, PAD_MAX) + GamepadIsDown(-1) + GamepadWasHit(PAD_BUTTONS), 0);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_AXES) + GamepadAxis(PAD_LEFTX, -1), 0.0f);
}

TEST_F(GamepadTest, APressEndsAWait) {
    VirtualPad& pad = Attach();
    ASSERT_EQ(GamepadCount(), 1);
    std::thread press([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pad.Button(PAD_B, true, false);  // left for the waiting pump to read
    });
    // Other events (the new pad's first axis readings) may end a wait earlier.
    AutoPoll = 0;
    int waits = 0;
    while (!GamepadIsDown(PAD_B) && waits++ < 20) WaitEvents();
    AutoPoll = 1;
    press.join();
    EXPECT_EQ(GamepadIsDown(PAD_B), 1);
}

TEST_F(GamepadTest, PadsArriveAndLeaveAndReuseTheLowestFreeNumber) {
    EXPECT_EQ(GamepadCount(), 0);
    EXPECT_EQ(GamepadsChanged(), 0);
    EXPECT_EQ(GamepadType(0), PAD_TYPE_NONE);
    VirtualPad& a = Attach(Named("Pad A"));
    VirtualPad& b = Attach(Named("Pad B"));
    VirtualPad& c = Attach(Named("Pad C"));
    EXPECT_EQ(GamepadCount(), 3);
    EXPECT_EQ(GamepadsChanged(), 3);
    EXPECT_EQ(GamepadsChanged(), 0);
    EXPECT_EQ(GamepadName(1), String("Pad B"));
    b.Button(PAD_A, true);
    EXPECT_EQ(GamepadIsDown(PAD_A, 1), 1);

    b.Detach();
    EXPECT_EQ(GamepadConnected(1), 0);
    EXPECT_EQ(GamepadIsDown(PAD_A, 1), 0);
    EXPECT_EQ(GamepadWasHit(PAD_A, 1), 0);  // a pad that left leaves no presses behind
    EXPECT_EQ(GamepadName(1), String());
    EXPECT_EQ(GamepadCount(), 3);  // pad 2 keeps its number
    EXPECT_EQ(GamepadName(2), String("Pad C"));
    EXPECT_EQ(GamepadsChanged(), 1);

    Attach(Named("Pad D"));
    EXPECT_EQ(GamepadName(1), String("Pad D"));
    a.Detach();
    c.Detach();
    EXPECT_EQ(GamepadCount(), 2);
    EXPECT_EQ(GamepadsChanged(), 3);
    Attach(Named("Pad E"));
    EXPECT_EQ(GamepadName(0), String("Pad E"));
    EXPECT_EQ(GamepadName(1), String("Pad D"));
}

TEST_F(GamepadTest, APadBeyondTheNumbersWaitsForAFreeOne) {
    for (int i = 0; i < PAD_MAX; ++i) Attach();
    Attach(Named("Pad Z"));
    EXPECT_EQ(GamepadCount(), PAD_MAX);
    EXPECT_EQ(GamepadsChanged(), PAD_MAX);
    pads_[3]->Detach();
    EXPECT_EQ(GamepadName(3), String("Pad Z"));
    EXPECT_EQ(GamepadsChanged(), 2);
}

TEST_F(GamepadTest, DeadZonesAreRadialForSticksAndScaled) {
    VirtualPad& pad = Attach();
    pad.Axis(PAD_LEFTX, 3000);  // inside the 0.2 zone
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_LEFTX), 0.0f);
    pad.Axis(PAD_LEFTX, 16384);  // half way: (0.5 - 0.2) / 0.8
    EXPECT_NEAR(GamepadAxis(PAD_LEFTX), 0.375f, 1e-4);
    pad.Axis(PAD_LEFTX, 32767);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_LEFTX), 1.0f);
    // Each axis of a diagonal push is below the zone, the push is not.
    pad.Axis(PAD_LEFTX, 6000);
    pad.Axis(PAD_LEFTY, -6000);
    EXPECT_GT(GamepadAxis(PAD_LEFTX), 0.0f);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_LEFTY), -GamepadAxis(PAD_LEFTX));
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_RIGHTX), 0.0f);
    // Triggers: the virtual axis runs -32768 .. 32767 for 0 .. 1.
    pad.Axis(PAD_TRIGGERLEFT, -32768 + 3000);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_TRIGGERLEFT), 0.0f);
    pad.Axis(PAD_TRIGGERLEFT, 32767);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_TRIGGERLEFT), 1.0f);

    SetGamepadDeadZone(0.0f, 0.0f);
    pad.Axis(PAD_LEFTY, 0);
    pad.Axis(PAD_LEFTX, 3277);
    EXPECT_NEAR(GamepadAxis(PAD_LEFTX), 0.1f, 1e-4);
    pad.Axis(PAD_TRIGGERLEFT, -32768 + 6554);
    EXPECT_NEAR(GamepadAxis(PAD_TRIGGERLEFT), 0.1f, 1e-3);
    SetGamepadDeadZone(std::nanf(""), 5.0f);  // NaN: none; at most 0.9
    EXPECT_NEAR(GamepadAxis(PAD_LEFTX), 0.1f, 1e-4);
    EXPECT_FLOAT_EQ(GamepadAxis(PAD_TRIGGERLEFT), 0.0f);
    SetGamepadDeadZone(0.2f, 0.1f);
}

TEST_F(GamepadTest, RumbleGoesWhereTheDeviceTakesIt) {
    PadShape shape;
    shape.rumble = true;
    VirtualPad& motors = Attach(shape);
    Attach();
    ASSERT_EQ(GamepadCount(), 2);
    EXPECT_EQ(GamepadRumble(0, 0.5f, 1.0f, 100), 1);
    EXPECT_EQ(motors.rumbleLow, 32768);
    EXPECT_EQ(motors.rumbleHigh, 65535);
    EXPECT_EQ(GamepadRumble(0, std::nanf(""), 7.0f, 0), 1);  // no time: stop
    EXPECT_EQ(motors.rumbleLow, 0);
    EXPECT_EQ(motors.rumbleHigh, 0);
    EXPECT_EQ(GamepadRumble(1, 1.0f, 1.0f, 100), 0);  // no motors
    EXPECT_EQ(GamepadRumble(2, 1.0f, 1.0f, 100), 0);  // no pad
    EXPECT_EQ(GamepadRumble(-1, 1.0f, 1.0f, 100), 0);
}

TEST_F(GamepadTest, MalformedLinesAreRefusedOneByOne) {
    VirtualPad& pad = Attach(Named("Known Pad"));
    const std::string guid = pad.Guid();
    char* before = SDL_GameControllerMappingForGUID(SDL_JoystickGetGUIDFromString(guid.c_str()));
    ASSERT_NE(before, nullptr);
    const int known = SDL_GameControllerNumMappings();
    const std::string text =
        "# a comment, then a blank line\r\n"
        "\n" +
        guid + ",Broken,a:b0,zz:b1,\n" +             // 3: a field that names nothing: no change
        guid + ",Broken,a:q9,\n" +                    // 4: an input that is no input
        "1234,Short GUID,a:b0,\n" +                   // 5
        guid + ",,a:b0,\n" +                          // 6: no name
        guid + ",Broken,a:b0,,b:b1,\n" +              // 7: an empty field
        guid + ",Broken\x01,a:b0,\n" +                // 8: a control character
        guid + ",Broken,platform:Linux,\n" +          // 9: nothing mapped
        guid + ",Broken," + std::string(1100, 'x') + ":b0,\n" +  // 10: too long
        "03000000aaaa00000000000000000000,Other OS,a:b0,platform:Windows,\n"
        "03000000bbbb00000000000000000000,Taken,a:b0,+leftx:b1,-leftx:b2,righty:-a3~,dpup:h0.1,"
        "hint:!SDL_GAMECONTROLLER_USE_BUTTON_LABELS:=1,crc:12ab,\n";
    EXPECT_EQ(AddGamepadMappings(Mappings(text)), 1);
    EXPECT_EQ(LastErrorText().ToBytes(), "\"" + dir_.File("pads.txt") +
                                             "\": 8 lines refused, the first at line 3: "
                                             "field \"zz:b1\" names no button or axis");
    EXPECT_EQ(SDL_GameControllerNumMappings(), known + 1);
    char* after = SDL_GameControllerMappingForGUID(SDL_JoystickGetGUIDFromString(guid.c_str()));
    EXPECT_STREQ(after, before);
    EXPECT_EQ(GamepadName(0), String("Known Pad"));
    SDL_free(before);
    SDL_free(after);

    EXPECT_EQ(AddGamepadMappings(Mappings("1234,Short GUID,a:b0")), 0);
    EXPECT_NE(LastErrorText().ToBytes().find("line 1: GUID \"1234\" is not 32 hexadecimal digits"), std::string::npos);
    EXPECT_EQ(AddGamepadMappings(dir_.File("missing.txt")), 0);
    EXPECT_NE(LastErrorText().ToBytes().find("No such file"), std::string::npos) << LastErrorText();
}

TEST_F(GamepadTest, HostileTextsAreRefusedWhole) {
    const int known = SDL_GameControllerNumMappings();
    auto line = [](int i) {
        char guid[33];
        std::snprintf(guid, sizeof guid, "05000000%08x0000000000000000", i);
        return std::string(guid) + ",Pad " + std::to_string(i) + ",a:b0,b:b1,\n";
    };
    std::string many;
    for (int i = 0; i <= 10000; ++i) many += line(i);
    EXPECT_EQ(AddGamepadMappings(Mappings(many)), 0);
    EXPECT_NE(LastErrorText().ToBytes().find("more than 10000 lines, no mapping taken"), std::string::npos);

    std::string big;
    while (big.size() <= 4 * 1024 * 1024) big += line(7).substr(0, 40) + std::string(900, 'x') + ":b0,\n";
    EXPECT_EQ(AddGamepadMappings(Mappings(big)), 0);
    EXPECT_NE(LastErrorText().ToBytes().find("more than 4194304 bytes"), std::string::npos);
    EXPECT_EQ(SDL_GameControllerNumMappings(), known);

    // 10000 lines are fine (comments count as lines).
    std::string most;
    for (int i = 1; i < 10000; ++i) most += "# a comment\n";
    EXPECT_EQ(AddGamepadMappings(Mappings(most + line(1))), 1);
    EXPECT_EQ(LastErrorText(), String());
    EXPECT_EQ(SDL_GameControllerNumMappings(), known + 1);
}

}  // namespace
}  // namespace korva
