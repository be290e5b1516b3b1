// The joystick module: per-port readings and one query per button and axis.
#include "korvagl/system/joystick.h"

#include "korvagl/app/modules.h"
#include "system/joystick_native.h"
#include "system/joystick_tap.h"

namespace korva {
namespace {

constexpr int32_t kPorts = 16;
constexpr int kSlotsPerPort = 16;

// The last successful reading of each port.
int32_t joyButtons[kPorts] = {};
float joyAxes[kPorts * kSlotsPerPort] = {};

bool ValidPort(int32_t port) { return port >= 0 && port < kPorts; }

// Reads the port into its state; false when the port is outside 0-15.
// A failed reading leaves the state as it was. While recording or replaying
// the reading goes through the tap.
bool ReadPort(int32_t port) {
    if (!ValidPort(port)) return false;
    if (detail::JoystickTapped()) {
        const detail::JoystickPortState& state = detail::TappedJoystickPort(port);
        if (state.present)
            detail::StoreJoystickReading(state.reading, joyButtons[port], &joyAxes[port * kSlotsPerPort]);
        return true;
    }
    detail::JoystickReading reading;
    if (detail::ReadJoystickDevice(port, reading))
        detail::StoreJoystickReading(reading, joyButtons[port], &joyAxes[port * kSlotsPerPort]);
    return true;
}

float Slot(int32_t port, int slot) {
    if (!ReadPort(port)) return 0.0f;
    return joyAxes[port * kSlotsPerPort + slot];
}

}  // namespace

void detail::StoreJoystickReading(const JoystickReading& reading, int32_t& buttons, float axes[16]) {
    buttons = static_cast<int32_t>(reading.buttons);
    for (int a = 0; a < kJoystickAxes; ++a) {
        // A device without a range for the axis cannot be scaled: keep the value.
        if (!(reading.reportedAxes & (1u << a)) || reading.axisMaximum[a] == 0) continue;
        const long double position = reading.axisPositions[a];
        const long double minimum = reading.axisMinimum[a];
        const long double maximum = reading.axisMaximum[a];
        // The divisor is the maximum, not the range, as the device layer defines it.
        axes[a] = static_cast<float>(2.0L * (position - minimum) / maximum - 1.0L);
    }
    if (reading.hatReported)
        axes[kJoystickHatSlot] = reading.hat <= 36000 ? static_cast<float>(reading.hat * (1.0L / 36000.0L)) : -1.0f;
}

int32_t JoystickCount() {
    return detail::JoystickTapped() ? detail::TappedJoystickCount() : detail::JoystickDeviceCount();
}

String JoystickName(int32_t port) {
    if (detail::JoystickTapped()) {
        const detail::JoystickPortState& state = detail::TappedJoystickPort(port);
        return state.present ? String(state.name) : String();
    }
    std::string name;
    if (!detail::JoystickDeviceName(port, name)) return String();
    return String(name);
}

int32_t JoystickButtonMask(int32_t port) {
    return detail::JoystickTapped() ? detail::TappedJoystickPort(port).buttonMask
                                    : detail::JoystickDeviceButtonMask(port);
}

int32_t JoystickAxisMask(int32_t port) {
    return detail::JoystickTapped() ? detail::TappedJoystickPort(port).axisMask : detail::JoystickDeviceAxisMask(port);
}

int32_t JoystickButtonHeld(int32_t button, int32_t port) {
    if (!ReadPort(port) || button < 0 || button > 31) return 0;
    return (static_cast<uint32_t>(joyButtons[port]) >> button) & 1;
}

float JoystickX(int32_t port) { return Slot(port, 0); }
float JoystickY(int32_t port) { return Slot(port, 1); }
float JoystickZ(int32_t port) { return Slot(port, 2); }
float JoystickR(int32_t port) { return Slot(port, 3); }
float JoystickU(int32_t port) { return Slot(port, 4); }
float JoystickV(int32_t port) { return Slot(port, 5); }
float JoystickYaw(int32_t port) { return Slot(port, 6); }
float JoystickPitch(int32_t port) { return Slot(port, 7); }
float JoystickRoll(int32_t port) { return Slot(port, 8); }
float JoystickHat(int32_t port) { return Slot(port, detail::kJoystickHatSlot); }
float JoystickWheel(int32_t port) { return Slot(port, 10); }

int32_t JoystickButtonHit(int32_t, int32_t) { return 0; }
int32_t JoystickXDir(int32_t) { return 0; }
int32_t JoystickYDir(int32_t) { return 0; }
int32_t JoystickZDir(int32_t) { return 0; }
int32_t JoystickRDir(int32_t) { return 0; }
int32_t JoystickUDir(int32_t) { return 0; }
int32_t JoystickVDir(int32_t) { return 0; }
int32_t JoystickHatDir(int32_t) { return 0; }

int InitJoystick() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("joystick");
    return 0;
}

}  // namespace korva
