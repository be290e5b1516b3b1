// KorvaGL: the Ogg Vorbis sample decoder.
//
// TOggSampleDecoder decodes the first logical bitstream of an Ogg Vorbis
// file (mono or stereo) to 16-bit samples through libvorbisfile, reading the
// stream itself; data that ends before the stated length leaves the rest of
// the sample silent. More than two channels, a length whose 16-bit data
// would not fit in 2 GiB, and corrupt data give the null object; when the
// data begins as Ogg data does ("OggS"), the reason is recorded for
// ReadPcmSample ("6 channels (at most 2)", "no Vorbis stream in the Ogg data",
// ...). It never closes the stream.
#pragma once

#include "korvagl/audio/sample_decoder.h"

namespace korva {

class TOggSampleDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override;
    // Streams every link of a chained stream while their channels and rate
    // stay those of the first; on a stream that cannot seek it reads the
    // data once (the length is then unknown).
    Ref<TPcmReader> OpenReader(const Ref<TByteStream>& stream) override;
};

// The module "Ogg loader": registers the decoder. Run-once; returns 0.
int InitOggLoader();

}  // namespace korva
