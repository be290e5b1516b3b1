// KorvaGL: the FLAC sample decoder.
//
// TFLACSampleDecoder decodes FLAC (native, or FLAC in Ogg) through libFLAC,
// mono or stereo at any rate, 4 to 32 bits per sample, to 16-bit samples
// (SMP_MONO16LE or SMP_STEREO16LE): deeper samples keep their top 16 bits,
// shallower ones are scaled up. Damaged blocks are skipped as libFLAC finds
// the next one. Refused, with the reason recorded for ReadPcmSample: more
// than two channels ("6 channels (at most 2)"), blocks longer than 16384
// frames (the FLAC subset's limit; the decoder's memory grows with them), a
// sound whose 16-bit data would pass 2 GiB, and data libFLAC cannot decode.
// Memory grows with the frames decoded, not with the length the header
// states. It streams too (OpenReader), seeking to the frame on streams that
// can seek. It never closes the stream.
#pragma once

#include "korvagl/audio/sample_decoder.h"

namespace korva {

class TFLACSampleDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override;
    Ref<TPcmReader> OpenReader(const Ref<TByteStream>& stream) override;
};

// The module "FLAC loader": registers the decoder. Run-once; returns 0.
int InitFLACLoader();

}  // namespace korva
