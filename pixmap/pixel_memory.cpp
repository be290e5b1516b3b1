// Pixel memory over the C library's allocator, with huge pages for large
// blocks where the kernel offers them.
#include "pixmap/pixel_memory.h"

#include <sys/mman.h>

#include <cstdlib>

namespace korva::detail {

uint8_t* AllocatePixelMemory(size_t bytes) {
    auto* block = static_cast<uint8_t*>(std::malloc(bytes));
    // Above 32 MiB the C library always maps a block of its own, so the
    // advice touches no other allocation.
    constexpr size_t kOwnMapping = size_t{32} << 20;
    constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    if (block && bytes > kOwnMapping) {
        const auto begin = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
        const auto end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kHugePage - 1);
        if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
    return block;
}

}  // namespace korva::detail
