// The JPEG decoder's native layer: one function that decodes a whole JPEG to
// memory through libjpeg, pulling its input through a read callback. This
// header does not include libjpeg; only jpeg_native.cpp does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korva {

// Reads up to size * count bytes into buffer and returns how many whole items
// of `size` bytes it stored: fewer than count only at the end of the data, 0
// when nothing is left (the shape of fread).
using JPEGReadFunction = size_t (*)(void* buffer, size_t size, size_t count, void* handle);

// Decodes the JPEG that `read` delivers. `handle` is passed to `read`
// untouched. On success returns 0 and stores the output size, the number of
// 8-bit components per pixel (3 for colour images, delivered as RGB) and a
// block from std::malloc of width * height * components bytes, rows top first
// and packed, which the caller frees with std::free.
//
// Returns -1, with nothing allocated, when the data is not a JPEG, is empty,
// is corrupt beyond what libjpeg recovers from, declares an image wider or
// taller than 32768 pixels or one whose pixels or decoder memory would exceed
// 512 MiB, or has more than 100 scans. Data that merely ends early decodes,
// the missing part grey, as libjpeg makes it. Prints nothing. Each call has
// its own state, so decodes on different threads do not meet.
int DecodeJPEG(void* handle, JPEGReadFunction read, int32_t* width, int32_t* height, int32_t* components,
               uint8_t** pixels);

}  // namespace korva
