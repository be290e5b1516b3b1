// Gamepads over SDL's game-controller part.
#include "system/gamepad_native.h"

#include <SDL.h>
#include <time.h>

#include <algorithm>

#include "korvagl/system/gamepad.h"
#include "sdl/sdl_init.h"
#include "system/gamepad_state.h"
#include "system/input_tap.h"

namespace korva::detail {
namespace {

// The layout's numbers are SDL's own, so buttons and axes pass unchanged.
static_assert(PAD_A == SDL_CONTROLLER_BUTTON_A && PAD_DPAD_RIGHT == SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
static_assert(PAD_TOUCHPAD == SDL_CONTROLLER_BUTTON_TOUCHPAD && PAD_BUTTONS == SDL_CONTROLLER_BUTTON_MAX);
static_assert(PAD_LEFTX == SDL_CONTROLLER_AXIS_LEFTX && PAD_TRIGGERRIGHT == SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
static_assert(PAD_AXES == SDL_CONTROLLER_AXIS_MAX);

// A device the gamepads opened: as a controller when it has a mapping, else
// as a plain joystick.
struct Device {
    SDL_JoystickID id = -1;
    SDL_GameController* controller = nullptr;
    SDL_Joystick* joystick = nullptr;

    SDL_Joystick* Joystick() const { return controller ? SDL_GameControllerGetJoystick(controller) : joystick; }
};

bool running = false;
std::vector<Device> devices;
int64_t lastReading = -1;  // coarse clock tick of the last device reading

// Every event of a real device reaches the gamepad state through here: it
// is recorded while recording, and in replay the recording stands in for
// the devices.
void Announce(const GamepadEvent& event) {
    if (TapReplaying()) return;
    TapGamepadEvent(event);
    GamepadFilter(TheGamepadState(), event);
}

Device* Find(SDL_JoystickID id) {
    for (Device& d : devices) {
        if (d.id == id) return &d;
    }
    return nullptr;
}

int32_t PadType(SDL_GameController* controller) {
    switch (SDL_GameControllerGetType(controller)) {
        case SDL_CONTROLLER_TYPE_XBOX360: return PAD_TYPE_XBOX360;
        case SDL_CONTROLLER_TYPE_XBOXONE: return PAD_TYPE_XBOXONE;
        case SDL_CONTROLLER_TYPE_PS3: return PAD_TYPE_PS3;
        case SDL_CONTROLLER_TYPE_PS4: return PAD_TYPE_PS4;
        case SDL_CONTROLLER_TYPE_PS5: return PAD_TYPE_PS5;
        case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_PRO: return PAD_TYPE_SWITCH_PRO;
        case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_LEFT: return PAD_TYPE_JOYCON_LEFT;
        case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_RIGHT: return PAD_TYPE_JOYCON_RIGHT;
        case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_PAIR: return PAD_TYPE_JOYCON_PAIR;
        case SDL_CONTROLLER_TYPE_AMAZON_LUNA: return PAD_TYPE_LUNA;
        case SDL_CONTROLLER_TYPE_GOOGLE_STADIA: return PAD_TYPE_STADIA;
        case SDL_CONTROLLER_TYPE_NVIDIA_SHIELD: return PAD_TYPE_SHIELD;
        default: return PAD_TYPE_GENERIC;  // unknown makes and virtual pads
    }
}

// The model's GUID as mapping lines give it: without the name checksum the
// device's own GUID carries in bytes 2-3, so that one line serves a model.
std::string ModelGuid(SDL_Joystick* joystick) {
    SDL_JoystickGUID guid = SDL_JoystickGetGUID(joystick);
    guid.data[2] = guid.data[3] = 0;
    char text[33];
    SDL_JoystickGetGUIDString(guid, text, sizeof text);
    return text;
}

// What the state keeps of a device, as an event of the given kind.
GamepadEvent Describe(const Device& d, GamepadEvent::Kind kind) {
    GamepadEvent event;
    event.kind = kind;
    event.device = d.id;
    event.mapped = d.controller != nullptr;
    event.type = d.controller ? PadType(d.controller) : PAD_TYPE_UNMAPPED;
    const char* name = d.controller ? SDL_GameControllerName(d.controller) : SDL_JoystickName(d.joystick);
    event.name = name ? name : "";
    event.guid = ModelGuid(d.Joystick());
    // A controller's events tell its changes from now on; what is held or
    // pushed already is read once.
    if (d.controller) {
        for (int b = 0; b < PAD_BUTTONS; ++b) {
            if (SDL_GameControllerGetButton(d.controller, static_cast<SDL_GameControllerButton>(b)))
                event.held |= 1u << b;
        }
        for (int a = 0; a < PAD_AXES; ++a)
            event.axes[a] = SDL_GameControllerGetAxis(d.controller, static_cast<SDL_GameControllerAxis>(a));
    }
    return event;
}

void Close(Device& d) {
    if (d.controller) SDL_GameControllerClose(d.controller);
    if (d.joystick) SDL_JoystickClose(d.joystick);
    d.controller = nullptr;
    d.joystick = nullptr;
}

// Opens and announces every device not yet known. Device indices in
// arrival events may be stale by the time they are read, so each arrival
// looks at all of them; a frame without arrivals never gets here.
void AdoptNewDevices() {
    const int count = SDL_NumJoysticks();
    for (int index = 0; index < count; ++index) {
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
        if (id < 0 || Find(id)) continue;
        Device d;
        d.id = id;
        if (SDL_IsGameController(index)) d.controller = SDL_GameControllerOpen(index);
        if (!d.controller) d.joystick = SDL_JoystickOpen(index);
        if (!d.controller && !d.joystick) continue;  // it may open at its next arrival event
        devices.push_back(d);
        Announce(Describe(d, GamepadEvent::Arrived));
    }
}

void Drop(SDL_JoystickID id) {
    Device* d = Find(id);
    if (!d) return;  // the second of the two removal events
    Close(*d);
    std::erase_if(devices, [id](const Device& x) { return x.id == id; });
    GamepadEvent event;
    event.kind = GamepadEvent::Left;
    event.device = id;
    Announce(event);
    // A device that found every number taken gets the one just freed.
    for (const Device& waiting : devices) {
        if (PadOfDevice(TheGamepadState(), waiting.id) < 0) {
            Announce(Describe(waiting, GamepadEvent::Arrived));
            break;
        }
    }
}

void Remapped(SDL_JoystickID id) {
    const Device* d = Find(id);
    if (d && d->controller) Announce(Describe(*d, GamepadEvent::Remapped));
}

// Devices opened as joysticks that a new mapping now covers become controllers.
void MapUnmappedDevices() {
    const int count = SDL_NumJoysticks();
    for (int index = 0; index < count; ++index) {
        Device* d = Find(SDL_JoystickGetDeviceInstanceID(index));
        if (!d || d->controller || !SDL_IsGameController(index)) continue;
        d->controller = SDL_GameControllerOpen(index);
        if (!d->controller) continue;
        SDL_JoystickClose(d->joystick);
        d->joystick = nullptr;
        Announce(Describe(*d, GamepadEvent::Remapped));
    }
}

void Control(GamepadEvent::Kind kind, SDL_JoystickID id, int control, int value) {
    GamepadEvent event;
    event.kind = kind;
    event.device = id;
    event.control = control;
    event.value = value;
    Announce(event);
}

}  // namespace

bool StartGamepads() {
    if (running) return true;
    // Buttons by place: the bottom face button is PAD_A on every make.
    SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
    // SDL would read the devices and ask the system for new ones (a system
    // call or two, about a microsecond) on every event pump; the pump asks
    // UpdateGamepadDevices instead.
    SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0");
    if (!StartSDLPart(SDL_INIT_GAMECONTROLLER)) {
        SDL_ResetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS);
        return false;
    }
    running = true;
    lastReading = -1;
    AdoptNewDevices();
    return true;
}

void StopGamepads() {
    for (Device& d : devices) Close(d);
    devices.clear();
    ClearGamepads(TheGamepadState());
    if (running) StopSDLPart(SDL_INIT_GAMECONTROLLER);
    SDL_ResetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS);
    running = false;
}

bool GamepadsRunning() { return running; }

bool UpdateGamepadDevices() {
    if (!running) return false;
    // The coarse clock costs a few nanoseconds where the precise one may
    // cost fifty; its tick (1 to 4 ms) is far below a frame. Devices queue
    // their reports until read, so a reading per tick loses no press.
    timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    const int64_t tick = int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
    if (tick == lastReading) return false;
    lastReading = tick;
    SDL_JoystickUpdate();
    return true;
}

void DeliverGamepadEvent(const SDL_Event& event) {
    if (!running) return;
    switch (event.type) {
        case SDL_JOYDEVICEADDED:
        case SDL_CONTROLLERDEVICEADDED: AdoptNewDevices(); break;
        case SDL_JOYDEVICEREMOVED: Drop(event.jdevice.which); break;
        case SDL_CONTROLLERDEVICEREMOVED: Drop(event.cdevice.which); break;
        case SDL_CONTROLLERDEVICEREMAPPED: Remapped(event.cdevice.which); break;
        case SDL_CONTROLLERBUTTONDOWN:
            Control(GamepadEvent::ButtonDown, event.cbutton.which, event.cbutton.button, 0);
            break;
        case SDL_CONTROLLERBUTTONUP:
            Control(GamepadEvent::ButtonUp, event.cbutton.which, event.cbutton.button, 0);
            break;
        case SDL_CONTROLLERAXISMOTION:
            Control(GamepadEvent::AxisMoved, event.caxis.which, event.caxis.axis, event.caxis.value);
            break;
        default: break;
    }
}

bool RumbleGamepadDevice(int32_t device, uint16_t low, uint16_t high, uint32_t milliseconds) {
    const Device* d = running ? Find(device) : nullptr;
    if (!d) return false;
    return SDL_JoystickRumble(d->Joystick(), low, high, milliseconds) == 0;
}

int32_t AddControllerMappings(const std::vector<std::string>& lines, std::string& refusal) {
    int32_t taken = 0;
    for (const std::string& line : lines) {
        if (SDL_GameControllerAddMapping(line.c_str()) >= 0) {
            ++taken;
        } else if (refusal.empty()) {
            refusal = SDL_GetError();
        }
    }
    if (taken > 0 && running) MapUnmappedDevices();
    return taken;
}

std::string ControllerPlatform() { return SDL_GetPlatform(); }

}  // namespace korva::detail
