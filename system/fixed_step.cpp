// The fixed step: frame-timer ticks at the exact rate, on a microsecond
// schedule fixed at the start.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "korvagl/system/frame_timer.h"
#include "korvagl/system/system_api.h"

namespace korva {

Ref<TFixedStep> TFixedStep::NewFixedStep(double hertz) {
    if (!(hertz > 0.0 && hertz <= 1e6) || 1000.0 / hertz > 2147483647.0)
        RaiseRuntimeError("Frame timer rate out of range");
    auto step = New<TFixedStep>();
    step->hertz = hertz;
    step->period = static_cast<int32_t>(1000.0 / hertz);
    step->startUs = ElapsedUs();
    step->lastTick = detail::ClockMs(step->startUs);
    return step;
}

int64_t TFixedStep::BoundaryUs(int64_t k) const {
    // The first microsecond by which k steps' time has passed. Each boundary
    // is reckoned from the start, never from the one before, so the rounding
    // of one never carries into the next.
    return startUs + static_cast<int64_t>(std::ceil(static_cast<long double>(k) * 1e6L / hertz));
}

int32_t TFixedStep::WaitFrameTimer() {
    const int64_t now = ElapsedUs();
    // The boundaries passed by now: an estimate, then exact.
    int64_t due = now > startUs ? static_cast<int64_t>(static_cast<long double>(now - startUs) * hertz / 1e6L) : 0;
    while (BoundaryUs(due + 1) <= now) ++due;
    while (due > 0 && BoundaryUs(due) > now) --due;
    int64_t ticks = due - steps;
    if (ticks <= 0) {
        // Sleep whole milliseconds up to the next boundary, never short of it.
        const int64_t wait = BoundaryUs(steps + 1) - now;
        SleepMs(static_cast<int32_t>(std::min<int64_t>((wait + 999) / 1000, INT32_MAX)));
        ticks = 1;
    }
    ticks = std::min<int64_t>(ticks, INT32_MAX);
    steps += ticks;
    lastTick = detail::ClockMs(BoundaryUs(steps));
    return static_cast<int32_t>(ticks);
}

Ref<TFixedStep> NewFixedStep(double hertz) { return TFixedStep::NewFixedStep(hertz); }

}  // namespace korva
