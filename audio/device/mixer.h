// The software mixer: sums every playing voice into one block of output.
//
// The mixer thread calls MixBlock once per output block. The program thread
// hands started voices over through the start ring and takes finished ones
// back through the free ring; each ring is single-producer single-consumer
// with one index written by each side, so the two threads share no lock.
// All mixing is integer arithmetic: 32.32 positions, 16.16 steps, 4.12 gains.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "audio/device/sound.h"
#include "audio/device/spsc_ring.h"

namespace korva {

inline constexpr int32_t kMixRate = 44100;

class mixer final : public soundparams {
public:
    static constexpr uint32_t kRingSize = 4096;

    // `entries` accumulator values: entries / 2 interleaved stereo frames per block.
    explicit mixer(int32_t entries);
    // Deletes every voice it made. The mixer thread must have stopped.
    ~mixer() override;
    mixer(const mixer&) = delete;
    mixer& operator=(const mixer&) = delete;

    int32_t Entries() const { return static_cast<int32_t>(accumulator_.size()); }

    int32_t Frames() const { return frames_; }

    // Mixer thread: mixes one block into `out` (Entries() signed 16-bit
    // values), then hands it to the block callback.
    void MixBlock(int16_t* out);
    // Mixes a shorter block of `frames` (1 to Frames()) frames into `out`
    // (2 * frames values): for devices whose pace is not whole blocks.
    void MixBlock(int16_t* out, int32_t frames);
    // Sets the function that gets every mixed block (interleaved stereo, in
    // place) on the mixer thread; an empty one removes it. Only while the
    // mixer thread is held off (audiodevice::Lock) or not running.
    void SetBlockCallback(std::function<void(int16_t*, int32_t)> callback);

    // Program thread: a voice from the free ring, or null when it is empty.
    sound* TakeFinished() {
        sound* voice = nullptr;
        freeRing_.Pop(voice);
        return voice;
    }
    // Program thread: a brand-new voice, owned by the mixer.
    sound* MakeVoice();
    // Program thread: room in the start ring for one more voice.
    bool CanStart() const { return startRing_.HasRoom(); }
    // Program thread: hands a voice to the mixer; false when the ring is full.
    bool Start(sound* voice) { return startRing_.Push(voice); }

    // Voices in the active list (read from any thread).
    int32_t ActiveVoices() const { return activeCount_.load(std::memory_order_relaxed); }
    // Voices waiting in the start and free rings.
    int32_t StartingVoices() const { return static_cast<int32_t>(startRing_.Count()); }
    int32_t FinishedVoices() const { return static_cast<int32_t>(freeRing_.Count()); }
    // Voices made so far (program thread).
    int32_t VoicesMade() const { return static_cast<int32_t>(voices_.size()); }

private:
    // 0 keep, 1 reached its end, -1 recycle, -2 paused.
    int MixVoice(sound& voice);
    // A voice of stream data (state VOICE_STREAM): 0 keep, -2 paused.
    int MixStream(sound& voice, int32_t state);

    std::vector<int32_t> accumulator_;
    int32_t frames_;
    int32_t mixing_;  // frames of the block being mixed
    sound* active_ = nullptr;
    spscring<sound*, kRingSize> startRing_;
    spscring<sound*, kRingSize> freeRing_;
    std::function<void(int16_t*, int32_t)> callback_;
    std::vector<sound*> voices_;  // every voice made, for the destructor
    std::atomic<int32_t> activeCount_{0};
};

}  // namespace korva
