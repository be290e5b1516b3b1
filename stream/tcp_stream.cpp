// TCP streams, the "tcp" opener, and the network time-outs and limits.
#include "korvagl/stream/tcp_stream.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/stream/file_system.h"
#include "korvagl/stream/socket.h"
#include "stream/http_chunked.h"
#include "stream/network.h"

namespace korva {

namespace {

std::atomic<int32_t> connectTimeout{kDefaultConnectTimeoutMs};
std::atomic<int32_t> readTimeout{kDefaultReadTimeoutMs};
std::atomic<int32_t> lineLimit{kDefaultNetworkLineLimit};
std::atomic<int32_t> loadLimit{kDefaultNetworkLoadLimit};

String TimedOut(int32_t ms) { return "timed out after " + String(std::to_string(ms)) + " ms"; }

}  // namespace

int32_t SetNetworkTimeout(int32_t connectMs, int32_t readMs) {
    connectTimeout = connectMs < 0 ? 0 : connectMs;
    readTimeout = readMs < 0 ? 0 : readMs;
    return 0;
}
int32_t NetworkConnectTimeout() { return connectTimeout; }
int32_t NetworkReadTimeout() { return readTimeout; }

int32_t SetNetworkLimits(int32_t lineBytes, int32_t loadBytes) {
    lineLimit = lineBytes < 0 ? 0 : lineBytes;
    loadLimit = loadBytes < 0 ? 0 : loadBytes;
    return 0;
}
int32_t NetworkLineLimit() { return lineLimit; }
int32_t NetworkLoadLimit() { return loadLimit; }

int32_t detail::ConnectTcp(const String& host, int32_t port, const String& label) {
    auto fail = [&](const String& cause) {
        detail::SetLastErrorText(label + ": " + cause);
        return -1;
    };
    if (port < 0 || port > 65535) return fail("port out of range");
    // Narrowed, a unit above 0xFF would name another host, as it would
    // another file.
    if (detail::NativePath(host).empty()) return fail("not a valid host name");
    int32_t family = 0;
    int32_t length = 0;
    const std::vector<ByteArray> addresses = ResolveHost(host, family, length);
    if (addresses.empty() || family != SOCKET_FAMILY_INET) return fail("host not found");
    const int32_t s = OpenSocket(SOCKET_FAMILY_INET, SOCKET_TYPE_STREAM, 0);
    if (s < 0) return fail(std::strerror(errno));
    const int32_t ms = NetworkConnectTimeout();
    if (ConnectSocketWithin(s, addresses.front().data(), family, length, port, ms) < 0) {
        const int error = errno;
        CloseSocket(s);
        return fail(error == ETIMEDOUT && ms > 0 ? TimedOut(ms) : String(std::strerror(error)));
    }
    return s;
}

// The connection's own bytes, for the decoder of a chunked body.
class TTcpStream::FramedSource final : public detail::TChunkedBody::Source {
public:
    explicit FramedSource(TTcpStream& stream) : stream_(stream) {}
    int32_t ReadFramed(void* buf, int32_t count) override {
        const int32_t n = stream_.ReadBytes(buf, count);
        return n > 0 ? n : stream_.endState < 0 ? -1 : 0;
    }
    void Refuse(const String& cause) override { stream_.Fail(cause); }

private:
    TTcpStream& stream_;
};

TTcpStream::TTcpStream(int32_t handle, const String& name) : socket(handle), name(name) {}

TTcpStream::~TTcpStream() {
    if (socket != 0) CloseSocket(socket);
}

int32_t TTcpStream::Close() {
    if (socket != 0) CloseSocket(socket);
    socket = 0;
    endState = 1;
    return 0;
}

void TTcpStream::EndAfter(int64_t count) {
    bodyLeft = count < 0 ? 0 : count;
    if (bodyLeft == 0 && endState == 0) endState = 1;
}

void TTcpStream::DecodeChunked() {
    chunks = std::make_unique<detail::TChunkedBody>();
    bodyLeft = -1;
}

void TTcpStream::Fail(const String& cause) {
    endState = -1;
    detail::SetLastErrorText(detail::Quoted(name) + ": " + cause);
}

void TTcpStream::ApplyTimeout() {
    const int32_t ms = NetworkReadTimeout();
    if (ms == timeoutMs) return;
    SetSocketTimeout(socket, ms);
    timeoutMs = ms;
}

int32_t TTcpStream::Receive(void* buf, int32_t count) { return ReceiveBytes(socket, buf, count, 0); }
int32_t TTcpStream::Send(const void* buf, int32_t count) { return SendBytes(socket, buf, count, 0); }

int32_t TTcpStream::Read(void* buf, int32_t count) {
    if (!chunks) return ReadBytes(buf, count);
    if (socket == 0 || endState != 0) return 0;
    FramedSource source(*this);
    const int32_t n = chunks->Read(source, buf, count);
    if (chunks->Ended() && endState == 0) endState = 1;
    return n;
}

int32_t TTcpStream::ReadBytes(void* buf, int32_t count) {
    if (socket == 0 || count <= 0 || bodyLeft == 0) return 0;
    if (bodyLeft > 0 && count > bodyLeft) count = static_cast<int32_t>(bodyLeft);
    ApplyTimeout();
    const int32_t n = Receive(buf, count);
    if (n > 0) {
        if (bodyLeft > 0 && (bodyLeft -= n) == 0) endState = 1;
        return n;
    }
    if (endState < 0) return 0;  // the transport said why
    const int error = errno;
    if (n < 0) Fail(error == EAGAIN || error == EWOULDBLOCK ? TimedOut(timeoutMs) : String(std::strerror(error)));
    else if (bodyLeft > 0) Fail("the connection closed " + String(std::to_string(bodyLeft)) + " bytes before the end of the body");
    else endState = 1;
    return 0;
}

int32_t TTcpStream::Write(const void* buf, int32_t count) {
    if (socket == 0 || count <= 0) return 0;
    ApplyTimeout();
    const int32_t n = Send(buf, count);
    if (n > 0) return n;
    if (endState < 0) return 0;
    const int error = errno;
    if (n < 0) Fail(error == EAGAIN || error == EWOULDBLOCK ? TimedOut(timeoutMs) : String(std::strerror(error)));
    else endState = 1;
    return 0;
}

Ref<TTcpStream> TTcpStream::FromSocket(int32_t handle) {
    if (handle <= 0) return nullptr;
    return detail::AdoptNew(new TTcpStream(handle, "tcp socket " + String(std::to_string(handle))));
}

Ref<TTcpStream> TTcpStream::Connect(const String& host, int32_t port) {
    const String name = "tcp::" + host + ":" + String(std::to_string(port));
    const int32_t s = detail::ConnectTcp(host, port, name);
    if (s < 0) return nullptr;
    return detail::AdoptNew(new TTcpStream(s, name));
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
