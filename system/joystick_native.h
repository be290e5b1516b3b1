// The joystick native layer: numbered joysticks read into plain storage.
// Readings look like the Windows multimedia joystick interface: axis
// positions 0..65535 (minimum 0, maximum 65535), the hat in hundredths of a
// degree (65535 centred), buttons as a bit mask. Only the .cpp includes SDL.
#pragma once

#include <cstdint>
#include <string>

namespace korva::detail {

inline constexpr int kJoystickAxes = 6;      // X, Y, Z, R, U, V
inline constexpr int kJoystickHatSlot = 9;   // in a port's 16 floats
inline constexpr uint32_t kHatCentred = 65535;

// One reading as the device reports it.
struct JoystickReading {
    uint32_t buttons = 0;
    uint32_t axisPositions[kJoystickAxes] = {};
    uint32_t axisMinimum[kJoystickAxes] = {};
    uint32_t axisMaximum[kJoystickAxes] = {};
    uint32_t reportedAxes = 0;  // bit i: axis i was read
    bool hatReported = false;
    uint32_t hat = kHatCentred;  // hundredths of a degree
};

// Looks for joysticks and numbers those that can be opened as ports 0, 1, ...
// (at most 256); returns how many.
int32_t JoystickDeviceCount();
// The product name; false when the port has no joystick.
bool JoystickDeviceName(int32_t port, std::string& name);
int32_t JoystickDeviceButtonMask(int32_t port);
int32_t JoystickDeviceAxisMask(int32_t port);
// Reads the port's joystick; false when there is none.
bool ReadJoystickDevice(int32_t port, JoystickReading& reading);

// Stores a reading into a port's button word and 16 floats: axes the reading
// lacks keep their values. Axis value = 2 * (position - minimum) / maximum - 1.
void StoreJoystickReading(const JoystickReading& reading, int32_t& buttons, float axes[16]);

}  // namespace korva::detail
