// KorvaGL: the Ogg Vorbis sample decoder.
//
// TOggSampleDecoder decodes the first logical bitstream of an Ogg Vorbis
// file (mono or stereo) to 16-bit samples through libvorbisfile, reading the
// stream itself; data that ends before the stated length leaves the rest of
// the sample silent, and more than two channels give the null object. It
// never closes the stream.
#pragma once

#include "korvagl/audio/sample_decoder.h"

namespace korva {

class TOggSampleDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override;
};

// The module "Ogg loader": registers the decoder. Run-once; returns 0.
int InitOggLoader();

}  // namespace korva
