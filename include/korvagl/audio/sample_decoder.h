// KorvaGL: the sample decoder registry and ReadPcmSample.
//
// Samples are loaded from streams by the decoders in the registry, newest
// first (WAV, then Ogg Vorbis, FLAC and MP3). ReadPcmSample returns the
// null object when the URL cannot be opened or no decoder knows the data.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/audio/sample.h"

namespace korva {

class TByteStream;
class TPcmReader;

// A sample decoder: Load gives a sample, or the null object when the stream
// is not in its format. A stream error inside Load only means the same. A
// decoder that recognises its format but refuses the data says why with
// detail::SetDecoderFailure (korvagl/app/last_error.h), without naming the
// source; one that does not recognise the data says nothing.
//
// A decoder that can also decode as the sound plays gives a reader
// (pcm_reader.h) for the stream at its start position from OpenReader, or
// the null object when the data is not in its format (or it cannot stream
// it, saying why as Load does); the base one streams nothing.
class TPcmSampleDecoder : public Object {
public:
    virtual Ref<TPcmSample> Load(const Ref<TByteStream>& stream);
    virtual Ref<TPcmReader> OpenReader(const Ref<TByteStream>& stream);
    Ref<TPcmSampleDecoder> next;
};

// Loads a sample from a URL (a String) or a stream object (which is never
// closed: it is read through a non-closing view). Tries each decoder from
// the registry's head at the stream's start position. Raises "Stream is not
// seekable" when the stream cannot tell its position; the stream it opened
// is closed on that path too, so no handle is left behind. After a failure
// LastErrorText names the source (the URL in quotes, or "stream") and the
// cause: the reason of the first decoder that recognised the data, as in
// `"x.wav": 6 channels (at most 2)`, or
// `"x.wav": no sound decoder accepts this data`.
Ref<TPcmSample> ReadPcmSample(const Ref<Object>& url);
Ref<TPcmSample> ReadPcmSample(const String& url);
// Puts a decoder at the head of the registry unless its next link is set.
void RegisterPcmSampleDecoder(const Ref<TPcmSampleDecoder>& decoder);
// The head of the registry (the null object when it is empty).
Ref<TPcmSampleDecoder> PcmSampleDecoders();

// The module "audio samples and sample loaders". Run-once; returns 0.
int InitSamples();

}  // namespace korva
