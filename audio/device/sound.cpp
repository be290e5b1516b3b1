// Voices and sound data.
#include "audio/device/sound.h"

#include <cstdlib>

#include "audio/device/stream_data.h"

namespace korva {

void sounddata::Release() {
    if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        std::free(buffer);
        delete this;
    }
}

sound::~sound() {
    if (data) data->Release();
    if (stream) stream->Release();
}

void sound::ResetParameters(int32_t rate, int16_t volume, int16_t pan, int16_t depth) {
    rateCurrent.store(rate, std::memory_order_relaxed);
    rateTarget.store(rate, std::memory_order_relaxed);
    volumeCurrent.store(volume, std::memory_order_relaxed);
    volumeTarget.store(volume, std::memory_order_relaxed);
    panCurrent.store(pan, std::memory_order_relaxed);
    panTarget.store(pan, std::memory_order_relaxed);
    depthCurrent.store(depth, std::memory_order_relaxed);
    depthTarget.store(depth, std::memory_order_relaxed);
}

void sound::MarkStopped() {
    int32_t s = state.load(std::memory_order_relaxed);
    while (s != VOICE_DEAD && s != VOICE_STOPPED &&
           !state.compare_exchange_weak(s, VOICE_STOPPED, std::memory_order_acq_rel)) {
    }
}

void sound::MarkPaused(bool paused) {
    int32_t s = state.load(std::memory_order_relaxed);
    for (;;) {
        if ((s & (VOICE_ONCE | VOICE_LOOP | VOICE_STREAM)) == 0) return;
        const int32_t wanted = paused ? (s | VOICE_PAUSED) : (s & ~VOICE_PAUSED);
        if (wanted == s || state.compare_exchange_weak(s, wanted, std::memory_order_acq_rel)) return;
    }
}

}  // namespace korva
