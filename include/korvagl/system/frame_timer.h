// KorvaGL: the frame timer and the fixed step, which pace a loop at a rate.
//
// Draw once per WaitFrameTimer and update the logic once per tick it returns:
// the logic then keeps the timer's rate even when a frame takes longer than a
// period. TFrameTimer's period is a whole number of milliseconds (60 Hz ticks
// every 16 ms, 62.5 times a second); time lost to that rounding is not made
// up. TFixedStep keeps the rate asked for on average (60 Hz: 60 steps in
// every second), which is what a simulation at a fixed rate wants. Both read
// and sleep on the framework's clock (clock.h).
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

// A frame timer whose ticks fall at exact multiples of 1 / hertz seconds
// from its start, reckoned in microseconds, so that no rounding builds up:
// over any stretch of time the ticks handed out are the boundaries that
// passed. It is a TFrameTimer, waited for with WaitFrameTimer; `period` is
// the step in whole milliseconds (for display) and `lastTick` the
// millisecond of the last boundary handed out.
//
//   Ref<TFixedStep> step = NewFixedStep(60);
//   while (playing) {
//       for (int32_t n = WaitFrameTimer(step); n > 0; --n) Update();  // 60 a second
//       Draw();
//       FlipFrame();
//   }
//
// After a long stall (a debugger, a dragged window) every step missed is
// due at once; a game that would rather skip them limits the count itself.
class TFixedStep : public TFrameTimer {
public:
    double hertz = 0;      // steps per second
    int64_t startUs = 0;   // ElapsedUs at the start
    int64_t steps = 0;     // steps handed out since the start

    // Steps due since the last call (at least 1): sleeps until the next
    // boundary when none is due yet.
    int32_t WaitFrameTimer() override;
    // A fixed step of `hertz` steps a second, starting now. Raises "Frame
    // timer rate out of range" unless a step lasts from 1 microsecond
    // (1000000 Hz) to 2^31 - 1 milliseconds.
    static Ref<TFixedStep> NewFixedStep(double hertz);
    // The microsecond of boundary `k`: the first at which k / hertz seconds
    // have passed since the start.
    int64_t BoundaryUs(int64_t k) const;
};

Ref<TFrameTimer> NewFrameTimer(float hertz);
Ref<TFixedStep> NewFixedStep(double hertz);
// Raises TNullObjectFault for the null timer.
int32_t WaitFrameTimer(const Ref<TFrameTimer>& timer);

// The module initialiser ("frame timer").
int InitFrameTimer();

}  // namespace korva
