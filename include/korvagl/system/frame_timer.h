// KorvaGL: the frame timer, which paces a loop at a fixed rate.
//
// Draw once per WaitFrameTimer and update the logic once per tick it returns:
// the logic then keeps the timer's rate even when a frame takes longer than a
// period. The period is a whole number of milliseconds (60 Hz ticks every
// 16 ms); time lost to that rounding is not made up. The clock is the current
// platform driver's ElapsedMs and SleepMs.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"

namespace korva {

class TFrameTimer : public Object {
public:
    int32_t period = 0;    // milliseconds per tick
    int32_t lastTick = 0;  // ElapsedMs at the last tick boundary

    // Ticks since the last call (at least 1): sleeps until the next tick
    // boundary when none has passed yet.
    virtual int32_t WaitFrameTimer();
    // A timer with period 1000 / hertz ms (truncated), starting now. Raises
    // "Frame timer rate out of range" unless 0 < hertz <= 1000 and the
    // period fits an int32_t.
    static Ref<TFrameTimer> NewFrameTimer(float hertz);
};

Ref<TFrameTimer> NewFrameTimer(float hertz);
// Raises TNullObjectFault for the null timer.
int32_t WaitFrameTimer(const Ref<TFrameTimer>& timer);

// The module initialiser ("frame timer").
int InitFrameTimer();

}  // namespace korva
