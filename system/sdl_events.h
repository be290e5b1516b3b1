// The event side of the SDL native layer: pumping SDL's queue into the input
// filter, the clock, and the pointer. Only the .cpp includes SDL.
#pragma once

#include <cstdint>

#include "system/input_filter.h"

namespace korva::detail {

// What a key looks like to Windows: its virtual-key code (0 when the key has
// none), its set-1 scan code, and whether it is an extended key.
struct WinKey {
    uint8_t vk = 0;
    uint8_t scan = 0;
    bool extended = false;
};

// The key of an SDL scancode, as on a US layout. With `numLock` off the keypad
// digits and point give the navigation keys, as Windows reports them.
WinKey WinKeyForScancode(int scancode, bool numLock = true);

// Starts SDL's video and event parts on first use (never again after a
// failure) and feeds every pending event through the filter. Nothing happens
// when SDL's events cannot run (no display).
void PumpSDLEvents(InputState& state);
// Waits for one event (or briefly, when events cannot run), then pumps.
void WaitSDLEvents(InputState& state);
// The clock: microseconds since its first reading, and the same count in
// milliseconds, wrapping after 2^32 ms.
int64_t SDLMicroseconds();
int32_t SDLTicks();
void SDLDelay(int32_t ms);
// Moves the pointer within the window that has the keyboard focus.
void SDLPlaceMouse(int32_t x, int32_t y);

}  // namespace korva::detail
