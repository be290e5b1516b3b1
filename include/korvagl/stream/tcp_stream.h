// KorvaGL: TCP connections as streams, and "tcp::host:port" URLs.
//
// A TTcpStream has no position or size (Pos -1, Size 0, Seek -1). Eof turns 1
// once a receive found the connection closed by the peer, after an error, or
// after Close; so a reader looping on Read until Eof sees every byte. After
// Close, Read and Write return 0. A stream dropped without Close closes its
// socket when destroyed.
//
// "tcp::host:port" connects to `port` (read with StringToInt: "tcp::h: 21" is
// port 21, "tcp::h:abc" port 0) and "tcp::host" to port 80. Host names are
// looked up as IPv4. A name that does not resolve, a refused connection or a
// port outside 0..65535 gives the null object. Connecting blocks without a
// time-out of its own.
#pragma once

#include <cstdint>

#include "korvagl/stream/stream.h"

namespace korva {

class TTcpStream : public TByteStream {
public:
    ~TTcpStream() override;
    TTcpStream(const TTcpStream&) = delete;
    TTcpStream& operator=(const TTcpStream&) = delete;

    // 0 while the connection is usable, 1 after the peer closed it or after
    // Close, -1 after a send or receive error.
    int32_t Eof() override { return endState; }
    int32_t Close() override;
    int32_t Read(void* buf, int32_t count) override;
    int32_t Write(const void* buf, int32_t count) override;
    int32_t WriteFailed() override { return endState < 0 ? 1 : 0; }

    // A stream on a connected socket, which it takes over; the null object
    // for handle 0 or a negative handle.
    static Ref<TTcpStream> FromSocket(int32_t handle);
    // Connects to `port` of `host`; the null object when that fails.
    static Ref<TTcpStream> Connect(const String& host, int32_t port);

    // The socket while open, else 0.
    int32_t Socket() const { return socket; }

private:
    explicit TTcpStream(int32_t handle) : socket(handle) {}

    int32_t socket = 0;
    int32_t endState = 0;
};

// Opens "tcp" URLs.
class TTcpStreamOpener : public TStreamOpener {
public:
    Ref<TByteStream> CreateStream(const String& protocol, const String& path, int32_t readable,
                                  int32_t writeable) override;
};

// Module initialiser: registers the "tcp" opener.
int InitTcpStreams();

}  // namespace korva
