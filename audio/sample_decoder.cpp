// The sample decoder registry and ReadPcmSample.
#include "korvagl/audio/sample_decoder.h"

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/app/plugin_list.h"
#include "korvagl/audio/pcm_reader.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

constinit TPluginList<TPcmSampleDecoder> sampleDecoders;

}  // namespace

Ref<TPcmSample> TPcmSampleDecoder::Load(const Ref<TByteStream>&) { RaiseAbstractMethodFault(); }
Ref<TPcmReader> TPcmSampleDecoder::OpenReader(const Ref<TByteStream>&) { return nullptr; }

void RegisterPcmSampleDecoder(const Ref<TPcmSampleDecoder>& decoder) { sampleDecoders.Add(decoder); }

Ref<TPcmSampleDecoder> PcmSampleDecoders() { return sampleDecoders.Head(); }

namespace {

// Every decoder from the registry's head gets the stream at the position it
// had when opened; a stream error inside one only means "not this format".
// The stream opened here is closed on every path.
Ref<TPcmSample> ReadFromStream(const Ref<TByteStream>& stream, const String& name) {
    if (!stream) return nullptr;  // the opener said why
    Ref<TPcmSample> result;
    String reason;  // the first a decoder gave
    try {
        const int32_t start = stream->Pos();  // OpenForLoading gives a stream with a position
        detail::TakeDecoderFailure();  // one left by a decoder called on its own
        for (Ref<TPcmSampleDecoder> decoder = sampleDecoders.Head(); decoder && !result; decoder = decoder->next) {
            stream->Seek(start);
            try {
                result = decoder->Load(stream);
            } catch (const TStreamError&) {
                result = nullptr;
            }
            const String failure = detail::TakeDecoderFailure();
            if (reason.IsEmpty()) reason = failure;
        }
    } catch (...) {
        stream->Close();
        throw;
    }
    stream->Close();
    // A decoder that knew the format said what was wrong with the data.
    if (result) detail::ClearLastErrorText();
    else if (!reason.IsEmpty()) detail::SetLastErrorText(name + ": " + reason);
    else detail::SetLastErrorTextIfNone(name + ": no sound decoder accepts this data");
    return result;
}

String SourceName(const Ref<Object>& url) {
    if (DownCast<TStringObject>(url)) return detail::Quoted(UnboxString(url));
    return "stream";
}

}  // namespace

Ref<TPcmSample> ReadPcmSample(const Ref<Object>& url) { return ReadFromStream(OpenForLoading(url), SourceName(url)); }
Ref<TPcmSample> ReadPcmSample(const String& url) { return ReadFromStream(OpenForLoading(url), detail::Quoted(url)); }

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
