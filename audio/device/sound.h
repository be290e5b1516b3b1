// The mixing library's voices: the sound data record and the `sound` class.
//
// A voice is shared by two threads: the program thread writes parameter
// targets and the state word, the mixer thread reads them once per block and
// owns everything else (position, list link, current values). Every field
// that both threads touch is an atomic; a change takes effect at the next
// block at the latest.
#pragma once

#include <atomic>
#include <cstdint>

namespace korva {

// Sound data: frames ready to mix, reference counted (1 at creation).
struct sounddata {
    int32_t hertz = 0;
    int32_t channels = 0;       // 1 or 2
    int32_t bits = 0;           // 8 or 16
    int32_t length = 0;         // frames
    int32_t bytesPerFrame = 0;  // channels * bits / 8
    int32_t loop = 0;           // -1 loops, 0 plays once
    uint8_t* buffer = nullptr;  // length * bytesPerFrame bytes
    std::atomic<int32_t> refs{1};

    void Retain() { refs.fetch_add(1, std::memory_order_relaxed); }
    // Frees the record with its buffer when the last reference goes.
    void Release();
};

// Voice states: a value plus the paused bit. (VOICE_, not SOUND_: SOUND_LOOP
// is the public clip flag of audio_driver.h.)
enum : int32_t {
    VOICE_DEAD = 0,     // removed at the mixer's next pass and recycled
    VOICE_STOPPED = 1,  // kept, produces nothing
    VOICE_ONCE = 2,     // playing once
    VOICE_LOOP = 4,     // playing, looping
    VOICE_STREAM = 8,   // playing stream data as it is written (music)
    VOICE_PAUSED = 0x10,
};

// Parameter units: rate 16.16 (65536 is 1.0); volume, pan, depth 4.12 (4096 is 1.0).
inline constexpr int32_t kDefaultRate = 65536;
inline constexpr int16_t kDefaultVolume = 4096;

class mixer;
struct streamdata;

// The eight parameter operations that voices and the mixer share. The
// setters write targets; the getters return the target (flag 1) or the
// current value (flag 0). Here they do nothing and report the defaults.
class soundparams {
public:
    virtual ~soundparams() = default;
    virtual void SetRate(int32_t) {}
    virtual void SetVolume(int16_t) {}
    virtual void SetPan(int16_t) {}
    virtual void SetDepth(int16_t) {}
    virtual int32_t GetRate(int) const { return kDefaultRate; }
    virtual int16_t GetVolume(int) const { return kDefaultVolume; }
    virtual int16_t GetPan(int) const { return 0; }
    virtual int16_t GetDepth(int) const { return 0; }
};

class sound final : public soundparams {
public:
    explicit sound(mixer* owner) : owner(owner) {}
    ~sound() override;
    sound(const sound&) = delete;
    sound& operator=(const sound&) = delete;

    void SetRate(int32_t rate) override { rateTarget.store(rate, std::memory_order_relaxed); }
    void SetVolume(int16_t volume) override { volumeTarget.store(volume, std::memory_order_relaxed); }
    void SetPan(int16_t pan) override { panTarget.store(pan, std::memory_order_relaxed); }
    void SetDepth(int16_t depth) override { depthTarget.store(depth, std::memory_order_relaxed); }
    int32_t GetRate(int target) const override { return (target ? rateTarget : rateCurrent).load(std::memory_order_relaxed); }
    int16_t GetVolume(int target) const override {
        return (target ? volumeTarget : volumeCurrent).load(std::memory_order_relaxed);
    }
    int16_t GetPan(int target) const override { return (target ? panTarget : panCurrent).load(std::memory_order_relaxed); }
    int16_t GetDepth(int target) const override {
        return (target ? depthTarget : depthCurrent).load(std::memory_order_relaxed);
    }

    // Program thread, before the voice is handed to the mixer: all four
    // parameters as both current and target values.
    void ResetParameters(int32_t rate, int16_t volume, int16_t pan, int16_t depth);

    // Stopped (1) unless dead; never revives a dead voice.
    void MarkStopped();
    // Sets or clears the paused bit of a playing voice; stopped and dead
    // voices stay as they are.
    void MarkPaused(bool paused);

    mixer* const owner;
    std::atomic<int32_t> state{VOICE_STOPPED};
    // The channel handle this voice owns (it was started without a channel),
    // or 0. Written before the voice reaches the mixer.
    int32_t handle = 0;
    // True while a channel slot refers to this voice. A stopped voice that no
    // slot refers to any more is recycled by the mixer.
    std::atomic<bool> attached{false};
    // Program thread only: the voice has been handed to the mixer since it
    // was last recycled.
    bool inMixer = false;

    // Mixer thread (set by the program thread before the hand-over).
    sound* next = nullptr;
    sounddata* data = nullptr;  // one reference while held
    streamdata* stream = nullptr;  // instead of data for a stream voice; one reference
    uint64_t position = 0;      // 32.32 fixed point frames

    std::atomic<int32_t> rateCurrent{kDefaultRate}, rateTarget{kDefaultRate};
    std::atomic<int16_t> volumeCurrent{kDefaultVolume}, volumeTarget{kDefaultVolume};
    std::atomic<int16_t> panCurrent{0}, panTarget{0};
    std::atomic<int16_t> depthCurrent{0}, depthTarget{0};
};

}  // namespace korva
