// Starts SDL parts on first use and shuts them down when asked or at process
// exit.
#include "sdl/sdl_init.h"

#include <SDL.h>

#include <cstdlib>
#include <string>

namespace korva::detail {
namespace {

uint32_t started = 0;  // parts this layer started (and must quit)
uint32_t failed = 0;   // parts that would not start
std::string failure;   // SDL's words when they last would not
bool exitHandlerSet = false;

void QuitSDLIfUnused() {
    // The last user of SDL frees what SDL keeps beyond its parts.
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

// Names the video drivers for the displays the environment names, unless
// SDL_VIDEODRIVER already chose (SDL's hint gives way to that variable).
void ChooseVideoDrivers() {
    const bool x11 = std::getenv("DISPLAY") != nullptr;
    const bool wayland = std::getenv("WAYLAND_DISPLAY") != nullptr;
    const char* drivers = wayland && x11 ? "wayland,x11" : (wayland ? "wayland" : "x11");
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers);
}

void QuitStartedParts() {
    if (started) SDL_QuitSubSystem(started);
    started = 0;
    QuitSDLIfUnused();
}

// A replay or a capture with no display named runs headless: SDL's offscreen
// driver (EGL on Mesa) stands in for the display, so no X server is needed.
// KORVAGL_OFFSCREEN=1 asks for it in any run without a display.
void ChooseHeadlessDisplay() {
    static bool chosen = false;
    if (chosen) return;
    chosen = true;
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("SDL_VIDEODRIVER")) return;
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value && std::string(value) != "0";
    };
    if (set("KORVAGL_REPLAY") || set("KORVAGL_CAPTURE") || set("KORVAGL_OFFSCREEN"))
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
}

}  // namespace

bool DisplayConfigured() {
    ChooseHeadlessDisplay();
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("SDL_VIDEODRIVER");
}

bool StartSDLPart(uint32_t flags) {
    if ((started & flags) == flags) return true;
    if (failed & flags) {
        SDL_SetError("%s", failure.c_str());  // the reason stays SDL's error
        return false;
    }
    if ((flags & ~started & SDL_INIT_VIDEO) != 0) {
        if (!DisplayConfigured()) {
            SDL_SetError("no display (DISPLAY and WAYLAND_DISPLAY are unset)");
            return false;
        }
        ChooseVideoDrivers();
    }
    // The framework installs its own signal handlers; SDL must not take
    // SIGINT and SIGTERM over. Joysticks read the same with or without focus.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    const uint32_t missing = flags & ~started;
    if (SDL_InitSubSystem(missing) != 0) {
        failed |= missing;
        failure = SDL_GetError();
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
