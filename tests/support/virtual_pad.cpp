#include "support/virtual_pad.h"

#include <SDL.h>

#include <stdexcept>

namespace korva::test {
namespace {

int SDLCALL TakeRumble(void* userdata, Uint16 low, Uint16 high) {
    auto* pad = static_cast<VirtualPad*>(userdata);
    pad->rumbleLow = low;
    pad->rumbleHigh = high;
    ++pad->rumbleCalls;
    return 0;
}

}  // namespace

VirtualPad::VirtualPad(const PadShape& shape) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = shape.controller ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN;
    desc.naxes = static_cast<Uint16>(shape.axes);
    desc.nbuttons = static_cast<Uint16>(shape.buttons);
    desc.nhats = static_cast<Uint16>(shape.hats);
    desc.vendor_id = shape.vendor;
    desc.product_id = shape.product;
    desc.name = shape.name;
    desc.userdata = this;
    if (shape.rumble) desc.Rumble = TakeRumble;
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0) throw std::runtime_error(std::string("cannot attach a virtual joystick: ") + SDL_GetError());
    joystick_ = SDL_JoystickOpen(index);
    if (!joystick_) throw std::runtime_error(std::string("cannot open a virtual joystick: ") + SDL_GetError());
    id_ = SDL_JoystickInstanceID(joystick_);
}

void VirtualPad::Detach() {
    if (!joystick_) return;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == id_) SDL_JoystickDetachVirtual(i);
    }
    SDL_JoystickClose(joystick_);
    joystick_ = nullptr;
}

void VirtualPad::Button(int button, bool down, bool read) {
    SDL_JoystickSetVirtualButton(joystick_, button, down ? SDL_PRESSED : SDL_RELEASED);
    if (read) SDL_JoystickUpdate();
}

void VirtualPad::Axis(int axis, int16_t value) {
    SDL_JoystickSetVirtualAxis(joystick_, axis, value);
    SDL_JoystickUpdate();
}

void VirtualPad::Hat(int hat, uint8_t value) {
    SDL_JoystickSetVirtualHat(joystick_, hat, value);
    SDL_JoystickUpdate();
}

std::string VirtualPad::Guid() const {
    SDL_JoystickGUID guid = SDL_JoystickGetGUID(joystick_);
    guid.data[2] = guid.data[3] = 0;  // mapping lines leave out the name's checksum
    char text[33];
    SDL_JoystickGetGUIDString(guid, text, sizeof text);
    return text;
}

}  // namespace korva::test
