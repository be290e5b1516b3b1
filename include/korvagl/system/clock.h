// KorvaGL: the clock that every timing call of the framework reads.
//
// ElapsedMs, ElapsedUs and SleepMs (system_api.h), the frame timers and fixed
// steps (frame_timer.h) and FlipFrame's software pacing all read the time and
// sleep through one clock source. The default source is the current platform
// driver's clock, so a test that installs a driver with a clock of its own
// moves all of them. Putting another source in its place (a clock that
// advances only when told, for replays and tests) changes the time every one
// of them sees at once and leaves input with the driver.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"

namespace korva::detail {

class TClockSource : public Object {
public:
    // Microseconds on a clock that never goes back and does not wrap.
    // ElapsedMs is this clock in milliseconds, wrapping after 2^32 ms.
    // Default: the current platform driver's ElapsedUs.
    virtual int64_t ElapsedUs();
    // Default: the current platform driver's SleepMs.
    virtual void SleepMs(int32_t ms);
};

// The current source: the default one until something else is put here.
Ref<TClockSource>& CurrentClockSource();

// A microsecond reading in wrapping milliseconds, as ElapsedMs gives it.
int32_t ClockMs(int64_t us);

}  // namespace korva::detail
