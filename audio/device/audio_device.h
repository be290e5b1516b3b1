// Output devices of the mixing library.
//
// An audiodevice pulls blocks from a mixer: once open, it calls the mixer's
// MixBlock for every block it outputs, on whatever thread it runs. Lock and
// Unlock keep the mixer thread out for a moment (used only by checks).
#pragma once

#include <cstdint>
#include <vector>

namespace korva {

class mixer;

class audiodevice {
public:
    virtual ~audiodevice() = default;
    // Starts pulling blocks from `source`: 0, or -1 when the device cannot open.
    virtual int Open(mixer* source) = 0;
    // Stops pulling; after it returns the mixer is no longer called.
    virtual void Close() = 0;
    virtual void Lock() {}
    virtual void Unlock() {}
};

// A device that outputs nothing by itself: each Render call mixes one block
// on the calling thread. For offline rendering, tests and benchmarks.
class renderdevice final : public audiodevice {
public:
    int Open(mixer* source) override;
    void Close() override { source_ = nullptr; }
    // Mixes one block and returns it (interleaved 16-bit stereo); an empty
    // block when the device is not open.
    const std::vector<int16_t>& Render();

private:
    mixer* source_ = nullptr;
    std::vector<int16_t> block_;
};

}  // namespace korva
