// Memory streams and the "incbin" opener.
#include "korvagl/stream/memory_stream.h"

#include <algorithm>
#include <cstring>

#include "korvagl/app/embedded_data.h"
#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"

namespace korva {

int32_t TMemoryStream::Seek(int32_t p) {
    pos = std::clamp(p, 0, size);
    return pos;
}

int32_t TMemoryStream::Read(void* dst, int32_t count) {
    if (count <= 0 || !readable) return 0;
    count = std::min(count, size - pos);
    if (count <= 0) return 0;
    std::memcpy(dst, buf + pos, static_cast<size_t>(count));
    pos += count;
    return count;
}

int32_t TMemoryStream::Write(const void* src, int32_t count) {
    if (count <= 0 || !writeable) return 0;
    count = std::min(count, size - pos);
    if (count <= 0) return 0;
    std::memcpy(buf + pos, src, static_cast<size_t>(count));
    pos += count;
    return count;
}

Ref<TMemoryStream> TMemoryStream::Create(void* buf, int32_t size, int32_t readable, int32_t writeable) {
    Ref<TMemoryStream> stream = New<TMemoryStream>();
    stream->buf = static_cast<uint8_t*>(buf);
    stream->size = buf ? std::max(size, 0) : 0;
    stream->readable = readable;
    stream->writeable = writeable;
    return stream;
}

Ref<TByteStream> TMemoryStreamOpener::CreateStream(const String& protocol, const String& path, int32_t readable,
                                                   int32_t writeable) {
    if (protocol != "incbin") return nullptr;
    const String url = "incbin::" + path;
    if (writeable) {
        detail::SetLastErrorText("cannot open " + detail::Quoted(url) + " for writing: embedded data is read-only");
        return nullptr;
    }
    const void* data = EmbeddedDataAddress(path);
    if (!data) {
        detail::SetLastErrorText("cannot open " + detail::Quoted(url) + ": no embedded data of that name");
        return nullptr;
    }
    // Not writeable, so the stream never writes to the embedded bytes.
    return TMemoryStream::Create(const_cast<void*>(data), EmbeddedDataLength(path), readable, 0);
}

Ref<TMemoryStream> NewMemoryStream(void* buf, int32_t size, int32_t readable, int32_t writeable) {
    return TMemoryStream::Create(buf, size, readable, writeable);
}

int InitMemoryStreams() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    detail::NoteModuleStarted("memory and embedded-data streams");
    New<TMemoryStreamOpener>();
    return 0;
}

}  // namespace korva
