// The mixer: voice lists and the per-voice mixing loops.
#include "audio/device/mixer.h"

#include <algorithm>

#include "audio/device/stream_data.h"

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

// What stays the same for a voice across one block: its step (data frames
// per output frame, 16.16) and volume move linearly from the first values to
// the second across the block's frames; pan and depth hold.
struct Ramp {
    int64_t stepFrom, stepTo;
    int32_t volumeFrom, volumeTo;
    int32_t frames;
    int32_t pan, depth;
};

// Mixes output frames [first, last) of the block from `data`, starting at
// `position` (32.32, below `end`), until `last` or until the position reaches
// `end`. Returns the output frame it stopped before.
template <int Bits, int Channels>
int32_t MixRange(const uint8_t* data, uint64_t end, uint64_t& position, const Ramp& r, int32_t first, int32_t last,
                 int32_t* entry) {
    if (r.stepFrom == r.stepTo && r.volumeFrom == r.volumeTo) {
        const uint64_t step = static_cast<uint64_t>(r.stepTo) << 16;
        int64_t count = last - first;
        if (step != 0) count = std::min<int64_t>(count, (end - position + step - 1) / step);
        MixSpan<Bits, Channels>(data, position, step, entry + 2 * first, count, GainsFor(r.volumeTo, r.pan, r.depth));
        position += step * static_cast<uint64_t>(count);
        return first + static_cast<int32_t>(count);
    }
    // The values at output frame i are the first ones plus i deltas.
    const int64_t volumeDelta = (int64_t{r.volumeTo - r.volumeFrom} << 32) / r.frames;
    const int64_t stepDelta = ((r.stepTo - r.stepFrom) << kStepFraction) / r.frames;
    int64_t volume = (int64_t{r.volumeFrom} << 32) + volumeDelta * first;
    int64_t step = (r.stepFrom << kStepFraction) + stepDelta * first;
    for (int32_t i = first; i < last; ++i) {
        const Gains g = GainsFor(static_cast<int32_t>(volume >> 32), r.pan, r.depth);
        Frame<Bits, Channels>(data, position >> 32, g, entry + 2 * i);
        position += static_cast<uint64_t>(step >> kStepFraction) << 16;
        volume += volumeDelta;
        step += stepDelta;
        if (position >= end) return i + 1;
    }
    return last;
}

using RangeMixer = int32_t (*)(const uint8_t*, uint64_t, uint64_t&, const Ramp&, int32_t, int32_t, int32_t*);

RangeMixer RangeMixerFor(int32_t bits, int32_t channels) {
    if (bits == 16) return channels == 2 ? &MixRange<16, 2> : &MixRange<16, 1>;
    return channels == 2 ? &MixRange<8, 2> : &MixRange<8, 1>;
}

int64_t StepFor(int32_t rate, int32_t hertz) {
    if (rate <= 0 || hertz <= 0) return 0;
    return std::min(int64_t{rate} * hertz / kMixRate, kMaxStep);
}

// The voice's parameters for this block, from their current to their target
// values, which become the current ones.
Ramp TakeRamp(sound& voice, int32_t hertz, int32_t frames) {
    const int32_t rateFrom = voice.rateCurrent.load(std::memory_order_relaxed);
    const int32_t rateTo = voice.rateTarget.load(std::memory_order_relaxed);
    const int32_t volumeFrom = voice.volumeCurrent.load(std::memory_order_relaxed);
    const int16_t volumeTo = voice.volumeTarget.load(std::memory_order_relaxed);
    const int16_t pan = voice.panTarget.load(std::memory_order_relaxed);
    const int16_t depth = voice.depthTarget.load(std::memory_order_relaxed);
    voice.rateCurrent.store(rateTo, std::memory_order_relaxed);
    voice.volumeCurrent.store(volumeTo, std::memory_order_relaxed);
    voice.panCurrent.store(pan, std::memory_order_relaxed);
    voice.depthCurrent.store(depth, std::memory_order_relaxed);
    return Ramp{StepFor(rateFrom, hertz), StepFor(rateTo, hertz), volumeFrom, volumeTo,
                frames, std::clamp<int32_t>(pan, -4096, 4096), depth};
}

