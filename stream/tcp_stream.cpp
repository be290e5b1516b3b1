// TCP streams and the "tcp" opener.
#include "korvagl/stream/tcp_stream.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/stream/socket.h"

namespace korva {

TTcpStream::~TTcpStream() {
    if (socket != 0) CloseSocket(socket);
}

int32_t TTcpStream::Close() {
    if (socket != 0) CloseSocket(socket);
    socket = 0;
    endState = 1;
    return 0;
}

int32_t TTcpStream::Read(void* buf, int32_t count) {
    if (socket == 0 || count <= 0) return 0;
    const int32_t n = ReceiveBytes(socket, buf, count, 0);
    if (n > 0) return n;
    endState = n == 0 ? 1 : -1;
    return 0;
}

int32_t TTcpStream::Write(const void* buf, int32_t count) {
    if (socket == 0 || count <= 0) return 0;
    const int32_t n = SendBytes(socket, buf, count, 0);
    if (n > 0) return n;
    endState = n == 0 ? 1 : -1;
    return 0;
}

Ref<TTcpStream> TTcpStream::FromSocket(int32_t handle) {
    if (handle <= 0) return nullptr;
    return Ref<TTcpStream>(new TTcpStream(handle));
}

Ref<TTcpStream> TTcpStream::Connect(const String& host, int32_t port) {
    int32_t family = 0;
    int32_t length = 0;
    auto fail = [&](const char* cause) {
        detail::SetLastErrorText("tcp::" + host + ":" + String(std::to_string(port)) + ": " + cause);
        return nullptr;
    };
    const std::vector<ByteArray> addresses = ResolveHost(host, family, length);
    if (addresses.empty() || family != SOCKET_FAMILY_INET) return fail("host not found");
    const int32_t s = OpenSocket(SOCKET_FAMILY_INET, SOCKET_TYPE_STREAM, 0);
    if (s < 0) return fail(std::strerror(errno));
    if (ConnectSocket(s, addresses.front().data(), family, length, port) < 0) {
        const int error = errno;
        CloseSocket(s);
        return fail(std::strerror(error));
    }
    return FromSocket(s);
}

Ref<TByteStream> TTcpStreamOpener::CreateStream(const String& protocol, const String& path, int32_t, int32_t) {
    if (protocol != "tcp") return nullptr;
    const int32_t colon = path.Find(":");
    if (colon < 0) return TTcpStream::Connect(path, 80);
    const String host = path.Substring(0, colon);
    const int32_t port = StringToInt(path.Substring(colon + 1, path.Length()));
    return TTcpStream::Connect(host, port);
}

int InitTcpStreams() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitSystemGlue();
    InitStreams();
    detail::NoteModuleStarted("sockets and TCP streams");
    New<TTcpStreamOpener>();
    return 0;
}

}  // namespace korva
