// The mixer: voice lists and the per-voice mixing loops.
#include "audio/device/mixer.h"

#include <algorithm>

namespace korva {
namespace {

// The fastest a voice may step: 32768 data frames per output frame. Keeps
// every position sum inside 64 bits.
constexpr int64_t kMaxStep = int64_t{1} << 31;
constexpr uint64_t kUnitStep = uint64_t{1} << 32;  // one frame per output frame
constexpr int kStepFraction = 28;                  // extra bits of a ramping step

// Adds with 32-bit wrap-around (defined behaviour even with thousands of voices).
inline void Accumulate(int32_t& entry, int32_t value) {
    entry = static_cast<int32_t>(static_cast<uint32_t>(entry) + static_cast<uint32_t>(value));
}

struct Gains {
    int32_t left, right;
};

inline Gains GainsFor(int32_t volume, int32_t pan, int32_t depth) {
    Gains g{volume, volume};
    if (pan > 0) g.left = volume * (4096 - pan) >> 12;
    if (pan < 0) g.right = volume * (4096 + pan) >> 12;
    if (depth < 0) g.right = -g.right;
    return g;
}

// Reads frame `index` as left and right values scaled by the gains, in
// accumulator units (16 times a 16-bit sample at unity gain).
template <int Bits, int Channels>
inline void Frame(const uint8_t* data, uint64_t index, Gains g, int32_t* entry) {
    int32_t left, right;
    if constexpr (Bits == 16) {
        const auto* p = reinterpret_cast<const int16_t*>(data) + index * Channels;
        left = p[0];
        right = Channels == 2 ? p[1] : left;
        Accumulate(entry[0], left * g.left >> 8);
        Accumulate(entry[1], right * g.right >> 8);
    } else {
        const uint8_t* p = data + index * Channels;
        left = p[0] - 128;
        right = Channels == 2 ? p[1] - 128 : left;
        Accumulate(entry[0], left * g.left);
        Accumulate(entry[1], right * g.right);
    }
}

// Mixes `count` frames at a constant step and gain; the caller has made sure
// the position stays inside the data.
template <int Bits, int Channels>
void MixSpan(const uint8_t* data, uint64_t position, uint64_t step, int32_t* entry, int64_t count, Gains g) {
    if (step == kUnitStep) {
        const uint64_t first = position >> 32;
        for (int64_t i = 0; i < count; ++i) Frame<Bits, Channels>(data, first + i, g, entry + 2 * i);
    } else {
        for (int64_t i = 0; i < count; ++i, position += step) {
            Frame<Bits, Channels>(data, position >> 32, g, entry + 2 * i);
        }
    }
}

struct VoiceRun {
    const uint8_t* data;
    uint64_t end;  // length in 32.32
    bool loop;
    int32_t frames;
    int32_t pan, depth;
};

// Constant step and volume. Returns 1 when a one-shot reached its end.
template <int Bits, int Channels>
int MixSteady(const VoiceRun& run, uint64_t& position, int64_t step16, int32_t volume, int32_t* entry) {
    const uint64_t step = static_cast<uint64_t>(step16) << 16;
    const Gains g = GainsFor(volume, run.pan, run.depth);
    int64_t done = 0;
    while (done < run.frames) {
        int64_t count = run.frames - done;
        if (step != 0) count = std::min<int64_t>(count, (run.end - position + step - 1) / step);
        MixSpan<Bits, Channels>(run.data, position, step, entry + 2 * done, count, g);
        position += step * static_cast<uint64_t>(count);
        done += count;
        if (position >= run.end) {
            if (!run.loop) return 1;
            position %= run.end;
        }
    }
    return 0;
}

// Volume and step move linearly from their current to their target values
// across the block.
template <int Bits, int Channels>
int MixRamp(const VoiceRun& run, uint64_t& position, int64_t stepFrom, int64_t stepTo, int32_t volumeFrom,
            int32_t volumeTo, int32_t* entry) {
    int64_t volume = int64_t{volumeFrom} << 32;
    const int64_t volumeDelta = (int64_t{volumeTo - volumeFrom} << 32) / run.frames;
    int64_t step = stepFrom << kStepFraction;
    const int64_t stepDelta = ((stepTo - stepFrom) << kStepFraction) / run.frames;
    for (int32_t i = 0; i < run.frames; ++i) {
        const Gains g = GainsFor(static_cast<int32_t>(volume >> 32), run.pan, run.depth);
        Frame<Bits, Channels>(run.data, position >> 32, g, entry + 2 * i);
        position += static_cast<uint64_t>(step >> kStepFraction) << 16;
        volume += volumeDelta;
        step += stepDelta;
        if (position >= run.end) {
            if (!run.loop) return 1;
            position %= run.end;
        }
    }
    return 0;
}

template <int Bits, int Channels>
int MixFormat(const VoiceRun& run, uint64_t& position, int64_t stepFrom, int64_t stepTo, int32_t volumeFrom,
              int32_t volumeTo, int32_t* entry) {
    if (stepFrom == stepTo && volumeFrom == volumeTo) {
        return MixSteady<Bits, Channels>(run, position, stepTo, volumeTo, entry);
    }
    return MixRamp<Bits, Channels>(run, position, stepFrom, stepTo, volumeFrom, volumeTo, entry);
}

int64_t StepFor(int32_t rate, int32_t hertz) {
    if (rate <= 0 || hertz <= 0) return 0;
    return std::min(int64_t{rate} * hertz / kMixRate, kMaxStep);
}

}  // namespace

mixer::mixer(int32_t entries)
    : accumulator_(static_cast<size_t>(std::max(entries, 2) & ~1), 0),
      frames_(static_cast<int32_t>(accumulator_.size() / 2)) {}

mixer::~mixer() {
    for (sound* voice : voices_) delete voice;
}

sound* mixer::MakeVoice() {
    voices_.push_back(new sound(this));
    return voices_.back();
}

void mixer::MixBlock(int16_t* out) {
    // Newly started voices go to the front of the active list.
    while (sound* voice = startRing_.Pop()) {
        voice->next = active_;
        active_ = voice;
        activeCount_.fetch_add(1, std::memory_order_relaxed);
    }

    sound** link = &active_;
    while (sound* voice = *link) {
        const int result = MixVoice(*voice);
        if (result == -1) {
            if (voice->data) {
                voice->data->Release();
                voice->data = nullptr;
            }
            sound* following = voice->next;
            // A full free ring keeps the voice here until the next pass.
            if (freeRing_.Push(voice)) {
                *link = following;
                activeCount_.fetch_sub(1, std::memory_order_relaxed);
                continue;
            }
        } else if (result == 1) {
            if (voice->handle != 0) {
                voice->state.store(VOICE_DEAD, std::memory_order_release);
            } else {
                voice->MarkStopped();
            }
        }
        link = &voice->next;
    }

    // Clip to 16 bits and clear the accumulator in the same pass.
    for (size_t i = 0; i < accumulator_.size(); ++i) {
        const int32_t v = accumulator_[i];
        out[i] = static_cast<int16_t>(v > 524271 ? 32767 : v < -524288 ? -32768 : v >> 4);
        accumulator_[i] = 0;
    }
}

int mixer::MixVoice(sound& voice) {
    const int32_t state = voice.state.load(std::memory_order_acquire);
    if (state == VOICE_DEAD) return -1;
    if (state == VOICE_STOPPED) {
        // Kept only while a caller's channel still refers to it.
        return voice.handle == 0 && voice.attached.load(std::memory_order_acquire) ? 0 : -1;
    }
    if (state & VOICE_PAUSED) return -2;
    if ((state & (VOICE_ONCE | VOICE_LOOP)) == 0 || !voice.data) return 0;

    const sounddata& data = *voice.data;
    const int32_t rateFrom = voice.rateCurrent.load(std::memory_order_relaxed);
    const int32_t rateTo = voice.rateTarget.load(std::memory_order_relaxed);
    const int32_t volumeFrom = voice.volumeCurrent.load(std::memory_order_relaxed);
    const int32_t volumeTo = voice.volumeTarget.load(std::memory_order_relaxed);
    const int16_t pan = voice.panTarget.load(std::memory_order_relaxed);
    const int16_t depth = voice.depthTarget.load(std::memory_order_relaxed);
    voice.rateCurrent.store(rateTo, std::memory_order_relaxed);
    voice.volumeCurrent.store(static_cast<int16_t>(volumeTo), std::memory_order_relaxed);
    voice.panCurrent.store(pan, std::memory_order_relaxed);
    voice.depthCurrent.store(depth, std::memory_order_relaxed);

    const bool loop = (state & VOICE_LOOP) != 0;
    const int64_t stepFrom = StepFor(rateFrom, data.hertz);
    const int64_t stepTo = StepFor(rateTo, data.hertz);
    const uint64_t end = static_cast<uint64_t>(std::max(data.length, 0)) << 32;
    if (end == 0) return loop ? 0 : 1;
    if (voice.position >= end) {
        if (!loop) return 1;
        voice.position %= end;
    }

    if (stepFrom == stepTo && volumeFrom == volumeTo && volumeTo == 0) {
        // Silent: move on without reading the data.
        const uint64_t advance = (static_cast<uint64_t>(stepTo) << 16) * static_cast<uint64_t>(frames_);
        voice.position += advance;
        if (voice.position >= end) {
            if (!loop) return 1;
            voice.position %= end;
        }
        return 0;
    }

    const VoiceRun run{data.buffer, end, loop, frames_, std::clamp<int32_t>(pan, -4096, 4096), depth};
    int32_t* entry = accumulator_.data();
    uint64_t& pos = voice.position;
    if (data.bits == 16) {
        return data.channels == 2 ? MixFormat<16, 2>(run, pos, stepFrom, stepTo, volumeFrom, volumeTo, entry)
                                  : MixFormat<16, 1>(run, pos, stepFrom, stepTo, volumeFrom, volumeTo, entry);
    }
    return data.channels == 2 ? MixFormat<8, 2>(run, pos, stepFrom, stepTo, volumeFrom, volumeTo, entry)
                              : MixFormat<8, 1>(run, pos, stepFrom, stepTo, volumeFrom, volumeTo, entry);
}

}  // namespace korva