// The markers of stream data that are due: every skip marker at once (with
// the markers before it, whose frames it drops), the others once the mixer
// has read up to them. While a skip is announced but its marker has not
// arrived yet, the frames in the ring are stale.
void TakeMarkers(streamdata& s, uint64_t& position) {
    const uint32_t latest = s.skipEpoch.load(std::memory_order_acquire);
    while (const streammarker* m = s.markers.Peek()) {
        if (m->kind == STREAM_SKIP) {
            s.mixRead = m->at;
            s.mixBase = m->at;
            s.mixFrame = m->frame;
            s.mixEpoch = m->epoch;
            position = 0;
        } else if (latest == s.mixEpoch) {
            if (m->at > s.mixRead) break;
            if (m->kind == STREAM_JUMP) {
                s.mixBase = m->at;
                s.mixFrame = m->frame;
            } else {
                s.endedEpoch.store(m->epoch, std::memory_order_release);
            }
        }
        s.markers.Drop();
    }
    s.read.store(s.mixRead, std::memory_order_release);
}

// Tells the program thread where the stream's playing is.
void Publish(streamdata& s) {
    s.playedFrame.store(s.mixFrame + static_cast<int64_t>(s.mixRead - s.mixBase), std::memory_order_relaxed);
    s.playedEpoch.store(s.mixEpoch, std::memory_order_release);
}

// The volume a fade has reached at the end of this block (a new request
// starts from the voice's target), or -1 when no fade runs.
int32_t FadeStep(streamdata& s, int32_t volumeNow, int32_t frames) {
    if (const uint64_t request = s.fade.exchange(0, std::memory_order_acquire)) {
        s.fadeFrom = volumeNow;
        s.fadeTo = static_cast<int16_t>(request >> 32);
        s.fadeLength = static_cast<uint32_t>(request);
        s.fadeDone = 0;
        if (s.fadeLength == 0) return s.fadeTo;
    }
    if (s.fadeDone >= s.fadeLength) return -1;
    s.fadeDone = std::min<int64_t>(s.fadeDone + frames, s.fadeLength);
    return static_cast<int32_t>(s.fadeFrom + (s.fadeTo - s.fadeFrom) * s.fadeDone / s.fadeLength);
}

}  // namespace

mixer::mixer(int32_t entries)
    : accumulator_(static_cast<size_t>(std::max(entries, 2) & ~1), 0),
      frames_(static_cast<int32_t>(accumulator_.size() / 2)),
      mixing_(frames_) {}

mixer::~mixer() {
    for (sound* voice : voices_) delete voice;
}

sound* mixer::MakeVoice() {
    voices_.push_back(new sound(this));
    return voices_.back();
}

void mixer::SetBlockCallback(std::function<void(int16_t*, int32_t)> callback) { callback_ = std::move(callback); }

void mixer::MixBlock(int16_t* out) { MixBlock(out, frames_); }

