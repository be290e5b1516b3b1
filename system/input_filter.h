// The polled input state and the filter that fills it.
//
// The platform layer turns every window-system event into a Win32-shaped
// message (message number, word parameter, long parameter) and hands it to
// InputFilter, which records key and button presses, typed characters, the
// mouse position and the wheel in fixed arrays. Everything above polls those
// arrays; nothing is event-driven. No window-system header is needed here.
#pragma once

#include <cstdint>

namespace korva::detail {

// Message numbers the filter looks at.
inline constexpr uint32_t WM_KEYDOWN = 0x100;
inline constexpr uint32_t WM_KEYUP = 0x101;
inline constexpr uint32_t WM_CHAR = 0x102;
inline constexpr uint32_t WM_SYSKEYDOWN = 0x104;
inline constexpr uint32_t WM_SYSKEYUP = 0x105;
inline constexpr uint32_t WM_SYSCHAR = 0x106;
inline constexpr uint32_t WM_MOUSEMOVE = 0x200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x201;
inline constexpr uint32_t WM_LBUTTONUP = 0x202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x204;
inline constexpr uint32_t WM_RBUTTONUP = 0x205;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x207;
inline constexpr uint32_t WM_MBUTTONUP = 0x208;
inline constexpr uint32_t WM_MOUSEWHEEL = 0x20A;

// Bits of a key message's long parameter.
inline constexpr uint32_t kKeyAltBit = 1u << 29;      // alt was held (context code)
inline constexpr uint32_t kKeyRepeatBit = 1u << 30;   // the key was already down
inline constexpr uint32_t kKeyReleaseBit = 1u << 31;  // the key is going up
inline constexpr uint32_t kKeyExtendedBit = 1u << 24;  // right control / right alt
inline constexpr int kKeyScanShift = 16;               // scan code in bits 16-23
inline constexpr uint32_t kLeftShiftScanCode = 0x2A;

// Virtual-key codes with a meaning of their own to the filter.
inline constexpr int VK_LBUTTON = 1;
inline constexpr int VK_RBUTTON = 2;
inline constexpr int VK_MBUTTON = 4;
inline constexpr int VK_SHIFT = 16;
inline constexpr int VK_CONTROL = 17;
inline constexpr int VK_MENU = 18;
inline constexpr int VK_LSHIFT = 160;
inline constexpr int VK_RSHIFT = 161;
inline constexpr int VK_LCONTROL = 162;
inline constexpr int VK_RCONTROL = 163;
inline constexpr int VK_LMENU = 164;
inline constexpr int VK_RMENU = 165;

inline constexpr int kWheelDelta = 120;  // one wheel notch

struct InputState {
    uint8_t hitCounts[256] = {};  // presses since last read, wrapping 255 -> 0
    uint8_t heldFlags[256] = {};  // 1 while down
    uint16_t charQueue[256] = {};
    uint32_t charGet = 0;  // free-running; slot = counter % 256
    uint32_t charPut = 0;
    int32_t mouseX = 0;
    int32_t mouseY = 0;
    int32_t mouseZ = 0;  // wheel position in notches
};

// The process-wide state the platform layer fills.
InputState& TheInputState();

// Records one message. Answers 1 when the message should go on to the window,
// 0 when it is swallowed (alt key messages).
int InputFilter(InputState& state, uint32_t message, uint32_t wParam, uint32_t lParam);

// Reads and clears the hit count of a key; 0 for codes outside 1-255.
int32_t TakeKeyHits(InputState& state, int32_t key);
// The held flag of a key; 0 for codes outside 1-255.
int32_t KeyHeldFlag(const InputState& state, int32_t key);
// The oldest queued character, removed from the queue, or 0 when empty.
int32_t TakeTypedChar(InputState& state);
// Clears every hit count and held flag and empties the character queue.
void ClearKeys(InputState& state);
// Axis 0 x, 1 y, 2 wheel; 0 for anything else.
int32_t MouseAxisValue(const InputState& state, int32_t axis);

}  // namespace korva::detail
