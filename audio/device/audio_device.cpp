// The render device.
#include "audio/device/audio_device.h"

#include "audio/device/mixer.h"

namespace korva {

int renderdevice::Open(mixer* source) {
    source_ = source;
    block_.assign(static_cast<size_t>(source->Entries()), 0);
    return 0;
}

const std::vector<int16_t>& renderdevice::Render() {
    if (!source_) {
        block_.clear();
        return block_;
    }
    source_->MixBlock(block_.data());
    return block_;
}

}  // namespace korva
