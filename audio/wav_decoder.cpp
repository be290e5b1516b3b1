// The RIFF WAVE decoder.
#include <algorithm>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/audio/pcm_reader.h"
#include "korvagl/audio/wav_decoder.h"
#include "korvagl/stream/endian_stream.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

constexpr int32_t kFormatPcm = 1;
constexpr int32_t kFormatFloat = 3;
constexpr int32_t kFormatExtensible = 0xFFFE;
// The last 14 bytes of every sub-format GUID of WAVE_FORMAT_EXTENSIBLE; the
// first two hold the format tag.
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// How the file stores a sample; everything but Raw becomes 16-bit.
enum class Encoding { Raw, Int24, Int32, Float32 };

struct Layout {
    int32_t channels = 0;
    int32_t hertz = 0;
    int32_t sampleBytes = 0;  // one channel's sample in the file
    Encoding encoding = Encoding::Raw;
    int32_t format = SMP_NONE;  // of the sample made
};

// Records why a file in this format is refused, for ReadPcmSample.
__attribute__((format(printf, 1, 2))) void Refuse(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    detail::SetDecoderFailure(String(text));
}

// Reads up to `count` bytes and returns how many arrived: the end of the
// stream, or a read that moves nothing, ends it early.
int64_t ReadUpTo(TByteStream& s, uint8_t* buf, int64_t count) {
    int64_t done = 0;
    while (done < count && !s.Eof()) {
        const int32_t n = s.Read(buf + done, static_cast<int32_t>(std::min<int64_t>(count - done, 1 << 20)));
        if (n <= 0) break;
        done += n;
    }
    return done;
}

// Four bytes as text, first byte first; a short read gives the empty text.
String ReadTag(TByteStream& s) {
    char tag[4];
    if (ReadUpTo(s, reinterpret_cast<uint8_t*>(tag), 4) != 4) return String();
    return String(std::string_view(tag, 4));
}

// The bytes left when the stream knows its size and position, else -1.
int64_t Remaining(TByteStream& s) {
    const int32_t pos = s.Pos(), size = s.Size();
    return pos >= 0 && size >= pos ? int64_t{size} - pos : -1;
}

// Skips `count` bytes: a seek when the stream knows where it is (never past
// its end), else reading through them.
void SkipBytes(TByteStream& s, int64_t count) {
    const int64_t remaining = Remaining(s);
    if (remaining >= 0 && s.Seek(static_cast<int32_t>(s.Pos() + std::min(count, remaining))) >= 0) return;
    while (count > 0 && !s.Eof()) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
        s.Skip(n);
        count -= n;
    }
}

uint32_t Little16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t Little32(const uint8_t* p) { return Little16(p) | Little16(p + 2) << 16; }

// A float sample to 16 bits: scaled by 32768, rounded to the nearest
// (halves to even), clipped to -32768..32767; NaN is silence.
int16_t FloatTo16(float value) {
    const double x = static_cast<double>(value) * 32768.0;
    if (std::isnan(x)) return 0;
    if (x <= -32768.0) return -32768;
    if (x >= 32767.0) return 32767;
    return static_cast<int16_t>(std::lrint(x));
}

// `count` samples stored as `encoding` to 16-bit little-endian ones. Integer
// samples keep their top 16 bits.
void ConvertTo16(const uint8_t* in, int64_t count, Encoding encoding, uint8_t* out) {
    for (int64_t i = 0; i < count; ++i, out += 2) {
        switch (encoding) {
        case Encoding::Int24:
            out[0] = in[1], out[1] = in[2];
            in += 3;
            break;
        case Encoding::Int32:
            out[0] = in[2], out[1] = in[3];
            in += 4;
            break;
        default: {
            const uint32_t bits = Little32(in);
            float value;
            std::memcpy(&value, &bits, 4);
            const auto v = static_cast<uint16_t>(FloatTo16(value));
            out[0] = static_cast<uint8_t>(v), out[1] = static_cast<uint8_t>(v >> 8);
            in += 4;
            break;
        }
        }
    }
}

