// The sample decoder registry and ReadPcmSample.
#include "korvagl/app/modules.h"
#include "korvagl/audio/sample.h"

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

// Streams are not part of the build yet: nothing can be read.
Ref<TPcmSample> ReadPcmSample(const Ref<Object>&) { return nullptr; }
Ref<TPcmSample> ReadPcmSample(const String&) { return nullptr; }

int InitSamples() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitSampleConversion();
    detail::NoteModuleStarted("audio samples and sample loaders");
    return 0;
}

}  // namespace korva
