// The stream subsystem's helpers over the operating system: path text and
// memory advice.
#include "stream/native.h"

#include <sys/mman.h>

#include <cstdint>

#include "korvagl/stream/file_system.h"

namespace korva::detail {

std::string NativePath(const String& path) {
    std::string bytes = NormaliseSlashes(path).ToBytes();
    if (bytes.find('\0') != std::string::npos) bytes.clear();
    return bytes;
}

void AdviseLargeBuffer(void* buffer, size_t size) {
    // Above 32 MiB the C library always maps a block of its own.
    constexpr size_t kOwnMapping = size_t{32} << 20;
    constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    if (!buffer || size <= kOwnMapping) return;
    const auto begin = (reinterpret_cast<uintptr_t>(buffer) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(buffer) + size) & ~(kHugePage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace korva::detail
