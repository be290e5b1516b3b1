// Joysticks over SDL.
#include "system/joystick_native.h"

#include <SDL.h>

#include "sdl/sdl_init.h"

namespace korva::detail {
namespace {

// Port -> SDL device index, filled by JoystickDeviceCount; all 0 until then,
// so every port reads the first joystick.
int32_t deviceIds[256] = {};

// The open joystick behind a port, opening it on first use; null when none.
SDL_Joystick* PortJoystick(int32_t port) {
    if (port < 0 || port > 255 || !StartSDLPart(SDL_INIT_JOYSTICK)) return nullptr;
    SDL_JoystickUpdate();  // also notices joysticks coming and going
    const int index = deviceIds[port];
    if (index >= SDL_NumJoysticks()) return nullptr;
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
    if (SDL_Joystick* open = SDL_JoystickFromInstanceID(id)) return open;
    // Opened joysticks stay open; SDL closes them when the joystick part quits.
    return SDL_JoystickOpen(index);
}

// SDL's hat bits as hundredths of a degree clockwise from forward.
uint32_t HatAngle(Uint8 hat) {
    switch (hat) {
        case SDL_HAT_UP: return 0;
        case SDL_HAT_RIGHTUP: return 4500;
        case SDL_HAT_RIGHT: return 9000;
        case SDL_HAT_RIGHTDOWN: return 13500;
        case SDL_HAT_DOWN: return 18000;
        case SDL_HAT_LEFTDOWN: return 22500;
        case SDL_HAT_LEFT: return 27000;
        case SDL_HAT_LEFTUP: return 31500;
        default: return kHatCentred;
    }
}

// The controls of an opened, attached joystick.
void ReadOpenJoystick(SDL_Joystick* joystick, JoystickReading& reading) {
    reading = JoystickReading{};
    const int buttons = SDL_JoystickNumButtons(joystick);
    for (int b = 0; b < buttons && b < 32; ++b) {
        if (SDL_JoystickGetButton(joystick, b)) reading.buttons |= 1u << b;
    }
    const int axes = SDL_JoystickNumAxes(joystick);
    for (int a = 0; a < axes && a < kJoystickAxes; ++a) {
        reading.axisPositions[a] = static_cast<uint32_t>(SDL_JoystickGetAxis(joystick, a) + 32768);
        reading.axisMinimum[a] = 0;
        reading.axisMaximum[a] = 65535;
        reading.reportedAxes |= 1u << a;
    }
    if (SDL_JoystickNumHats(joystick) > 0) {
        reading.hatReported = true;
        reading.hat = HatAngle(SDL_JoystickGetHat(joystick, 0));
    }
}

int32_t ButtonMask(SDL_Joystick* joystick) {
    const int buttons = SDL_JoystickNumButtons(joystick);
    if (buttons <= 0) return 0;
    return buttons >= 32 ? -1 : static_cast<int32_t>((1u << buttons) - 1);
}

int32_t AxisMask(SDL_Joystick* joystick) {
    int axes = SDL_JoystickNumAxes(joystick);
    if (axes < 0) axes = 0;
    if (axes > kJoystickAxes) axes = kJoystickAxes;
    int32_t mask = static_cast<int32_t>((1u << axes) - 1);
    if (SDL_JoystickNumHats(joystick) > 0) mask |= 9;
    return mask;
}

}  // namespace

int32_t JoystickDeviceCount() {
    if (!StartSDLPart(SDL_INIT_JOYSTICK)) return 0;
    SDL_JoystickUpdate();
    int32_t count = 0;
    const int devices = SDL_NumJoysticks();
    for (int index = 0; index < devices && count < 256; ++index) {
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
        if (SDL_JoystickFromInstanceID(id) || SDL_JoystickOpen(index)) deviceIds[count++] = index;
    }
    return count;
}

bool JoystickDeviceName(int32_t port, std::string& name) {
    SDL_Joystick* joystick = PortJoystick(port);
    if (!joystick) return false;
    const char* product = SDL_JoystickName(joystick);
    name = product ? product : "";
    return true;
}

int32_t JoystickDeviceButtonMask(int32_t port) {
    SDL_Joystick* joystick = PortJoystick(port);
    return joystick ? ButtonMask(joystick) : 0;
}

int32_t JoystickDeviceAxisMask(int32_t port) {
    SDL_Joystick* joystick = PortJoystick(port);
    return joystick ? AxisMask(joystick) : 0;
}

bool ReadJoystickDevice(int32_t port, JoystickReading& reading) {
    SDL_Joystick* joystick = PortJoystick(port);
    if (!joystick || !SDL_JoystickGetAttached(joystick)) return false;
    ReadOpenJoystick(joystick, reading);
    return true;
}

JoystickPortState ReadJoystickPort(int32_t port) {
    JoystickPortState state;
    SDL_Joystick* joystick = PortJoystick(port);
    if (!joystick || !SDL_JoystickGetAttached(joystick)) return state;
    state.present = true;
    if (const char* product = SDL_JoystickName(joystick)) state.name = product;
    if (state.name.size() > kMostJoystickName) {
        size_t cut = kMostJoystickName;
        while (cut > 0 && (static_cast<unsigned char>(state.name[cut]) & 0xC0) == 0x80) --cut;
        state.name.resize(cut);
    }
    state.buttonMask = ButtonMask(joystick);
    state.axisMask = AxisMask(joystick);
    ReadOpenJoystick(joystick, state.reading);
    return state;
}

}  // namespace korva::detail
