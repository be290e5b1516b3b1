// KorvaGL: PCM samples and sample formats.
//
// A TPcmSample is a run of uncompressed sample frames in one of six formats,
// with a playback rate. 16-bit values are signed; 8-bit values are unsigned
// with 128 as silence; stereo frames hold the left channel first.
//
// Conversions between formats pass through the hub format SMP_STEREO16BE.
// A format outside SMP_MONO8 .. SMP_STEREO16BE in a conversion raises
// "Unimplemented sample format conversion".
//
// Samples are loaded from files and streams by ReadPcmSample
// (sample_decoder.h).
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"

namespace korva {

inline constexpr int32_t SMP_NONE = 0;
inline constexpr int32_t SMP_MONO8 = 1;
inline constexpr int32_t SMP_MONO16LE = 2;
inline constexpr int32_t SMP_MONO16BE = 3;
inline constexpr int32_t SMP_STEREO8 = 4;
inline constexpr int32_t SMP_STEREO16LE = 5;
inline constexpr int32_t SMP_STEREO16BE = 6;

// Bytes of one sample frame (all channels), indexed by format 0..6.
extern const int32_t SampleBytes[7];

class TPcmSample : public Object {
public:
    TPcmSample() = default;
    TPcmSample(const TPcmSample&) = delete;
    TPcmSample& operator=(const TPcmSample&) = delete;
    ~TPcmSample() override;

    // A new owned sample of the same length, rate and format with the bytes copied.
    virtual Ref<TPcmSample> Copy() const;
    // A new owned sample of the same length and rate in `format`, converted.
    virtual Ref<TPcmSample> Convert(int32_t format) const;

    // An owned sample of `length` frames. Its memory starts zeroed.
    // A negative length or a format outside 0..6 raises "Illegal sample format".
    static Ref<TPcmSample> Create(int32_t length, int32_t hertz, int32_t format);
    // A sample over memory owned elsewhere (capacity -1); it never frees it
    // and keeps no reference to its owner.
    static Ref<TPcmSample> CreateStatic(void* samples, int32_t length, int32_t hertz, int32_t format);

    uint8_t* samples = nullptr;  // sample memory
    int32_t length = 0;          // frames
    int32_t hertz = 0;           // frames per second
    int32_t format = 0;          // SMP_...
    int32_t capacity = 0;        // bytes owned, or -1 when not owned
};

Ref<TPcmSample> NewPcmSample(int32_t length, int32_t hertz, int32_t format);
Ref<TPcmSample> NewPcmSampleOver(void* samples, int32_t length, int32_t hertz, int32_t format);
// Copies count * SampleBytes[format] bytes.
void CopySampleRun(const void* src, void* dst, int32_t format, int32_t count);
// Converts `count` frames from srcFormat to dstFormat (through SMP_STEREO16BE).
void ConvertSampleRun(const void* src, int32_t srcFormat, void* dst, int32_t dstFormat, int32_t count);

// The module "sample format conversion".
int InitSampleConversion();

}  // namespace korva
