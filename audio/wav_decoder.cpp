// The RIFF WAVE decoder.
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "korvagl/app/modules.h"
#include "korvagl/audio/wav_decoder.h"
#include "korvagl/stream/endian_stream.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

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

int32_t FormatFor(int32_t channels, int32_t bits) {
    if (bits == 8) return channels == 1 ? SMP_MONO8 : channels == 2 ? SMP_STEREO8 : SMP_NONE;
    if (bits == 16) return channels == 1 ? SMP_MONO16LE : channels == 2 ? SMP_STEREO16LE : SMP_NONE;
    return SMP_NONE;
}

// The "data" chunk: at most what the stream still holds, whole frames only.
Ref<TPcmSample> ReadData(TByteStream& s, uint32_t size, int32_t hertz, int32_t format) {
    const int32_t frameBytes = SampleBytes[format];
    int64_t bytes = size;
    const int64_t remaining = Remaining(s);
    if (remaining >= 0) bytes = std::min(bytes, remaining);
    bytes -= bytes % frameBytes;
    if (bytes > std::numeric_limits<int32_t>::max()) return nullptr;

    if (remaining >= 0) {
        auto sample = NewPcmSample(static_cast<int32_t>(bytes / frameBytes), hertz, format);
        const int64_t got = ReadUpTo(s, sample->samples, bytes);
        sample->length = static_cast<int32_t>(got / frameBytes);  // a stream that held less than it said
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
    auto sample = NewPcmSample(static_cast<int32_t>(data.size() / frameBytes), hertz, format);
    if (sample->length > 0) std::memcpy(sample->samples, data.data(), static_cast<size_t>(sample->capacity));
    return sample;
}

}  // namespace

Ref<TPcmSample> TWAVSampleDecoder::Load(const Ref<TByteStream>& stream) {
    Ref<TByteStream> s = AsLittleEndian(stream);
    if (ReadTag(*s) != String("RIFF")) return nullptr;
    s->ReadInt();  // RIFF size, not trusted
    if (ReadTag(*s) != String("WAVE") || ReadTag(*s) != String("fmt ")) return nullptr;
    const auto fmtSize = static_cast<uint32_t>(s->ReadInt());
    if (fmtSize < 16) return nullptr;  // the fields below would run into the next chunk
    if (s->ReadShort() != 1) return nullptr;  // PCM only
    const int32_t channels = s->ReadShort();
    const int32_t hertz = s->ReadInt();
    s->ReadInt();    // byte rate
    s->ReadShort();  // block align
    const int32_t bits = s->ReadShort();
    const int32_t format = FormatFor(channels, bits);
    if (format == SMP_NONE || hertz <= 0) return nullptr;
    SkipBytes(*s, int64_t{fmtSize} - 16 + (fmtSize & 1));

    while (!s->Eof()) {
        const String tag = ReadTag(*s);
        if (tag.IsEmpty()) break;
        const auto size = static_cast<uint32_t>(s->ReadInt());
        if (tag == String("data")) return ReadData(*s, size, hertz, format);
        SkipBytes(*s, int64_t{size} + (size & 1));
    }
    return nullptr;
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
