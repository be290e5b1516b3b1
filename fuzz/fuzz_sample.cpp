// Arbitrary bytes as a sound file: through ReadPcmSample on a memory stream,
// so both sample decoders (WAV, then Ogg) see them in turn. The targets
// fuzz_wav and fuzz_ogg share this body and differ in their seed corpus.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "korvagl/audio/sample_decoder.h"
#include "korvagl/korvagl.h"

using namespace korva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int ready = (InitOggLoader(), InitWAVLoader(), InitMemoryStreams(), 0);
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
    return 0;
}
