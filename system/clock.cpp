// The clock source and the free clock functions over it.
#include "korvagl/system/clock.h"

#include "korvagl/system/system_api.h"

namespace korva {

int64_t detail::TClockSource::ElapsedUs() { return CurrentPlatformDriver()->ElapsedUs(); }
void detail::TClockSource::SleepMs(int32_t ms) { CurrentPlatformDriver()->SleepMs(ms); }

Ref<detail::TClockSource>& detail::CurrentClockSource() {
    static Ref<TClockSource> current = New<TClockSource>();
    return current;
}

int64_t ElapsedUs() { return detail::CurrentClockSource()->ElapsedUs(); }

// Milliseconds wrap after 2^32 like a 32-bit millisecond counter, whatever
// the sign of the microsecond clock.
int32_t detail::ClockMs(int64_t us) {
    const int64_t ms = us >= 0 ? us / 1000 : (us - 999) / 1000;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(ms)));
}

int32_t ElapsedMs() { return detail::ClockMs(ElapsedUs()); }

void SleepMs(int32_t ms) { detail::CurrentClockSource()->SleepMs(ms); }

}  // namespace korva
