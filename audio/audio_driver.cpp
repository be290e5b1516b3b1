// The audio driver interface and its silent base implementation.
#include "korvagl/audio/audio_driver.h"

#include "korvagl/app/modules.h"
#include "korvagl/audio/sample_decoder.h"

namespace korva {
namespace {

// Held through a plain pointer with one counted reference, so the backend
// stays usable by exit handlers that run after static destructors began.
TAudioBackend* g_current = nullptr;

}  // namespace

Ref<TAudioClip> TAudioBackend::NewClip(const Ref<TPcmSample>&, int32_t) { return New<TAudioClip>(); }
Ref<TPlayback> TAudioBackend::NewPlayback() { return New<TPlayback>(); }

Ref<TPlayback> TAudioClip::Play(const Ref<TPlayback>&) { return New<TPlayback>(); }
Ref<TPlayback> TAudioClip::PrepareToPlay(const Ref<TPlayback>&) { return New<TPlayback>(); }

Ref<TAudioClip> TAudioClip::Load(const Ref<Object>& source, int32_t flags) {
    Ref<TPcmSample> sample = DownCast<TPcmSample>(source);
    if (!sample) sample = ReadPcmSample(source);
    if (!sample) return nullptr;
    return CurrentAudioBackend()->NewClip(sample, flags);
}

Ref<TAudioClip> TAudioClip::Load(const String& url, int32_t flags) {
    Ref<TPcmSample> sample = ReadPcmSample(url);
    if (!sample) return nullptr;
    return CurrentAudioBackend()->NewClip(sample, flags);
}

int32_t TPlayback::Stop() { return 0; }
int32_t TPlayback::SetPaused(int32_t) { return 0; }
int32_t TPlayback::SetVolume(float) { return 0; }
int32_t TPlayback::SetPan(float) { return 0; }
int32_t TPlayback::SetDepth(float) { return 0; }
int32_t TPlayback::SetRate(float) { return 0; }
int32_t TPlayback::Playing() { return 0; }

Ref<TAudioBackend> CurrentAudioBackend() {
    if (!g_current) detail::InstallAudioBackend(New<TAudioBackend>());
    return Ref<TAudioBackend>(g_current);
}

void detail::InstallAudioBackend(const Ref<TAudioBackend>& backend) {
    TAudioBackend* old = g_current;
    g_current = Ref<TAudioBackend>(backend).Detach();
    if (old) old->Release();
}

Ref<TAudioClip> OpenSoundClip(const Ref<Object>& source, int32_t flags) { return TAudioClip::Load(source, flags); }
Ref<TAudioClip> OpenSoundClip(const String& url, int32_t flags) { return TAudioClip::Load(url, flags); }
Ref<TPlayback> PlayClip(const Ref<TAudioClip>& sound, const Ref<TPlayback>& channel) { return sound->Play(channel); }
Ref<TPlayback> PrepareClip(const Ref<TAudioClip>& sound, const Ref<TPlayback>& channel) {
    return sound->PrepareToPlay(channel);
}
Ref<TPlayback> NewPlayback() { return CurrentAudioBackend()->NewPlayback(); }
void StopPlayback(const Ref<TPlayback>& channel) { channel->Stop(); }
int32_t PlaybackActive(const Ref<TPlayback>& channel) { return channel->Playing(); }
void SetPlaybackVolume(const Ref<TPlayback>& channel, float volume) { channel->SetVolume(volume); }
void SetPlaybackPan(const Ref<TPlayback>& channel, float pan) { channel->SetPan(pan); }
void SetPlaybackDepth(const Ref<TPlayback>& channel, float depth) { channel->SetDepth(depth); }
void SetPlaybackRate(const Ref<TPlayback>& channel, float rate) { channel->SetRate(rate); }
void PausePlayback(const Ref<TPlayback>& channel) { channel->SetPaused(1); }
void ResumePlayback(const Ref<TPlayback>& channel) { channel->SetPaused(0); }

int InitAudioDriver() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitSamples();
    detail::NoteModuleStarted("audio drivers, sounds, channels");
    detail::InstallAudioBackend(New<TAudioBackend>());
    return 0;
}

}  // namespace korva
