// The program thread's floats as the mixer's fixed-point parameters.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace korva::detail {

// value * scale truncated toward zero, saturated to [low, high]; NaN gives 0.
inline int32_t ToFixed(float value, double scale, int32_t low, int32_t high) {
    const double scaled = static_cast<double>(value) * scale;
    if (std::isnan(scaled)) return 0;
    if (scaled <= low) return low;
    if (scaled >= high) return high;
    return static_cast<int32_t>(scaled);
}

// Volume, pan and depth: 4.12.
inline int16_t ToGain(float value) {
    return static_cast<int16_t>(
        ToFixed(value, 4096.0, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

// Rate: 16.16.
inline int32_t ToRate(float value) {
    return ToFixed(value, 65536.0, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

}  // namespace korva::detail
