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

// The same with the gamepads running: every pump also updates the joysticks.
void BM_KeyIsDownAutoPollPadConnected(benchmark::State& state) {
    StartDummyVideo();
    ConnectedPad pad;
    for (auto _ : state) benchmark::DoNotOptimize(KeyIsDown(KEY_A));
}
BENCHMARK(BM_KeyIsDownAutoPollPadConnected);

void BM_GamepadIsDownAutoPoll(benchmark::State& state) {
    StartDummyVideo();
    ConnectedPad pad;
    for (auto _ : state) benchmark::DoNotOptimize(GamepadIsDown(PAD_A, 0));
}
BENCHMARK(BM_GamepadIsDownAutoPoll);

void BM_GamepadIsDownWithoutPoll(benchmark::State& state) {
    StartDummyVideo();
    ConnectedPad pad;
    AutoPoll = 0;
    for (auto _ : state) benchmark::DoNotOptimize(GamepadIsDown(PAD_A, 0));
    AutoPoll = 1;
}
BENCHMARK(BM_GamepadIsDownWithoutPoll);

// The hot-plug check of a frame in which nothing arrived: one auto-polled
// read of a counter, no look at the devices.
void BM_GamepadsChangedAutoPoll(benchmark::State& state) {
    StartDummyVideo();
    ConnectedPad pad;
    for (auto _ : state) benchmark::DoNotOptimize(GamepadsChanged());
}
BENCHMARK(BM_GamepadsChangedAutoPoll);

void BM_GamepadsChangedWithoutPoll(benchmark::State& state) {
    StartDummyVideo();
    ConnectedPad pad;
    AutoPoll = 0;
    for (auto _ : state) benchmark::DoNotOptimize(GamepadsChanged());
    AutoPoll = 1;
}
BENCHMARK(BM_GamepadsChangedWithoutPoll);

// Looking for devices the raw way, for comparison: what a hot-plug check
// through JoystickCount would cost each frame.
void BM_JoystickCountPadConnected(benchmark::State& state) {
    StartDummyVideo();
    ConnectedPad pad;
    for (auto _ : state) benchmark::DoNotOptimize(JoystickCount());
}
BENCHMARK(BM_JoystickCountPadConnected);

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
