// KorvaGL: TCP connections as streams, "tcp::host:port" URLs, and the
// time-outs and limits of every network stream.
//
// A TTcpStream has no position or size (Pos -1, Size 0, Seek -1). Eof turns 1
// once a receive found the connection closed by the peer, or after Close, and
// -1 after a send or receive error (a time-out included); so a reader looping
// on Read until Eof sees every byte. After Close, Read and Write return 0. A
// stream dropped without Close closes its socket when destroyed.
//
// "tcp::host:port" connects to `port` (read with StringToInt: "tcp::h: 21" is
// port 21, "tcp::h:abc" port 0) and "tcp::host" to port 80. Host names are
// looked up as IPv4. A name that does not resolve or holds a unit above 0xFF
// or a NUL (narrowed, it would name another host), a refused connection, a
// connection not made within the connect time-out or a port outside 0..65535
// gives the null object.
//
// Time-outs (SetNetworkTimeout) hold for every TCP stream, HTTP and HTTPS
// included: connecting gives up after 10 s, and a send or receive after 30 s
// in which not one byte moved; a stream whose read or write timed out ends as
// if the connection had failed (Eof -1, Read returns 0, the typed reads raise
// TStreamReadError). A changed read time-out applies to open streams from
// their next transfer.
//
// Limits (SetNetworkLimits) hold for every stream whose NetworkName is not
// empty, these streams and the wrappers around them: ReadLine raises
// TStreamReadError on a line longer than 1 MiB; LoadBytes and LoadText fail
// (softly: an empty result) past 256 MiB and when the stream ended with an
// error, and the loads that read a stream into memory (TMemBlock::Load)
// raise TStreamReadError there. Each of these failures records its reason
// (LastErrorText), such as
//   "http::example.org/x": timed out after 30000 ms
#pragma once

#include <cstdint>
#include <memory>

#include "korvagl/stream/stream.h"

namespace korva {

namespace detail {
class TChunkedBody;
}

class TTcpStream : public TByteStream {
public:
    ~TTcpStream() override;
    TTcpStream(const TTcpStream&) = delete;
    TTcpStream& operator=(const TTcpStream&) = delete;

    // 0 while the connection is usable, 1 after the peer closed it, after the
    // end of a body of known length or after Close, -1 after a send or
    // receive error.
    int32_t Eof() override { return endState; }
    int32_t Close() override;
    int32_t Read(void* buf, int32_t count) override;
    int32_t Write(const void* buf, int32_t count) override;
    int32_t WriteFailed() override { return endState < 0 ? 1 : 0; }
    // "tcp::host:port" after Connect, the URL for HTTP and HTTPS streams,
    // "tcp socket N" after FromSocket.
    String NetworkName() override { return name; }

    // A stream on a connected socket, which it takes over; the null object
    // for handle 0 or a negative handle.
    static Ref<TTcpStream> FromSocket(int32_t handle);
    // Connects to `port` of `host`; the null object when that fails.
    static Ref<TTcpStream> Connect(const String& host, int32_t port);

    // The socket while open, else 0.
    int32_t Socket() const { return socket; }

    // Ends the stream after `count` more bytes (an HTTP body of known
    // length): Eof turns 1 as the last of them is read. A connection that
    // closes before they all came ends with an error (Eof -1).
    void EndAfter(int64_t count);
    // Reads the rest as an HTTP body sent in chunks: Read hands over the
    // chunks' data without their framing, and Eof turns 1 after the last
    // chunk and its trailer. Framing that breaks the rules (a bad or huge
    // chunk size, data longer than its size, a size or trailer line past the
    // line limit, a trailer over 64 KiB) or a connection that closes before
    // the last chunk ends the stream with an error (Eof -1), with the reason
    // recorded.
    void DecodeChunked();
    void SetNetworkName(const String& text) { name = text; }

protected:
    TTcpStream(int32_t handle, const String& name);

    // The transport under Read and Write: plain TCP here, TLS in a subclass.
    // The count moved, 0 when the peer closed, or a negative value on failure
    // (errno EAGAIN after a time-out).
    virtual int32_t Receive(void* buf, int32_t count);
    virtual int32_t Send(const void* buf, int32_t count);
    // Ends the stream with an error and records "NAME": cause as the reason.
    void Fail(const String& cause);

private:
    class FramedSource;

    void ApplyTimeout();
    int32_t ReadBytes(void* buf, int32_t count);

    int32_t socket = 0;
    int32_t endState = 0;
    String name;
    int32_t timeoutMs = -1;  // the time-out set on the socket, -1 before the first transfer
    int64_t bodyLeft = -1;   // bytes before the end; -1 while the end is the peer's close
    std::unique_ptr<detail::TChunkedBody> chunks;  // set while the body comes in chunks
};

// Opens "tcp" URLs.
class TTcpStreamOpener : public TStreamOpener {
public:
    Ref<TByteStream> CreateStream(const String& protocol, const String& path, int32_t readable,
                                  int32_t writeable) override;
};

inline constexpr int32_t kDefaultConnectTimeoutMs = 10000;
inline constexpr int32_t kDefaultReadTimeoutMs = 30000;
inline constexpr int32_t kDefaultNetworkLineLimit = 1 << 20;
inline constexpr int32_t kDefaultNetworkLoadLimit = 256 << 20;

// Sets the time to wait for a connection and for each byte of a transfer, in
// milliseconds, for the whole process; 0 waits for ever, negative values
// count as 0. Returns 0.
int32_t SetNetworkTimeout(int32_t connectMs, int32_t readMs);
int32_t NetworkConnectTimeout();
int32_t NetworkReadTimeout();
// Sets the longest line ReadLine takes and the most bytes a whole-stream load
// takes from a network stream, for the whole process; 0 means no limit,
// negative values count as 0. Returns 0.
int32_t SetNetworkLimits(int32_t lineBytes, int32_t loadBytes);
int32_t NetworkLineLimit();
int32_t NetworkLoadLimit();

// Module initialiser: registers the "tcp" opener.
int InitTcpStreams();

}  // namespace korva
