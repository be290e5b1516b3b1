// The software mixer: sums every playing voice into one block of output.
//
// The mixer thread calls MixBlock once per output block. The program thread
// hands started voices over through the start ring and takes finished ones
// back through the free ring; each ring is single-producer single-consumer
// with one index written by each side, so the two threads share no lock.
// All mixing is integer arithmetic: 32.32 positions, 16.16 steps, 4.12 gains.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/device/sound.h"

namespace korva {

inline constexpr int32_t kMixRate = 44100;

// A single-producer single-consumer ring of voice pointers.
template <uint32_t N>
class voicering {
    static_assert((N & (N - 1)) == 0, "the ring size must be a power of two");

public:
    // Producer side. False when the ring is full.
    bool Push(sound* voice) {
        const uint32_t w = write_.load(std::memory_order_relaxed);
        if (w - read_.load(std::memory_order_acquire) == N) return false;
        slots_[w % N] = voice;
        write_.store(w + 1, std::memory_order_release);
        return true;
    }
    // Producer side: room for one more (stays true until the producer pushes).
    bool HasRoom() const {
        return write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire) < N;
    }
    // Entries waiting (exact only while the other side is held off).
    uint32_t Count() const {
        return write_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire);
    }
    // Consumer side. Null when the ring is empty.
    sound* Pop() {
        const uint32_t r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire)) return nullptr;
        sound* voice = slots_[r % N];
        read_.store(r + 1, std::memory_order_release);
        return voice;
    }

private:
    std::array<sound*, N> slots_{};
    alignas(64) std::atomic<uint32_t> write_{0};
    alignas(64) std::atomic<uint32_t> read_{0};
};

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

    // Mixer thread: mixes one block into `out` (Entries() signed 16-bit values).
    void MixBlock(int16_t* out);

    // Program thread: a voice from the free ring, or null when it is empty.
    sound* TakeFinished() { return freeRing_.Pop(); }
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

    std::vector<int32_t> accumulator_;
    int32_t frames_;
    sound* active_ = nullptr;
    voicering<kRingSize> startRing_;
    voicering<kRingSize> freeRing_;
    std::vector<sound*> voices_;  // every voice made, for the destructor
    std::atomic<int32_t> activeCount_{0};
};

}  // namespace korva
