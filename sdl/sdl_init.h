// Start and stop of SDL's parts (video, events, joystick, audio), shared by
// every subsystem that talks to SDL, so that SDL is started, stopped and
// finally quit in one place.
#pragma once

#include <cstdint>

namespace korva::detail {

// True when the environment names a display (DISPLAY, WAYLAND_DISPLAY) or a
// video driver (SDL_VIDEODRIVER). Without one, SDL's video never starts,
// unless a replay, a capture or KORVAGL_OFFSCREEN=1 asks for a headless run:
// then SDL_VIDEODRIVER is set to SDL's offscreen driver.
bool DisplayConfigured();

// Starts the SDL parts in `flags` (SDL_INIT_VIDEO, SDL_INIT_JOYSTICK, ...)
// unless this layer already started them; true when they are running.
// Video starts only when DisplayConfigured(), and only on the drivers the
// environment names: SDL_VIDEODRIVER when set, else X11 for DISPLAY and
// Wayland for WAYLAND_DISPLAY, so that SDL's offscreen and dummy drivers
// serve only who asks for them and no other driver's probe prints anything.
// A part that fails to start is not tried again until StopSDLPart names it;
// asking again gives false with the first failure's text as SDL's error.
// What is still running at process exit is stopped then, and SDL is quit
// when nobody else uses it.
bool StartSDLPart(uint32_t flags);

// Stops the parts in `flags` that StartSDLPart started and forgets that any
// of them failed, so that a later StartSDLPart tries them again (the audio
// device asks SDL's drivers one after the other this way).
void StopSDLPart(uint32_t flags);

}  // namespace korva::detail
