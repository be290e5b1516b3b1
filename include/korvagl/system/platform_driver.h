// KorvaGL: the platform driver.
//
// TPlatformDriver is the framework's one contact with the window system's
// event queue, clock and requesters. The system API (system_api.h) holds the
// current driver and forwards every free function to it; programs normally
// use those functions rather than a driver directly.
//
// The event, clock, key and mouse operations are abstract here: calling them
// on TPlatformDriver itself raises TAbstractMethodFault ("Attempt to call
// abstract method"). The four requesters have working console versions
// (standard output and input) that a concrete driver may replace with dialog
// boxes. Key codes are Windows virtual-key codes (Escape 27, A-Z 65-90, ...),
// valid from 1 to 255; mouse buttons share them (left 1, right 2, middle 4).
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"

namespace korva {

class TPlatformDriver : public Object {
public:
    // Pumps every pending event into the input state.
    virtual void Poll();
    // Waits for any event, then pumps.
    virtual void Wait();
    // A millisecond clock (wraps after 2^32 ms).
    virtual int32_t ElapsedMs();
    // Sleeps for `ms` milliseconds; nothing for ms <= 0.
    virtual void SleepMs(int32_t ms);
    // A microsecond clock that does not wrap, the same clock as ElapsedMs.
    // By default ElapsedMs in microseconds (whole milliseconds, wrapping
    // with it), so a driver that has only a millisecond clock need not
    // override it.
    virtual int64_t ElapsedUs();
    // The oldest typed character (a 16-bit code unit), removed; 0 when none.
    virtual int32_t NextTypedChar();
    // Presses of `key` since the last call (wrapping at 256); resets the count.
    virtual int32_t KeyHitCount(int32_t key);
    // 1 while `key` is down, else 0.
    virtual int32_t KeyHeld(int32_t key);
    // Forgets every hit count, held flag (keys and mouse buttons) and typed character.
    virtual void ClearKeyState();
    // Axis 0: mouse x, 1: mouse y (window coordinates, unsigned 16-bit),
    // 2: wheel position in notches; any other axis 0.
    virtual int32_t MouseAxis(int32_t axis);
    // Moves the pointer to (x, y) in the active window; nothing without one.
    virtual void PlaceMouse(int32_t x, int32_t y);
    // Requests to close the display window since the last call; resets the count.
    virtual int32_t CloseRequestCount();
    // 1 while the display window has the keyboard focus, else 0.
    virtual int32_t WindowFocus();

    // Console requesters: prompts go to standard output, answers are read as
    // one line from standard input. `serious`, `title`, `filter`, `save` and
    // `path` are not used on the console.
    // Writes `text` and a line end.
    virtual void ShowNotice(const String& text, int32_t serious);
    // 1 when the answer starts with "y" (any case), else 0 (also at the end of input).
    virtual int32_t AskYesNo(const String& text, int32_t serious);
    // 1 for "y...", 0 for "n...", -1 for anything else (also at the end of input).
    virtual int32_t AskYesNoCancel(const String& text, int32_t serious);
    // The line typed; the empty string at the end of input.
    virtual String AskFileName(const String& title, const String& filter, int32_t save, const String& path);
};

// The module initialiser ("platform driver base").
int InitPlatformDriver();

}  // namespace korva
