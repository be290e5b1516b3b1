// KorvaGL: the audio driver, clips (sounds) and playbacks (channels).
//
// One audio backend is current. At start-up it is the silent base backend,
// whose clips play nothing and whose playbacks accept every request and
// report Playing() == 0; the SDL audio driver replaces it when an audio
// device opens (see sdl_audio_driver.h).
//
// A clip is made from a sample by the current backend; the sample itself is
// not kept. Play and PrepareToPlay take the playback to play on, or the null
// object to let the driver pick one, which they return. Dropping a playback
// object never stops its sound. Clips and playbacks made by one backend are
// only meaningful with that backend.
//
// Threads: call everything here from one thread (the program thread).
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/audio/sample.h"

namespace korva {

class TAudioClip;
class TPlayback;

// The flag of OpenSoundClip (and NewClip) that makes a sound loop; flags 0
// play it once. Any other non-zero value loops as well.
inline constexpr int32_t SOUND_LOOP = 1;

class TAudioBackend : public Object {
public:
    // A new clip of `sample`; flags SOUND_LOOP (any other than 0) make it loop.
    virtual Ref<TAudioClip> NewClip(const Ref<TPcmSample>& sample, int32_t flags);
    // A new playback (channel) of the driver's own.
    virtual Ref<TPlayback> NewPlayback();
};

class TAudioClip : public Object {
public:
    // Starts playing now on `channel` (null: a channel of the driver's choosing).
    virtual Ref<TPlayback> Play(const Ref<TPlayback>& channel);
    // The same, but paused: ResumePlayback starts it.
    virtual Ref<TPlayback> PrepareToPlay(const Ref<TPlayback>& channel);

    // A clip from a TPcmSample, or from a URL or stream through ReadPcmSample;
    // the null object when the source cannot be loaded (LastErrorText() says
    // why).
    static Ref<TAudioClip> Load(const Ref<Object>& source, int32_t flags);
    static Ref<TAudioClip> Load(const String& url, int32_t flags);
};

class TPlayback : public Object {
public:
    virtual int32_t Stop();
    // 1 pauses, 0 resumes.
    virtual int32_t SetPaused(int32_t paused);
    // 1.0 is the sample's own level.
    virtual int32_t SetVolume(float volume);
    // -1.0 full left, 0 centre, 1.0 full right.
    virtual int32_t SetPan(float pan);
    // A negative depth inverts the right channel's phase.
    virtual int32_t SetDepth(float depth);
    // Speed factor: 1.0 is the sample's own rate.
    virtual int32_t SetRate(float rate);
    // 1 while a sound is playing or paused on the channel.
    virtual int32_t Playing();
};

// The current backend (never the null object once InitAudioDriver ran).
Ref<TAudioBackend> CurrentAudioBackend();

Ref<TAudioClip> OpenSoundClip(const Ref<Object>& source, int32_t flags);
Ref<TAudioClip> OpenSoundClip(const String& url, int32_t flags);
Ref<TPlayback> PlayClip(const Ref<TAudioClip>& sound, const Ref<TPlayback>& channel = nullptr);
Ref<TPlayback> PrepareClip(const Ref<TAudioClip>& sound, const Ref<TPlayback>& channel = nullptr);
Ref<TPlayback> NewPlayback();
void StopPlayback(const Ref<TPlayback>& channel);
int32_t PlaybackActive(const Ref<TPlayback>& channel);
void SetPlaybackVolume(const Ref<TPlayback>& channel, float volume);
void SetPlaybackPan(const Ref<TPlayback>& channel, float pan);
void SetPlaybackDepth(const Ref<TPlayback>& channel, float depth);
void SetPlaybackRate(const Ref<TPlayback>& channel, float rate);
void PausePlayback(const Ref<TPlayback>& channel);
void ResumePlayback(const Ref<TPlayback>& channel);

// Module initialiser: installs the silent base backend.
int InitAudioDriver();

namespace detail {
// Makes `backend` the current one (the device module does this when its
// device opens, and puts a base backend back when it closes).
void InstallAudioBackend(const Ref<TAudioBackend>& backend);
}  // namespace detail

}  // namespace korva
