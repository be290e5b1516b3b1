// The system API: free functions over the current platform driver.
#include "korvagl/system/system_api.h"

#include <locale.h>

#include <ctime>

#include "korvagl/app/modules.h"
#include "korvagl/system/frame_timer.h"
#include "korvagl/system/sdl_platform_driver.h"
#include "system/date_text.h"
#include "system/input_tap.h"

namespace korva {
namespace {

TPlatformDriver& Driver() { return *CurrentPlatformDriver(); }

void MaybePoll() {
    if (AutoPoll) Driver().Poll();
}

// The key code of mouse button 1-3, or 0.
int32_t ButtonKey(int32_t button) {
    switch (button) {
        case 1: return 1;
        case 2: return 2;
        case 3: return 4;
        default: return 0;
    }
}

// Local time formatted with English month names ("C" locale), whatever the
// program's locale.
String FormatLocal(std::time_t moment, const char* format) {
    std::tm local{};
    if (!localtime_r(&moment, &local)) return String();
    char buffer[256];
    locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const size_t n = c ? strftime_l(buffer, sizeof buffer, format, &local, c)
                       : std::strftime(buffer, sizeof buffer, format, &local);
    if (c) freelocale(c);
    return String(std::string_view(buffer, n));
}

}  // namespace

Ref<TPlatformDriver>& CurrentPlatformDriver() {
    static Ref<TPlatformDriver> current;
    return current;
}

int32_t AutoPoll = 1;

void PumpEvents() { Driver().Poll(); }
void WaitEvents() { Driver().Wait(); }

int32_t KeyWasHit(int32_t key) {
    MaybePoll();
    return Driver().KeyHitCount(key);
}

int32_t KeyIsDown(int32_t key) {
    MaybePoll();
    return Driver().KeyHeld(key);
}

int32_t NextTypedChar() {
    MaybePoll();
    return Driver().NextTypedChar();
}

void ClearKeyState() {
    MaybePoll();
    Driver().ClearKeyState();
}

int32_t MousePosX() {
    MaybePoll();
    return Driver().MouseAxis(0);
}

int32_t MousePosY() {
    MaybePoll();
    return Driver().MouseAxis(1);
}

int32_t MouseWheelPos() {
    MaybePoll();
    return Driver().MouseAxis(2);
}

void PlaceMouse(int32_t x, int32_t y) { Driver().PlaceMouse(x, y); }

int32_t MouseWasHit(int32_t button) {
    const int32_t key = ButtonKey(button);
    return key ? KeyWasHit(key) : 0;
}

int32_t MouseIsDown(int32_t button) {
    const int32_t key = ButtonKey(button);
    return key ? KeyIsDown(key) : 0;
}

void ClearMouseState() {
    MaybePoll();
    for (int32_t button = 1; button <= 3; ++button) MouseWasHit(button);
}

int32_t WindowCloseRequested() {
    MaybePoll();
    return Driver().CloseRequestCount();
}

int32_t WindowHasFocus() {
    MaybePoll();
    return Driver().WindowFocus();
}

int32_t WaitForKey() {
    ClearKeyState();
    while (true) {
        WaitEvents();
        for (int32_t key = 1; key <= 255; ++key) {
            if (KeyWasHit(key)) return key;
        }
    }
}

int32_t WaitForChar() {
    ClearKeyState();
    while (true) {
        WaitEvents();
        if (const int32_t c = NextTypedChar()) return c;
    }
}

int32_t WaitForClick() {
    ClearMouseState();
    while (true) {
        WaitEvents();
        for (int32_t button = 1; button <= 3; ++button) {
            if (MouseWasHit(button)) return button;
        }
    }
}

void ShowNotice(const String& text, int32_t serious) { Driver().ShowNotice(text, serious); }
int32_t AskYesNo(const String& text, int32_t serious) { return Driver().AskYesNo(text, serious); }
int32_t AskYesNoCancel(const String& text, int32_t serious) { return Driver().AskYesNoCancel(text, serious); }

String AskFileName(const String& title, const String& filter, int32_t save, const String& path) {
    return Driver().AskFileName(title, filter, save, path);
}

String detail::DateTextAt(std::time_t moment) { return FormatLocal(moment, "%d %b %Y"); }
String detail::TimeTextAt(std::time_t moment) { return FormatLocal(moment, "%H:%M:%S"); }
String DateText() { return detail::DateTextAt(std::time(nullptr)); }
String TimeText() { return detail::TimeTextAt(std::time(nullptr)); }

int InitSystemAPI() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPlatformDriver();
    InitFrameTimer();
    InitSDLPlatformDriver();
    detail::NoteModuleStarted("system API");
    CurrentPlatformDriver() = New<TSDLPlatformDriver>();
    detail::StartInputTap();  // KORVAGL_RECORD, KORVAGL_REPLAY, KORVAGL_FIXED_FRAME_MS
    return 0;
}

}  // namespace korva
