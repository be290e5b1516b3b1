// The platform driver over SDL: the input state, the clock and the dialogs.
#include "korvagl/system/sdl_platform_driver.h"

#include "korvagl/app/modules.h"
#include "korvagl/stream/file_system.h"
#include "system/input_filter.h"
#include "system/file_requester.h"
#include "system/message_box.h"
#include "system/sdl_events.h"

namespace korva {

using detail::TheInputState;

// SDL starts lazily on the first Poll, so making a driver needs no display.
TSDLPlatformDriver::TSDLPlatformDriver() = default;

void TSDLPlatformDriver::Poll() { detail::PumpSDLEvents(TheInputState()); }
void TSDLPlatformDriver::Wait() { detail::WaitSDLEvents(TheInputState()); }
int32_t TSDLPlatformDriver::ElapsedMs() { return detail::SDLTicks(); }
void TSDLPlatformDriver::SleepMs(int32_t ms) { detail::SDLDelay(ms); }
int64_t TSDLPlatformDriver::ElapsedUs() { return detail::SDLMicroseconds(); }
int32_t TSDLPlatformDriver::NextTypedChar() { return detail::TakeTypedChar(TheInputState()); }
int32_t TSDLPlatformDriver::KeyHitCount(int32_t key) { return detail::TakeKeyHits(TheInputState(), key); }
int32_t TSDLPlatformDriver::KeyHeld(int32_t key) { return detail::KeyHeldFlag(TheInputState(), key); }
void TSDLPlatformDriver::ClearKeyState() { detail::ClearKeys(TheInputState()); }
int32_t TSDLPlatformDriver::MouseAxis(int32_t axis) { return detail::MouseAxisValue(TheInputState(), axis); }
void TSDLPlatformDriver::PlaceMouse(int32_t x, int32_t y) { detail::SDLPlaceMouse(x, y); }
int32_t TSDLPlatformDriver::CloseRequestCount() { return detail::TakeCloseRequests(TheInputState()); }
int32_t TSDLPlatformDriver::WindowFocus() { return TheInputState().focused; }

void TSDLPlatformDriver::ShowNotice(const String& text, int32_t serious) {
    detail::ShowBox(detail::BoxKind::Notice, text, serious);
}

int32_t TSDLPlatformDriver::AskYesNo(const String& text, int32_t serious) {
    return detail::ShowBox(detail::BoxKind::YesNo, text, serious);
}

int32_t TSDLPlatformDriver::AskYesNoCancel(const String& text, int32_t serious) {
    return detail::ShowBox(detail::BoxKind::YesNoCancel, text, serious);
}

String TSDLPlatformDriver::AskFileName(const String& title, const String& filter, int32_t save, const String& path) {
    // A suggested name that names no file is refused, as every file name is.
    if (!path.IsEmpty() && detail::NativePath(path).empty()) return String();
    if (!detail::ZenityAvailable()) return TPlatformDriver::AskFileName(title, filter, save, path);
    return detail::RunZenity(detail::ZenityArguments(title, filter, save, path));
}

int InitSDLPlatformDriver() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPlatformDriver();
    detail::NoteModuleStarted("SDL platform driver");
    return 0;
}

}  // namespace korva
