// The JPEG decoder's native layer: one function that decodes a whole JPEG to
// memory through libjpeg, pulling its input through a read callback. This
// header does not include libjpeg; only jpeg_native.cpp does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korva {

// Reads up to size * count bytes into buffer and returns how many whole items
// of `size` bytes it stored: fewer than count only at the end of the data, 0
// when nothing is left (the shape of fread).
using JPEGReadFunction = size_t (*)(void* buffer, size_t size, size_t count, void* handle);

// Decodes the JPEG that `read` delivers. `handle` is passed to `read`
// untouched. On success returns 0 and stores the output size, the number of
// 8-bit components per pixel (always 3: every image is delivered as RGB) and
// a block from std::malloc of width * height * 3 bytes, rows top first and
// packed, which the caller frees with std::free. Greyscale images have each
// level in all three channels; CMYK and YCCK images, whose components libjpeg
// delivers inverted as Adobe's programs write them (255 = no ink), become
// R = C * K / 255 and likewise for G (M) and B (Y), rounded.
//
// Returns -1, with nothing allocated, when the data is not a JPEG, is empty,
// is corrupt beyond what libjpeg recovers from, has a colour space other than
// grey, YCbCr, RGB, CMYK or YCCK, declares an image wider or taller than
// 32768 pixels or one whose pixels or decoder memory would exceed 512 MiB, or
// has more than 100 scans. Then, unless the data does not start as a JPEG
// does, `failure` (when given) receives why, for example "corrupt JPEG data:
// <libjpeg's message>" or "image too large (40000 x 16)". Data that merely
// ends early decodes, the missing part grey, as libjpeg makes it. Prints
// nothing. Each call has its own state, so decodes on different threads do
// not meet.
int DecodeJPEG(void* handle, JPEGReadFunction read, int32_t* width, int32_t* height, int32_t* components,
               uint8_t** pixels, std::string* failure = nullptr);

}  // namespace korva
