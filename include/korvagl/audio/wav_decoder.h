// KorvaGL: the WAV sample decoder.
//
// TWAVSampleDecoder reads RIFF WAVE files with PCM data: 8-bit unsigned or
// 16-bit signed, mono or stereo; "fmt " must be the first chunk. A "data"
// chunk larger than what the stream still holds is cut to it (when the
// stream knows its size); sizes beyond what a sample can hold give the null
// object. It never closes the stream.
//
// InitWAVLoader runs after InitOggLoader, so the WAV decoder is tried first.
#pragma once

#include "korvagl/audio/sample_decoder.h"

namespace korva {

class TWAVSampleDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override;
};

// The module "WAV loader": registers the decoder. Run-once; returns 0.
int InitWAVLoader();

}  // namespace korva
