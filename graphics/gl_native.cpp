// The display over SDL2: window, GL context, display modes, swaps, cursor and
// the debug-text display lists.
#include "graphics/gl_native.h"

#include <SDL.h>

#include <cstdlib>

#include "graphics/gl_calls.h"
#include "graphics/korvafont_data.h"
#include "sdl/sdl_init.h"

namespace korva::detail {

namespace gl {
uint32_t callCounts[kFnCount] = {};

uint64_t TotalCalls() {
    uint64_t total = 0;
    for (uint32_t count : callCounts) total += count;
    return total;
}

void ResetCallCounts() {
    for (uint32_t& count : callCounts) count = 0;
}
}  // namespace gl

bool glOpen = false;
uint32_t glGeneration = 0;

namespace {

SDL_Window* glWindow = nullptr;
SDL_GLContext glContext = nullptr;
uint32_t textLists = 0;  // per context: the lists die with it

// A display is configured: starting SDL's video can find one. Without it
// SDL would probe every driver (and some print while doing so).
bool DisplayConfigured() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("SDL_VIDEODRIVER");
}

// Starts SDL's video; the first success also registers the exit handler,
// after SDL's own, so that the window closes before SDL shuts down.
bool StartVideo() {
    if (!StartSDLPart(SDL_INIT_VIDEO)) return false;
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(CloseGLGraphics);
    }
    return true;
}

// The listed mode of exactly width x height, at `hertz` unless it is 0, of
// `depth` bits per pixel when there is one (X servers cannot change their
// depth, so depth is a preference), else the first listed (SDL lists the
// deepest and fastest first).
bool FindMode(int32_t width, int32_t height, int32_t depth, int32_t hertz, SDL_DisplayMode* found) {
    bool any = false;
    bool depthMatched = false;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count && !depthMatched; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        const auto bits = static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format));
        if (mode.w != width || mode.h != height || bits < 16) continue;
        if (hertz != 0 && mode.refresh_rate != hertz) continue;
        depthMatched = bits == depth;
        if (!any || depthMatched) *found = mode;
        any = true;
    }
    return any;
}

void SetPixelFormat(int32_t flags) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (flags & kOpenBackBuffer) ? 1 : 0);
    // One bit each: the nearest format, in practice the desktop's depth.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, (flags & kOpenAlphaBuffer) ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, (flags & kOpenDepthBuffer) ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, (flags & kOpenStencilBuffer) ? 1 : 0);
    const int accum = (flags & kOpenAccumBuffer) ? 1 : 0;
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum);
}

SDL_Window* CreateWindowed(int32_t width, int32_t height) {
    // SDL's size is the client area's.
    return SDL_CreateWindow("KorvaGL Window", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                            SDL_WINDOW_OPENGL);
}

SDL_Window* CreateFullScreen(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
    // Leave the mode and minimise on focus loss; SDL switches back when the
    // window is restored.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "1");
    SDL_DisplayMode mode;
    const bool listed = FindMode(width, height, depth, hertz, &mode) ||
                        (hertz != 0 && FindMode(width, height, depth, 0, &mode));
    // Without such a mode the switch fails: a topmost borderless window of
    // that size on the desktop mode, as the display would be left.
    const uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN |
                           (listed ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP);
    SDL_Window* window = SDL_CreateWindow("KorvaGL Application", 0, 0, width, height, flags);
    if (!window) return nullptr;
    if (listed) SDL_SetWindowDisplayMode(window, &mode);
    SDL_ShowWindow(window);
    return window;
}

// Font rows bottom row first, leftmost pixel in the high bit, as glBitmap takes them.
void BuildTextLists(uint32_t base) {
    gl::PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl::PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLubyte rows[16];
    for (int code = 0; code < 256; ++code) {
        for (int row = 0; row < 16; ++row) {
            uint8_t bits = 0;
            if (code >= 32 && code < 128) {
                const uint8_t source = kKorvaFontData[row * 96 + (code - 32)];
                for (int k = 0; k < 8; ++k) {
                    if (source & (1u << k)) bits |= static_cast<uint8_t>(0x80u >> k);
                }
            }
            rows[15 - row] = bits;
        }
        gl::NewList(base + code, GL_COMPILE);
        gl::Bitmap(8, 16, 0.0f, 0.0f, 8.0f, 0.0f, rows);
        gl::EndList();
    }
    gl::PixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

}  // namespace

int32_t OpenGLGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
    CloseGLGraphics();
    if (width < 1 || height < 1 || !StartVideo()) return 0;
    SetPixelFormat(flags);
    SDL_Window* window = (flags & kOpenFullScreen) ? CreateFullScreen(width, height, depth, hertz)
                                                   : CreateWindowed(width, height);
    if (!window) return 0;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        SDL_DestroyWindow(window);
        return 0;
    }
    if (SDL_GL_MakeCurrent(window, context) != 0) {
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        return 0;
    }
    glWindow = window;
    glContext = context;
    glOpen = true;
    ++glGeneration;
    SetSwapInterval(0);
    return 1;
}

void CloseGLGraphics() {
    if (!glOpen) return;
    glOpen = false;
    textLists = 0;
    SDL_GL_MakeCurrent(glWindow, nullptr);
    SDL_GL_DeleteContext(glContext);
    // Destroying a full-screen window gives the display its desktop mode back.
    SDL_DestroyWindow(glWindow);
    glContext = nullptr;
    glWindow = nullptr;
}

int32_t EnumGLModes(int32_t* buffer, int32_t bytes) {
    if (!buffer || bytes < 16) return 0;
    if (!SDL_WasInit(SDL_INIT_VIDEO) && (!DisplayConfigured() || !StartVideo())) return 0;
    int32_t written = 0;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count && (written + 1) * 16 <= bytes; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) break;
        const int32_t bits = static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format));
        if (bits <= 15) continue;
        int32_t* record = buffer + written * 4;
        record[0] = mode.w;
        record[1] = mode.h;
        record[2] = bits;
        record[3] = mode.refresh_rate;
        ++written;
    }
    return written;
}

int32_t SetSwapInterval(int32_t interval) {
    if (!glOpen) return 0;
    return SDL_GL_SetSwapInterval(interval) == 0 ? 1 : 0;
}

void SwapGLBuffers() {
    if (glOpen) SDL_GL_SwapWindow(glWindow);
}

void ShowGLCursor(int32_t show) {
    // SDL keeps a flag, not a counter: shown or hidden however often it is called.
    if (glOpen) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

uint32_t GetTextLists() {
    if (!glOpen) return 0;
    if (textLists == 0) {
        textLists = gl::GenLists(256);
        if (textLists != 0) BuildTextLists(textLists);
    }
    return textLists;
}

}  // namespace korva::detail
