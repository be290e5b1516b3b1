// The SDL audio output device: 44100 Hz, signed 16-bit stereo, one mixer
// block per callback. The callback runs on SDL's audio thread and mixes one
// block. A queued device has no callback: whoever drives the mixer hands it
// the mixed frames (Queue), and it plays them in real time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/device/audio_device.h"

namespace korva {

class sdldevice final : public audiodevice {
public:
    explicit sdldevice(bool queued = false) : queued_(queued) {}
    ~sdldevice() override { Close(); }
    // Opens the default output device; -1 quietly when there is none.
    int Open(mixer* source) override;
    void Close() override;
    void Lock() override;
    void Unlock() override;
    // A queued device: puts `frames` mixed frames behind what waits to be
    // played, unless more than `limitFrames` wait already (the mixer runs
    // ahead of real time), when they are dropped.
    void Queue(const int16_t* samples, int32_t frames, int32_t limitFrames);

private:
    static void Callback(void* self, uint8_t* stream, int length);
    void Fill(uint8_t* stream, int length);

    const bool queued_;
    mixer* source_ = nullptr;
    uint32_t device_ = 0;
    std::vector<int16_t> block_;  // used only when SDL asks for a partial block
    size_t blockUsed_ = 0;        // bytes of block_ already handed out
};

}  // namespace korva
