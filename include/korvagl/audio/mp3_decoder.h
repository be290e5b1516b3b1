// KorvaGL: the MP3 sample decoder.
//
// TMP3SampleDecoder decodes MPEG audio (layers I, II and III; MPEG 1, 2 and
// 2.5, so 8000 to 48000 Hz), mono or stereo, through libmpg123 to 16-bit
// samples (SMP_MONO16LE or SMP_STEREO16LE), gapless: the encoder's delay and
// padding, when a LAME or Xing header states them, are cut off. The data
// must start with MPEG audio frames, after an ID3v2 tag if there is one: two
// frame headers that agree, the second where the first frame ends (junk
// before the first frame, and free-format streams, are not taken).
// Refused, with the reason recorded for ReadPcmSample: a stream that
// changes its rate or channels, a sound whose 16-bit data would pass 2 GiB.
// Memory grows with the frames decoded. It streams too (OpenReader); on a
// stream that can seek it then reads every frame header once when the data
// does not state its length, for an exact length and exact seeking. It
// never closes the stream.
#pragma once

#include "korvagl/audio/sample_decoder.h"

namespace korva {

class TMP3SampleDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override;
    Ref<TPcmReader> OpenReader(const Ref<TByteStream>& stream) override;
};

// The module "MP3 loader": registers the decoder. Run-once; returns 0.
int InitMP3Loader();

}  // namespace korva
