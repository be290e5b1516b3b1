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
// Changes take effect at the next block (1024 frames, about 23 ms, unless
// SetAudioBlockFrames chose another) at the latest; volume and rate glide to
// their new values across one block.
//
// Threads: call everything from one program thread. Mixing runs on SDL's
// audio thread; the two share no lock.
#pragma once

#include <cstdint>
#include <functional>

namespace korva {

struct sounddata;

inline constexpr int32_t kDefaultAudioBlockFrames = 1024;
inline constexpr int32_t kMinAudioBlockFrames = 256;
inline constexpr int32_t kMaxAudioBlockFrames = 8192;

// The frames the mixer mixes at a time from the next OpenAudio on, 256 to
// 8192: a sound starts at the next block, so shorter blocks answer sooner
// and cost the mixer a little more per frame. Start-up opens the device
// with the default 1024 (23 ms), so call it before RunApplication, or
// CloseAudio and OpenAudio again. Returns 0, or -1 (nothing changes) for a
// count outside the range.
int32_t SetAudioBlockFrames(int32_t frames);
// The block of the open device, or the setting while none is open.
int32_t AudioBlockFrames();

// A function that gets every mixed block: `frames` interleaved stereo
// frames of signed 16-bit samples at 44100 Hz, which it may change in place
// (a filter, a meter, a recorder). It runs on the mixer thread, once per
// block, before the block goes to the device, so it must be quick (well
// under the block's duration) and must never wait: no locks the program
// thread holds for long, no file or network I/O, no sleeping, no KorvaGL
// calls. Hand data to the program thread through a lock-free queue or
// atomics. An exception it throws is caught and the callback removed. On
// the fixed clock (docs/audio.md) it runs on the program thread inside
// FlipFrame, with blocks as long as a frame's share.
using TMixerCallback = std::function<void(int16_t* samples, int32_t frames)>;
// Sets the block callback (an empty one removes it); it holds across
// CloseAudio and OpenAudio. When this returns the old callback has
// returned for good and is destroyed.
void SetMixerCallback(TMixerCallback callback);

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
