// The input tap: recording and replay of SDL input, the frame count and the
// fixed clock.
#include "system/input_tap.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "korvagl/app/faults.h"
#include "korvagl/system/clock.h"
#include "korvagl/system/replay.h"
#include "korvagl/util/random.h"
#include "korvagl/system/gamepad.h"
#include "system/gamepad_state.h"
#include "system/input_filter.h"
#include "system/input_record_format.h"
#include "system/sdl_events.h"

namespace korva::detail {
namespace {

constexpr int32_t kDefaultFrameMs = 16;
// Frames a replay runs past the recorded end before it gives up on the
// program ending by itself.
constexpr uint64_t kEndGraceFrames = 120;

struct Tap {
    bool started = false;
    bool recording = false;
    bool replaying = false;
    int32_t frameMs = 0;
    uint64_t frames = 0;
    uint32_t pumps = 0;  // pumps made in the current frame
    std::FILE* out = nullptr;
    InputRecording replay;
    size_t next = 0;        // the next event to feed
    size_t nextSeed = 0;    // the next seed event to give back
    bool forceNext = false;  // a wait made the next event due now
    uint64_t endFrame = 0;
    bool closeSent = false;
    int64_t realFrameUs = -1;  // recording: real time the last frame ended
    void (*frameHook)() = nullptr;
    bool pumping = false;  // inside TapPump: events belong to pump `pumpNow`
    uint32_t pumpNow = 0;
    void (*fixedClockHook)() = nullptr;
} tap;

class TFixedClock : public TClockSource {
public:
    int64_t ElapsedUs() override { return static_cast<int64_t>(tap.frames) * tap.frameMs * 1000; }
    void SleepMs(int32_t) override {}
};

void Write(const RecordedEvent& e) {
    if (!tap.out) return;
    const std::string line = FormatRecordedEvent(e) + "\n";
    std::fwrite(line.data(), 1, line.size(), tap.out);
}

void FinishRecording() {
    if (!tap.out) return;
    RecordedEvent end;
    end.frame = tap.frames;
    end.pump = tap.pumps;
    end.kind = InputKind::End;
    Write(end);
    std::fclose(tap.out);
    tap.out = nullptr;
}

int32_t SeedHook(int32_t seed) { return TapSeed(seed); }

// The recorded form of an input event; false for events that are not input.
bool Record(const SDL_Event& event, RecordedEvent& e) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            e.kind = InputKind::Key;
            e.down = event.type == SDL_KEYDOWN;
            e.code = event.key.keysym.scancode;
            e.mod = event.key.keysym.mod;
            e.flag = event.key.repeat != 0;
            return true;
        case SDL_TEXTINPUT:
            e.kind = InputKind::Text;
            e.text = event.text.text;
            return !e.text.empty();
        case SDL_MOUSEMOTION:
            e.kind = InputKind::Motion;
            e.x = event.motion.x;
            e.y = event.motion.y;
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            e.kind = InputKind::Button;
            e.down = event.type == SDL_MOUSEBUTTONDOWN;
            e.code = event.button.button;
            e.x = event.button.x;
            e.y = event.button.y;
            return e.code >= 1;
        case SDL_MOUSEWHEEL:
            e.kind = InputKind::Wheel;
            e.x = event.wheel.x;
            e.y = event.wheel.y;
            e.flag = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED;
            return true;
        case SDL_WINDOWEVENT:
            e.kind = InputKind::Window;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE: e.code = kWindowClose; return true;
                case SDL_WINDOWEVENT_FOCUS_GAINED: e.code = kWindowFocus; return true;
                case SDL_WINDOWEVENT_FOCUS_LOST: e.code = kWindowBlur; return true;
                default: return false;
            }
        default: return false;  // gamepads are recorded as the gamepad state sees them (TapGamepadEvent)
    }
}

