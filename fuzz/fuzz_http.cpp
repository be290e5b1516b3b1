// Arbitrary bytes as an HTTP response: through the opener's header reading
// (status, Content-Length, Location, Transfer-Encoding) and redirect
// resolution, the rest through the chunked-body decoder, then line by line
// through ReadLine, on memory streams (no network). The lines are read twice,
// by the generic line reader and by the file stream's own, which must agree.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "korvagl/korvagl.h"
#include "stream/http_chunked.h"

using namespace korva;

namespace {

// Hands the bytes over in pieces of `piece` bytes, as a connection might.
class PieceSource final : public detail::TChunkedBody::Source {
public:
    PieceSource(const uint8_t* data, size_t size, int32_t piece) : data_(data), left_(size), piece_(piece) {}
    int32_t ReadFramed(void* buf, int32_t count) override {
        const auto n = static_cast<int32_t>(std::min<size_t>(left_, static_cast<size_t>(std::min(count, piece_))));
        std::memcpy(buf, data_, static_cast<size_t>(n));
        data_ += n;
        left_ -= static_cast<size_t>(n);
        return n;
    }
    void Refuse(const String&) override { ++refused; }
    int refused = 0;

private:
    const uint8_t* data_;
    size_t left_;
    int32_t piece_;
};

// The decoder hands over no more than it was given, and ends either with the
// last chunk or with one refusal.
void CheckChunks(const uint8_t* data, size_t size) {
    PieceSource source(data, size, size > 0 ? data[size - 1] % 16 + 1 : 1);
    detail::TChunkedBody body;
    uint8_t out[97];
    size_t total = 0;
    for (int32_t n; (n = body.Read(source, out, sizeof out)) > 0;) total += static_cast<size_t>(n);
    if (total > size || body.Ended() == (source.refused == 1) || source.refused > 1) std::abort();
}

bool StartsWith(const String& text, const char* prefix) { return text.Find(prefix) == 0; }

void CheckHead(uint8_t* bytes, int32_t length) {
    Ref<TMemoryStream> response = NewMemoryStream(bytes, length, 1, 0);
    detail::THttpResponseHead head;
    const String problem = detail::ReadHttpResponseHead(*response, head);
    if (problem.IsEmpty()) {
        if (head.status < 100 || head.status > 999 || head.contentLength < -1) std::abort();
        // The header is read to its empty line, never past it.
        if (head.complete && response->Pos() > detail::kMaxHttpHeaderBytes) std::abort();
        CheckChunks(bytes + response->Pos(), static_cast<size_t>(length - response->Pos()));
        while (!response->Eof()) response->ReadLine();
    } else if (response->Pos() > detail::kMaxHttpHeaderBytes + 1) {
        std::abort();
    }
    // Wherever a redirect leads, it is one of our URLs or nothing.
    for (const char* from : {"http::example.org/dir/page?q", "https::127.0.0.2:8443/", "http::h"}) {
        const String to = detail::ResolveHttpLocation(from, head.location);
        if (!to.IsEmpty() && !StartsWith(to, "http::") && !StartsWith(to, "https::")) std::abort();
        if (head.location.IsEmpty() && !to.IsEmpty()) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int started = (InitMemoryStreams(), InitHttpStreams(), 0);
    (void)started;
    auto* bytes = const_cast<uint8_t*>(data);
    const int32_t length = static_cast<int32_t>(size);

    CheckHead(bytes, length);

    Ref<TMemoryStream> generic = NewMemoryStream(bytes, length, 1, 0);
    std::FILE* file = size > 0 ? fmemopen(bytes, size, "rb") : nullptr;
    Ref<TFileStream> fast = TFileStream::FromFile(file);
    if (!fast) return 0;
    while (!generic->Eof()) {
        if (generic->ReadLine() != fast->ReadLine() || generic->Pos() != fast->Pos()) std::abort();
    }
    if (fast->Eof() != 1) std::abort();
    fast->Close();
    return 0;
}
