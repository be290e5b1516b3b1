// The sample decoder registry and ReadPcmSample.
#include "korvagl/audio/sample_decoder.h"

#include "korvagl/app/modules.h"
#include "korvagl/app/plugin_list.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

constinit TPluginList<TPcmSampleDecoder> sampleDecoders;

}  // namespace

Ref<TPcmSample> TPcmSampleDecoder::Load(const Ref<TByteStream>&) { RaiseAbstractMethodFault(); }

void RegisterPcmSampleDecoder(const Ref<TPcmSampleDecoder>& decoder) { sampleDecoders.Add(decoder); }

Ref<TPcmSampleDecoder> PcmSampleDecoders() { return sampleDecoders.Head(); }

namespace {

// Every decoder from the registry's head gets the stream at the position it
// had when opened; a stream error inside one only means "not this format".
// The stream opened here is closed on every path.
Ref<TPcmSample> ReadFromStream(const Ref<TByteStream>& stream) {
    if (!stream) return nullptr;
    Ref<TPcmSample> result;
    try {
        const int32_t start = stream->Pos();
        if (start == -1) RaiseRuntimeError("Stream is not seekable");
        for (Ref<TPcmSampleDecoder> decoder = sampleDecoders.Head(); decoder && !result; decoder = decoder->next) {
            stream->Seek(start);
            try {
                result = decoder->Load(stream);
            } catch (const TStreamError&) {
                result = nullptr;
            }
        }
    } catch (...) {
        stream->Close();
        throw;
    }
    stream->Close();
    return result;
}

}  // namespace

Ref<TPcmSample> ReadPcmSample(const Ref<Object>& url) { return ReadFromStream(OpenReadStream(url)); }
Ref<TPcmSample> ReadPcmSample(const String& url) { return ReadFromStream(OpenReadStream(url)); }

int InitSamples() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitSampleConversion();
    detail::NoteModuleStarted("audio samples and sample loaders");
    return 0;
}

}  // namespace korva
