// KorvaGL: the socket layer, a thin wrapper of POSIX sockets on int32
// handles. Name lookup is IPv4 only. Every call blocks; ConnectSocketWithin
// and SetSocketTimeout bound the waiting.
//
// Families, types and protocols are the numbers of the socket API (family 2
// is IPv4, type 1 a stream socket). Handle 0 is never a socket here: 0 stands
// for "no socket". Sending never raises SIGPIPE; a closed peer shows as an
// error result instead.
#pragma once

#include <cstdint>
#include <vector>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"

namespace korva {

inline constexpr int32_t SOCKET_FAMILY_INET = 2;
inline constexpr int32_t SOCKET_TYPE_STREAM = 1;

// Nothing to start on this platform; kept for programs written against it.
// Returns 0.
int32_t SocketStartup();
// A new socket handle (not inherited by started programs), or a negative value.
int32_t OpenSocket(int32_t family, int32_t type, int32_t protocol);
// Returns 0, or -1 when the handle was not open.
int32_t CloseSocket(int32_t s);
// Ends both directions of a connection and keeps the handle open: a send or
// receive blocked on `s` in another thread returns at once (a receive with
// 0, as if the peer had closed). The one call that may be made on a socket
// another thread is using. Returns 0, or -1 when `s` is not a connection.
int32_t ShutdownSocket(int32_t s);
// The IPv4 addresses of `name` (each `length` bytes, network order), with
// `family` 2 and `length` 4; an empty list when the name does not resolve
// or holds a unit above 0xFF or a NUL (narrowed, it would name another host).
std::vector<ByteArray> ResolveHost(const String& name, int32_t& family, int32_t& length);
// Connects to `port` at the first `length` bytes of `address`. -1 unless the
// family is 2 and the port lies in 0..65535; else connect's result (0 or -1).
int32_t ConnectSocket(int32_t s, const uint8_t* address, int32_t family, int32_t length, int32_t port);
// ConnectSocket that gives up after `ms` milliseconds (0 or less: waits as
// long as the system does) with -1 and errno ETIMEDOUT. The socket stays
// blocking.
int32_t ConnectSocketWithin(int32_t s, const uint8_t* address, int32_t family, int32_t length, int32_t port,
                            int32_t ms);
// Makes each later send and receive on `s` give up (a negative result, errno
// EAGAIN) when `ms` milliseconds pass without a byte moving; 0 or less waits
// for ever. Returns 0, or -1 when the handle is not a socket.
int32_t SetSocketTimeout(int32_t s, int32_t ms);
// Binds to every local IPv4 address at `port`; -1 unless the family is 2.
int32_t BindSocket(int32_t s, int32_t family, int32_t port);
int32_t ListenSocket(int32_t s, int32_t backlog);
// Accepts a connection: the new handle or a negative value. When `address`
// is given it receives the peer's socket address (at most *length bytes: the
// family as 2 host-order bytes, the port and the IPv4 address in network
// order, then zeros) and *length its size.
int32_t AcceptSocket(int32_t s, uint8_t* address, int32_t* length);
// Waits until a socket in one of the arrays is ready (forever when ms < 0),
// then sets every entry that is not ready to 0 and returns how many are, or
// returns a negative value on failure. Entries of 0 are ignored.
int32_t SelectSockets(int32_t nRead, int32_t* read, int32_t nWrite, int32_t* write, int32_t nExcept,
                      int32_t* except, int32_t ms);
// send / recv: the count moved, 0 (recv: the peer closed) or a negative value.
int32_t SendBytes(int32_t s, const void* buf, int32_t n, int32_t flags);
int32_t ReceiveBytes(int32_t s, void* buf, int32_t n, int32_t flags);

int32_t HostToNetShort(int32_t v);
int32_t NetToHostShort(int32_t v);
int32_t HostToNetLong(int32_t v);
int32_t NetToHostLong(int32_t v);

}  // namespace korva
