// Test support: a virtual joystick (SDL's), for the gamepad tests and
// benchmarks. SDL's joystick part must be running.
#pragma once

#include <cstdint>
#include <string>

struct _SDL_Joystick;

namespace korva::test {

struct PadShape {
    const char* name = "Test Pad";
    // A game-controller joystick gets a mapping of its own (buttons and axes
    // in the standard layout's order); any other has none.
    bool controller = true;
    int axes = 6;
    int buttons = 15;
    int hats = 0;
    uint16_t vendor = 0x1209;
    uint16_t product = 0x0077;
    bool rumble = false;  // takes rumble requests
};

class VirtualPad {
public:
    explicit VirtualPad(const PadShape& shape = {});
    ~VirtualPad() { Detach(); }
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    // Unplugs it; nothing when already gone.
    void Detach();
    // New control states, read by SDL at once: their events wait in SDL's
    // queue for the next pump. A button set with `read` false waits for
    // SDL's next reading of the devices.
    void Button(int button, bool down, bool read = true);
    void Axis(int axis, int16_t value);
    void Hat(int hat, uint8_t value);
    // The model's GUID as a mapping line starts with it.
    std::string Guid() const;

    // The last rumble request (strengths) and how many came.
    uint16_t rumbleLow = 0;
    uint16_t rumbleHigh = 0;
    int rumbleCalls = 0;

private:
    _SDL_Joystick* joystick_ = nullptr;
    int32_t id_ = -1;
};

}  // namespace korva::test
