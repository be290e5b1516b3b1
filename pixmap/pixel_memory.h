// Pixel memory: the blocks pixmaps own. This is the pixmap subsystem's one
// use of the operating system beyond the C library (pixel_memory.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace korva::detail {

// A block from std::malloc (so std::free releases it), or nullptr when there
// is no memory. Blocks larger than 32 MiB, which the C library maps on their
// own, ask the kernel for huge pages: the first touch of a large image's
// memory then costs a few faults instead of thousands.
uint8_t* AllocatePixelMemory(size_t bytes);

}  // namespace korva::detail
