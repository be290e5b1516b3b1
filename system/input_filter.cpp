// The input filter: Win32-shaped messages in, polled key and mouse state out.
#include "system/input_filter.h"

#include <climits>

namespace korva::detail {
namespace {

bool ValidKey(int32_t key) { return key >= 1 && key <= 255; }

// A press counts once until the key is released again.
void Press(InputState& state, uint32_t key) {
    if (key < 1 || key > 255 || state.heldFlags[key]) return;
    ++state.hitCounts[key];  // uint8_t: wraps from 255 to 0
    state.heldFlags[key] = 1;
}

void Release(InputState& state, uint32_t key) {
    if (key <= 255) state.heldFlags[key] = 0;
}

// The side-specific index of a generic modifier, or 0 for other keys.
uint32_t SideKey(uint32_t key, uint32_t lParam) {
    switch (key) {
        case VK_SHIFT:
            return ((lParam >> kKeyScanShift) & 0x7F) == kLeftShiftScanCode ? VK_LSHIFT : VK_RSHIFT;
        case VK_CONTROL: return (lParam & kKeyExtendedBit) ? VK_RCONTROL : VK_LCONTROL;
        case VK_MENU: return (lParam & kKeyExtendedBit) ? VK_RMENU : VK_LMENU;
        default: return 0;
    }
}

}  // namespace

InputState& TheInputState() {
    static InputState state;
    return state;
}

int InputFilter(InputState& state, uint32_t message, uint32_t wParam, uint32_t lParam) {
    switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            if (lParam & kKeyRepeatBit) return 1;  // auto-repeat: not a new press
            Press(state, wParam);
            if (const uint32_t side = SideKey(wParam, lParam)) Press(state, side);
            return wParam == VK_MENU ? 0 : 1;
        }
        case WM_KEYUP:
        case WM_SYSKEYUP: {
            Release(state, wParam);
            if (const uint32_t side = SideKey(wParam, lParam)) Release(state, side);
            return wParam == VK_MENU ? 0 : 1;
        }
        case WM_CHAR:
        case WM_SYSCHAR:
            if (state.charPut - state.charGet <= 255) {
                state.charQueue[state.charPut % 256] = static_cast<uint16_t>(wParam);
                ++state.charPut;
            }
            return 1;
        case WM_MOUSEMOVE:
            state.mouseX = static_cast<int32_t>(lParam & 0xFFFF);
            state.mouseY = static_cast<int32_t>(lParam >> 16);
            return 1;
        case WM_LBUTTONDOWN: Press(state, VK_LBUTTON); return 1;
        case WM_RBUTTONDOWN: Press(state, VK_RBUTTON); return 1;
        case WM_MBUTTONDOWN: Press(state, VK_MBUTTON); return 1;
        case WM_LBUTTONUP: Release(state, VK_LBUTTON); return 1;
        case WM_RBUTTONUP: Release(state, VK_RBUTTON); return 1;
        case WM_MBUTTONUP: Release(state, VK_MBUTTON); return 1;
        case WM_MOUSEWHEEL: {
            const int16_t delta = static_cast<int16_t>(wParam >> 16);
            state.mouseZ += delta / kWheelDelta;  // truncates toward zero
            return 1;
        }
        case WM_SETFOCUS: state.focused = 1; return 1;
        case WM_KILLFOCUS: state.focused = 0; return 1;
        case WM_CLOSE:
            // Counted for the program to see; nothing closes the window but
            // the program.
            if (state.closeRequests < INT32_MAX) ++state.closeRequests;
            return 1;
        default: return 1;
    }
}

int32_t TakeKeyHits(InputState& state, int32_t key) {
    if (!ValidKey(key)) return 0;
    const int32_t hits = state.hitCounts[key];
    state.hitCounts[key] = 0;
    return hits;
}

int32_t KeyHeldFlag(const InputState& state, int32_t key) {
    return ValidKey(key) ? state.heldFlags[key] : 0;
}

int32_t TakeTypedChar(InputState& state) {
    if (state.charGet == state.charPut) return 0;
    return state.charQueue[state.charGet++ % 256];
}

void ClearKeys(InputState& state) {
    for (int i = 0; i < 256; ++i) {
        state.hitCounts[i] = 0;
        state.heldFlags[i] = 0;
    }
    state.charGet = 0;
    state.charPut = 0;
}

int32_t TakeCloseRequests(InputState& state) {
    const int32_t requests = state.closeRequests;
    state.closeRequests = 0;
    return requests;
}

int32_t MouseAxisValue(const InputState& state, int32_t axis) {
    switch (axis) {
        case 0: return state.mouseX;
        case 1: return state.mouseY;
        case 2: return state.mouseZ;
        default: return 0;
    }
}

}  // namespace korva::detail