// The "fmt " chunk's body (the first 40 bytes at most) as a layout; false,
// with the reason recorded, when this decoder cannot load it.
bool ParseFormat(const uint8_t* fmt, uint32_t size, Layout& layout) {
    if (size < 16) {
        Refuse("corrupt WAV data: \"fmt \" chunk of %u bytes", static_cast<unsigned>(size));
        return false;
    }
    int32_t tag = static_cast<int32_t>(Little16(fmt));
    const auto channels = static_cast<int32_t>(Little16(fmt + 2));
    const auto hertz = static_cast<int64_t>(Little32(fmt + 4));
    const auto bits = static_cast<int32_t>(Little16(fmt + 14));
    if (tag == kFormatExtensible) {
        if (size < 40 || Little16(fmt + 16) < 22 || std::memcmp(fmt + 26, kSubFormatTail, 14) != 0) {
            Refuse("unsupported WAV encoding (extensible format without a known sub-format)");
            return false;
        }
        tag = static_cast<int32_t>(Little16(fmt + 24));
    }
    if (tag == kFormatPcm && (bits == 8 || bits == 16)) {
        layout.encoding = Encoding::Raw;
    } else if (tag == kFormatPcm && (bits == 24 || bits == 32)) {
        layout.encoding = bits == 24 ? Encoding::Int24 : Encoding::Int32;
    } else if (tag == kFormatFloat && bits == 32) {
        layout.encoding = Encoding::Float32;
    } else if (tag == kFormatPcm || tag == kFormatFloat) {
        Refuse("unsupported WAV sample size (%d-bit %s)", bits, tag == kFormatPcm ? "integer" : "float");
        return false;
    } else {
        Refuse("unsupported WAV encoding (format 0x%04X)", static_cast<unsigned>(tag));
        return false;
    }
    if (channels < 1) {
        Refuse("corrupt WAV data: no channels");
        return false;
    }
    if (channels > 2) {
        Refuse("%d channels (at most 2)", channels);
        return false;
    }
    if (hertz < 1 || hertz > std::numeric_limits<int32_t>::max()) {
        Refuse("corrupt WAV data: sample rate %lld", static_cast<long long>(hertz));
        return false;
    }
    layout.channels = channels;
    layout.hertz = static_cast<int32_t>(hertz);
    layout.sampleBytes = bits / 8;
    if (layout.encoding == Encoding::Raw) {
        layout.format = bits == 8 ? (channels == 1 ? SMP_MONO8 : SMP_STEREO8)
                                  : (channels == 1 ? SMP_MONO16LE : SMP_STEREO16LE);
    } else {
        layout.format = channels == 1 ? SMP_MONO16LE : SMP_STEREO16LE;
    }
    return true;
}

// The "data" chunk: at most what the stream still holds, whole frames only,
// converted to the sample's format.
Ref<TPcmSample> ReadData(TByteStream& s, uint32_t size, const Layout& layout) {
    const int32_t frameBytes = layout.channels * layout.sampleBytes;  // in the file
    const int32_t sampleFrameBytes = SampleBytes[layout.format];       // in memory
    const bool raw = layout.encoding == Encoding::Raw;
    int64_t bytes = size;
    const int64_t remaining = Remaining(s);
    if (remaining >= 0) bytes = std::min(bytes, remaining);
    bytes -= bytes % frameBytes;
    if (bytes / frameBytes * sampleFrameBytes > std::numeric_limits<int32_t>::max()) {
        Refuse("sound too long (%lld bytes of data)", static_cast<long long>(bytes));
        return nullptr;
    }
    const auto frames = static_cast<int32_t>(bytes / frameBytes);

    if (remaining >= 0) {
        auto sample = NewPcmSample(frames, layout.hertz, layout.format);
        if (raw) {
            const int64_t got = ReadUpTo(s, sample->samples, bytes);
            sample->length = static_cast<int32_t>(got / frameBytes);  // a stream that held less than it said
            return sample;
        }
        // Converted through a buffer of whole frames.
        constexpr int32_t kBufferFrames = 16384;
        std::vector<uint8_t> buffer(static_cast<size_t>(std::min(frames, kBufferFrames)) * frameBytes);
        int32_t done = 0;
        while (done < frames) {
            const int32_t want = std::min(frames - done, kBufferFrames);
            const auto got = static_cast<int32_t>(ReadUpTo(s, buffer.data(), int64_t{want} * frameBytes) / frameBytes);
            ConvertTo16(buffer.data(), int64_t{got} * layout.channels, layout.encoding,
                        sample->samples + int64_t{done} * sampleFrameBytes);
            done += got;
            if (got < want) break;
        }
        sample->length = done;
        return sample;
    }
    // A stream of unknown size: memory grows with the data that arrives, not
    // with what the header claims.
    std::vector<uint8_t> data;
    while (static_cast<int64_t>(data.size()) < bytes) {
        const size_t at = data.size();
        data.resize(at + static_cast<size_t>(std::min<int64_t>(bytes - static_cast<int64_t>(at), 1 << 20)));
        const int64_t got = ReadUpTo(s, data.data() + at, static_cast<int64_t>(data.size() - at));
        data.resize(at + static_cast<size_t>(got));
        if (got == 0) break;
    }
    const auto got = static_cast<int32_t>(data.size() / frameBytes);
    auto sample = NewPcmSample(got, layout.hertz, layout.format);
    if (got == 0) return sample;
    if (raw) std::memcpy(sample->samples, data.data(), static_cast<size_t>(sample->capacity));
    else ConvertTo16(data.data(), int64_t{got} * layout.channels, layout.encoding, sample->samples);
    return sample;
}

