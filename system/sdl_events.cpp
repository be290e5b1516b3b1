// SDL events turned into the Win32-shaped messages of the input filter.
#include "system/sdl_events.h"

#include <SDL.h>

#include <cstdlib>

#include <array>
#include <chrono>
#include <thread>

#include "korvagl/app/string.h"
#include "sdl/sdl_init.h"
#include "system/gamepad_native.h"
#include "system/input_tap.h"

namespace korva::detail {
namespace {

struct KeyEntry {
    SDL_Scancode scancode;
    uint8_t vk;
    uint8_t scan;
    bool extended;
};

// Every key with a Windows counterpart: virtual-key code and set-1 scan code,
// punctuation as on a US layout. Left and right modifiers share the generic
// code and differ by scan code (shift) or the extended bit (control, alt).
constexpr KeyEntry kKeys[] = {
    {SDL_SCANCODE_A, 'A', 0x1E, false}, {SDL_SCANCODE_B, 'B', 0x30, false},
    {SDL_SCANCODE_C, 'C', 0x2E, false}, {SDL_SCANCODE_D, 'D', 0x20, false},
    {SDL_SCANCODE_E, 'E', 0x12, false}, {SDL_SCANCODE_F, 'F', 0x21, false},
    {SDL_SCANCODE_G, 'G', 0x22, false}, {SDL_SCANCODE_H, 'H', 0x23, false},
    {SDL_SCANCODE_I, 'I', 0x17, false}, {SDL_SCANCODE_J, 'J', 0x24, false},
    {SDL_SCANCODE_K, 'K', 0x25, false}, {SDL_SCANCODE_L, 'L', 0x26, false},
    {SDL_SCANCODE_M, 'M', 0x32, false}, {SDL_SCANCODE_N, 'N', 0x31, false},
    {SDL_SCANCODE_O, 'O', 0x18, false}, {SDL_SCANCODE_P, 'P', 0x19, false},
    {SDL_SCANCODE_Q, 'Q', 0x10, false}, {SDL_SCANCODE_R, 'R', 0x13, false},
    {SDL_SCANCODE_S, 'S', 0x1F, false}, {SDL_SCANCODE_T, 'T', 0x14, false},
    {SDL_SCANCODE_U, 'U', 0x16, false}, {SDL_SCANCODE_V, 'V', 0x2F, false},
    {SDL_SCANCODE_W, 'W', 0x11, false}, {SDL_SCANCODE_X, 'X', 0x2D, false},
    {SDL_SCANCODE_Y, 'Y', 0x15, false}, {SDL_SCANCODE_Z, 'Z', 0x2C, false},
    {SDL_SCANCODE_1, '1', 0x02, false}, {SDL_SCANCODE_2, '2', 0x03, false},
    {SDL_SCANCODE_3, '3', 0x04, false}, {SDL_SCANCODE_4, '4', 0x05, false},
    {SDL_SCANCODE_5, '5', 0x06, false}, {SDL_SCANCODE_6, '6', 0x07, false},
    {SDL_SCANCODE_7, '7', 0x08, false}, {SDL_SCANCODE_8, '8', 0x09, false},
    {SDL_SCANCODE_9, '9', 0x0A, false}, {SDL_SCANCODE_0, '0', 0x0B, false},
    {SDL_SCANCODE_RETURN, 0x0D, 0x1C, false}, {SDL_SCANCODE_ESCAPE, 0x1B, 0x01, false},
    {SDL_SCANCODE_BACKSPACE, 0x08, 0x0E, false}, {SDL_SCANCODE_TAB, 0x09, 0x0F, false},
    {SDL_SCANCODE_SPACE, 0x20, 0x39, false},
    {SDL_SCANCODE_MINUS, 0xBD, 0x0C, false}, {SDL_SCANCODE_EQUALS, 0xBB, 0x0D, false},
    {SDL_SCANCODE_LEFTBRACKET, 0xDB, 0x1A, false}, {SDL_SCANCODE_RIGHTBRACKET, 0xDD, 0x1B, false},
    {SDL_SCANCODE_BACKSLASH, 0xDC, 0x2B, false}, {SDL_SCANCODE_NONUSHASH, 0xDC, 0x2B, false},
    {SDL_SCANCODE_SEMICOLON, 0xBA, 0x27, false}, {SDL_SCANCODE_APOSTROPHE, 0xDE, 0x28, false},
    {SDL_SCANCODE_GRAVE, 0xC0, 0x29, false}, {SDL_SCANCODE_COMMA, 0xBC, 0x33, false},
    {SDL_SCANCODE_PERIOD, 0xBE, 0x34, false}, {SDL_SCANCODE_SLASH, 0xBF, 0x35, false},
    {SDL_SCANCODE_NONUSBACKSLASH, 0xE2, 0x56, false},
    {SDL_SCANCODE_CAPSLOCK, 0x14, 0x3A, false},
    {SDL_SCANCODE_F1, 0x70, 0x3B, false}, {SDL_SCANCODE_F2, 0x71, 0x3C, false},
    {SDL_SCANCODE_F3, 0x72, 0x3D, false}, {SDL_SCANCODE_F4, 0x73, 0x3E, false},
    {SDL_SCANCODE_F5, 0x74, 0x3F, false}, {SDL_SCANCODE_F6, 0x75, 0x40, false},
    {SDL_SCANCODE_F7, 0x76, 0x41, false}, {SDL_SCANCODE_F8, 0x77, 0x42, false},
    {SDL_SCANCODE_F9, 0x78, 0x43, false}, {SDL_SCANCODE_F10, 0x79, 0x44, false},
    {SDL_SCANCODE_F11, 0x7A, 0x57, false}, {SDL_SCANCODE_F12, 0x7B, 0x58, false},
    {SDL_SCANCODE_F13, 0x7C, 0x64, false}, {SDL_SCANCODE_F14, 0x7D, 0x65, false},
    {SDL_SCANCODE_F15, 0x7E, 0x66, false}, {SDL_SCANCODE_F16, 0x7F, 0x67, false},
    {SDL_SCANCODE_F17, 0x80, 0x68, false}, {SDL_SCANCODE_F18, 0x81, 0x69, false},
    {SDL_SCANCODE_F19, 0x82, 0x6A, false}, {SDL_SCANCODE_F20, 0x83, 0x6B, false},
    {SDL_SCANCODE_F21, 0x84, 0x6C, false}, {SDL_SCANCODE_F22, 0x85, 0x6D, false},
    {SDL_SCANCODE_F23, 0x86, 0x6E, false}, {SDL_SCANCODE_F24, 0x87, 0x76, false},
    {SDL_SCANCODE_PRINTSCREEN, 0x2C, 0x37, true}, {SDL_SCANCODE_SCROLLLOCK, 0x91, 0x46, false},
    {SDL_SCANCODE_PAUSE, 0x13, 0x45, false},
    {SDL_SCANCODE_INSERT, 0x2D, 0x52, true}, {SDL_SCANCODE_DELETE, 0x2E, 0x53, true},
    {SDL_SCANCODE_HOME, 0x24, 0x47, true}, {SDL_SCANCODE_END, 0x23, 0x4F, true},
    {SDL_SCANCODE_PAGEUP, 0x21, 0x49, true}, {SDL_SCANCODE_PAGEDOWN, 0x22, 0x51, true},
    {SDL_SCANCODE_LEFT, 0x25, 0x4B, true}, {SDL_SCANCODE_UP, 0x26, 0x48, true},
    {SDL_SCANCODE_RIGHT, 0x27, 0x4D, true}, {SDL_SCANCODE_DOWN, 0x28, 0x50, true},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x90, 0x45, true},
    {SDL_SCANCODE_KP_DIVIDE, 0x6F, 0x35, true}, {SDL_SCANCODE_KP_MULTIPLY, 0x6A, 0x37, false},
    {SDL_SCANCODE_KP_MINUS, 0x6D, 0x4A, false}, {SDL_SCANCODE_KP_PLUS, 0x6B, 0x4E, false},
    {SDL_SCANCODE_KP_ENTER, 0x0D, 0x1C, true},
    {SDL_SCANCODE_KP_1, 0x61, 0x4F, false}, {SDL_SCANCODE_KP_2, 0x62, 0x50, false},
    {SDL_SCANCODE_KP_3, 0x63, 0x51, false}, {SDL_SCANCODE_KP_4, 0x64, 0x4B, false},
    {SDL_SCANCODE_KP_5, 0x65, 0x4C, false}, {SDL_SCANCODE_KP_6, 0x66, 0x4D, false},
    {SDL_SCANCODE_KP_7, 0x67, 0x47, false}, {SDL_SCANCODE_KP_8, 0x68, 0x48, false},
    {SDL_SCANCODE_KP_9, 0x69, 0x49, false}, {SDL_SCANCODE_KP_0, 0x60, 0x52, false},
    {SDL_SCANCODE_KP_PERIOD, 0x6E, 0x53, false},
    {SDL_SCANCODE_KP_COMMA, 0x6C, 0x7E, false}, {SDL_SCANCODE_SEPARATOR, 0x6C, 0x7E, false},
    {SDL_SCANCODE_CLEAR, 0x0C, 0x4C, false}, {SDL_SCANCODE_CANCEL, 0x03, 0x46, true},
    {SDL_SCANCODE_APPLICATION, 0x5D, 0x5D, true}, {SDL_SCANCODE_MENU, 0x5D, 0x5D, true},
    {SDL_SCANCODE_EXECUTE, 0x2B, 0x00, false}, {SDL_SCANCODE_HELP, 0x2F, 0x63, false},
    {SDL_SCANCODE_SELECT, 0x29, 0x00, false}, {SDL_SCANCODE_SLEEP, 0x5F, 0x5F, true},
    {SDL_SCANCODE_LCTRL, 0x11, 0x1D, false}, {SDL_SCANCODE_RCTRL, 0x11, 0x1D, true},
    {SDL_SCANCODE_LSHIFT, 0x10, 0x2A, false}, {SDL_SCANCODE_RSHIFT, 0x10, 0x36, false},
    {SDL_SCANCODE_LALT, 0x12, 0x38, false}, {SDL_SCANCODE_RALT, 0x12, 0x38, true},
    {SDL_SCANCODE_LGUI, 0x5B, 0x5B, true}, {SDL_SCANCODE_RGUI, 0x5C, 0x5C, true},
    {SDL_SCANCODE_MUTE, 0xAD, 0x20, true}, {SDL_SCANCODE_VOLUMEDOWN, 0xAE, 0x2E, true},
    {SDL_SCANCODE_VOLUMEUP, 0xAF, 0x30, true},
    {SDL_SCANCODE_AUDIONEXT, 0xB0, 0x19, true}, {SDL_SCANCODE_AUDIOPREV, 0xB1, 0x10, true},
    {SDL_SCANCODE_AUDIOSTOP, 0xB2, 0x24, true}, {SDL_SCANCODE_AUDIOPLAY, 0xB3, 0x22, true},
    {SDL_SCANCODE_AUDIOMUTE, 0xAD, 0x20, true}, {SDL_SCANCODE_MEDIASELECT, 0xB5, 0x6D, true},
    {SDL_SCANCODE_MAIL, 0xB4, 0x6C, true}, {SDL_SCANCODE_CALCULATOR, 0xB7, 0x21, true},
    {SDL_SCANCODE_COMPUTER, 0xB6, 0x6B, true}, {SDL_SCANCODE_AC_SEARCH, 0xAA, 0x65, true},
    {SDL_SCANCODE_AC_HOME, 0xAC, 0x32, true}, {SDL_SCANCODE_AC_BACK, 0xA6, 0x6A, true},
    {SDL_SCANCODE_AC_FORWARD, 0xA7, 0x69, true}, {SDL_SCANCODE_AC_STOP, 0xA9, 0x68, true},
    {SDL_SCANCODE_AC_REFRESH, 0xA8, 0x67, true}, {SDL_SCANCODE_AC_BOOKMARKS, 0xAB, 0x66, true},
};

// The table above, indexed by scancode.
const std::array<WinKey, SDL_NUM_SCANCODES>& KeyTable() {
    static const auto table = [] {
        std::array<WinKey, SDL_NUM_SCANCODES> t{};
        for (const KeyEntry& k : kKeys) t[k.scancode] = {k.vk, k.scan, k.extended};
        return t;
    }();
    return table;
}

// Keypad keys without num lock: Windows reports the navigation key (not extended).
uint8_t KeypadNavigationKey(SDL_Scancode scancode) {
    switch (scancode) {
        case SDL_SCANCODE_KP_0: return 0x2D;       // insert
        case SDL_SCANCODE_KP_PERIOD: return 0x2E;  // delete
        case SDL_SCANCODE_KP_1: return 0x23;       // end
        case SDL_SCANCODE_KP_2: return 0x28;       // down
        case SDL_SCANCODE_KP_3: return 0x22;       // page down
        case SDL_SCANCODE_KP_4: return 0x25;       // left
        case SDL_SCANCODE_KP_5: return 0x0C;       // clear
        case SDL_SCANCODE_KP_6: return 0x27;       // right
        case SDL_SCANCODE_KP_7: return 0x24;       // home
        case SDL_SCANCODE_KP_8: return 0x26;       // up
        case SDL_SCANCODE_KP_9: return 0x21;       // page up
        default: return 0;
    }
}

// The character a Windows key press types besides text input.
uint16_t ControlCharacter(uint8_t vk) {
    switch (vk) {
        case 0x08: case 0x09: case 0x0D: case 0x1B: return vk;  // backspace, tab, enter, escape
        default: return 0;
    }
}

void Filter(InputState& state, uint32_t message, uint32_t wParam, uint32_t lParam) {
    InputFilter(state, message, wParam, lParam);
}

void DeliverKey(InputState& state, const SDL_KeyboardEvent& key) {
    const WinKey win = WinKeyForScancode(key.keysym.scancode, (key.keysym.mod & KMOD_NUM) != 0);
    if (win.vk == 0) return;
    const bool down = key.type == SDL_KEYDOWN;
    // Alt combinations (without control) and F10 are "system" keys on Windows.
    const bool alt = (key.keysym.mod & KMOD_ALT) || win.vk == VK_MENU;
    const bool system = (alt && !(key.keysym.mod & KMOD_CTRL)) || win.vk == 0x79;
    uint32_t lParam = 1u | (uint32_t{win.scan} << kKeyScanShift);
    if (win.extended) lParam |= kKeyExtendedBit;
    if (alt) lParam |= kKeyAltBit;
    if (down && key.repeat) lParam |= kKeyRepeatBit;
    if (!down) lParam |= kKeyRepeatBit | kKeyReleaseBit;
    const uint32_t message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    Filter(state, message, win.vk, lParam);
    if (down) {
        if (const uint16_t c = ControlCharacter(win.vk)) Filter(state, WM_CHAR, c, lParam);
    }
}

void DeliverText(InputState& state, const char* utf8) {
    const String text = String::FromUtf8(utf8);
    for (int32_t i = 0; i < text.Length(); ++i) Filter(state, WM_CHAR, text[i], 1);
}

uint32_t PointWord(int32_t x, int32_t y) {
    return (static_cast<uint32_t>(x) & 0xFFFF) | ((static_cast<uint32_t>(y) & 0xFFFF) << 16);
}

void DeliverButton(InputState& state, const SDL_MouseButtonEvent& button) {
    const bool down = button.type == SDL_MOUSEBUTTONDOWN;
    uint32_t message;
    switch (button.button) {
        case SDL_BUTTON_LEFT: message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
        case SDL_BUTTON_RIGHT: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
        case SDL_BUTTON_MIDDLE: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
        default: return;
    }
    Filter(state, message, 0, PointWord(button.x, button.y));
}

void DeliverWheel(InputState& state, const SDL_MouseWheelEvent& wheel) {
    int64_t notches = wheel.y;
    if (wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
    // The delta is a signed 16-bit word: a large scroll goes out in pieces.
    constexpr int64_t kMost = 32767 / kWheelDelta;
    while (notches != 0) {
        const int64_t part = notches > kMost ? kMost : (notches < -kMost ? -kMost : notches);
        const auto delta = static_cast<uint16_t>(static_cast<int16_t>(part * kWheelDelta));
        Filter(state, WM_MOUSEWHEEL, uint32_t{delta} << 16, 0);
        notches -= part;
    }
}

// The window events the polled state keeps: close requests and the focus.
void DeliverWindowEvent(InputState& state, const SDL_WindowEvent& window) {
    switch (window.event) {
        case SDL_WINDOWEVENT_CLOSE: Filter(state, WM_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: Filter(state, WM_SETFOCUS, 0, 0); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: Filter(state, WM_KILLFOCUS, 0, 0); break;
        default: break;
    }
}

void Deliver(InputState& state, const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: DeliverKey(state, event.key); break;
        case SDL_TEXTINPUT: DeliverText(state, event.text.text); break;
        case SDL_MOUSEMOTION:
            Filter(state, WM_MOUSEMOVE, 0, PointWord(event.motion.x, event.motion.y));
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: DeliverButton(state, event.button); break;
        case SDL_MOUSEWHEEL: DeliverWheel(state, event.wheel); break;
        case SDL_WINDOWEVENT: DeliverWindowEvent(state, event.window); break;
        // Pads arriving and leaving, and the state of mapped ones. Raw
        // joystick events carry nothing: joysticks are read directly.
        case SDL_JOYDEVICEADDED:
        case SDL_JOYDEVICEREMOVED:
        case SDL_CONTROLLERDEVICEADDED:
        case SDL_CONTROLLERDEVICEREMOVED:
        case SDL_CONTROLLERDEVICEREMAPPED:
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
        case SDL_CONTROLLERAXISMOTION: DeliverGamepadEvent(event); break;
        // SDL_QUIT follows the close request of the last window and is not
        // counted again.
        default: break;
    }
}

// True when SDL's event queue runs, starting video (which brings the events)
// the first time. With no display to talk to, only the event queue starts:
// probing for one would find nothing and some probes print to the terminal.
// Once video failed, another layer may still start it.
bool EventsRunning() {
    static bool tried = false;
    if (!tried) {
        tried = true;
        StartSDLPart(DisplayConfigured() ? SDL_INIT_VIDEO : SDL_INIT_EVENTS);
    }
    return SDL_WasInit(SDL_INIT_EVENTS) != 0;
}

}  // namespace

WinKey WinKeyForScancode(int scancode, bool numLock) {
    if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return {};
    WinKey key = KeyTable()[scancode];
    if (!numLock) {
        if (const uint8_t nav = KeypadNavigationKey(static_cast<SDL_Scancode>(scancode))) key.vk = nav;
    }
    return key;
}

void PumpSDLEvents(InputState& state) {
    const bool running = EventsRunning();
    if (running) UpdateGamepadDevices();
    if (InputTapActive()) {
        TapPump(state, Deliver, running);
        return;
    }
    if (!running) return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) Deliver(state, event);
}