void mixer::MixBlock(int16_t* out, int32_t frames) {
    mixing_ = std::clamp(frames, 1, frames_);
    // Newly started voices go to the front of the active list.
    sound* started = nullptr;
    while (startRing_.Pop(started)) {
        started->next = active_;
        active_ = started;
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
            if (voice->stream) {
                voice->stream->Release();
                voice->stream = nullptr;
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
    const size_t entries = 2 * static_cast<size_t>(mixing_);
    for (size_t i = 0; i < entries; ++i) {
        const int32_t v = accumulator_[i];
        out[i] = static_cast<int16_t>(v > 524271 ? 32767 : v < -524288 ? -32768 : v >> 4);
        accumulator_[i] = 0;
    }

    if (callback_) {
        // Nothing may leave the mixer thread: a callback that throws is dropped.
        try {
            callback_(out, mixing_);
        } catch (...) {
            callback_ = nullptr;
        }
    }
}

int mixer::MixVoice(sound& voice) {
    const int32_t state = voice.state.load(std::memory_order_acquire);
    if (state == VOICE_DEAD) return -1;
    if (state == VOICE_STOPPED) {
        // Kept only while a caller's channel still refers to it.
        return voice.handle == 0 && voice.attached.load(std::memory_order_acquire) ? 0 : -1;
    }
    if (state & VOICE_STREAM) return voice.stream ? MixStream(voice, state) : 0;
    if (state & VOICE_PAUSED) return -2;
    if ((state & (VOICE_ONCE | VOICE_LOOP)) == 0 || !voice.data) return 0;

    const sounddata& data = *voice.data;
    const Ramp r = TakeRamp(voice, data.hertz, mixing_);
    const bool loop = (state & VOICE_LOOP) != 0;
    const uint64_t end = static_cast<uint64_t>(std::max(data.length, 0)) << 32;
    if (end == 0) return loop ? 0 : 1;
    if (voice.position >= end) {
        if (!loop) return 1;
        voice.position %= end;
    }

    if (r.stepFrom == r.stepTo && r.volumeFrom == r.volumeTo && r.volumeTo == 0) {
        // Silent: move on without reading the data.
        voice.position += (static_cast<uint64_t>(r.stepTo) << 16) * static_cast<uint64_t>(mixing_);
        if (voice.position >= end) {
            if (!loop) return 1;
            voice.position %= end;
        }
        return 0;
    }

    const RangeMixer mix = RangeMixerFor(data.bits, data.channels);
    for (int32_t done = 0; done < mixing_;) {
        done = mix(data.buffer, end, voice.position, r, done, mixing_, accumulator_.data());
        if (voice.position >= end) {
            if (!loop) return 1;
            voice.position %= end;
        }
    }
    return 0;
}

// Plays what the ring holds, piece by contiguous piece; the voice's
// position counts from the ring's read index. When the ring runs dry before
// the block is full, the rest of the block is silence (a stall, unless the
// stream has ended) and the music goes on from the same frame next time.
int mixer::MixStream(sound& voice, int32_t state) {
    streamdata& s = *voice.stream;
    TakeMarkers(s, voice.position);
    if ((state & VOICE_PAUSED) || s.skipEpoch.load(std::memory_order_acquire) != s.mixEpoch) {
        Publish(s);
        return (state & VOICE_PAUSED) ? -2 : 0;
    }
    const int32_t faded = FadeStep(s, voice.volumeTarget.load(std::memory_order_relaxed), mixing_);
    if (faded >= 0) voice.volumeTarget.store(static_cast<int16_t>(faded), std::memory_order_relaxed);
    const Ramp r = TakeRamp(voice, s.hertz, mixing_);
    const RangeMixer mix = RangeMixerFor(16, s.channels);

    int32_t done = 0;
    while (done < mixing_) {
        // Frames up to the next marker that is still ahead, or up to the
        // producer's write index (a marker never stands beyond it).
        const uint64_t written = s.written.load(std::memory_order_acquire);
        const streammarker* next = s.markers.Peek();
        const uint64_t available = (next ? next->at : written) - s.mixRead;
        const uint32_t at = static_cast<uint32_t>(s.mixRead % s.capacity);
        const uint64_t piece = std::min<uint64_t>(available, s.capacity - at);
        if (piece == 0) break;
        if ((voice.position >> 32) < piece) {
            const auto* data = reinterpret_cast<const uint8_t*>(s.frames + size_t{at} * static_cast<uint32_t>(s.channels));
            done = mix(data, piece << 32, voice.position, r, done, mixing_, accumulator_.data());
        }
        const uint64_t passed = std::min<uint64_t>(voice.position >> 32, piece);
        s.mixRead += passed;
        voice.position -= passed << 32;
        TakeMarkers(s, voice.position);
    }
    if (done < mixing_ && s.endedEpoch.load(std::memory_order_relaxed) != s.mixEpoch) {
        s.stalledFrames.fetch_add(static_cast<uint64_t>(mixing_ - done), std::memory_order_relaxed);
    }
    Publish(s);
    return 0;
}

}  // namespace korva
