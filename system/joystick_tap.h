// Joystick readings through the input tap. While recording, every reading the
// program takes (the count, a port's whole state) is written as a joy line
// when it differs from the last one written for it; in replay the readings
// are the recorded ones in force, and the device is never touched. A line is
// stamped with the frame, the pump and, past the first, the joystick query
// within that pump, so a state that changed between two queries of one pump
// replays between the same two queries. No SDL header is needed.
#pragma once

#include <cstdint>

#include "system/joystick_native.h"

namespace korva::detail {

// True while recording or replaying: the joystick calls then read through
// the two below.
bool JoystickTapped();
// JoystickCount's answer: counted and recorded, or the recorded count in
// force (0 before the first).
int32_t TappedJoystickCount();
// A port's state: read whole and recorded, or the recorded state in force.
// A port never recorded, or outside 0-255, is absent.
const JoystickPortState& TappedJoystickPort(int32_t port);

}  // namespace korva::detail
