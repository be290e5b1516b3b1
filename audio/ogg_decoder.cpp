// The Ogg Vorbis decoder: libvorbisfile reads the stream itself through four
// callbacks.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <utility>

#include "audio/ogg_native.h"
#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/audio/ogg_decoder.h"
#include "korvagl/audio/pcm_reader.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

// The callbacks run inside C code, which exceptions must not cross: the
// first one is kept and raised again once the decoder is closed.
struct Source {
    TByteStream* stream;
    std::exception_ptr error;
    char head[4];       // the first bytes the decoder read: "OggS" for Ogg data
    size_t headBytes;
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
        const size_t keep = std::min(done, sizeof source->head - source->headBytes);
        std::memcpy(source->head + source->headBytes, buffer, keep);
        source->headBytes += keep;
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

// Records why data that begins as Ogg data does ("OggS") was refused; data
// that does not is another decoder's.
void RefuseOgg(const Source& source, int error) {
    if (source.headBytes == 4 && std::memcmp(source.head, "OggS", 4) == 0) {
        detail::SetDecoderFailure(String(ogg::FailureText(error)));
    }
}

// Decodes as the sound plays, across the links of a chained stream.
class TOggReader final : public TPcmReader {
public:
    TOggReader(const Ref<TByteStream>& stream, bool seeks) : stream_(stream), source_{stream.Get(), nullptr, {}, 0} {
        seekable = seeks ? 1 : 0;
    }
    ~TOggReader() override {
        if (decoder_) ogg::CloseOgg(decoder_);
    }
    TOggReader(const TOggReader&) = delete;
    TOggReader& operator=(const TOggReader&) = delete;

    // False when the data is not Ogg Vorbis or cannot be played (the reason
    // recorded); raises what the stream raised.
    bool Open() {
        const ogg::Callbacks io{&ReadCallback, seekable ? &SeekCallback : nullptr, &CloseCallback,
                                seekable ? &TellCallback : nullptr};
        int error = 0;
        decoder_ = ogg::OpenOgg(&source_, io, &length, &channels, &hertz, &error);
        RaiseStreamError();
        if (!decoder_) {
            RefuseOgg(source_, error);
            return false;
        }
        if (channels < 1 || channels > 2) {
            detail::SetDecoderFailure(String(std::to_string(channels) + " channels (at most 2)"));
            return false;
        }
        if (hertz <= 0) {
            detail::SetDecoderFailure("corrupt Ogg Vorbis data: sample rate " + String(std::to_string(hertz)));
            return false;
        }
        if (length < 0) length = -1;
        return true;
    }

    int32_t Read(int16_t* frames, int32_t count) override {
        const int64_t n = ogg::ReadOggFrames(decoder_, frames, count, channels);
        RaiseStreamError();
        if (n >= 0) return static_cast<int32_t>(n);
        detail::SetDecoderFailure(String(ogg::FailureText(static_cast<int>(n))));
        return -1;
    }

    int32_t Seek(int64_t frame) override {
        const int error = seekable ? ogg::SeekOgg(decoder_, frame) : -1;
        RaiseStreamError();
        if (error == 0) return 1;
        detail::SetDecoderFailure(seekable ? String(ogg::FailureText(error)) : String("the stream cannot seek"));
        return 0;
    }

private:
    void RaiseStreamError() {
        if (source_.error) std::rethrow_exception(std::exchange(source_.error, nullptr));
    }

    Ref<TByteStream> stream_;
    Source source_;
    ogg::Decoder* decoder_ = nullptr;
};

}  // namespace

Ref<TPcmReader> TOggSampleDecoder::OpenReader(const Ref<TByteStream>& stream) {
    auto reader = New<TOggReader>(stream, detail::ReaderMaySeek(*stream));
    return reader->Open() ? reader : nullptr;
}

Ref<TPcmSample> TOggSampleDecoder::Load(const Ref<TByteStream>& stream) {
    Source source{stream.operator->(), nullptr, {}, 0};
    int64_t frames = 0;
    int32_t channels = 0, hertz = 0;
    int error = 0;
    ogg::Decoder* decoder = ogg::OpenOgg(&source, {&ReadCallback, &SeekCallback, &CloseCallback, &TellCallback},
                                         &frames, &channels, &hertz, &error);
    if (!decoder) {
        if (source.error) std::rethrow_exception(source.error);
        RefuseOgg(source, error);
        return nullptr;
    }
    // What the stream reports is checked before any size is computed from it.
    char reason[80] = "";
    if (channels < 1 || channels > 2) {
        std::snprintf(reason, sizeof reason, "%d channels (at most 2)", static_cast<int>(channels));
    } else if (hertz <= 0) {
        std::snprintf(reason, sizeof reason, "corrupt Ogg Vorbis data: sample rate %d", static_cast<int>(hertz));
    } else if (frames < 0) {
        std::snprintf(reason, sizeof reason, "Ogg Vorbis data of unknown length (the stream cannot seek)");
    } else if (frames > std::numeric_limits<int32_t>::max() / (2 * channels)) {
        std::snprintf(reason, sizeof reason, "sound too long (%lld frames)", static_cast<long long>(frames));
    }
    Ref<TPcmSample> sample;
    int result = -1;
    if (!reason[0]) {
        const int64_t bytes = frames * 2 * channels;
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
        if (result != 0) std::snprintf(reason, sizeof reason, "%s", ogg::FailureText(result));
    }
    ogg::ReadOgg(decoder, nullptr, 0);
    if (source.error) std::rethrow_exception(source.error);
    if (result == 0) return sample;
    detail::SetDecoderFailure(String(reason));
    return nullptr;
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
