// Start and stop of SDL's parts (video, events, joystick, audio), shared by
// every subsystem that talks to SDL, so that SDL is started, stopped and
// finally quit in one place.
#pragma once

#include <cstdint>

namespace korva::detail {

// Starts the SDL parts in `flags` (SDL_INIT_VIDEO, SDL_INIT_JOYSTICK, ...)
// unless this layer already started them; true when they are running.
// A part that fails to start is not tried again until StopSDLPart names it.
// What is still running at process exit is stopped then, and SDL is quit
// when nobody else uses it.
bool StartSDLPart(uint32_t flags);

// Stops the parts in `flags` that StartSDLPart started and forgets that any
// of them failed, so that a later StartSDLPart tries them again (the audio
// device asks SDL's drivers one after the other this way).
void StopSDLPart(uint32_t flags);

}  // namespace korva::detail
