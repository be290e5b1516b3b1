// Helpers of the stream subsystem's native layer, private to the subsystem.
#pragma once

#include <cstddef>
#include <string>

#include "korvagl/app/string.h"

namespace korva::detail {

// Tells the system that a large buffer about to be filled (LoadBytes of a
// big file) may use huge pages, which makes its first touch far cheaper.
// Only buffers big enough to be mapped on their own are advised, so no
// other allocation shares the advice. Does nothing for smaller ones.
void AdviseLargeBuffer(void* buffer, size_t size);

// The 8-bit form of a path with every backslash turned into "/". A NUL inside
// would silently name another file, so such a path becomes the empty path,
// which never exists.
std::string NativePath(const String& path);

}  // namespace korva::detail
