// The polled gamepad state and the one function that changes it.
//
// The native layer turns each device and controller event into a
// GamepadEvent and hands it to GamepadFilter; the gamepad queries only read
// the state it fills. Everything a pad's state depends on passes through
// that call, so recording its events and feeding them back reproduces the
// state exactly. No SDL header is needed here.
#pragma once

#include <cstdint>
#include <string>

namespace korva::detail {

inline constexpr int kPadSlots = 16;
inline constexpr int kPadButtons = 21;
inline constexpr int kPadAxes = 6;

struct GamepadEvent {
    enum Kind : uint8_t {
        Arrived,     // a device appeared: name, guid, type, mapped, held, axes
        Left,        // the device is gone
        Remapped,    // its mapping changed: name, type, mapped, held, axes
        ButtonDown,  // control = button
        ButtonUp,
        AxisMoved,   // control = axis, value = -32768 .. 32767 (triggers 0 .. 32767)
    };
    Kind kind = Arrived;
    int32_t device = -1;  // the device's id, stable while it is connected
    int32_t control = 0;
    int32_t value = 0;
    bool mapped = false;
    int32_t type = 0;  // PAD_TYPE_...
    std::string name;  // UTF-8
    std::string guid;
    // The state when it arrived or was remapped: buttons held then are
    // down, but were not pressed while the pad was seen.
    uint32_t held = 0;
    int16_t axes[kPadAxes] = {};
};

struct PadSlot {
    int32_t device = -1;  // -1: the number is free
    bool mapped = false;
    int32_t type = 0;
    std::string name;
    std::string guid;
    uint32_t held = 0;                // bit b: button b is down
    int32_t hits[kPadButtons] = {};   // presses since last read
    int16_t axes[kPadAxes] = {};      // raw positions
};

struct GamepadState {
    PadSlot pads[kPadSlots];
    int32_t changes = 0;  // arrivals and departures since last read
    int32_t count = 0;    // one more than the highest number in use
};

// The process-wide state the native layer fills.
GamepadState& TheGamepadState();

// Applies one event. Returns the number of the pad it concerned, or -1 when
// it concerned none (an unknown device, a second arrival of one, a pad
// beyond the numbers, a control out of range).
int GamepadFilter(GamepadState& state, const GamepadEvent& event);

// The number of the pad with this device id, or -1.
int PadOfDevice(const GamepadState& state, int32_t device);

// Forgets every pad and count (when the gamepads stop).
void ClearGamepads(GamepadState& state);

}  // namespace korva::detail
