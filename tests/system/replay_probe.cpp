// Prints, frame by frame, everything the polled input queries answer, until
// Escape or a close request: a recorded run and its replay print the same.
// It seeds the random numbers from its process id first, so only a replay
// that gives the recorded seed back draws the same number.
// With --clock: ten frames of what the clock and two frame timers say.
// With --wait: WaitForKey and WaitForChar until they fail.
// With --music FILE: plays FILE for 30 frames (a seek at frame 10) and prints
// the music's position each frame and a sum of every mixed block.
// With --pad: 40 frames of what the gamepad queries say; with --pad attach
// a virtual pad arrives, is pressed and pushed on set frames and leaves.
// With --joystick: twelve frames of joystick readings; unless replaying, an
// SDL virtual joystick is plugged in, moved and unplugged as they go.
#include <SDL.h>
#include <korvagl/korvagl.h>
#include <korvagl/system/gamepad.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "support/virtual_pad.h"

using namespace korva;

namespace {

void Clock() {
    OpenGraphics(200, 150, 0, 60);
    const Ref<TFrameTimer> same = NewFrameTimer(50), faster = NewFrameTimer(100);  // 20 ms and 10 ms
    for (int frame = 0; frame < 10; ++frame) {
        std::printf("%d: %d ms, ticks %d %d\n", frame, ElapsedMs(), WaitFrameTimer(same), WaitFrameTimer(faster));
        FlipFrame();
    }
    std::printf("frames %llu, fixed %d ms, replay %d, recording %d\n", static_cast<unsigned long long>(FramesShown()),
                FixedFrameMs(), ReplayRunning(), RecordingInput());
}

void Music(const String& file) {
    OpenGraphics(200, 150, 0, 60);
    uint64_t sum = 1469598103934665603ull;  // FNV-1a over every mixed sample
    int64_t mixed = 0;
    SetMixerCallback([&](int16_t* samples, int32_t frames) {
        for (int32_t i = 0; i < 2 * frames; ++i) sum = (sum ^ static_cast<uint16_t>(samples[i])) * 1099511628211ull;
        mixed += frames;
    });
    const Ref<TMusic> music = OpenMusic(file);
    if (!music || !PlayMusic(music)) {
        std::printf("cannot play: %s\n", LastErrorText().Utf8().c_str());
        return;
    }
    for (int frame = 0; frame < 30; ++frame) {
        if (frame == 10) SeekMusic(music, 0.5);
        std::printf("%d: %.0f\n", frame, MusicPosition(music) * MusicHertz(music));
        FlipFrame();
    }
    SetMixerCallback(nullptr);
    std::printf("mixed %lld, sum %016llx\n", static_cast<long long>(mixed), static_cast<unsigned long long>(sum));
}

void Pad(bool attach) {
    OpenGraphics(200, 150, 0, 60);
    GamepadCount();  // starts the gamepads
    std::unique_ptr<test::VirtualPad> pad;
    if (attach) pad = std::make_unique<test::VirtualPad>();
    for (int frame = 0; frame < 40; ++frame) {
        if (pad && frame == 5) pad->Button(PAD_A, true);
        if (pad && frame == 8) pad->Button(PAD_A, false);
        if (pad && frame == 10) pad->Axis(PAD_LEFTX, 20000);
        if (pad && frame == 15) pad->Detach();
        std::printf("%d: count %d changed %d %s type %d a %d%d x %.3f\n", frame, GamepadCount(), GamepadsChanged(),
                    GamepadName(0).Utf8().c_str(), GamepadType(0), GamepadIsDown(PAD_A, 0), GamepadWasHit(PAD_A, 0),
                    GamepadAxis(PAD_LEFTX, 0));
        FlipFrame();
    }
}

// Each query on its own, in this order.
std::string Reading(int32_t port) {
    const std::string name = JoystickName(port).ToBytes();
    const int32_t buttons = JoystickButtonMask(port), axes = JoystickAxisMask(port);
    const float x = JoystickX(port), y = JoystickY(port), hat = JoystickHat(port);
    char text[200];
    std::snprintf(text, sizeof text, " [%s] %d %d x%.9g y%.9g hat%.9g held", name.c_str(), buttons, axes, x, y, hat);
    std::string out = text;
    for (int32_t b = 0; b < 4; ++b) out += std::to_string(JoystickButtonHeld(b, port));
    return out;
}

void Joystick() {
    OpenGraphics(200, 150, 0, 60);
    const bool device = !ReplayRunning();
    if (device && SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) std::printf("no joystick part: %s\n", SDL_GetError());
    SDL_Joystick* stick = nullptr;
    for (int frame = 0; frame < 12; ++frame) {
        std::string extra;
        if (device && frame == 1)
            stick = SDL_JoystickOpen(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 6, 4, 1));
        if (stick && frame == 3) {
            SDL_JoystickSetVirtualAxis(stick, 0, 32767);
            SDL_JoystickSetVirtualButton(stick, 2, SDL_PRESSED);
        }
        if (stick && frame == 5) {
            SDL_JoystickSetVirtualAxis(stick, 1, -32768);
            SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_RIGHT);
        }
        if (frame == 6) {
            // A move between two readings of one frame stays between them.
            char before[40];
            std::snprintf(before, sizeof before, " before x%.9g", JoystickX());
            extra = before;
            if (stick) SDL_JoystickSetVirtualAxis(stick, 0, -32768);
        }
        if (stick && frame == 8) {
            SDL_JoystickSetVirtualButton(stick, 2, SDL_RELEASED);
            SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_CENTERED);
        }
        if (stick && frame == 10) {
            SDL_JoystickDetachVirtual(0);
            SDL_JoystickClose(stick);
            stick = nullptr;
        }
        const int32_t count = JoystickCount();
        std::printf("%d:%s count %d%s\n", frame, extra.c_str(), count, Reading(0).c_str());
        FlipFrame();
    }
    std::fprintf(stderr, "joystick part running: %d\n", SDL_WasInit(SDL_INIT_JOYSTICK) != 0);
    if (device) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        if (ProgramArgs().size() > 1 && ProgramArgs()[1] == "--clock") {
            Clock();
            return 0;
        }
        if (ProgramArgs().size() > 2 && ProgramArgs()[1] == "--music") {
            Music(ProgramArgs()[2]);
            return 0;
        }
        if (ProgramArgs().size() > 1 && ProgramArgs()[1] == "--pad") {
            Pad(ProgramArgs().size() > 2 && ProgramArgs()[2] == "attach");
            return 0;
        }
        if (ProgramArgs().size() > 1 && ProgramArgs()[1] == "--joystick") {
            Joystick();
            return 0;
        }
        if (ProgramArgs().size() > 1 && ProgramArgs()[1] == "--wait") {
            std::printf("key %d\n", WaitForKey());
            std::fflush(stdout);
            std::printf("char %d\n", WaitForChar());
            std::fflush(stdout);
            std::printf("key %d\n", WaitForKey());
            return 0;
        }
        SetRandomSeed(static_cast<int32_t>(getpid()));
        std::printf("drawn %d\n", RandomInt(0, 1000000000));
        SetWindowTitle("KorvaGL Replay Probe");
        OpenGraphics(200, 150, 0, 60);
        std::string last;
        for (int frame = 0; frame < 3000; ++frame) {
            std::string line;
            for (int32_t key = 1; key <= 255; ++key) {
                if (const int32_t n = KeyWasHit(key)) line += " key" + std::to_string(key) + "x" + std::to_string(n);
            }
            for (int32_t c; (c = NextTypedChar()) != 0;) line += " char" + std::to_string(c);
            line += " held" + std::to_string(KeyIsDown(KEY_SHIFT)) + std::to_string(MouseIsDown(1));
            line += " at" + std::to_string(MousePosX()) + "," + std::to_string(MousePosY());
            line += " wheel" + std::to_string(MouseWheelPos()) + " focus" + std::to_string(WindowHasFocus());
            const bool close = WindowCloseRequested() != 0;
            if (close) line += " close";
            if (line != last) std::printf("%d:%s\n", frame, line.c_str());
            last = line;
            if (close || line.find(" key27x") != std::string::npos) break;
            ClearScreen();
            FlipFrame();
        }
        return 0;
    });
}
