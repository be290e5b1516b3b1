// The display over SDL2: window, GL context, display modes, swaps, cursor and
// the debug-text display lists.
#include "graphics/gl_native.h"

#include <SDL.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/gl_calls.h"
#include "graphics/korvafont_data.h"
#include "korvagl/app/last_error.h"
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
bool glCore = false;
uint32_t glContextSerial = 0;
uint32_t glGeneration = 0;

namespace {

SDL_Window* glWindow = nullptr;
SDL_GLContext glContext = nullptr;
// The root context on its hidden window (see MakeRootContextCurrent).
SDL_Window* rootWindow = nullptr;
SDL_GLContext rootContext = nullptr;
uint32_t rootGeneration = 0;  // the object set of the root
uint32_t generationsMade = 0;
uint32_t textLists = 0;  // shared like textures: valid while glGeneration stays
uint32_t textListsGeneration = 0;

// The title SetWindowTitle gave; until then each kind of display has its own.
std::string windowTitle;
bool windowTitled = false;

const char* TitleOr(const char* standard) { return windowTitled ? windowTitle.c_str() : standard; }

// X converts window titles through the C library's character locale, and in
// the "C" locale, where programs start, it refuses every character beyond
// ASCII: SDL would then leave the title as it was. For the moment a title
// goes to SDL, a UTF-8 character locale is taken (main thread only, as the
// whole display is).
class TitleLocale {
public:
    explicit TitleLocale(const char* title) {
        bool ascii = true;
        for (const char* c = title; *c; ++c) ascii = ascii && static_cast<unsigned char>(*c) < 0x80;
        const char* now = std::setlocale(LC_CTYPE, nullptr);
        if (ascii || !now || std::strstr(now, "UTF-8") || std::strstr(now, "utf8")) return;
        saved_ = now;
        if (!std::setlocale(LC_CTYPE, "C.UTF-8")) saved_.clear();
    }
    ~TitleLocale() {
        if (!saved_.empty()) std::setlocale(LC_CTYPE, saved_.c_str());
    }
    TitleLocale(const TitleLocale&) = delete;
    TitleLocale& operator=(const TitleLocale&) = delete;

private:
    std::string saved_;
};

// Records why the display could not open, with SDL's own words.
int32_t OpenFailure(int32_t width, int32_t height, int32_t flags, const char* what) {
    const std::string sdl = SDL_GetError();
    std::string reason = "cannot open ";
    reason += (flags & kOpenFullScreen) ? "the full screen at " : "a window of ";
    reason += std::to_string(width) + " x " + std::to_string(height) + ": " + what;
    if (!sdl.empty()) reason += ": " + sdl;
    SetLastErrorText(String::FromUtf8(reason));
    return 0;
}

// At exit: the display, then the root context and its window.
void CloseAllGL() {
    CloseGLGraphics();
    if (rootContext) {
        SDL_GL_MakeCurrent(rootWindow, nullptr);
        SDL_GL_DeleteContext(rootContext);
        SDL_DestroyWindow(rootWindow);
        rootContext = nullptr;
        rootWindow = nullptr;
    }
}

// Starts SDL's video; the first success also registers the exit handler,
// after SDL's own, so that the window closes before SDL shuts down.
bool StartVideo() {
    if (!StartSDLPart(SDL_INIT_VIDEO)) return false;
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(CloseAllGL);
    }
    return true;
}

// The process's first GL context, on a hidden 1x1 window that lives until
// exit. Every display's context shares its objects (textures, display lists)
// with it, so they outlive the display they were made in. True when it
// exists and is current.
bool MakeRootContextCurrent() {
    if (!rootContext) {
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window) return false;
        SDL_GLContext context = SDL_GL_CreateContext(window);
        if (!context) {
            SDL_DestroyWindow(window);
            return false;
        }
        rootWindow = window;
        rootContext = context;
        rootGeneration = ++generationsMade;
    }
    return SDL_GL_MakeCurrent(rootWindow, rootContext) == 0;
}

// The display's context, sharing the root's objects when there is a root.
// Without one (or when the GL refuses to share) the context has objects of
// its own, and those of earlier displays are out of reach.
SDL_GLContext CreateDisplayContext(SDL_Window* window, bool shared) {
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, shared ? 1 : 0);
    SDL_GLContext context = shared ? SDL_GL_CreateContext(window) : nullptr;
    if (context) {
        glGeneration = rootGeneration;
    } else {
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
        context = SDL_GL_CreateContext(window);
        if (context) glGeneration = ++generationsMade;
    }
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    return context;
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

