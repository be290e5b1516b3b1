// Arbitrary bytes as an HTTP response: through the opener's header skipping,
// then line by line through ReadLine, on a memory stream (no network). The
// lines are read twice, by the generic line reader and by the file stream's
// own, which must agree.
#include <cstdio>
#include <cstdlib>

#include "korvagl/korvagl.h"

using namespace korva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int started = (InitMemoryStreams(), InitHttpStreams(), 0);
    (void)started;
    auto* bytes = const_cast<uint8_t*>(data);
    const int32_t length = static_cast<int32_t>(size);

    Ref<TMemoryStream> response = NewMemoryStream(bytes, length, 1, 0);
    if (detail::SkipHttpResponseHeader(*response)) {
        while (!response->Eof()) response->ReadLine();
    } else if (size <= static_cast<size_t>(detail::kMaxHttpHeaderBytes)) {
        std::abort();  // only a header past the limit is refused
    }

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
