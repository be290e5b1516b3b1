// Helpers of the stream subsystem's native layer, private to the subsystem.
#pragma once

#include <cstddef>

namespace korva::detail {

// Tells the system that a large buffer about to be filled (LoadBytes of a
// big file) may use huge pages, which makes its first touch far cheaper.
// Only buffers big enough to be mapped on their own are advised, so no
// other allocation shares the advice. Does nothing for smaller ones.
void AdviseLargeBuffer(void* buffer, size_t size);

}  // namespace korva::detail
