// KorvaGL: the mixing library under the SDL audio driver.
//
// These flat functions are the mixing library's own interface; all of
// them return quietly (0) while no device is open. Channel handles are
// integers: the low 12 bits pick one of 4095 slots, the upper bits the
// slot's generation, so a handle whose slot was reused affects nothing.
//
// Parameters: rate 16.16 fixed point (65536 plays at the data's own rate),
// volume, pan and depth 4.12 fixed point (4096 is 1.0; pan -4096 is full
// left, 4096 full right; a negative depth inverts the right channel).
// Changes take effect at the next block (about 93 ms) at the latest; volume
// and rate glide to their new values across one block.
//
// Threads: call everything from one program thread. Mixing runs on SDL's
// audio thread; the two share no lock.
#pragma once

#include <cstdint>

namespace korva {

struct sounddata;

// 0, or -1 when no audio device can be opened.
int32_t OpenAudio();
// Stops the device and releases the channel table and every voice. Runs at
// process exit once the device has opened.
void CloseAudio();
// Sound data of `length` frames copied from `data`: bits 8 (unsigned) or 16
// (signed, native order), 1 or 2 channels, hertz > 0; any `loop` other than 0
// loops. Null for arguments outside these. The count of references is 1.
sounddata* CreateSoundData(int32_t length, int32_t bits, int32_t channels, int32_t hertz, const void* data,
                           int32_t loop);
// Releases one reference; playing voices hold their own.
void FreeSoundData(sounddata* data);
// A free channel handle, or 0 when all 4095 are in use.
int32_t AllocChannelHandle();
// Starts `data` on channel `handle`, or with 0 on a handle of its own that is
// released when the sound ends. Returns the handle, or 0 when nothing was
// started (stale handle, no device, or 4096 starts already waiting for the
// mixer); with 0 and no free handle a one-shot sound plays without one and
// 0 is returned, while a looping or paused one is refused.
int32_t PlaySoundData(int32_t handle, sounddata* data, int32_t paused);
void StopHandle(int32_t handle);
void PauseHandle(int32_t handle, int32_t paused);
void SetHandleVolume(int32_t handle, int16_t volume);
void SetHandlePan(int32_t handle, int16_t pan);
void SetHandleDepth(int32_t handle, int16_t depth);
void SetHandleRate(int32_t handle, int32_t rate);
// The state of the handle's voice: 0 dead or no voice, 1 stopped, 2 playing
// once, 4 looping, plus 16 while paused.
int32_t HandleState(int32_t handle);

}  // namespace korva
