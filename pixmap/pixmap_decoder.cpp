// The pixmap decoder registry, ReadPixmap, and the pixmaps module.
#include "korvagl/pixmap/pixmap_decoder.h"

#include "korvagl/app/faults.h"
#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/app/plugin_list.h"
#include "pixmap/decoder_io.h"

namespace korva {
namespace {

constinit TPluginList<TPixmapDecoder> pixmapDecoders;

// Closes a stream however the scope is left; a failing close on the way out
// must not replace the fault that is already travelling.
class CloseOnExit {
public:
    explicit CloseOnExit(const Ref<TByteStream>& stream) : stream_(stream) {}
    ~CloseOnExit() {
        try {
            stream_->Close();
        } catch (...) {
        }
    }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

private:
    Ref<TByteStream> stream_;
};

Ref<TPixmap> ReadPixmapFrom(const Ref<TByteStream>& stream, const String& name) {
    if (!stream) return nullptr;  // the opener said why
    CloseOnExit closer(stream);
    const detail::DecodingSource source(name);
    const int32_t start = stream->Pos();  // OpenForLoading gives a stream with a position
    detail::TakeDecoderFailure();  // one left by a decoder called on its own
    String reason;
    for (Ref<TPixmapDecoder> decoder = pixmapDecoders.Head(); decoder; decoder = decoder->next) {
        // A stream that cannot go back to the start of the data could only
        // show later decoders the wrong bytes.
        stream->Seek(start);
        if (stream->Pos() != start) break;
        Ref<TPixmap> pixmap;
        try {
            pixmap = decoder->ReadPixmap(stream);
        } catch (const TStreamError&) {
            // Not this decoder's data; the next one starts afresh.
        }
        const String failure = detail::TakeDecoderFailure();
        if (pixmap) {
            detail::ClearLastErrorText();
            return pixmap;
        }
        if (reason.IsEmpty()) reason = failure;
    }
    // A decoder that knew the format said what was wrong with the data.
    if (!reason.IsEmpty()) detail::SetLastErrorText(name + ": " + reason);
    else detail::SetLastErrorTextIfNone(name + ": no image decoder accepts this data");
    return nullptr;
}

// How a reason names a source: a URL in quotes, anything else as "stream".
String SourceName(const Ref<Object>& url) {
    if (DownCast<TStringObject>(url)) return detail::Quoted(UnboxString(url));
    return "stream";
}

}  // namespace

TPixmapDecoder::TPixmapDecoder() { pixmapDecoders.Add(this); }

Ref<TPixmap> TPixmapDecoder::ReadPixmap(const Ref<TByteStream>&) { RaiseAbstractMethodFault(); }

Ref<TPixmapDecoder> FirstPixmapDecoder() { return pixmapDecoders.Head(); }

Ref<TPixmap> ReadPixmap(const String& url) { return ReadPixmapFrom(OpenForLoading(url), detail::Quoted(url)); }

Ref<TPixmap> ReadPixmap(const Ref<Object>& url) { return ReadPixmapFrom(OpenForLoading(url), SourceName(url)); }

int InitPixmaps() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitPixelConversion();
    detail::NoteModuleStarted("pixmaps");
    return 0;
}

}  // namespace korva
