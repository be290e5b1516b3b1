// The FLAC decoder: libFLAC's stream decoder reads the stream itself
// through callbacks, native FLAC and FLAC in Ogg.
#include "korvagl/audio/flac_decoder.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/audio/pcm_reader.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

// Larger blocks than the FLAC subset allows are refused: the decoder's
// buffers grow with them (two channels of 65535 frames take 512 KiB).
constexpr uint32_t kMaxBlockFrames = 16384;

enum class Container { None, Native, Ogg };

// "fLaC" at the start, or an Ogg page whose first packet starts "\x7FFLAC".
Container Sniff(TByteStream& s) {
    uint8_t head[64] = {};
    int32_t got = 0;
    while (got < static_cast<int32_t>(sizeof head)) {
        const int32_t n = detail::ReadSome(s, head + got, static_cast<int32_t>(sizeof head) - got);
        if (n == 0) break;
        got += n;
    }
    if (got >= 4 && std::memcmp(head, "fLaC", 4) == 0) return Container::Native;
    if (got >= 27 && std::memcmp(head, "OggS", 4) == 0) {
        const int packet = 27 + head[26];
        if (packet + 5 <= got && std::memcmp(head + packet, "\x7F" "FLAC", 5) == 0) return Container::Ogg;
    }
    return Container::None;
}

class TFLACReader final : public TPcmReader {
public:
    TFLACReader(const Ref<TByteStream>& stream, bool seeks) : stream_(stream), start_(seeks ? stream->Pos() : 0) {
        seekable = seeks ? 1 : 0;
    }
    ~TFLACReader() override {
        if (decoder_) FLAC__stream_decoder_delete(decoder_);
    }
    TFLACReader(const TFLACReader&) = delete;
    TFLACReader& operator=(const TFLACReader&) = delete;

    // False when the data is not FLAC, or (with the reason recorded) when
    // it cannot be played. Raises what the stream raised.
    bool Open() {
        const Container container = Sniff(*stream_);
        if (container == Container::None || stream_->Seek(start_) != start_) return false;
        decoder_ = FLAC__stream_decoder_new();
        if (!decoder_) throw std::bad_alloc();
        const auto seek = seekable ? &SeekCallback : nullptr;
        const auto tell = seekable ? &TellCallback : nullptr;
        const auto size = seekable ? &LengthCallback : nullptr;
        const auto eof = seekable ? &EofCallback : nullptr;
        const FLAC__StreamDecoderInitStatus status =
            container == Container::Ogg
                ? FLAC__stream_decoder_init_ogg_stream(decoder_, &ReadCallback, seek, tell, size, eof, &WriteCallback,
                                                       &MetadataCallback, &ErrorCallback, this)
                : FLAC__stream_decoder_init_stream(decoder_, &ReadCallback, seek, tell, size, eof, &WriteCallback,
                                                   &MetadataCallback, &ErrorCallback, this);
        if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
            detail::SetDecoderFailure(String("FLAC data the decoder cannot open: ") +
                                      FLAC__StreamDecoderInitStatusString[status]);
            return false;
        }
        const bool read = FLAC__stream_decoder_process_until_end_of_metadata(decoder_);
        RaiseStreamError();
        if (!refusal_.IsEmpty()) return Refuse(refusal_);
        if (!read || hertz == 0) return Refuse(failure_.IsEmpty() ? String("corrupt FLAC data: no stream information") : failure_);
        return true;
    }

    int32_t Read(int16_t* frames, int32_t count) override {
        while (blockRead_ == blockFrames_) {
            if (ended_ || FLAC__stream_decoder_get_state(decoder_) == FLAC__STREAM_DECODER_END_OF_STREAM) return 0;
            blockRead_ = blockFrames_ = 0;
            const bool decoded = FLAC__stream_decoder_process_single(decoder_);
            RaiseStreamError();
            if (!refusal_.IsEmpty() || !decoded) {
                Refuse(!refusal_.IsEmpty() ? refusal_ : !failure_.IsEmpty() ? failure_ : String("corrupt FLAC data"));
                return -1;
            }
        }
        const auto n = static_cast<int32_t>(std::min<uint32_t>(static_cast<uint32_t>(count), blockFrames_ - blockRead_));
        std::memcpy(frames, block_.data() + size_t{blockRead_} * static_cast<uint32_t>(channels),
                    static_cast<size_t>(n) * static_cast<size_t>(channels) * 2);
        blockRead_ += static_cast<uint32_t>(n);
        return n;
    }

    int32_t Seek(int64_t frame) override {
        if (!seekable || frame < 0 || (length >= 0 && frame > length)) return Refuse("cannot seek in the FLAC data");
        blockRead_ = blockFrames_ = 0;
        ended_ = length >= 0 && frame == length;  // libFLAC does not seek to the very end
        if (ended_) return 1;
        const bool sought = FLAC__stream_decoder_seek_absolute(decoder_, static_cast<FLAC__uint64>(frame));
        RaiseStreamError();
        if (sought) return 1;
        FLAC__stream_decoder_flush(decoder_);
        return Refuse(failure_.IsEmpty() ? String("cannot seek in the FLAC data") : failure_);
    }

