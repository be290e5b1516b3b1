// KorvaGL: random numbers.
//
// One deterministic pseudo-random sequence for the whole process: the
// Park-Miller minimal standard generator with multiplier 48271, a 31-bit state
// in 1 .. 2147483646 that starts at 4660. The same seed always reproduces the
// same sequence, and every draw by anyone advances it: RandomFloat by one
// step, RandomDouble, RandomRange and RandomInt by two.
//
// Single-threaded; the state is not protected.
#pragma once

#include <cstdint>

namespace korva {

// A multiple of 2^-24 in [0, 1 - 2^-24].
float RandomFloat();
// A value in [0, 1) with 56 bits of resolution.
double RandomDouble();
// Uniform between the bounds, the lower one included and the upper one
// excluded, in either argument order (the bound itself when they are equal).
double RandomRange(double a, double b);
// A uniform integer between the bounds, both included, in either order.
int32_t RandomInt(int32_t a, int32_t b);
// Sets the state to seed & 0x7FFFFFFF; 0 and 0x7FFFFFFF, which the generator
// cannot use, give the start-up state 4660 instead.
void SetRandomSeed(int32_t seed);
// The current state.
int32_t RandomSeed();

// The module's initialiser ("random numbers").
int InitRandom();

namespace detail {
// Sees every seed SetRandomSeed is given and answers the one to use; input
// recording keeps the seeds a run set and replay gives them back. nullptr
// (the default) takes seeds as given.
using RandomSeedHook = int32_t (*)(int32_t seed);
void SetRandomSeedHook(RandomSeedHook hook);
}  // namespace detail

}  // namespace korva
