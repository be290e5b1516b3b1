// The abstract platform driver. Its requesters (console_requesters.cpp) work
// as they are; everything else belongs to a concrete driver.
#include "korvagl/system/platform_driver.h"

#include "korvagl/app/modules.h"

namespace korva {

void TPlatformDriver::Poll() { RaiseAbstractMethodFault(); }
void TPlatformDriver::Wait() { RaiseAbstractMethodFault(); }
int32_t TPlatformDriver::ElapsedMs() { RaiseAbstractMethodFault(); }
void TPlatformDriver::SleepMs(int32_t) { RaiseAbstractMethodFault(); }
int64_t TPlatformDriver::ElapsedUs() { return int64_t{static_cast<uint32_t>(ElapsedMs())} * 1000; }
int32_t TPlatformDriver::NextTypedChar() { RaiseAbstractMethodFault(); }
int32_t TPlatformDriver::KeyHitCount(int32_t) { RaiseAbstractMethodFault(); }
int32_t TPlatformDriver::KeyHeld(int32_t) { RaiseAbstractMethodFault(); }
void TPlatformDriver::ClearKeyState() { RaiseAbstractMethodFault(); }
int32_t TPlatformDriver::MouseAxis(int32_t) { RaiseAbstractMethodFault(); }
void TPlatformDriver::PlaceMouse(int32_t, int32_t) { RaiseAbstractMethodFault(); }
int32_t TPlatformDriver::CloseRequestCount() { RaiseAbstractMethodFault(); }
int32_t TPlatformDriver::WindowFocus() { RaiseAbstractMethodFault(); }

int InitPlatformDriver() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("platform driver base");
    return 0;
}

}  // namespace korva