private:
    bool Refuse(const String& reason) {
        detail::SetDecoderFailure(reason);
        return false;
    }
    void RaiseStreamError() {
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }
    static TFLACReader& Of(void* data) { return *static_cast<TFLACReader*>(data); }

    static FLAC__StreamDecoderReadStatus ReadCallback(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                                      void* data) {
        TFLACReader& r = Of(data);
        try {
            const auto want = static_cast<int32_t>(std::min<size_t>(*bytes, 1 << 20));
            const int32_t n = detail::ReadSome(*r.stream_, buffer, want);
            *bytes = static_cast<size_t>(n);
            return n > 0 ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
        } catch (...) {
            r.error_ = std::current_exception();
            *bytes = 0;
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        }
    }
    static FLAC__StreamDecoderSeekStatus SeekCallback(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* data) {
        TFLACReader& r = Of(data);
        const uint64_t at = uint64_t{static_cast<uint32_t>(r.start_)} + offset;
        if (at > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        try {
            return r.stream_->Seek(static_cast<int32_t>(at)) == static_cast<int32_t>(at)
                       ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
                       : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        } catch (...) {
            r.error_ = std::current_exception();
            return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        }
    }
    static FLAC__StreamDecoderTellStatus TellCallback(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* data) {
        TFLACReader& r = Of(data);
        const int32_t pos = r.stream_->Pos();
        if (pos < r.start_) return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
        *offset = static_cast<FLAC__uint64>(pos - r.start_);
        return FLAC__STREAM_DECODER_TELL_STATUS_OK;
    }
    static FLAC__StreamDecoderLengthStatus LengthCallback(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                          void* data) {
        TFLACReader& r = Of(data);
        const int32_t size = r.stream_->Size();
        if (size < r.start_) return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
        *length = static_cast<FLAC__uint64>(size - r.start_);
        return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
    }
    static FLAC__bool EofCallback(const FLAC__StreamDecoder*, void* data) { return Of(data).stream_->Eof() != 0; }

    static void MetadataCallback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* data) {
        TFLACReader& r = Of(data);
        if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO) return;
        const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
        char reason[96] = "";
        if (info.channels > 2) {
            std::snprintf(reason, sizeof reason, "%u channels (at most 2)", info.channels);
        } else if (info.max_blocksize > kMaxBlockFrames) {
            std::snprintf(reason, sizeof reason, "FLAC blocks of %u frames (at most %u)", info.max_blocksize,
                          kMaxBlockFrames);
        } else if (info.sample_rate == 0 || info.sample_rate > static_cast<unsigned>(std::numeric_limits<int32_t>::max())) {
            std::snprintf(reason, sizeof reason, "corrupt FLAC data: sample rate %u", info.sample_rate);
        }
        if (reason[0]) {
            r.refusal_ = reason;
            return;
        }
        r.channels = static_cast<int32_t>(info.channels);
        r.hertz = static_cast<int32_t>(info.sample_rate);
        r.length = info.total_samples > 0 ? static_cast<int64_t>(info.total_samples) : -1;
    }

    // Each decoded block, interleaved and brought to 16 bits.
    static FLAC__StreamDecoderWriteStatus WriteCallback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                        const FLAC__int32* const buffer[], void* data) {
        TFLACReader& r = Of(data);
        const FLAC__FrameHeader& h = frame->header;
        if (r.hertz == 0 || h.channels != static_cast<uint32_t>(r.channels) || h.blocksize > kMaxBlockFrames) {
            r.refusal_ = "corrupt FLAC data: a block does not match the stream information";
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        r.block_.resize(size_t{h.blocksize} * h.channels);
        int16_t* out = r.block_.data();
        const int shift = static_cast<int>(h.bits_per_sample) - 16;
        for (uint32_t c = 0; c < h.channels; ++c) {
            const FLAC__int32* in = buffer[c];
            if (shift >= 0) {
                for (uint32_t i = 0; i < h.blocksize; ++i) out[i * h.channels + c] = static_cast<int16_t>(in[i] >> shift);
            } else {
                for (uint32_t i = 0; i < h.blocksize; ++i) {
                    out[i * h.channels + c] = static_cast<int16_t>(static_cast<uint32_t>(in[i]) << -shift);
                }
            }
        }
        r.blockFrames_ = h.blocksize;
        r.blockRead_ = 0;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    // libFLAC goes on after a damaged block (it finds the next one); the
    // first damage is named if decoding then fails.
    static void ErrorCallback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* data) {
        TFLACReader& r = Of(data);
        if (r.failure_.IsEmpty()) r.failure_ = String("corrupt FLAC data: ") + FLAC__StreamDecoderErrorStatusString[status];
    }

    Ref<TByteStream> stream_;
    const int32_t start_;  // where the FLAC data begins in the stream
    FLAC__StreamDecoder* decoder_ = nullptr;
    std::exception_ptr error_;
    String refusal_;  // why the data cannot be played (decoding stops)
    String failure_;  // the first damage libFLAC reported
    std::vector<int16_t> block_;
    uint32_t blockFrames_ = 0, blockRead_ = 0;
    bool ended_ = false;
};

}  // namespace

Ref<TPcmReader> TFLACSampleDecoder::OpenReader(const Ref<TByteStream>& stream) {
    auto reader = New<TFLACReader>(stream, detail::ReaderMaySeek(*stream));
    return reader->Open() ? reader : nullptr;
}

Ref<TPcmSample> TFLACSampleDecoder::Load(const Ref<TByteStream>& stream) {
    Ref<TPcmReader> reader = OpenReader(stream);
    return reader ? detail::ReadWholeSample(*reader) : nullptr;
}

int InitFLACLoader() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitSamples();
    detail::NoteModuleStarted("FLAC loader");
    RegisterPcmSampleDecoder(New<TFLACSampleDecoder>());
    return 0;
}

}  // namespace korva
