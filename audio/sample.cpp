// PCM samples: the format table, conversion through the hub format, and the
// sample class.
#include "korvagl/audio/sample.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "korvagl/app/modules.h"

namespace korva {

const int32_t SampleBytes[7] = {0, 1, 2, 2, 2, 4, 4};

namespace {

constexpr const char* kUnimplemented = "Unimplemented sample format conversion";

bool IsConvertible(int32_t format) { return format >= SMP_MONO8 && format <= SMP_STEREO16BE; }

int32_t FromUnsigned8(uint8_t b) { return b * 257 - 32768; }

void PutBE(uint8_t* p, int32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void PutLE(uint8_t* p, int32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
int32_t GetBE(const uint8_t* p) { return static_cast<int16_t>(p[0] << 8 | p[1]); }
int32_t GetLE(const uint8_t* p) { return static_cast<int16_t>(p[1] << 8 | p[0]); }
uint8_t ToUnsigned8(int32_t v) { return static_cast<uint8_t>((v + 32768) / 257); }

void ToHub(const uint8_t* src, int32_t format, uint8_t* dst, int32_t count) {
    for (int32_t i = 0; i < count; ++i, dst += 4) {
        int32_t left = 0, right = 0;
        switch (format) {
        case SMP_MONO8: left = right = FromUnsigned8(src[i]); break;
        case SMP_MONO16LE: left = right = GetLE(src + 2 * i); break;
        case SMP_MONO16BE: left = right = GetBE(src + 2 * i); break;
        case SMP_STEREO8:
            left = FromUnsigned8(src[2 * i]);
            right = FromUnsigned8(src[2 * i + 1]);
            break;
        case SMP_STEREO16LE:
            left = GetLE(src + 4 * i);
            right = GetLE(src + 4 * i + 2);
            break;
        }
        PutBE(dst, left);
        PutBE(dst + 2, right);
    }
}

void FromHub(const uint8_t* src, uint8_t* dst, int32_t format, int32_t count) {
    for (int32_t i = 0; i < count; ++i, src += 4) {
        const int32_t left = GetBE(src), right = GetBE(src + 2);
        const int32_t mid = (left + right) / 2;
        switch (format) {
        case SMP_MONO8: dst[i] = ToUnsigned8(mid); break;
        case SMP_MONO16LE: PutLE(dst + 2 * i, mid); break;
        case SMP_MONO16BE: PutBE(dst + 2 * i, mid); break;
        case SMP_STEREO8:
            dst[2 * i] = ToUnsigned8(left);
            dst[2 * i + 1] = ToUnsigned8(right);
            break;
        case SMP_STEREO16LE:
            PutLE(dst + 4 * i, left);
            PutLE(dst + 4 * i + 2, right);
            break;
        }
    }
}

}  // namespace

void CopySampleRun(const void* src, void* dst, int32_t format, int32_t count) {
    if (count <= 0 || format < 0 || format > SMP_STEREO16BE) return;
    const size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(SampleBytes[format]);
    if (bytes > 0) std::memmove(dst, src, bytes);
}

void ConvertSampleRun(const void* src, int32_t srcFormat, void* dst, int32_t dstFormat, int32_t count) {
    if (srcFormat == dstFormat && srcFormat >= SMP_NONE && srcFormat <= SMP_STEREO16BE) {
        CopySampleRun(src, dst, srcFormat, count);
        return;
    }
    if (!IsConvertible(srcFormat) || !IsConvertible(dstFormat)) RaiseRuntimeError(kUnimplemented);
    const auto* in = static_cast<const uint8_t*>(src);
    auto* out = static_cast<uint8_t*>(dst);
    if (count <= 0) return;
    if (srcFormat == SMP_STEREO16BE) {
        FromHub(in, out, dstFormat, count);
    } else if (dstFormat == SMP_STEREO16BE) {
        ToHub(in, srcFormat, out, count);
    } else {
        // Through the hub in slices, so a long run needs no long temporary.
        constexpr int32_t kSlice = 4096;
        std::vector<uint8_t> hub(static_cast<size_t>(std::min(count, kSlice)) * 4);
        for (int32_t done = 0; done < count; done += kSlice) {
            const int32_t n = std::min(kSlice, count - done);
            ToHub(in + static_cast<size_t>(done) * SampleBytes[srcFormat], srcFormat, hub.data(), n);
            FromHub(hub.data(), out + static_cast<size_t>(done) * SampleBytes[dstFormat], dstFormat, n);
        }
    }
}

TPcmSample::~TPcmSample() {
    if (capacity >= 0) std::free(samples);
}

Ref<TPcmSample> TPcmSample::Create(int32_t length, int32_t hertz, int32_t format) {
    if (format < SMP_NONE || format > SMP_STEREO16BE || length < 0) RaiseRuntimeError("Illegal sample format");
    const int64_t bytes = static_cast<int64_t>(length) * SampleBytes[format];
    if (bytes > std::numeric_limits<int32_t>::max()) RaiseRuntimeError("Illegal sample format");
    auto sample = New<TPcmSample>();
    // Zeroed memory: large blocks come straight from the system as untouched
    // zero pages, so a sample costs memory only where it is written.
    if (bytes > 0) {
        sample->samples = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1));
        if (!sample->samples) throw std::bad_alloc();
    }
    sample->length = length;
    sample->hertz = hertz;
    sample->format = format;
    sample->capacity = static_cast<int32_t>(bytes);
    return sample;
}

Ref<TPcmSample> TPcmSample::CreateStatic(void* samples, int32_t length, int32_t hertz, int32_t format) {
    auto sample = New<TPcmSample>();
    sample->samples = static_cast<uint8_t*>(samples);
    sample->length = length;
    sample->hertz = hertz;
    sample->format = format;
    sample->capacity = -1;
    return sample;
}

Ref<TPcmSample> TPcmSample::Copy() const {
    auto copy = Create(length, hertz, format);
    CopySampleRun(samples, copy->samples, format, length);
    return copy;
}

Ref<TPcmSample> TPcmSample::Convert(int32_t toFormat) const {
    auto converted = Create(length, hertz, toFormat);
    ConvertSampleRun(samples, format, converted->samples, toFormat, length);
    return converted;
}

Ref<TPcmSample> NewPcmSample(int32_t length, int32_t hertz, int32_t format) {
    return TPcmSample::Create(length, hertz, format);
}

Ref<TPcmSample> NewPcmSampleOver(void* samples, int32_t length, int32_t hertz, int32_t format) {
    return TPcmSample::CreateStatic(samples, length, hertz, format);
}

int InitSampleConversion() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("sample format conversion");
    return 0;
}

}  // namespace korva
