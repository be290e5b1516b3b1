// Cost of polled input: auto-polled queries, the event pump with its
// translation and filter, and joystick readings (SDL dummy video unless
// SDL_VIDEODRIVER says otherwise, virtual joystick).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "korvagl/korvagl.h"

namespace {

using namespace korva;

void StartDummyVideo() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);  // SDL_VIDEODRIVER=x11 measures a real X connection
    InitSystemAPI();
    InitJoystick();
    PumpEvents();
}

// KeyWasHit pumps SDL's (empty) queue before it reads the count.
void BM_KeyWasHitAutoPoll(benchmark::State& state) {
    StartDummyVideo();
    for (auto _ : state) benchmark::DoNotOptimize(KeyWasHit(27));
}
BENCHMARK(BM_KeyWasHitAutoPoll);

void BM_KeyWasHitWithoutPoll(benchmark::State& state) {
    StartDummyVideo();
    AutoPoll = 0;
    for (auto _ : state) benchmark::DoNotOptimize(KeyWasHit(27));
    AutoPoll = 1;
}
BENCHMARK(BM_KeyWasHitWithoutPoll);

// What WaitForKey does per wake-up: 255 auto-polled KeyWasHit calls.
void BM_ScanAllKeys(benchmark::State& state) {
    StartDummyVideo();
    for (auto _ : state) {
        for (int key = 1; key <= 255; ++key) benchmark::DoNotOptimize(KeyWasHit(key));
    }
}
BENCHMARK(BM_ScanAllKeys);

// 100 key events (50 presses) pushed, then one pump translates and filters them.
void BM_PumpKeyEvents(benchmark::State& state) {
    StartDummyVideo();
    SDL_Event down{}, up{};
    down.type = SDL_KEYDOWN;
    down.key.keysym.scancode = SDL_SCANCODE_A;
    up = down;
    up.type = SDL_KEYUP;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 50; ++i) {
            SDL_PushEvent(&down);
            SDL_PushEvent(&up);
        }
        state.ResumeTiming();
        PumpEvents();
    }
    state.SetItemsProcessed(state.iterations() * 100);
    ClearKeyState();
}
BENCHMARK(BM_PumpKeyEvents);

// One axis query: a full reading of the device.
void BM_JoystickX(benchmark::State& state) {
    InitJoystick();
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 16, 1);
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    for (auto _ : state) benchmark::DoNotOptimize(JoystickX(0));
    SDL_JoystickClose(joystick);
    SDL_JoystickDetachVirtual(index);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}
BENCHMARK(BM_JoystickX);

}  // namespace

BENCHMARK_MAIN();
