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

    bool operator==(const JoystickReading&) const = default;
};

// Everything a port answers at one moment, read in one look at the device:
// what a recording of the joystick holds per port.
struct JoystickPortState {
    bool present = false;  // false: no joystick; the rest keeps its defaults
    std::string name;      // at most kMostJoystickName bytes
    int32_t buttonMask = 0;
    int32_t axisMask = 0;
    JoystickReading reading;

    bool operator==(const JoystickPortState&) const = default;
};

inline constexpr int32_t kJoystickDevicePorts = 256;
inline constexpr size_t kMostJoystickName = 255;

// Looks for joysticks and numbers those that can be opened as ports 0, 1, ...
// (at most 256); returns how many.
int32_t JoystickDeviceCount();
// The product name; false when the port has no joystick.
bool JoystickDeviceName(int32_t port, std::string& name);
int32_t JoystickDeviceButtonMask(int32_t port);
int32_t JoystickDeviceAxisMask(int32_t port);
// Reads the port's joystick; false when there is none.
bool ReadJoystickDevice(int32_t port, JoystickReading& reading);
// The whole port: present with its name, masks and reading when a joystick
// is there and attached, else absent. A longer name is cut at a character
// boundary to kMostJoystickName bytes.
JoystickPortState ReadJoystickPort(int32_t port);

// Stores a reading into a port's button word and 16 floats: axes the reading
// lacks keep their values. Axis value = 2 * (position - minimum) / maximum - 1.
void StoreJoystickReading(const JoystickReading& reading, int32_t& buttons, float axes[16]);

}  // namespace korva::detail
