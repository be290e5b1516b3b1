// Stream data: frames that a producer (a music worker) writes while the
// mixer plays them, for sounds too long to hold in memory.
//
// The frames live in a ring of fixed size; the producer writes behind the
// mixer's read index and the mixer reads up to the write index, so memory
// never depends on the length of what is played. Both indices count frames
// since the ring was made and only grow. Discontinuities travel beside the
// frames as markers, in order:
//   - a skip marker (a seek, a restart) makes the mixer drop every frame
//     before it at once, whether or not it is playing;
//   - a jump marker says that the track continues at another frame from
//     here (a loop wrapping back): the frames themselves follow on without a
//     gap, so a loop is gapless to the frame;
//   - an end marker says that no frame follows until the next skip marker.
// Every marker carries the producer's epoch (a count the program thread
// raises with each seek or restart), so the program thread can tell whether
// what the mixer reports belongs to its latest request.
//
// The mixer publishes what it has played (the track frame at its read
// index, and the epoch of that frame), when it met an end marker, and how
// many output frames it found no data for (the source stalled).
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/device/spsc_ring.h"

namespace korva {

enum : uint32_t { STREAM_SKIP = 1, STREAM_JUMP = 2, STREAM_END = 3 };

struct streammarker {
    uint64_t at = 0;     // the ring index the marker stands before
    int64_t frame = 0;   // the track frame at `at` (skip and jump markers)
    uint32_t epoch = 0;
    uint32_t kind = 0;
};

struct streamdata {
    static constexpr uint32_t kMarkers = 256;
    static constexpr uint32_t kNoEpoch = 0xFFFFFFFFu;

    // A ring of `capacity` frames (rounded up to a power of two, at least
    // 1024) of 16-bit samples, `channels` 1 or 2, at `hertz`. Count of
    // references 1.
    streamdata(int32_t channels, int32_t hertz, uint32_t capacity);
    ~streamdata();
    streamdata(const streamdata&) = delete;
    streamdata& operator=(const streamdata&) = delete;

    void Retain() { refs.fetch_add(1, std::memory_order_relaxed); }
    // Deletes the record when the last reference goes.
    void Release();

    // Producer side.
    // Where the next frames go and how many fit there in one piece (0 when
    // the ring is full).
    int16_t* WritableSpan(uint32_t& count);
    // Hands `count` frames written at WritableSpan to the mixer.
    void Commit(uint32_t count);
    // Frames written since the last skip marker and not yet played.
    uint32_t Buffered() const;
    // Puts a marker at the current write index; false when 256 markers
    // already wait.
    bool Mark(uint32_t kind, int64_t frame, uint32_t epoch);
    // Says that a skip marker of `epoch` is coming: from now on the mixer
    // plays nothing of what the ring holds and drops the markers before it,
    // which makes room for it. Then Mark(STREAM_SKIP, ...) until it fits.
    void AnnounceSkip(uint32_t epoch) { skipEpoch.store(epoch, std::memory_order_release); }

    // Mixer side (see mixer.cpp): the first frame that is not played yet,
    // and the markers. Everything below belongs to the mixer thread except
    // the atomics, which it publishes.
    const int32_t channels;
    const int32_t hertz;
    const uint32_t capacity;
    int16_t* const frames;
    std::atomic<int32_t> refs{1};

    std::atomic<uint64_t> written{0};  // stored by the producer
    std::atomic<uint64_t> read{0};     // stored by the mixer
    spscring<streammarker, kMarkers> markers;
    std::atomic<uint32_t> skipEpoch{0};  // stored by the producer
    // Stored by the producer when its skip marker is in: the epoch, and the
    // ring index where its frames begin.
    std::atomic<uint32_t> markedEpoch{0};
    std::atomic<uint64_t> markedAt{0};

    uint64_t mixRead = 0;      // the mixer's copy of `read`
    uint64_t mixBase = 0;      // the ring index where the current run began
    int64_t mixFrame = 0;      // the track frame at mixBase
    uint32_t mixEpoch = 0;
    int32_t fadeFrom = 0, fadeTo = 0;  // 4.12 volumes
    int64_t fadeDone = 0, fadeLength = 0;  // output frames

    // Published by the mixer for the program thread.
    std::atomic<int64_t> playedFrame{0};
    std::atomic<uint32_t> playedEpoch{0};
    std::atomic<uint32_t> endedEpoch{kNoEpoch};
    std::atomic<uint64_t> stalledFrames{0};

    // Written by the program thread, taken by the mixer at its next block:
    // a volume to reach, 4.12, over a number of output frames (see
    // FadeRequest).
    std::atomic<uint64_t> fade{0};
    static uint64_t FadeRequest(int16_t volume, uint32_t outputFrames) {
        return uint64_t{1} << 63 | uint64_t{static_cast<uint16_t>(volume)} << 32 | outputFrames;
    }

private:
    uint64_t writeIndex_ = 0;  // the producer's copy of `written`
};

}  // namespace korva
