// The stream subsystem's helpers over the operating system: file names and
// memory advice.
#include "stream/native.h"

#include <sys/mman.h>

#include <cstdint>

#include "korvagl/app/last_error.h"
#include "korvagl/stream/file_system.h"

namespace korva::detail {

std::string NativePath(const String& path) {
    // A unit above 0xFF would narrow to some other byte ("\u012E" to "."), a
    // NUL would cut the name short: either way the system would be handed a
    // different file, so such text has no name at all.
    std::string bytes;
    bytes.reserve(static_cast<size_t>(path.Length()));
    for (const char16_t unit : path.View()) {
        if (unit == 0 || unit > 0xFF) return std::string();
        bytes.push_back(unit == u'\\' ? '/' : static_cast<char>(unit));
    }
    return bytes;
}

std::string NativePathToOpen(const String& path) {
    std::string bytes = NativePath(path);
    if (bytes.empty()) SetLastErrorText("cannot open " + Quoted(path) + ": not a valid file name");
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
