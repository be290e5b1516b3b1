// Native glue of the Ogg decoder: libvorbisfile behind four callbacks on a
// data source of the caller's. The only file that includes vorbis headers is
// ogg_native.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korva::ogg {

struct Callbacks {
    size_t (*read)(void* buffer, size_t size, size_t count, void* source);
    int (*seek)(void* source, int64_t offset, int whence);
    int (*close)(void* source);
    long (*tell)(void* source);
};

struct Decoder;

inline constexpr int kChangedFormat = -1000;

// Opens a decoder on `source`: the frame count (negative when it cannot be
// known), channels and rate of the first logical bitstream, or null when the
// data is not Ogg Vorbis, with libvorbisfile's error code in `error`.
// Callbacks without seek and tell read the source once, front to back.
Decoder* OpenOgg(void* source, const Callbacks& callbacks, int64_t* frames, int32_t* channels, int32_t* rate,
                 int* error);
// Decodes up to `frames` frames of `channels` channels (the first link's)
// as native 16-bit samples, across the links of a chained stream: the
// frames decoded, 0 at the end, or negative on an error (kChangedFormat
// when a later link has another channel count or rate). Holes in the data
// are stepped over.
int64_t ReadOggFrames(Decoder* decoder, int16_t* out, int32_t frames, int32_t channels);
// The next ReadOggFrames starts at `frame` of the whole stream: 0, or
// libvorbisfile's negative error code.
int SeekOgg(Decoder* decoder, int64_t frame);
// Closes the decoder and frees it.
void CloseOgg(Decoder* decoder);
// Decodes little-endian signed 16-bit samples of the first logical bitstream
// into `buffer` until `bytes` arrived or the data ends (the rest is left as
// it is): 0, or negative on a decoding error. With a null buffer and 0 bytes
// it closes the decoder and frees it.
int ReadOgg(Decoder* decoder, void* buffer, int64_t bytes);
// Why a file that begins as Ogg data was refused, from libvorbisfile's
// error code: "no Vorbis stream in the Ogg data", "corrupt Ogg Vorbis data: a
// gap in the data", ...
const char* FailureText(int error);

}  // namespace korva::ogg
