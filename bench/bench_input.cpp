// Cost of polled input: auto-polled queries, the event pump with its
// translation and filter, joystick readings and gamepad queries (SDL dummy
// video unless SDL_VIDEODRIVER says otherwise, virtual joysticks).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "korvagl/korvagl.h"
#include "support/virtual_pad.h"
#include "sdl/sdl_init.h"
#include "system/gamepad_native.h"

namespace {

using namespace korva;

void StartDummyVideo() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);  // SDL_VIDEODRIVER=x11 measures a real X connection
    InitSystemAPI();
    InitJoystick();
    PumpEvents();
}

// The gamepads running with one virtual pad connected, for the length of a
// benchmark; without them SDL's joystick part is off, as in a program that
// never asks for a pad.
class ConnectedPad {
public:
    ConnectedPad() {
        SDL_InitSubSystem(SDL_INIT_JOYSTICK);
        InitGamepads();
        detail::StartGamepads();
        pad_ = std::make_unique<test::VirtualPad>();
        PumpEvents();
        if (!GamepadConnected(0)) std::abort();
    }
    ~ConnectedPad() {
        pad_.reset();
        detail::StopGamepads();
        detail::StopSDLPart(SDL_INIT_JOYSTICK);  // as JoystickCount started it
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }

private:
    std::unique_ptr<test::VirtualPad> pad_;
};

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

// The baseline of GamepadIsDown: a held-key query with auto-poll, gamepads off.
void BM_KeyIsDownAutoPoll(benchmark::State& state) {
    StartDummyVideo();
    for (auto _ : state) benchmark::DoNotOptimize(KeyIsDown(KEY_A));
}
BENCHMARK(BM_KeyIsDownAutoPoll);

// A query with the gamepads running and one pad connected, with or without
// auto-poll. KeyIsDown: every pump also does the gamepads' share;
// GamepadsChanged: the hot-plug check of a frame in which nothing arrived
// (a counter read, no look at the devices); JoystickCount: looking for
// devices the raw way, for comparison.
template <typename Query>
void BM_PadConnected(benchmark::State& state, Query query, int32_t autoPoll) {
    StartDummyVideo();
    ConnectedPad pad;
    AutoPoll = autoPoll;
    for (auto _ : state) benchmark::DoNotOptimize(query());
    AutoPoll = 1;
}
BENCHMARK_CAPTURE(BM_PadConnected, KeyIsDownAutoPoll, [] { return KeyIsDown(KEY_A); }, 1);
BENCHMARK_CAPTURE(BM_PadConnected, GamepadIsDownAutoPoll, [] { return GamepadIsDown(PAD_A, 0); }, 1);
BENCHMARK_CAPTURE(BM_PadConnected, GamepadIsDownWithoutPoll, [] { return GamepadIsDown(PAD_A, 0); }, 0);
BENCHMARK_CAPTURE(BM_PadConnected, GamepadsChangedAutoPoll, [] { return GamepadsChanged(); }, 1);
BENCHMARK_CAPTURE(BM_PadConnected, GamepadsChangedWithoutPoll, [] { return GamepadsChanged(); }, 0);
BENCHMARK_CAPTURE(BM_PadConnected, JoystickCount, [] { return JoystickCount(); }, 1);

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
    detail::StopSDLPart(SDL_INIT_JOYSTICK);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}
BENCHMARK(BM_JoystickX);

}  // namespace

BENCHMARK_MAIN();