// The pixel format of the open flags, and the profile: 3.3 core or
// compatibility (which the GL 1.1 driver draws with).
void SetPixelFormat(int32_t flags, bool core) {
    SDL_GL_ResetAttributes();
    if (core) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    } else {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    }
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
    const TitleLocale locale(TitleOr("KorvaGL Window"));
    return SDL_CreateWindow(TitleOr("KorvaGL Window"), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
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
    const TitleLocale locale(TitleOr("KorvaGL Application"));
    SDL_Window* window = SDL_CreateWindow(TitleOr("KorvaGL Application"), 0, 0, width, height, flags);
    if (!window) return nullptr;
    if (listed) SDL_SetWindowDisplayMode(window, &mode);
    SDL_ShowWindow(window);
    return window;
}

// Font rows bottom row first, leftmost pixel in the high bit, as glBitmap
// takes them; the second 256 lists top row first, for render targets (whose
// top row is GL's row 0).
void BuildTextLists(uint32_t base) {
    gl::PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl::PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLubyte rows[16];
    for (int code = 0; code < 512; ++code) {
        const bool topFirst = code >= 256;
        for (int row = 0; row < 16; ++row) {
            uint8_t bits = 0;
            const int c = code & 255;
            if (c >= 32 && c < 128) {
                const uint8_t source = kKorvaFontData[row * 96 + (c - 32)];
                for (int k = 0; k < 8; ++k) {
                    if (source & (1u << k)) bits |= static_cast<uint8_t>(0x80u >> k);
                }
            }
            rows[topFirst ? row : 15 - row] = bits;
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
    SDL_ClearError();
    if (width < 1 || height < 1) return OpenFailure(width, height, flags, "no such size");
    // Without a display SDL would fall back to a window nobody can see.
    if (!DisplayConfigured()) {
        return OpenFailure(width, height, flags, "no display (DISPLAY and WAYLAND_DISPLAY are unset)");
    }
    if (!StartVideo()) return OpenFailure(width, height, flags, "SDL video would not start");
    const bool shared = MakeRootContextCurrent();
    bool core = (flags & kOpenCoreProfile) != 0;
    SetPixelFormat(flags, core);
    SDL_Window* window = (flags & kOpenFullScreen) ? CreateFullScreen(width, height, depth, hertz)
                                                   : CreateWindowed(width, height);
    if (!window) return OpenFailure(width, height, flags, "SDL made no window");
    SDL_GLContext context = CreateDisplayContext(window, shared);
    if (!context && core) {
        // No 3.3 core profile here: the same window with a compatibility context.
        core = false;
        if (shared) SDL_GL_MakeCurrent(rootWindow, rootContext);
        SetPixelFormat(flags, false);
        context = CreateDisplayContext(window, shared);
    }
    if (!context) {
        OpenFailure(width, height, flags, "SDL made no OpenGL context");
        SDL_DestroyWindow(window);
        return 0;
    }
    if (SDL_GL_MakeCurrent(window, context) != 0) {
        OpenFailure(width, height, flags, "the OpenGL context cannot be made current");
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        return 0;
    }
    glWindow = window;
    glContext = context;
    glOpen = true;
    glCore = core;
    ++glContextSerial;
    SetSwapInterval(0);
    return 1;
}

void SetGLWindowTitle(const std::string& utf8) {
    windowTitle = utf8;
    windowTitled = true;
    if (!glOpen) return;
    const TitleLocale locale(windowTitle.c_str());
    SDL_SetWindowTitle(glWindow, windowTitle.c_str());
    // X may keep the change in its output buffer until the next event pump;
    // pumping sends it now. Events stay queued for the input layer.
    SDL_PumpEvents();
}

void CloseGLGraphics() {
    if (!glOpen) return;
    glOpen = false;
    glCore = false;
    // The root stays current: the objects it shares live on.
    if (!rootContext || SDL_GL_MakeCurrent(rootWindow, rootContext) != 0) SDL_GL_MakeCurrent(glWindow, nullptr);
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
    if (textLists == 0 || textListsGeneration != glGeneration) {
        textListsGeneration = glGeneration;
        textLists = gl::GenLists(512);
        if (textLists != 0) BuildTextLists(textLists);
    }
    return textLists;
}

}  // namespace korva::detail
