// The device of the fixed clock: the mixer moves on with the frames shown,
// not with an audio card, so sounds and music play the same in every run.
//
// Each FlipFrame mixes exactly the frames that the fixed clock's time has
// reached since the device opened (frame count x frame milliseconds x
// 44.1), on the program thread, after letting every music decoder finish
// what it can do (so what the mixer finds never depends on thread timing).
// While a session is recorded (in real time) the mixed frames are also
// played on the machine's audio device, when it has one, through SDL's
// queue, so the person playing hears the game. Otherwise, and without an
// audio device, the mixer runs all the same, in silence.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/device/audio_device.h"
#include "audio/device/sdl_device.h"

namespace korva {

class clockdevice final : public audiodevice {
public:
    explicit clockdevice(int32_t frameMs) : frameMs_(frameMs) {}
    ~clockdevice() override { Close(); }
    // Always 0: the real device is optional.
    int Open(mixer* source) override;
    void Close() override;
    // Mixes up to the fixed clock's time (called for every frame shown).
    void Advance();

private:
    const int32_t frameMs_;
    mixer* source_ = nullptr;
    sdldevice speaker_{true};
    bool speakerOpen_ = false;
    uint64_t firstFrame_ = 0;  // frames shown when the device opened
    int64_t mixed_ = 0;        // output frames mixed since then
    std::vector<int16_t> block_;
};

}  // namespace korva
