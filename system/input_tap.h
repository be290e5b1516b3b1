// The input tap: the one place every SDL input event passes through on its
// way to the polled state. It counts frames (FlipFrame calls), and with
// KORVAGL_RECORD writes each event with the frame and pump it arrived in, or
// with KORVAGL_REPLAY feeds the events of a recording at the same frame and
// pump instead of the real devices, so the polled state reads the same.
// KORVAGL_FIXED_FRAME_MS (implied by recording and replay) puts a clock in
// place that advances exactly that many milliseconds a frame and never
// sleeps. Only the .cpp includes SDL.
#pragma once

#include <cstdint>
#include <string>

union SDL_Event;

namespace korva::detail {

struct InputState;
struct GamepadEvent;
struct RecordedEvent;
struct InputRecording;

// Reads the environment once: opens the recording, loads the replay,
// installs the fixed clock. A replay file that cannot be read or is damaged
// raises a runtime error naming the line and the reason.
void StartInputTap();

// True while recording or replaying: events then pass through TapPump.
bool InputTapActive();
bool TapRecording();
bool TapReplaying();
// Milliseconds a frame of the fixed clock, or 0 when the real clock runs.
int32_t TapFixedFrameMs();
// FlipFrame calls so far.
uint64_t TapFramesShown();
// Pumps made in the current frame: with the frame, the time a recorded line
// is stamped with.
uint32_t TapPumpsInFrame();
// Writes a line to the recording; nothing when not recording.
void TapWriteEvent(const RecordedEvent& event);
// The recording being replayed (empty when not replaying).
const InputRecording& TapReplayRecording();

// One pump of the event queue while the tap is active. Real events are
// recorded and delivered (recording) or dropped (replay: the recorded ones
// that are due are delivered instead). `deliver` hands an event on to the
// polled state.
void TapPump(InputState& state, void (*deliver)(InputState&, const SDL_Event&), bool running);
// A replay's answer to a wait for input: true when a recorded event is
// waiting to be fed (it is made due now when it lay in a later frame).
// Raises a runtime error when the recording holds no more input.
bool TapReplayWait();

// Called by FlipFrame after each frame is shown: counts it, advances the
// fixed clock, and while recording keeps the frame rate a person can play at.
void TapFrameShown();
// The function TapFrameShown calls last (see SetFrameShownHook).
void SetTapFrameHook(void (*hook)());
// The function StartInputTap calls once it has put a fixed clock in place.
void SetTapFixedClockHook(void (*hook)());

// Writes an event of a real gamepad while recording. In replay the native
// layer passes none on: the recorded ones reach the gamepad state instead.
void TapGamepadEvent(const GamepadEvent& pad);

// Runs the program's seeds through the recording: recorded while
// recording, replaced by the recorded one in replay.
int32_t TapSeed(int32_t seed);

}  // namespace korva::detail
