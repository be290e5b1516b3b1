// Stream data: the producer's side of the ring.
#include "audio/device/stream_data.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>

namespace korva {

streamdata::streamdata(int32_t channels, int32_t hertz, uint32_t capacity)
    : channels(channels),
      hertz(hertz),
      capacity(std::bit_ceil(std::max<uint32_t>(capacity, 1024))),
      frames(static_cast<int16_t*>(std::calloc(size_t{this->capacity} * static_cast<uint32_t>(channels), 2))) {
    if (!frames) throw std::bad_alloc();
}

streamdata::~streamdata() { std::free(frames); }

void streamdata::Release() {
    if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

int16_t* streamdata::WritableSpan(uint32_t& count) {
    const uint64_t free = capacity - (writeIndex_ - read.load(std::memory_order_acquire));
    const uint32_t at = static_cast<uint32_t>(writeIndex_ % capacity);
    count = static_cast<uint32_t>(std::min<uint64_t>(free, capacity - at));
    return frames + size_t{at} * static_cast<uint32_t>(channels);
}

void streamdata::Commit(uint32_t count) {
    writeIndex_ += count;
    written.store(writeIndex_, std::memory_order_release);
}

uint32_t streamdata::Buffered() const {
    const uint64_t from = std::max(read.load(std::memory_order_acquire), markedAt.load(std::memory_order_relaxed));
    return static_cast<uint32_t>(writeIndex_ - from);
}

bool streamdata::Mark(uint32_t kind, int64_t frame, uint32_t epoch) {
    if (!markers.Push(streammarker{writeIndex_, frame, epoch, kind})) return false;
    if (kind == STREAM_SKIP) {
        markedAt.store(writeIndex_, std::memory_order_relaxed);
        markedEpoch.store(epoch, std::memory_order_release);
    }
    return true;
}

}  // namespace korva
