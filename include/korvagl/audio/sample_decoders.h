// KorvaGL: the WAV and Ogg Vorbis sample decoders.
//
// TWAVSampleDecoder reads RIFF WAVE files with PCM data: 8-bit unsigned or
// 16-bit signed, mono or stereo; "fmt " must be the first chunk. A "data"
// chunk larger than what the stream still holds is cut to it (when the
// stream knows its size); sizes beyond what a sample can hold give the null
// object. TOggSampleDecoder decodes the first logical bitstream of an Ogg
// Vorbis file (mono or stereo) to 16-bit samples through libvorbisfile,
// reading the stream itself; data that ends before the stated length leaves
// the rest of the sample silent, and more than two channels give the null
// object. Neither closes the stream.
//
// InitWAVLoader runs after InitOggLoader, so the WAV decoder is tried first.
#pragma once

#include "korvagl/audio/sample.h"

namespace korva {

class TWAVSampleDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override;
};

class TOggSampleDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override;
};

int InitOggLoader();
int InitWAVLoader();

}  // namespace korva
