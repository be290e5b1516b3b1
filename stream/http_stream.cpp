// The "http" opener: an HTTP/1.0 GET over a TCP stream.
#include "korvagl/stream/http_stream.h"

#include <string>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/stream/tcp_stream.h"

namespace korva {

int32_t detail::SkipHttpResponseHeader(TByteStream& stream) {
    int32_t total = 0;
    while (stream.Eof() == 0) {
        bool empty = true;
        uint8_t byte;
        while (stream.Read(&byte, 1) == 1) {
            if (++total > kMaxHttpHeaderBytes) return 0;
            if (byte == 0 || byte == '\n') break;
            if (byte != '\r') empty = false;
        }
        if (empty) return 1;
    }
    return 1;
}

namespace {

// Control characters (CR and LF above all) would let a URL add lines of its
// own to the request; they are checked on the bytes that go out.
bool SafeInRequest(const String& text) {
    for (const char c : text.ToBytes()) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

}  // namespace

Ref<TByteStream> THttpStreamOpener::CreateStream(const String& protocol, const String& path, int32_t, int32_t) {
    if (protocol != "http") return nullptr;
    const int32_t slash = path.Find("/");
    const String host = slash < 0 ? path : path.Substring(0, slash);
    const String file = slash < 0 ? String("/") : path.Substring(slash, path.Length());
    const String url = "http::" + path;
    if (!SafeInRequest(host) || !SafeInRequest(file)) {
        detail::SetLastErrorText(detail::Quoted(url) + ": characters that cannot go into a request");
        return nullptr;
    }

    Ref<TTcpStream> stream = TTcpStream::Connect(host, 80);
    if (!stream) return nullptr;  // Connect says why
    stream->WriteLine(String("GET ") + file + " HTTP/1.0");
    stream->WriteLine(String("Host: ") + host);
    stream->WriteLine("");
    if (!detail::SkipHttpResponseHeader(*stream)) {
        stream->Close();
        detail::SetLastErrorText(detail::Quoted(url) + ": the response ended inside its header");
        return nullptr;
    }
    return stream;
}

int InitHttpStreams() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitTcpStreams();
    detail::NoteModuleStarted("HTTP streams");
    New<THttpStreamOpener>();
    return 0;
}

}  // namespace korva
