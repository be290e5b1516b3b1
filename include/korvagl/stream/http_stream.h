// KorvaGL: "http::host[:port]/path" and "https::host[:port]/path" URLs.
//
// Opening connects to `port` of `host` (80 for http, 443 for https; IPv4),
// sends an HTTP/1.0 GET request for /path (or / when there is no path) with a
// Host line naming the host as the URL gives it (with its port), and reads
// the response header:
// - a status of 200-299 gives a TTcpStream positioned at the first byte of
//   the body. The body ends after Content-Length bytes when the header gives
//   that length (a connection that closes sooner ends the stream with an
//   error, Eof -1), else when the server closes the connection. A server that
//   closes inside the header gives a stream that is already at its end.
//   A body sent with "Transfer-Encoding: chunked" is decoded: Read gives
//   the data without the framing, Eof turns 1 after the last chunk, and
//   broken framing ends the stream with an error (TTcpStream::DecodeChunked).
// - 301, 302, 303, 307 and 308 with a Location are followed (with a new GET)
//   to the http or https URL it names, absolute or relative to the URL asked
//   for; a sixth redirect in a row gives the null object.
// - any other status gives the null object, as do a response without an HTTP
//   status line, a header longer than 64 KiB, a transfer coding other than
//   chunked and identity, a URL holding control characters (they would
//   change the request), a bad port, and a host that cannot be reached
//   within the time-outs (tcp_stream.h).
// A request that cannot be sent raises TStreamWriteError.
//
// https speaks TLS 1.2 or newer through OpenSSL. The server's certificate
// must chain to a trusted certificate and be issued for the host: a DNS
// name of its subjectAltName, or an IP address of it when the URL gives an
// address (the subject's common name never counts). Trusted are the
// system's certificates at OpenSSL's default paths (SSL_CERT_FILE and
// SSL_CERT_DIR replace them when set before the first https URL is opened)
// and those added with AddTrustedCertificates. The stream returned speaks TLS
// in its Read and Write; its Socket() is the TCP socket underneath.
//
// Every failure records its reason (LastErrorText; what the server sent in
// it is escaped, see last_error.h), for example
//   "http::example.org/x": HTTP 404 Not Found
//   "https::example.org/x": too many redirects
//   "https::10.0.0.1/x": certificate verify failed: self-signed certificate
//   "https::example.org/x": host name mismatch
// Time-outs and the limits on lines and whole loads: tcp_stream.h.
#pragma once

#include <cstdint>

#include "korvagl/stream/stream.h"

namespace korva {

// Opens "http" and "https" URLs.
class THttpStreamOpener : public TStreamOpener {
public:
    Ref<TByteStream> CreateStream(const String& protocol, const String& path, int32_t readable,
                                  int32_t writeable) override;
};

// Trusts the PEM certificates read from `url` (a file, "incbin::name", ...)
// for every later https connection of the process, beside the system's.
// Returns how many were added; 0 when the URL does not open or holds no
// certificate (with the reason in LastErrorText).
int32_t AddTrustedCertificates(const String& url);
int32_t AddTrustedCertificates(const Ref<Object>& url);

// Module initialiser: registers the "http" and "https" opener.
int InitHttpStreams();

namespace detail {
// The longest response header the opener reads.
inline constexpr int32_t kMaxHttpHeaderBytes = 65536;
// How many redirects in a row the opener follows.
inline constexpr int32_t kMaxHttpRedirects = 5;

// What the opener takes from a response header.
struct THttpResponseHead {
    int32_t status = 0;          // the three-digit status
    String reason;               // the reason phrase after it
    int64_t contentLength = -1;  // -1 without a Content-Length
    String location;             // the Location, empty without one
    String transferEncoding;     // the codings of every such field, joined by ", "; empty without one
    int32_t complete = 0;        // 1 when the empty line ending the header came
};
// Reads a response header from `stream` up to and including its empty line
// (or the end of the stream), a line at a time as ReadLine does, never past
// it; a line that starts with a space or tab continues the field above. Returns the empty string, or why the response cannot be used: no
// status line, a header past kMaxHttpHeaderBytes, a bad Content-Length.
String ReadHttpResponseHead(TByteStream& stream, THttpResponseHead& head);
// The URL of ours ("http::host/path", "https::host:port/path") that a
// redirect to `location` leads to from the URL `from`; the empty string when
// it leads elsewhere (another scheme, user information) or is empty.
String ResolveHttpLocation(const String& from, const String& location);
}  // namespace detail

}  // namespace korva
