// Arbitrary bytes as an HTTP response: through the opener's header reading
// (status, Content-Length, Location) and redirect resolution, then line by
// line through ReadLine, on a memory stream (no network). The lines are read
// twice, by the generic line reader and by the file stream's own, which must
// agree.
#include <cstdio>
#include <cstdlib>

#include "korvagl/korvagl.h"

using namespace korva;

namespace {

bool StartsWith(const String& text, const char* prefix) { return text.Find(prefix) == 0; }

void CheckHead(uint8_t* bytes, int32_t length) {
    Ref<TMemoryStream> response = NewMemoryStream(bytes, length, 1, 0);
    detail::THttpResponseHead head;
    const String problem = detail::ReadHttpResponseHead(*response, head);
    if (problem.IsEmpty()) {
        if (head.status < 100 || head.status > 999 || head.contentLength < -1) std::abort();
        // The header is read to its empty line, never past it.
        if (head.complete && response->Pos() > detail::kMaxHttpHeaderBytes) std::abort();
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
