// The sample decoder registry and ReadPcmSample.
#include "korvagl/app/modules.h"
#include "korvagl/audio/sample.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

// Held through a plain pointer so that the registry outlives static destructors.
TPcmSampleDecoder* g_head = nullptr;

}  // namespace

Ref<TPcmSample> TPcmSampleDecoder::Load(const Ref<TByteStream>&) { RaiseAbstractMethodFault(); }

void RegisterPcmSampleDecoder(const Ref<TPcmSampleDecoder>& decoder) {
    // A decoder already in the list stays where it is (linking it again
    // would make the list a loop).
    for (TPcmSampleDecoder* d = g_head; d; d = d->next.Get()) {
        if (d == decoder.Get()) return;
    }
    if (decoder->next) return;
    decoder->next = Ref<TPcmSampleDecoder>(g_head);
    if (g_head) g_head->Release();
    g_head = Ref<TPcmSampleDecoder>(decoder).Detach();
}

Ref<TPcmSampleDecoder> PcmSampleDecoders() { return Ref<TPcmSampleDecoder>(g_head); }

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
        for (Ref<TPcmSampleDecoder> decoder(g_head); decoder && !result; decoder = decoder->next) {
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