// The header up to the start of the "data" chunk and that chunk's size.
// False when the data is not WAVE, or (with the reason recorded) when this
// decoder cannot load it.
bool ReadHeader(TByteStream& s, Layout& layout, uint32_t& dataSize) {
    if (ReadTag(s) != String("RIFF")) return false;
    s.ReadInt();  // RIFF size, not trusted
    if (ReadTag(s) != String("WAVE")) return false;
    // A WAVE file from here on: what is refused is refused with a reason.
    const String first = ReadTag(s);
    if (first != String("fmt ")) {
        Refuse("%s", first.IsEmpty() ? "corrupt WAV data: no \"fmt \" chunk"
                                     : "unsupported WAV layout: \"fmt \" is not the first chunk");
        return false;
    }
    const auto fmtSize = static_cast<uint32_t>(s.ReadInt());
    uint8_t fmt[40] = {};
    const int64_t fmtRead = std::min<int64_t>(fmtSize, sizeof fmt);
    if (ReadUpTo(s, fmt, fmtRead) != fmtRead) {
        Refuse("corrupt WAV data: it ends inside the \"fmt \" chunk");
        return false;
    }
    if (!ParseFormat(fmt, fmtSize, layout)) return false;
    SkipBytes(s, int64_t{fmtSize} - fmtRead + (fmtSize & 1));

    while (!s.Eof()) {
        const String tag = ReadTag(s);
        if (tag.IsEmpty()) break;
        const auto size = static_cast<uint32_t>(s.ReadInt());
        if (tag == String("data")) {
            dataSize = size;
            return true;
        }
        SkipBytes(s, int64_t{size} + (size & 1));
    }
    Refuse("corrupt WAV data: no \"data\" chunk");
    return false;
}

// The "data" chunk read as it plays, converted to 16 bits.
class TWAVReader final : public TPcmReader {
public:
    TWAVReader(const Ref<TByteStream>& stream, const Layout& layout, int64_t frames)
        : stream_(stream), layout_(layout), left_(frames), frameBytes_(layout.channels * layout.sampleBytes) {
        channels = layout.channels;
        hertz = layout.hertz;
        length = frames;
        seekable = detail::ReaderMaySeek(*stream) ? 1 : 0;
        start_ = seekable ? stream->Pos() : -1;
    }

    int32_t Read(int16_t* frames, int32_t count) override {
        const auto want = static_cast<int32_t>(std::min<int64_t>(count, left_));
        if (want <= 0) return 0;
        const bool direct = layout_.encoding == Encoding::Raw && layout_.sampleBytes == 2;
        auto* bytes = reinterpret_cast<uint8_t*>(frames);
        if (!direct) {
            buffer_.resize(static_cast<size_t>(want) * frameBytes_);
            bytes = buffer_.data();
        }
        const auto got = static_cast<int32_t>(ReadUpTo(*stream_, bytes, int64_t{want} * frameBytes_) / frameBytes_);
        const int64_t samples = int64_t{got} * layout_.channels;
        if (layout_.encoding != Encoding::Raw) {
            ConvertTo16(bytes, samples, layout_.encoding, reinterpret_cast<uint8_t*>(frames));
        } else if (!direct) {
            for (int64_t i = 0; i < samples; ++i) frames[i] = static_cast<int16_t>(bytes[i] * 257 - 32768);
        }
        left_ = got < want ? 0 : left_ - got;  // a short read is the end of the data
        return got;
    }

    int32_t Seek(int64_t frame) override {
        const int64_t at = start_ + frame * frameBytes_;
        if (!seekable || frame < 0 || frame > length || at > std::numeric_limits<int32_t>::max() ||
            stream_->Seek(static_cast<int32_t>(at)) != at) {
            detail::SetDecoderFailure("cannot seek in the WAV data");
            return 0;
        }
        left_ = length - frame;
        return 1;
    }

private:
    Ref<TByteStream> stream_;
    Layout layout_;
    int64_t left_;  // frames of the chunk not read yet
    int32_t frameBytes_;
    int64_t start_ = -1;  // where the chunk's data begins
    std::vector<uint8_t> buffer_;
};

}  // namespace

Ref<TPcmSample> TWAVSampleDecoder::Load(const Ref<TByteStream>& stream) {
    Ref<TByteStream> s = AsLittleEndian(stream);
    Layout layout;
    uint32_t size = 0;
    if (!ReadHeader(*s, layout, size)) return nullptr;
    return ReadData(*s, size, layout);
}

Ref<TPcmReader> TWAVSampleDecoder::OpenReader(const Ref<TByteStream>& stream) {
    Layout layout;
    uint32_t size = 0;
    if (!ReadHeader(*AsLittleEndian(stream), layout, size)) return nullptr;
    const int64_t remaining = Remaining(*stream);
    const int64_t bytes = remaining >= 0 ? std::min<int64_t>(size, remaining) : size;
    return New<TWAVReader>(stream, layout, bytes / (layout.channels * layout.sampleBytes));
}

int InitWAVLoader() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitEndianStreams();
    InitSamples();
    detail::NoteModuleStarted("WAV loader");
    RegisterPcmSampleDecoder(New<TWAVSampleDecoder>());
    return 0;
}

}  // namespace korva
