// Shared parts of the image encoders: a stream sink for the native
// libraries' write callbacks, and rows of a pixmap in the format a file needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "korvagl/pixmap/pixmap.h"
#include "korvagl/stream/stream.h"

namespace korva::detail {

// Carries bytes from a native encoder's write callback into a stream, and a
// fault of the stream back out of it: no C++ exception may pass through
// libpng's or libjpeg's frames. After a fault every write fails, which the
// callback turns into the library's own error; the encoder then calls
// RethrowFault.
class StreamSink {
public:
    explicit StreamSink(TByteStream& stream) : stream_(stream) {}

    // True when all `count` bytes were written.
    bool Write(const void* data, size_t count) noexcept;
    // Raises the fault a write met, if any.
    void RethrowFault() const;
    bool Failed() const { return static_cast<bool>(fault_); }

private:
    TByteStream& stream_;
    std::exception_ptr fault_;
};

// Row y of a pixmap in `format`: the pixmap's own memory when it is already
// in that format, else a converted copy (valid until the next call).
class RowsAs {
public:
    RowsAs(const TPixmap& pixmap, int32_t format);
    const uint8_t* Row(int32_t y);

private:
    const TPixmap& pixmap_;
    int32_t format_;
    std::vector<uint8_t> buffer_;
};

// Writes `count` bytes, any length, with WriteFully.
void WriteAll(TByteStream& stream, const void* data, size_t count);

}  // namespace korva::detail
