// KorvaGL: the platform driver over SDL2.
//
// Input: every SDL event is turned into the Win32-shaped message the input
// filter expects and recorded in the polled state (see platform_driver.h for
// the key codes). SDL's event and video parts start on the first Poll or
// Wait; without a display they stay off and polling changes nothing, so a
// program may run headless. Creating the driver opens no window.
//
// Requesters: ShowNotice, AskYesNo and AskYesNoCancel show SDL message boxes
// ("Notify" with OK, "Confirm" with OK and Cancel, "Proceed" with Yes, No and
// Cancel), owned by the window that has the keyboard focus. A box that cannot
// be shown counts as no (AskYesNo) or cancel (AskYesNoCancel). AskFileName
// runs `zenity --file-selection` when zenity is on the PATH and a display is
// named in the environment, else it asks on the console. A suggested name
// (`path`) holding a unit above 0xFF or a NUL names no file: AskFileName
// then asks nothing and gives the empty string.
#pragma once

#include "korvagl/system/platform_driver.h"

namespace korva {

class TSDLPlatformDriver final : public TPlatformDriver {
public:
    TSDLPlatformDriver();

    void Poll() override;
    void Wait() override;
    // One monotonic clock: ElapsedUs counts microseconds from the first
    // reading, ElapsedMs is the same count in milliseconds.
    int32_t ElapsedMs() override;
    void SleepMs(int32_t ms) override;
    int64_t ElapsedUs() override;
    int32_t NextTypedChar() override;
    int32_t KeyHitCount(int32_t key) override;
    int32_t KeyHeld(int32_t key) override;
    void ClearKeyState() override;
    int32_t MouseAxis(int32_t axis) override;
    void PlaceMouse(int32_t x, int32_t y) override;
    // From SDL's window events: the close button, the window manager's close
    // (Alt+F4 where the desktop sends it) and focus changes.
    int32_t CloseRequestCount() override;
    int32_t WindowFocus() override;

    void ShowNotice(const String& text, int32_t serious) override;
    int32_t AskYesNo(const String& text, int32_t serious) override;
    int32_t AskYesNoCancel(const String& text, int32_t serious) override;
    // `filter` lists file kinds as "Description:ext,ext;Description:ext" (or
    // just "ext,ext"); with `save` non-zero the dialog saves and asks before
    // overwriting; `path` is the initial file. The empty string when cancelled.
    String AskFileName(const String& title, const String& filter, int32_t save, const String& path) override;
};

// The module initialiser ("SDL platform driver").
int InitSDLPlatformDriver();

}  // namespace korva
