// KorvaGL: decoding sound as it is needed.
//
// A TPcmReader decodes frames from an open stream a piece at a time, so that
// a sound of any length costs only its decoder's memory; music (music.h)
// plays through one. Sample decoders that can stream make readers
// (TPcmSampleDecoder::OpenReader): WAV, Ogg Vorbis, FLAC and MP3 do.
// OpenPcmReader asks them in the registry's order, as ReadPcmSample does.
//
// Frames are signed 16-bit samples in the machine's order, the channels of a
// frame side by side (left first). A reader reads its stream from one
// thread at a time and never closes it.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/audio/sample.h"

namespace korva {

class TByteStream;

class TPcmReader : public Object {
public:
    // Decodes up to `count` frames into `frames`: how many came, 0 at the
    // end of the data, -1 when the data cannot be decoded any further (the
    // reason recorded with detail::SetDecoderFailure). Stream errors
    // (TStreamError) pass through.
    virtual int32_t Read(int16_t* frames, int32_t count);
    // Makes the next Read start at `frame` (0 up to the length): 1, or 0 when
    // it cannot (the stream cannot seek, the data is corrupt), with the
    // reason recorded.
    virtual int32_t Seek(int64_t frame);

    int32_t channels = 0;  // 1 or 2
    int32_t hertz = 0;     // frames per second
    int64_t length = -1;   // frames, -1 when the data does not say
    int32_t seekable = 0;  // 1 when Seek can work
};

// A reader for the data of `stream` from the first sample decoder (in the
// registry's order) that can stream it, or the null object with the reason
// in LastErrorText, naming the data `name`: `"x.mp3": no sound decoder
// accepts this data`, or the reason of the first decoder that recognised
// the data and refused it. A stream that cannot seek is read through a view
// that keeps what the decoders look at (up to 256 KiB), so each of them sees
// the data from its start; the reader then streams it once, without Seek.
// The reader holds `stream` and never closes it.
Ref<TPcmReader> OpenPcmReader(const Ref<TByteStream>& stream, const String& name);

namespace detail {
// Whether a reader on `stream` may seek: the stream knows its position, and
// is not the view OpenPcmReader puts over a stream that cannot seek.
bool ReaderMaySeek(TByteStream& stream);
// Reads at least one byte (up to `count`) unless the stream is at its end:
// the count read, 0 at the end. Raises TStreamReadError when a read moves
// nothing before the end. For decoder libraries that take what comes.
int32_t ReadSome(TByteStream& stream, void* buf, int32_t count);
// Decodes everything `reader` gives into a new sample (SMP_MONO16LE or
// SMP_STEREO16LE), its memory growing with the data rather than with the
// length the data claims. The null object, with the reason recorded as a
// decoder failure, when the data cannot be decoded or the sound would pass
// 2 GiB; data that ends early gives the frames that came.
Ref<TPcmSample> ReadWholeSample(TPcmReader& reader);
}  // namespace detail

}  // namespace korva
