// Connections shared by the TCP, HTTP and HTTPS openers.
#pragma once

#include <cstdint>

#include "korvagl/stream/tcp_stream.h"

namespace korva::detail {

// A socket connected to `port` of `host` within the connect time-out, or -1
// after recording the reason as `label`: cause.
int32_t ConnectTcp(const String& host, int32_t port, const String& label);

// A TLS stream over the connected socket `handle` (taken over: closed on
// failure) once the handshake succeeded and the server's certificate was
// verified for `host` against the trusted certificates; else the null object,
// with the reason recorded as "URL": cause. The stream is named `url`.
Ref<TTcpStream> StartTls(int32_t handle, const String& host, const String& url);

}  // namespace korva::detail
