// KorvaGL: names for key codes and mouse buttons.
//
// Key codes are Windows virtual-key codes; KeyWasHit, KeyIsDown and
// WaitForKey take and give them, and plain numbers keep working
// (KeyWasHit(KEY_ESCAPE) is KeyWasHit(27)). Every code the keyboard can
// produce has a name here; docs/system.md lists them with the key each one
// comes from. Letter and digit keys follow the physical key position of a US
// layout: KEY_Q is the key left of W whatever the layout prints on it;
// punctuation keys (KEY_OEM_...) are named by what they type on a US layout.
// The typed characters themselves come from NextTypedChar, which follows the
// user's layout.
#pragma once

#include <cstdint>

namespace korva {

inline constexpr int32_t KEY_LBUTTON = 1;  // left mouse button (KeyWasHit; MouseWasHit takes MOUSE_LEFT)
inline constexpr int32_t KEY_RBUTTON = 2;  // right mouse button
inline constexpr int32_t KEY_CANCEL = 3;
inline constexpr int32_t KEY_MBUTTON = 4;  // middle mouse button
inline constexpr int32_t KEY_BACK = 8;  // Backspace
inline constexpr int32_t KEY_TAB = 9;
inline constexpr int32_t KEY_CLEAR = 12;  // keypad 5 without num lock
inline constexpr int32_t KEY_RETURN = 13;  // Enter, both
inline constexpr int32_t KEY_SHIFT = 16;  // either shift
inline constexpr int32_t KEY_CONTROL = 17;  // either control
inline constexpr int32_t KEY_MENU = 18;  // either alt
inline constexpr int32_t KEY_PAUSE = 19;
inline constexpr int32_t KEY_CAPITAL = 20;  // Caps Lock
inline constexpr int32_t KEY_ESCAPE = 27;
inline constexpr int32_t KEY_SPACE = 32;
inline constexpr int32_t KEY_PRIOR = 33;  // Page Up
inline constexpr int32_t KEY_NEXT = 34;  // Page Down
inline constexpr int32_t KEY_END = 35;
inline constexpr int32_t KEY_HOME = 36;
inline constexpr int32_t KEY_LEFT = 37;
inline constexpr int32_t KEY_UP = 38;
inline constexpr int32_t KEY_RIGHT = 39;
inline constexpr int32_t KEY_DOWN = 40;
inline constexpr int32_t KEY_SELECT = 41;
inline constexpr int32_t KEY_EXECUTE = 43;
inline constexpr int32_t KEY_SNAPSHOT = 44;  // Print Screen
inline constexpr int32_t KEY_INSERT = 45;
inline constexpr int32_t KEY_DELETE = 46;
inline constexpr int32_t KEY_HELP = 47;
inline constexpr int32_t KEY_0 = 48;
inline constexpr int32_t KEY_1 = 49;
inline constexpr int32_t KEY_2 = 50;
inline constexpr int32_t KEY_3 = 51;
inline constexpr int32_t KEY_4 = 52;
inline constexpr int32_t KEY_5 = 53;
inline constexpr int32_t KEY_6 = 54;
inline constexpr int32_t KEY_7 = 55;
inline constexpr int32_t KEY_8 = 56;
inline constexpr int32_t KEY_9 = 57;
inline constexpr int32_t KEY_A = 65;
inline constexpr int32_t KEY_B = 66;
inline constexpr int32_t KEY_C = 67;
inline constexpr int32_t KEY_D = 68;
inline constexpr int32_t KEY_E = 69;
inline constexpr int32_t KEY_F = 70;
inline constexpr int32_t KEY_G = 71;
inline constexpr int32_t KEY_H = 72;
inline constexpr int32_t KEY_I = 73;
inline constexpr int32_t KEY_J = 74;
inline constexpr int32_t KEY_K = 75;
inline constexpr int32_t KEY_L = 76;
inline constexpr int32_t KEY_M = 77;
inline constexpr int32_t KEY_N = 78;
inline constexpr int32_t KEY_O = 79;
inline constexpr int32_t KEY_P = 80;
inline constexpr int32_t KEY_Q = 81;
inline constexpr int32_t KEY_R = 82;
inline constexpr int32_t KEY_S = 83;
inline constexpr int32_t KEY_T = 84;
inline constexpr int32_t KEY_U = 85;
inline constexpr int32_t KEY_V = 86;
inline constexpr int32_t KEY_W = 87;
inline constexpr int32_t KEY_X = 88;
inline constexpr int32_t KEY_Y = 89;
inline constexpr int32_t KEY_Z = 90;
inline constexpr int32_t KEY_LWIN = 91;
inline constexpr int32_t KEY_RWIN = 92;
inline constexpr int32_t KEY_APPS = 93;  // Menu key
inline constexpr int32_t KEY_SLEEP = 95;
inline constexpr int32_t KEY_NUMPAD0 = 96;
inline constexpr int32_t KEY_NUMPAD1 = 97;
inline constexpr int32_t KEY_NUMPAD2 = 98;
inline constexpr int32_t KEY_NUMPAD3 = 99;
inline constexpr int32_t KEY_NUMPAD4 = 100;
inline constexpr int32_t KEY_NUMPAD5 = 101;
inline constexpr int32_t KEY_NUMPAD6 = 102;
inline constexpr int32_t KEY_NUMPAD7 = 103;
inline constexpr int32_t KEY_NUMPAD8 = 104;
inline constexpr int32_t KEY_NUMPAD9 = 105;
inline constexpr int32_t KEY_MULTIPLY = 106;
inline constexpr int32_t KEY_ADD = 107;
inline constexpr int32_t KEY_SEPARATOR = 108;
inline constexpr int32_t KEY_SUBTRACT = 109;
inline constexpr int32_t KEY_DECIMAL = 110;
inline constexpr int32_t KEY_DIVIDE = 111;
inline constexpr int32_t KEY_F1 = 112;
inline constexpr int32_t KEY_F2 = 113;
inline constexpr int32_t KEY_F3 = 114;
inline constexpr int32_t KEY_F4 = 115;
inline constexpr int32_t KEY_F5 = 116;
inline constexpr int32_t KEY_F6 = 117;
inline constexpr int32_t KEY_F7 = 118;
inline constexpr int32_t KEY_F8 = 119;
inline constexpr int32_t KEY_F9 = 120;
inline constexpr int32_t KEY_F10 = 121;
inline constexpr int32_t KEY_F11 = 122;
inline constexpr int32_t KEY_F12 = 123;
inline constexpr int32_t KEY_F13 = 124;
inline constexpr int32_t KEY_F14 = 125;
inline constexpr int32_t KEY_F15 = 126;
inline constexpr int32_t KEY_F16 = 127;
inline constexpr int32_t KEY_F17 = 128;
inline constexpr int32_t KEY_F18 = 129;
inline constexpr int32_t KEY_F19 = 130;
inline constexpr int32_t KEY_F20 = 131;
inline constexpr int32_t KEY_F21 = 132;
inline constexpr int32_t KEY_F22 = 133;
inline constexpr int32_t KEY_F23 = 134;
inline constexpr int32_t KEY_F24 = 135;
inline constexpr int32_t KEY_NUMLOCK = 144;
inline constexpr int32_t KEY_SCROLL = 145;  // Scroll Lock
inline constexpr int32_t KEY_LSHIFT = 160;
inline constexpr int32_t KEY_RSHIFT = 161;
inline constexpr int32_t KEY_LCONTROL = 162;
inline constexpr int32_t KEY_RCONTROL = 163;
inline constexpr int32_t KEY_LMENU = 164;  // left alt
inline constexpr int32_t KEY_RMENU = 165;  // right alt
inline constexpr int32_t KEY_BROWSER_BACK = 166;
inline constexpr int32_t KEY_BROWSER_FORWARD = 167;
inline constexpr int32_t KEY_BROWSER_REFRESH = 168;
inline constexpr int32_t KEY_BROWSER_STOP = 169;
inline constexpr int32_t KEY_BROWSER_SEARCH = 170;
inline constexpr int32_t KEY_BROWSER_FAVORITES = 171;
inline constexpr int32_t KEY_BROWSER_HOME = 172;
inline constexpr int32_t KEY_VOLUME_MUTE = 173;
inline constexpr int32_t KEY_VOLUME_DOWN = 174;
inline constexpr int32_t KEY_VOLUME_UP = 175;
inline constexpr int32_t KEY_MEDIA_NEXT_TRACK = 176;
inline constexpr int32_t KEY_MEDIA_PREV_TRACK = 177;
inline constexpr int32_t KEY_MEDIA_STOP = 178;
inline constexpr int32_t KEY_MEDIA_PLAY_PAUSE = 179;
inline constexpr int32_t KEY_LAUNCH_MAIL = 180;
inline constexpr int32_t KEY_LAUNCH_MEDIA_SELECT = 181;
inline constexpr int32_t KEY_LAUNCH_APP1 = 182;  // Computer
inline constexpr int32_t KEY_LAUNCH_APP2 = 183;  // Calculator
inline constexpr int32_t KEY_OEM_1 = 186;  // ; :
inline constexpr int32_t KEY_OEM_PLUS = 187;  // = +
inline constexpr int32_t KEY_OEM_COMMA = 188;  // , <
inline constexpr int32_t KEY_OEM_MINUS = 189;  // - _
inline constexpr int32_t KEY_OEM_PERIOD = 190;  // . >
inline constexpr int32_t KEY_OEM_2 = 191;  // / ?
inline constexpr int32_t KEY_OEM_3 = 192;  // ` ~
inline constexpr int32_t KEY_OEM_4 = 219;  // [ {
inline constexpr int32_t KEY_OEM_5 = 220;  // \ |
inline constexpr int32_t KEY_OEM_6 = 221;  // ] }
inline constexpr int32_t KEY_OEM_7 = 222;  // ' "
inline constexpr int32_t KEY_OEM_102 = 226;  // the extra key left of Z on ISO keyboards

// Other names of the same codes.
inline constexpr int32_t KEY_BACKSPACE = KEY_BACK;
inline constexpr int32_t KEY_ENTER = KEY_RETURN;
inline constexpr int32_t KEY_ALT = KEY_MENU;
inline constexpr int32_t KEY_LALT = KEY_LMENU;
inline constexpr int32_t KEY_RALT = KEY_RMENU;
inline constexpr int32_t KEY_PAGEUP = KEY_PRIOR;
inline constexpr int32_t KEY_PAGEDOWN = KEY_NEXT;
inline constexpr int32_t KEY_CAPSLOCK = KEY_CAPITAL;

// Mouse buttons as MouseWasHit, MouseIsDown and WaitForClick number them.
inline constexpr int32_t MOUSE_LEFT = 1;
inline constexpr int32_t MOUSE_RIGHT = 2;
inline constexpr int32_t MOUSE_MIDDLE = 3;

}  // namespace korva
