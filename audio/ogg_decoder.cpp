// The Ogg Vorbis decoder: libvorbisfile reads the stream itself through four
// callbacks.
#include <algorithm>
#include <cerrno>
#include <exception>
#include <limits>

#include "audio/ogg_native.h"
#include "korvagl/app/modules.h"
#include "korvagl/audio/ogg_decoder.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

// The callbacks run inside C code, which exceptions must not cross: the
// first one is kept and raised again once the decoder is closed.
struct Source {
    TByteStream* stream;
    std::exception_ptr error;
};

size_t ReadCallback(void* buffer, size_t size, size_t count, void* data) {
    auto* source = static_cast<Source*>(data);
    if (size == 0 || source->error) return 0;
    try {
        const size_t wanted = std::min<size_t>(size * count, std::numeric_limits<int32_t>::max());
        auto* out = static_cast<uint8_t*>(buffer);
        size_t done = 0;
        // ReadFully, counting what arrived before the end.
        while (done < wanted && !source->stream->Eof()) {
            const int32_t n = source->stream->Read(out + done, static_cast<int32_t>(wanted - done));
            if (n <= 0) throw TStreamReadError();
            done += static_cast<size_t>(n);
        }
        errno = 0;  // vorbisfile takes 0 items with errno set as an error
        return done / size;
    } catch (...) {
        source->error = std::current_exception();
        errno = EIO;
        return 0;
    }
}

int SeekCallback(void* data, int64_t offset, int whence) {
    auto* source = static_cast<Source*>(data);
    if (source->error) return -1;
    try {
        TByteStream& s = *source->stream;
        int64_t target;
        switch (whence) {
        case 0: target = offset; break;
        case 1: target = int64_t{s.Pos()} + offset; break;
        case 2: target = int64_t{s.Size()} + offset; break;
        default: return -1;
        }
        if (target < 0 || target > std::numeric_limits<int32_t>::max()) return -1;
        return s.Seek(static_cast<int32_t>(target)) < 0 ? -1 : 0;
    } catch (...) {
        source->error = std::current_exception();
        return -1;
    }
}

int CloseCallback(void*) { return 0; }  // ReadPcmSample closes the stream

long TellCallback(void* data) {
    auto* source = static_cast<Source*>(data);
    try {
        return source->stream->Pos();
    } catch (...) {
        source->error = std::current_exception();
        return -1;
    }
}

}  // namespace

Ref<TPcmSample> TOggSampleDecoder::Load(const Ref<TByteStream>& stream) {
    Source source{stream.operator->(), nullptr};
    int64_t frames = 0;
    int32_t channels = 0, hertz = 0;
    ogg::Decoder* decoder = ogg::OpenOgg(&source, {&ReadCallback, &SeekCallback, &CloseCallback, &TellCallback},
                                         &frames, &channels, &hertz);
    if (!decoder) {
        if (source.error) std::rethrow_exception(source.error);
        return nullptr;
    }
    Ref<TPcmSample> sample;
    int result = -1;
    const int64_t bytes = frames * 2 * channels;
    if ((channels == 1 || channels == 2) && frames >= 0 && hertz > 0 && bytes <= std::numeric_limits<int32_t>::max()) {
        try {
            // The memory starts zeroed: data that ends early leaves silence.
            sample = NewPcmSample(static_cast<int32_t>(frames), hertz, channels == 1 ? SMP_MONO16LE : SMP_STEREO16LE);
            // (An empty sample reads nothing: a null buffer with 0 bytes
            // would close the decoder.)
            result = bytes > 0 ? ogg::ReadOgg(decoder, sample->samples, bytes) : 0;
        } catch (...) {
            ogg::ReadOgg(decoder, nullptr, 0);
            throw;
        }
    }
    ogg::ReadOgg(decoder, nullptr, 0);
    if (source.error) std::rethrow_exception(source.error);
    return result == 0 ? sample : nullptr;
}

int InitOggLoader() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitSamples();
    detail::NoteModuleStarted("Ogg loader");
    RegisterPcmSampleDecoder(New<TOggSampleDecoder>());
    return 0;
}

}  // namespace korva
