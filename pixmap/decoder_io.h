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

// Why a decoder that recognised its format refuses the data: records
// `<source>: <cause>` as the reason of the running ReadPixmap call, the
// source named as that call names it ("stream" outside one). A decoder that
// does not recognise the data records nothing.
void RefuseImageData(const String& cause);
// The same for a size the decode limits refuse: "image too large (W x H)",
// or "<format> header gives no image size (W x H)" for sides below 1.
void RefuseImageSize(const char* format, int64_t width, int64_t height);

// Names the source for RefuseImageData while one ReadPixmap call runs.
class DecodingSource {
public:
    explicit DecodingSource(const String& name);
    ~DecodingSource();
    DecodingSource(const DecodingSource&) = delete;
    DecodingSource& operator=(const DecodingSource&) = delete;

private:
    const String* outer_;
};

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
