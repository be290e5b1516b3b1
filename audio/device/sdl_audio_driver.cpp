// The SDL audio driver: backend, clips and playbacks over the mixing library.
#include "audio/device/fixed_point.h"
#include "korvagl/app/modules.h"
#include "korvagl/audio/sdl_audio_driver.h"

namespace korva {
using detail::ToGain;

Ref<TAudioClip> TSDLAudioBackend::NewClip(const Ref<TPcmSample>& sample, int32_t flags) {
    Ref<TPcmSample> converted = sample;
    if (sample->format != SMP_STEREO16LE) converted = sample->Convert(SMP_STEREO16LE);
    sounddata* data = CreateSoundData(converted->length, 16, 2, converted->hertz, converted->samples, flags ? -1 : 0);
    return New<TSDLAudioClip>(data);
}

Ref<TPlayback> TSDLAudioBackend::NewPlayback() {
    const int32_t handle = AllocChannelHandle();
    if (handle == 0) return nullptr;
    return New<TSDLPlayback>(handle);
}

TSDLAudioClip::~TSDLAudioClip() { FreeSoundData(data); }

Ref<TPlayback> TSDLAudioClip::Play(const Ref<TPlayback>& channel) { return Start(channel, 0); }
Ref<TPlayback> TSDLAudioClip::PrepareToPlay(const Ref<TPlayback>& channel) { return Start(channel, 1); }

Ref<TPlayback> TSDLAudioClip::Start(const Ref<TPlayback>& channel, int32_t paused) {
    Ref<TSDLPlayback> given = DownCast<TSDLPlayback>(channel);
    if (channel && !given) return nullptr;
    const int32_t handle = PlaySoundData(given ? given->handle : 0, data, paused);
    if (handle == 0) return nullptr;
    if (given && given->handle == handle) return given;
    return New<TSDLPlayback>(handle);
}

int32_t TSDLPlayback::Stop() {
    StopHandle(handle);
    return 0;
}

int32_t TSDLPlayback::SetPaused(int32_t paused) {
    PauseHandle(handle, paused);
    return 0;
}

int32_t TSDLPlayback::SetVolume(float volume) {
    SetHandleVolume(handle, ToGain(volume));
    return 0;
}

int32_t TSDLPlayback::SetPan(float pan) {
    SetHandlePan(handle, ToGain(pan));
    return 0;
}

int32_t TSDLPlayback::SetDepth(float depth) {
    SetHandleDepth(handle, ToGain(depth));
    return 0;
}

int32_t TSDLPlayback::SetRate(float rate) {
    SetHandleRate(handle, detail::ToRate(rate));
    return 0;
}

int32_t TSDLPlayback::Playing() { return HandleState(handle) > 1 ? 1 : 0; }

int InitSDLAudioDriver() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitAudioDriver();
    detail::NoteModuleStarted("SDL audio driver");
    OpenAudio();  // without a device the base driver stays
    return 0;
}

}  // namespace korva
