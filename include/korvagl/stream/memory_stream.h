// KorvaGL: fixed-size streams over memory, and "incbin" URLs.
//
// A TMemoryStream reads and writes `size` bytes at an address it does not own
// and never frees; it never grows: writing past its end transfers what fits.
// A stream made not readable (or not writeable) returns 0 from Read (Write).
//
// "incbin::name" opens the embedded data registered under `name` (see
// korvagl/app/embedded_data.h) for reading; a name that is not registered,
// or asking to write, gives the null object.
#pragma once

#include <cstdint>

#include "korvagl/stream/stream.h"

namespace korva {

class TMemoryStream : public TByteStream {
public:
    int32_t Pos() override { return pos; }
    int32_t Size() override { return size; }
    // Clamped to 0 .. Size().
    int32_t Seek(int32_t p) override;
    int32_t Read(void* dst, int32_t count) override;
    int32_t Write(const void* src, int32_t count) override;

    // A stream at position 0 over `size` bytes at `buf` (none when buf is null).
    static Ref<TMemoryStream> Create(void* buf, int32_t size, int32_t readable, int32_t writeable);

private:
    int32_t pos = 0;
    int32_t size = 0;
    uint8_t* buf = nullptr;
    int32_t readable = 0;
    int32_t writeable = 0;
};

// Opens "incbin" URLs.
class TMemoryStreamOpener : public TStreamOpener {
public:
    Ref<TByteStream> CreateStream(const String& protocol, const String& path, int32_t readable,
                                  int32_t writeable) override;
};

Ref<TMemoryStream> NewMemoryStream(void* buf, int32_t size, int32_t readable, int32_t writeable);

// Module initialiser: registers the "incbin" opener.
int InitMemoryStreams();

}  // namespace korva