// The SDL event a recorded one stands for; false for kinds that carry no input.
bool Rebuild(const RecordedEvent& e, SDL_Event& event) {
    std::memset(&event, 0, sizeof event);
    const Uint32 window = 1;
    switch (e.kind) {
        case InputKind::Key:
            event.type = e.down ? SDL_KEYDOWN : SDL_KEYUP;
            event.key.windowID = window;
            event.key.state = e.down ? SDL_PRESSED : SDL_RELEASED;
            event.key.repeat = e.flag ? 1 : 0;
            event.key.keysym.scancode = static_cast<SDL_Scancode>(e.code);
            event.key.keysym.sym = SDL_GetKeyFromScancode(static_cast<SDL_Scancode>(e.code));
            event.key.keysym.mod = static_cast<Uint16>(e.mod);
            return true;
        case InputKind::Text:
            event.type = SDL_TEXTINPUT;
            event.text.windowID = window;
            std::strncpy(event.text.text, e.text.c_str(), sizeof event.text.text - 1);
            return true;
        case InputKind::Motion:
            event.type = SDL_MOUSEMOTION;
            event.motion.windowID = window;
            event.motion.x = e.x;
            event.motion.y = e.y;
            return true;
        case InputKind::Button:
            event.type = e.down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
            event.button.windowID = window;
            event.button.button = static_cast<Uint8>(e.code);
            event.button.state = e.down ? SDL_PRESSED : SDL_RELEASED;
            event.button.clicks = 1;
            event.button.x = e.x;
            event.button.y = e.y;
            return true;
        case InputKind::Wheel:
            event.type = SDL_MOUSEWHEEL;
            event.wheel.windowID = window;
            event.wheel.x = e.x;
            event.wheel.y = e.y;
            event.wheel.direction = e.flag ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
            return true;
        case InputKind::Window:
            event.type = SDL_WINDOWEVENT;
            event.window.windowID = window;
            event.window.event = e.code == kWindowClose   ? SDL_WINDOWEVENT_CLOSE
                                 : e.code == kWindowFocus ? SDL_WINDOWEVENT_FOCUS_GAINED
                                                          : SDL_WINDOWEVENT_FOCUS_LOST;
            return true;
        default: return false;
    }
}

// A recorded gamepad event goes straight to the gamepad state, so it replays
// without the device. A pad seen only through its buttons and axes (a
// recording that holds no arrivals) arrives first as a mapped generic pad.
bool FeedPad(const RecordedEvent& e) {
    GamepadEvent pad;
    pad.device = e.which;
    switch (e.kind) {
        case InputKind::PadArrive:
        case InputKind::PadRemap:
            pad.kind = e.kind == InputKind::PadArrive ? GamepadEvent::Arrived : GamepadEvent::Remapped;
            pad.type = e.code;
            pad.mapped = e.flag;
            pad.held = static_cast<uint32_t>(e.mod);
            for (size_t i = 0; i < e.axes.size(); ++i) pad.axes[i] = static_cast<int16_t>(e.axes[i]);
            pad.name = e.text;
            pad.guid = e.guid;
            break;
        case InputKind::PadLeave: pad.kind = GamepadEvent::Left; break;
        case InputKind::PadButton:
        case InputKind::PadAxis:
            pad.kind = e.kind == InputKind::PadAxis ? GamepadEvent::AxisMoved
                       : e.down                     ? GamepadEvent::ButtonDown
                                                    : GamepadEvent::ButtonUp;
            pad.control = e.code;
            pad.value = e.x;
            if (PadOfDevice(TheGamepadState(), e.which) < 0) {
                GamepadEvent arrival;
                arrival.device = e.which;
                arrival.mapped = true;
                arrival.type = PAD_TYPE_GENERIC;
                arrival.name = "Recorded pad";
                GamepadFilter(TheGamepadState(), arrival);
            }
            break;
        default: return false;
    }
    GamepadFilter(TheGamepadState(), pad);
    return true;
}

// Hands a due recorded event on: gamepads to their state, the rest as SDL events.
void Feed(const RecordedEvent& e, InputState& state, void (*deliver)(InputState&, const SDL_Event&)) {
    SDL_Event event;
    if (!FeedPad(e) && Rebuild(e, event)) deliver(state, event);
}

// Events a wait for input can take; joystick readings are states, not events.
bool IsInput(const RecordedEvent& e) {
    return e.kind != InputKind::Seed && e.kind != InputKind::End && e.kind != InputKind::Unknown &&
           e.kind != InputKind::JoyCount && e.kind != InputKind::JoyPort;
}

bool Due(const RecordedEvent& e, uint32_t pump) {
    return e.frame < tap.frames || (e.frame == tap.frames && e.pump <= pump);
}

