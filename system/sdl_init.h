// Lazy start of SDL's parts for the system layer.
#pragma once

#include <cstdint>

namespace korva::detail {

// Starts the SDL parts in `flags` (SDL_INIT_VIDEO, SDL_INIT_JOYSTICK, ...)
// unless this layer already started them; true when they are running.
// A part that fails to start is not tried again. What was started here is
// shut down once at process exit.
bool StartSDLPart(uint32_t flags);

}  // namespace korva::detail
