// Arbitrary bytes as a sound file: through ReadPcmSample on a memory stream,
// so every sample decoder (WAV, Ogg, FLAC, MP3) sees them in turn; then
// through the readers music plays with, on the memory stream (reading,
// seeking, reading on) and on a stream that cannot seek (what a network
// source looks like). The targets fuzz_wav, fuzz_ogg, fuzz_flac and
// fuzz_mp3 share this body and differ in their seed corpus.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "korvagl/korvagl.h"

using namespace korva;

namespace {

// A stream over the bytes that can only go forwards.
class OneWayStream : public TByteStream {
public:
    OneWayStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int32_t Eof() override { return at_ == size_; }
    int32_t Read(void* buf, int32_t count) override {
        const size_t n = std::min(size_ - at_, static_cast<size_t>(std::max(count, 0)));
        std::memcpy(buf, data_ + at_, n);
        at_ += n;
        return static_cast<int32_t>(n);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Reads up to 64 KiB of frames, seeking half way through a stream that can.
void Stream(const Ref<TByteStream>& stream) {
    Ref<TPcmReader> reader = OpenPcmReader(stream, "fuzz");
    if (!reader) return;
    if (reader->channels < 1 || reader->channels > 2 || reader->hertz <= 0) std::abort();
    std::vector<int16_t> frames(2 * 4096);
    int64_t total = 0;
    for (int round = 0; round < 16; ++round) {
        if (round == 4 && reader->seekable) reader->Seek(reader->length > 0 ? reader->length / 2 : 1);
        const int32_t n = reader->Read(frames.data(), 4096);
        if (n > 4096) std::abort();
        if (n <= 0) break;
        total += n;
    }
    (void)total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int ready =
        (InitMP3Loader(), InitFLACLoader(), InitOggLoader(), InitWAVLoader(), InitMemoryStreams(), 0);
    (void)ready;
    auto stream = NewMemoryStream(const_cast<uint8_t*>(data), static_cast<int32_t>(size), 1, 0);
    try {
        Ref<TPcmSample> sample = ReadPcmSample(Ref<Object>(stream));
        if (sample) {
            // A sample never claims more frames than its memory holds.
            const int64_t bytes = int64_t{sample->length} * SampleBytes[sample->format];
            if (sample->length < 0 || bytes > sample->capacity) std::abort();
            volatile uint8_t sink = 0;
            for (int64_t i = 0; i < bytes; i += 4096) sink = sink + sample->samples[i];
        }
    } catch (const TFault&) {
        // Runtime errors are a documented result, not a crash.
    }
    try {
        stream->Seek(0);
        Stream(stream);
        Stream(New<OneWayStream>(data, size));
    } catch (const TFault&) {
    }
    return 0;
}
