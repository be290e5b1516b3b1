// KorvaGL: the WAV sample decoder.
//
// TWAVSampleDecoder reads RIFF WAVE files, mono or stereo, "fmt " as the
// first chunk, with samples stored as
//   - 8-bit unsigned or 16-bit signed PCM: kept as they are (SMP_MONO8,
//     SMP_STEREO8, SMP_MONO16LE, SMP_STEREO16LE);
//   - 24-bit or 32-bit signed PCM: their top 16 bits (SMP_MONO16LE or
//     SMP_STEREO16LE);
//   - 32-bit IEEE float (format 3): scaled by 32768, rounded to the nearest
//     (halves to even) and clipped to -32768..32767, NaN as 0 (16-bit too);
//   - WAVE_FORMAT_EXTENSIBLE (0xFFFE) with the PCM or float sub-format, as
//     the plain formats above (by container size; the valid-bits field is
//     not used).
// A "data" chunk larger than what the stream still holds is cut to it (when
// the stream knows its size). Other encodings and sizes, more than two
// channels, data a sample cannot hold (2 GiB) and files without a "data"
// chunk give the null object, with the reason recorded for ReadPcmSample
// ("6 channels (at most 2)", "unsupported WAV encoding (format 0x0055)",
// ...). It never closes the stream.
//
// InitWAVLoader runs after InitOggLoader, so the WAV decoder is tried first.
#pragma once

#include "korvagl/audio/sample_decoder.h"

namespace korva {

class TWAVSampleDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override;
    // Streams the "data" chunk in the same encodings, as 16-bit frames.
    Ref<TPcmReader> OpenReader(const Ref<TByteStream>& stream) override;
};

// The module "WAV loader": registers the decoder. Run-once; returns 0.
int InitWAVLoader();

}  // namespace korva