std::string ReadWhole(const char* path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* Setting(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

}  // namespace

void StartInputTap() {
    if (tap.started) return;
    tap.started = true;
    const char* record = Setting("KORVAGL_RECORD");
    const char* replay = Setting("KORVAGL_REPLAY");
    const char* fixed = Setting("KORVAGL_FIXED_FRAME_MS");
    if (fixed) {
        char* end = nullptr;
        const long ms = std::strtol(fixed, &end, 10);
        if (*end != '\0' || ms < 1 || ms > kMostFrameMs)
            RaiseRuntimeError(String("KORVAGL_FIXED_FRAME_MS must be a whole number of 1 to 1000 ms"));
        tap.frameMs = static_cast<int32_t>(ms);
    }
    if (replay) {
        bool ok = false;
        const std::string text = ReadWhole(replay, ok);
        if (!ok) RaiseRuntimeError(String("cannot read the replay ") + String(replay));
        std::string error;
        if (!ParseRecording(text, tap.replay, error))
            RaiseRuntimeError(String("replay ") + String(replay) + ": " + String(error));
        tap.replaying = true;
        tap.frameMs = tap.replay.frameMs;  // the recorded run's clock
        SetRandomSeed(tap.replay.seed);
        tap.endFrame = tap.replay.events.empty() ? 0 : tap.replay.events.back().frame;
    } else if (record) {
        tap.out = std::fopen(record, "w");
        if (!tap.out) RaiseRuntimeError(String("cannot write the recording ") + String(record));
        if (tap.frameMs == 0) tap.frameMs = kDefaultFrameMs;
        const std::string header = FormatRecordingHeader(tap.frameMs, RandomSeed());
        std::fwrite(header.data(), 1, header.size(), tap.out);
        std::fflush(tap.out);
        tap.recording = true;
        std::atexit(FinishRecording);
    }
    if (tap.frameMs > 0) {
        CurrentClockSource() = New<TFixedClock>();
        if (tap.fixedClockHook) tap.fixedClockHook();
    }
    if (tap.recording || tap.replaying) SetRandomSeedHook(SeedHook);
}

bool InputTapActive() { return tap.recording || tap.replaying; }
bool TapRecording() { return tap.recording; }
bool TapReplaying() { return tap.replaying; }
int32_t TapFixedFrameMs() { return tap.frameMs; }
uint64_t TapFramesShown() { return tap.frames; }
uint32_t TapPumpsInFrame() { return tap.pumps; }
void TapWriteEvent(const RecordedEvent& event) { Write(event); }
const InputRecording& TapReplayRecording() { return tap.replay; }

void TapPump(InputState& state, void (*deliver)(InputState&, const SDL_Event&), bool running) {
    const uint32_t pump = tap.pumps;
    if (tap.pumps != 0xFFFFFFFFu) ++tap.pumps;
    SDL_Event event;
    tap.pumping = true;
    tap.pumpNow = pump;
    if (running) {
        while (SDL_PollEvent(&event)) {
            if (tap.replaying) continue;  // the recording stands in for the devices
            RecordedEvent e;
            if (Record(event, e)) {
                e.frame = tap.frames;
                e.pump = pump;
                Write(e);
            }
            deliver(state, event);
        }
    }
    tap.pumping = false;
    if (!tap.replaying) return;
    const auto& events = tap.replay.events;
    if (tap.forceNext) {
        // A wait for input: the next input event is due whenever it was recorded.
        while (tap.next < events.size() && !IsInput(events[tap.next])) ++tap.next;
        if (tap.next < events.size()) {
            const RecordedEvent& first = events[tap.next];
            while (tap.next < events.size() && events[tap.next].frame == first.frame &&
                   events[tap.next].pump == first.pump) {
                Feed(events[tap.next], state, deliver);
                ++tap.next;
            }
        }
        tap.forceNext = false;
    }
    while (tap.next < events.size() && Due(events[tap.next], pump)) {
        Feed(events[tap.next], state, deliver);
        ++tap.next;
    }
    // Past the recorded end the window is asked to close, as a player would.
    if (tap.frames > tap.endFrame && !tap.closeSent) {
        tap.closeSent = true;
        RecordedEvent close;
        close.kind = InputKind::Window;
        close.code = kWindowClose;
        if (Rebuild(close, event)) deliver(state, event);
    }
}

bool TapReplayWait() {
    for (size_t i = tap.next; i < tap.replay.events.size(); ++i) {
        if (IsInput(tap.replay.events[i])) {
            if (!Due(tap.replay.events[i], tap.pumps)) tap.forceNext = true;
            return true;
        }
    }
    RaiseRuntimeError(String("replay: the program waits for input the recording does not hold"));
}

void TapFrameShown() {
    ++tap.frames;
    tap.pumps = 0;
    if (tap.recording) {
        if (tap.out) std::fflush(tap.out);
        // A person plays while recording: frames come at the fixed clock's
        // rate in real time too.
        const int64_t now = SDLMicroseconds();
        const int64_t due = tap.realFrameUs + int64_t{tap.frameMs} * 1000;
        if (tap.realFrameUs >= 0 && now < due) {
            SDLDelay(static_cast<int32_t>((due - now) / 1000));
            tap.realFrameUs = due;
        } else {
            tap.realFrameUs = now;
        }
    }
    if (tap.frameHook) tap.frameHook();
    if (tap.replaying && tap.frames > tap.endFrame + kEndGraceFrames) {
        std::fprintf(stderr, "replay: the program ran %llu frames past the recorded end; stopping it\n",
                     static_cast<unsigned long long>(kEndGraceFrames));
        std::exit(3);
    }
}

void SetTapFrameHook(void (*hook)()) { tap.frameHook = hook; }
void SetTapFixedClockHook(void (*hook)()) { tap.fixedClockHook = hook; }

void TapGamepadEvent(const GamepadEvent& pad) {
    if (!tap.recording) return;
    RecordedEvent e;
    e.frame = tap.frames;
    // Outside a pump (a query starting the gamepads) the event is due at the next.
    e.pump = tap.pumping ? tap.pumpNow : tap.pumps;
    e.which = pad.device;
    switch (pad.kind) {
        case GamepadEvent::Arrived:
        case GamepadEvent::Remapped:
            e.kind = pad.kind == GamepadEvent::Arrived ? InputKind::PadArrive : InputKind::PadRemap;
            e.code = pad.type;
            e.flag = pad.mapped;
            e.mod = static_cast<int32_t>(pad.held & ((1u << 21) - 1));
            for (size_t i = 0; i < e.axes.size(); ++i) e.axes[i] = pad.axes[i];
            e.text = pad.name.substr(0, 255);
            e.guid = pad.guid.size() <= 32 ? pad.guid : std::string();
            break;
        case GamepadEvent::Left: e.kind = InputKind::PadLeave; break;
        case GamepadEvent::ButtonDown:
        case GamepadEvent::ButtonUp:
            e.kind = InputKind::PadButton;
            e.down = pad.kind == GamepadEvent::ButtonDown;
            e.code = pad.control;
            break;
        case GamepadEvent::AxisMoved:
            e.kind = InputKind::PadAxis;
            e.code = pad.control;
            e.x = pad.value;
            break;
    }
    Write(e);
}

int32_t TapSeed(int32_t seed) {
    if (tap.recording) {
        RecordedEvent e;
        e.frame = tap.frames;
        e.pump = tap.pumps;
        e.kind = InputKind::Seed;
        e.x = seed;
        Write(e);
        return seed;
    }
    if (tap.replaying) {
        const auto& events = tap.replay.events;
        while (tap.nextSeed < events.size() && events[tap.nextSeed].kind != InputKind::Seed) ++tap.nextSeed;
        if (tap.nextSeed < events.size()) return events[tap.nextSeed++].x;
    }
    return seed;
}

}  // namespace korva::detail

namespace korva {

uint64_t FramesShown() { return detail::TapFramesShown(); }
int32_t FixedFrameMs() { return detail::TapFixedFrameMs(); }
int32_t ReplayRunning() { return detail::TapReplaying() ? 1 : 0; }
int32_t RecordingInput() { return detail::TapRecording() ? 1 : 0; }
void detail::NoteFrameShown() { TapFrameShown(); }
void detail::SetFrameShownHook(void (*hook)()) { detail::SetTapFrameHook(hook); }
void detail::SetFixedClockHook(void (*hook)()) { detail::SetTapFixedClockHook(hook); }

}  // namespace korva
