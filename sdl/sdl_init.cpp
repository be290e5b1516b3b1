// Starts SDL parts on first use and shuts them down when asked or at process
// exit.
#include "sdl/sdl_init.h"

#include <SDL.h>

#include <cstdlib>

namespace korva::detail {
namespace {

uint32_t started = 0;  // parts this layer started (and must quit)
uint32_t failed = 0;   // parts that would not start
bool exitHandlerSet = false;

void QuitSDLIfUnused() {
    // The last user of SDL frees what SDL keeps beyond its parts.
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

void QuitStartedParts() {
    if (started) SDL_QuitSubSystem(started);
    started = 0;
    QuitSDLIfUnused();
}

}  // namespace

bool StartSDLPart(uint32_t flags) {
    if ((started & flags) == flags) return true;
    if (failed & flags) return false;
    // The framework installs its own signal handlers; SDL must not take
    // SIGINT and SIGTERM over. Joysticks read the same with or without focus.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    const uint32_t missing = flags & ~started;
    if (SDL_InitSubSystem(missing) != 0) {
        failed |= missing;
        return false;
    }
    if (!exitHandlerSet) std::atexit(QuitStartedParts);
    exitHandlerSet = true;
    started |= missing;
    return true;
}

void StopSDLPart(uint32_t flags) {
    failed &= ~flags;
    const uint32_t running = started & flags;
    if (running == 0) return;
    SDL_QuitSubSystem(running);
    started &= ~running;
}

}  // namespace korva::detail
