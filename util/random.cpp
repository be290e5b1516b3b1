// Random numbers: the minimal standard generator in Schrage's form, which
// keeps every intermediate value within 32 signed bits.
#include "korvagl/util/random.h"

#include <cmath>

#include "korvagl/app/modules.h"

namespace korva {

namespace {

constexpr int32_t kModulus = 0x7FFFFFFF;
constexpr int32_t kMultiplier = 48271;
constexpr int32_t kQuotient = kModulus / kMultiplier;   // 44488
constexpr int32_t kRemainder = kModulus % kMultiplier;  // 3399
constexpr int32_t kStartState = 0x1234;

int32_t randomState = kStartState;

// Advances the state: state = 48271 * state mod (2^31 - 1).
int32_t Step() {
    int32_t state = kMultiplier * (randomState % kQuotient) - kRemainder * (randomState / kQuotient);
    if (state < 0) state += kModulus;
    randomState = state;
    return state;
}

}  // namespace

float RandomFloat() { return static_cast<float>(Step() & 0x0FFFFFF0) / 268435456.0f; }

double RandomDouble() {
    const double hi = Step() & 0x1FFFFFFC;
    const double lo = Step() & 0x1FFFFFF8;
    return (hi + lo / 134217728.0) / 536870912.0;
}

double RandomRange(double a, double b) {
    const double r = RandomDouble();
    const double low = b > a ? a : b;
    const double high = b > a ? b : a;
    const double value = low + r * (high - low);
    // Rounding can carry a draw just below 1 onto the upper bound, which is
    // excluded; step back to the largest value below it.
    if (value >= high && high > low) return std::nextafter(high, low);
    return value;
}

int32_t RandomInt(int32_t a, int32_t b) {
    const double d = static_cast<double>(b) - static_cast<double>(a);
    const double r = RandomDouble();
    const double low = d > 0 ? a : b;
    const double span = d > 0 ? d + 1 : 1 - d;
    double value = std::floor(low + r * span);
    // Rounding can carry a draw just below 1 past the upper bound.
    const double high = low + span - 1;
    if (value > high) value = high;
    return static_cast<int32_t>(value);
}

namespace {
detail::RandomSeedHook seedHook = nullptr;
}  // namespace

void detail::SetRandomSeedHook(RandomSeedHook hook) { seedHook = hook; }

void SetRandomSeed(int32_t seed) {
    if (seedHook) seed = seedHook(seed);
    randomState = seed & kModulus;
    if (randomState == 0 || randomState == kModulus) randomState = kStartState;
}

int32_t RandomSeed() { return randomState; }

int InitRandom() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("random numbers");
    return 0;
}

}  // namespace korva
