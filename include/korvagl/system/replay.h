// KorvaGL: recorded input, replay and the fixed clock (docs/testing.md).
//
// Three environment switches, read once when the system starts:
//   KORVAGL_RECORD=file        writes every input event with the frame it
//                              arrived in (a text file, one event a line);
//   KORVAGL_REPLAY=file        feeds a recording back at the same frames
//                              instead of the real devices;
//   KORVAGL_FIXED_FRAME_MS=n   a fixed clock: ElapsedMs, ElapsedUs, the frame
//                              timers, FlipFrame's pacing and the audio mixer
//                              advance exactly n ms each frame and never
//                              sleep.
// Recording and replay both run on the fixed clock (n from the switch, else
// 16; a replay takes the recording's), so a replay sees the same times and
// runs as fast as the machine allows. Seeds given to SetRandomSeed are
// recorded and given back in replay. KORVAGL_CAPTURE=dir:10,60,300 saves the
// pictures of those frames as dir/frame-000010.png and so on.
#pragma once

#include <cstdint>

namespace korva {

// FlipFrame calls so far; frame N of a capture is the one the Nth shows.
uint64_t FramesShown();
// Milliseconds a frame on the fixed clock, or 0 when the real clock runs.
int32_t FixedFrameMs();
// True while input comes from a recording.
int32_t ReplayRunning();
// True while input is being recorded.
int32_t RecordingInput();

namespace detail {
// FlipFrame reports each frame shown: the frame count and the fixed clock
// move on.
void NoteFrameShown();
// A function FlipFrame calls after each frame is shown and the fixed clock
// has moved on (the audio mixer on the fixed clock); null removes it.
void SetFrameShownHook(void (*hook)());
// A function called when start-up puts the fixed clock in place (the audio
// mixer, opened earlier on a real device, moves onto the fixed clock).
void SetFixedClockHook(void (*hook)());
}  // namespace detail

}  // namespace korva
