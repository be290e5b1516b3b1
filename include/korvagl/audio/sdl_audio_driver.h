// KorvaGL: the SDL audio driver.
//
// InitSDLAudioDriver opens the default SDL audio device (44100 Hz, signed
// 16-bit stereo, 1024 frames per block unless SetAudioBlockFrames chose
// another) with a software mixer behind it and
// makes TSDLAudioBackend the current audio backend. Without a device the
// open fails quietly (nothing is printed) and the silent base backend stays.
// The environment variable SDL_AUDIODRIVER picks SDL's driver ("dummy" and
// "disk" work without sound hardware).
//
// Its clips and playbacks are sound data and channel handles of the mixing
// library (audio_library.h).
#pragma once

#include <cstdint>

#include "korvagl/audio/audio_driver.h"
#include "korvagl/audio/audio_library.h"

namespace korva {

class TSDLAudioBackend : public TAudioBackend {
public:
    // Converts the sample to 16-bit stereo and copies it into sound data.
    Ref<TAudioClip> NewClip(const Ref<TPcmSample>& sample, int32_t flags) override;
    // A new channel, or the null object when all 4095 are in use.
    Ref<TPlayback> NewPlayback() override;
};

class TSDLAudioClip : public TAudioClip {
public:
    explicit TSDLAudioClip(sounddata* data) : data(data) {}
    ~TSDLAudioClip() override;
    TSDLAudioClip(const TSDLAudioClip&) = delete;
    TSDLAudioClip& operator=(const TSDLAudioClip&) = delete;

    // The null object when `channel` is not an SDL playback or nothing could
    // be started; the given channel itself when the sound went there.
    Ref<TPlayback> Play(const Ref<TPlayback>& channel) override;
    Ref<TPlayback> PrepareToPlay(const Ref<TPlayback>& channel) override;

    sounddata* const data;

private:
    Ref<TPlayback> Start(const Ref<TPlayback>& channel, int32_t paused);
};

class TSDLPlayback : public TPlayback {
public:
    explicit TSDLPlayback(int32_t handle) : handle(handle) {}
    int32_t Stop() override;
    int32_t SetPaused(int32_t paused) override;
    // Values are scaled to fixed point and saturate at the type's range.
    int32_t SetVolume(float volume) override;
    int32_t SetPan(float pan) override;
    int32_t SetDepth(float depth) override;
    int32_t SetRate(float rate) override;
    int32_t Playing() override;

    const int32_t handle;
};

// Module initialiser: opens the device and installs TSDLAudioBackend.
int InitSDLAudioDriver();

}  // namespace korva
