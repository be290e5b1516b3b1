// The device of the fixed clock.
#include "audio/device/clock_device.h"

#include <algorithm>

#include "audio/device/mixer.h"
#include "audio/device/audio_library_internal.h"
#include "korvagl/system/replay.h"

namespace korva {
namespace {

clockdevice* g_open = nullptr;  // the device FlipFrame advances

void AdvanceOpenDevice() {
    if (g_open) g_open->Advance();
}

// Frames queued on the real device at most (a quarter second): slack for a
// recording's frames, which come in real time but not to the microsecond.
// Beyond it, frames are dropped rather than heard late.
constexpr int32_t kQueueLimitFrames = kMixRate / 4;

}  // namespace

int clockdevice::Open(mixer* source) {
    source_ = source;
    block_.assign(static_cast<size_t>(source->Entries()), 0);
    firstFrame_ = FramesShown();
    mixed_ = 0;
    // Only a recording runs in real time; a replay's sound would be scraps.
    speakerOpen_ = RecordingInput() && speaker_.Open(source) == 0;
    g_open = this;
    detail::SetFrameShownHook(&AdvanceOpenDevice);
    return 0;
}

void clockdevice::Close() {
    if (!source_) return;
    if (g_open == this) {
        g_open = nullptr;
        detail::SetFrameShownHook(nullptr);
    }
    if (speakerOpen_) speaker_.Close();
    speakerOpen_ = false;
    source_ = nullptr;
}

void clockdevice::Advance() {
    if (!source_) return;
    const auto frames = static_cast<int64_t>(FramesShown() - firstFrame_);
    const int64_t due = frames * frameMs_ * kMixRate / 1000;
    while (mixed_ < due) {
        const auto count = static_cast<int32_t>(std::min<int64_t>(due - mixed_, source_->Frames()));
        detail::SettleMusic();
        source_->MixBlock(block_.data(), count);
        if (speakerOpen_) speaker_.Queue(block_.data(), count, kQueueLimitFrames);
        mixed_ += count;
    }
}

}  // namespace korva
