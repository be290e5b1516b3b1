// KorvaGL: polled joystick input.
//
// Ports 0-15 address joysticks. Until JoystickCount runs, every port reads
// the first joystick; JoystickCount numbers the joysticks that answer, and
// port n then reads the n-th of them. Each query reads the device afresh (six
// axes cost six readings) and keeps what it read per port: when a reading
// fails (no joystick) or the device has no such axis, the query returns the
// last value read, initially 0. Ports outside 0-15 read 0. Nothing raises.
// With KORVAGL_RECORD every reading is recorded, and with KORVAGL_REPLAY the
// calls read the recording instead of the device (docs/testing.md).
//
// Axes read about -1.0 .. +1.0; the hat reads the direction as a fraction of
// a full turn (0.0 forward, 0.25 right, 0.5 back, 0.75 left) or -1.0 when
// centred. Buttons are counted from 0.
//
// Pads in a standard layout, found as they arrive, are in gamepad.h.
#pragma once

#include <cstdint>

#include "korvagl/app/string.h"

namespace korva {

// Looks for joysticks again and numbers the ones that answer; returns their count.
int32_t JoystickCount();
// The product name, or the empty string when there is no such joystick.
String JoystickName(int32_t port);
// Bit b set for each button b the device has; 0 when it cannot be read.
int32_t JoystickButtonMask(int32_t port);
// Bits 0-5 for the axes X, Y, Z, R, U, V the device has, with bits 0 and 3
// also set when it has a hat; 0 when it cannot be read.
int32_t JoystickAxisMask(int32_t port);

// 1 while button `button` (0-31) is down, else 0.
int32_t JoystickButtonHeld(int32_t button, int32_t port = 0);
float JoystickX(int32_t port = 0);
float JoystickY(int32_t port = 0);
float JoystickZ(int32_t port = 0);
float JoystickR(int32_t port = 0);
float JoystickU(int32_t port = 0);
float JoystickV(int32_t port = 0);
float JoystickHat(int32_t port = 0);
// Axes the device layer never fills: they read the port and return 0.0.
float JoystickYaw(int32_t port = 0);
float JoystickPitch(int32_t port = 0);
float JoystickRoll(int32_t port = 0);
float JoystickWheel(int32_t port = 0);
// Presses and directions are not tracked: these return 0 without reading.
int32_t JoystickButtonHit(int32_t button, int32_t port = 0);
int32_t JoystickXDir(int32_t port = 0);
int32_t JoystickYDir(int32_t port = 0);
int32_t JoystickZDir(int32_t port = 0);
int32_t JoystickRDir(int32_t port = 0);
int32_t JoystickUDir(int32_t port = 0);
int32_t JoystickVDir(int32_t port = 0);
int32_t JoystickHatDir(int32_t port = 0);

// The module initialiser ("joystick"): makes the per-port state.
int InitJoystick();

}  // namespace korva
