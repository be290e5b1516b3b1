// Stream reading for the image decoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>

#include "korvagl/stream/stream.h"

namespace korva::detail {

// Reads until `count` bytes arrived or the stream ends, exactly as ReadFully
// does (raising TStreamReadError when a read moves nothing before the end),
// but returns how many bytes actually arrived.
int32_t ReadAvailable(TByteStream& stream, void* buffer, int32_t count);

// Carries a stream into a native decoder's read callback, and a fault of the
// stream back out of it: no C++ exception may pass through libpng's or
// libjpeg's frames. After a fault every read delivers nothing, which ends the
// decode; the decoder then calls RethrowFault.
class StreamSource {
public:
    explicit StreamSource(TByteStream& stream) : stream_(stream) {}

    // Up to `count` bytes; fewer only at the end of the stream or after a fault.
    size_t Read(void* buffer, size_t count) noexcept;
    // Raises the fault a read met, if any.
    void RethrowFault() const;

private:
    TByteStream& stream_;
    std::exception_ptr fault_;
};

}  // namespace korva::detail
