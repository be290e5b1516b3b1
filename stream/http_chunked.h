// The decoder of HTTP bodies sent in chunks ("Transfer-Encoding: chunked"),
// private to the stream subsystem.
#pragma once

#include <cstdint>

#include "korvagl/app/string.h"

namespace korva::detail {

// Takes the chunk framing off a body as it arrives and hands over the data
// alone. The framing is checked as it goes: a chunk size is 1 to 15 hex
// digits (larger sizes are refused), optionally followed by extensions,
// which are skipped; the data of a chunk must end in CR LF (or LF); size and
// trailer lines are held to the network line limit, the trailer as a whole
// to the header's limit. Trailer fields are read and dropped.
class TChunkedBody {
public:
    // Where the framed bytes come from.
    class Source {
    public:
        // Up to `count` framed bytes; 0 when the connection closed, -1 after
        // a failure that the source recorded itself.
        virtual int32_t ReadFramed(void* buf, int32_t count) = 0;
        // Ends the body with an error whose reason is `cause`.
        virtual void Refuse(const String& cause) = 0;

    protected:
        ~Source() = default;
    };

    // Up to `count` bytes of chunk data, at least one while the body lasts;
    // 0 once the last chunk and its trailer have been read (Ended), and 0
    // after a failure, which the source was told of. A connection that closes
    // before the last chunk is a failure; one that closes inside the trailer
    // ends the body, whose data are then complete.
    int32_t Read(Source& source, void* buf, int32_t count);
    bool Ended() const { return state_ == State::Ended; }

private:
    enum class State { Size, Extension, DataEnd, DataLineFeed, Data, Trailer, Ended, Failed };

    bool Frame(Source& source, bool mayWait);
    bool Step(Source& source, uint8_t byte);
    bool Fail(Source& source, const String& cause);
    bool Closed(Source& source, int32_t result);

    static constexpr int32_t kBufferSize = 4096;

    State state_ = State::Size;
    int64_t size_ = 0;      // the size read so far, then the data left of the chunk
    int32_t digits_ = 0;    // significant hex digits of the size
    int64_t line_ = 0;      // bytes of the size or trailer line so far
    int64_t trailer_ = 0;   // bytes of the trailer so far
    int32_t begin_ = 0;     // buffered framed bytes not yet taken: [begin_, end_)
    int32_t end_ = 0;
    uint8_t buffer_[kBufferSize];
};

}  // namespace korva::detail
