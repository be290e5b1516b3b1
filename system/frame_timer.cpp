// The frame timer: fixed-rate ticks on the current driver's clock.
#include "korvagl/system/frame_timer.h"

#include "korvagl/app/modules.h"
#include "korvagl/system/platform_driver.h"
#include "korvagl/system/system_api.h"

namespace korva {

Ref<TFrameTimer> TFrameTimer::NewFrameTimer(float hertz) {
    // A rate above 1000 Hz would make a period of 0 ms, which cannot be divided by.
    if (!(hertz > 0.0f && hertz <= 1000.0f) || 1000.0 / hertz > 2147483647.0)
        RaiseRuntimeError("Frame timer rate out of range");
    auto timer = New<TFrameTimer>();
    timer->period = static_cast<int32_t>(1000.0 / hertz);
    timer->lastTick = ElapsedMs();
    return timer;
}

int32_t TFrameTimer::WaitFrameTimer() {
    const int32_t now = ElapsedMs();
    // The clock wraps after 2^32 ms; differences stay right across the wrap.
    const auto since = static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(lastTick));
    int32_t ticks = since > 0 ? since / period : 0;
    if (ticks == 0) {
        SleepMs(period - since);
        ticks = 1;
    }
    lastTick = static_cast<int32_t>(static_cast<uint32_t>(lastTick) + static_cast<uint32_t>(ticks * period));
    return ticks;
}

Ref<TFrameTimer> NewFrameTimer(float hertz) { return TFrameTimer::NewFrameTimer(hertz); }

int32_t WaitFrameTimer(const Ref<TFrameTimer>& timer) { return timer->WaitFrameTimer(); }

int InitFrameTimer() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPlatformDriver();
    detail::NoteModuleStarted("frame timer");
    return 0;
}

}  // namespace korva