void WaitSDLEvents(InputState& state) {
    if (TapReplaying()) {
        TapReplayWait();  // the recording has input waiting, or the wait fails
        PumpSDLEvents(state);
        return;
    }
    SDL_Event event;
    // While recording, the event stays queued (a null event) so that the
    // pump records it with everything else.
    SDL_Event* const take = InputTapActive() ? nullptr : &event;
    if (EventsRunning() && GamepadsRunning()) {
        // SDL reads the pads only when asked: wake in slices to read them,
        // so that a pad's press ends the wait too.
        constexpr int kSliceMs = 4;
        while (!SDL_WaitEventTimeout(take, kSliceMs)) UpdateGamepadDevices();
        if (take) Deliver(state, event);
    } else if (EventsRunning() && SDL_WaitEvent(take)) {
        if (take) Deliver(state, event);
    } else {
        // No event can arrive: wait a little rather than spin.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    PumpSDLEvents(state);
}

int64_t SDLMicroseconds() {
    static const Uint64 start = SDL_GetPerformanceCounter();
    static const Uint64 frequency = SDL_GetPerformanceFrequency();
    const Uint64 ticks = SDL_GetPerformanceCounter() - start;
    // Whole seconds first, so that the product cannot overflow.
    return static_cast<int64_t>(ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency);
}

int32_t SDLTicks() { return static_cast<int32_t>(static_cast<uint32_t>(SDLMicroseconds() / 1000)); }

void SDLDelay(int32_t ms) {
    if (ms > 0) SDL_Delay(static_cast<Uint32>(ms));
}

void SDLPlaceMouse(int32_t x, int32_t y) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    if (SDL_Window* active = SDL_GetKeyboardFocus()) SDL_WarpMouseInWindow(active, x, y);
}

}  // namespace korva::detail
