// KorvaGL: "http::host/path" URLs.
//
// Opening sends an HTTP/1.0 GET request for /path (or / when there is no
// path) to port 80 of `host`, skips the response header, and returns the
// TTcpStream positioned at the first byte of the body; the body ends when the
// server closes the connection. The status is not examined, so an error
// response yields its body too. "http::host:8080/x" looks up the host name
// "host:8080", which fails: the port is always 80.
//
// The null object when the host does not resolve, the connection is refused,
// the URL holds control characters (they would change the request), or the
// header is longer than 64 KiB. A server that closes before the header ends
// gives a stream that is already at its end. Opening blocks until the whole
// header has arrived; there is no time-out of its own.
#pragma once

#include <cstdint>

#include "korvagl/stream/stream.h"

namespace korva {

// Opens "http" URLs.
class THttpStreamOpener : public TStreamOpener {
public:
    Ref<TByteStream> CreateStream(const String& protocol, const String& path, int32_t readable,
                                  int32_t writeable) override;
};

// Module initialiser: registers the "http" opener.
int InitHttpStreams();

namespace detail {
// The longest response header the opener reads.
inline constexpr int32_t kMaxHttpHeaderBytes = 65536;
// Reads lines (as ReadLine does, one byte at a time) up to and including the
// first empty one or the end of the stream. Returns 1, or 0 when the header
// grew past kMaxHttpHeaderBytes.
int32_t SkipHttpResponseHeader(TByteStream& stream);
}  // namespace detail

}  // namespace korva
