// KorvaGL: the system API, the free functions over the current platform driver.
//
// Input is polled: key and button presses are counted, held keys flagged,
// typed characters queued (256 at most; more are dropped). With AutoPoll
// non-zero (the default) every query first pumps the event queue itself, so a
// loop that only calls KeyWasHit keeps its window responsive.
//
// Key codes are Windows virtual-key codes: Escape 27, Enter 13, space 32,
// 0-9 48-57, A-Z 65-90, F1-F24 112-135, arrows 37-40, shift/control/alt 16/17/18
// with their left and right sides at 160-165; keys.h names them all (KEY_ESCAPE,
// MOUSE_LEFT, ...). Codes outside 1-255, mouse buttons other than 1-3 and axes
// other than 0-2 read as 0; nothing here raises.
#pragma once

#include <cstdint>

#include "korvagl/system/clock.h"
#include "korvagl/system/keys.h"
#include "korvagl/system/platform_driver.h"

namespace korva {

// The current driver: a TSDLPlatformDriver once InitSystemAPI has run.
// Assigning another driver (a test's fake clock, say) redirects every function.
Ref<TPlatformDriver>& CurrentPlatformDriver();
// Non-zero: queries pump events first. 1 at start; nothing in the framework changes it.
extern int32_t AutoPoll;

void PumpEvents();
// Blocks until some event arrives, then pumps.
void WaitEvents();
// The clock (see clock.h: one source serves every timing call). ElapsedMs
// counts milliseconds and wraps after 2^32 ms; ElapsedUs is the same clock
// in microseconds, for measuring and for steps finer than a millisecond,
// and does not wrap.
int32_t ElapsedMs();
int64_t ElapsedUs();
void SleepMs(int32_t ms);

// Presses since the last call for this key (then 0).
int32_t KeyWasHit(int32_t key);
// 1 while the key is down.
int32_t KeyIsDown(int32_t key);
// The oldest typed character as a 16-bit code unit, or 0.
int32_t NextTypedChar();
// Forgets key and button presses, held flags and typed characters.
void ClearKeyState();

int32_t MousePosX();
int32_t MousePosY();
// The wheel position in notches, away from the user counting up.
int32_t MouseWheelPos();
// Moves the pointer within the active window (no auto-poll).
void PlaceMouse(int32_t x, int32_t y);
// Button 1 left, 2 right, 3 middle: presses since the last call.
int32_t MouseWasHit(int32_t button);
int32_t MouseIsDown(int32_t button);
// Forgets pending presses of the three mouse buttons.
void ClearMouseState();

// How many times the user asked to close the display window (its close
// button, the window manager's close, Alt+F4 where the desktop sends it)
// since the last call; then 0. The window never closes by itself: the
// program decides, typically by leaving its loop.
int32_t WindowCloseRequested();
// 1 while the display window has the keyboard focus, else 0.
int32_t WindowHasFocus();

// Clears the key state, then waits until a key is hit; returns its code.
int32_t WaitForKey();
// Clears the key state, then waits for a typed character and returns it.
int32_t WaitForChar();
// Clears the mouse state, then waits for a click; returns the button (1-3).
int32_t WaitForClick();

// The requesters of the current driver (see sdl_platform_driver.h).
void ShowNotice(const String& text, int32_t serious = 0);
int32_t AskYesNo(const String& text, int32_t serious = 0);
int32_t AskYesNoCancel(const String& text, int32_t serious = 0);
String AskFileName(const String& title, const String& filter = String(), int32_t save = 0,
                   const String& path = String());

// The local date as "%d %b %Y" ("05 Mar 2024") and time as "%H:%M:%S"
// ("09:05:03"), with English month names whatever the locale.
String DateText();
String TimeText();

// The module initialiser ("system API"): creates the SDL driver and makes it current.
int InitSystemAPI();

}  // namespace korva
