// KorvaGL: byte-order views of streams.
//
// TEndianStream reads and writes its multi-byte numbers (short, int, long,
// float, double) big-endian; bytes, lines and text are not affected. It
// forwards every primitive to the stream it wraps, Close included: closing
// the view closes the stream. AsLittleEndian returns the stream itself,
// since the native order is already little-endian.
//
// "bigendian::URL" and "littleendian::URL" open URL (which may carry a
// protocol of its own) in that byte order; the null object when URL does
// not open.
#pragma once

#include <cstdint>

#include "korvagl/stream/stream.h"

namespace korva {

class TEndianStream : public TProxyStream {
public:
    using TProxyStream::TProxyStream;

    int32_t ReadShort() override;
    int32_t WriteShort(int32_t n) override;
    int32_t ReadInt() override;
    int32_t WriteInt(int32_t n) override;
    int64_t ReadLong() override;
    int32_t WriteLong(int64_t n) override;
    float ReadFloat() override;
    int32_t WriteFloat(float f) override;
    double ReadDouble() override;
    int32_t WriteDouble(double d) override;

    static void SwapBytes2(uint8_t* buf);
    static void SwapBytes4(uint8_t* buf);
    static void SwapBytes8(uint8_t* buf);

    // A big-endian view of `stream`; the null object for the null object.
    static Ref<TEndianStream> Create(const Ref<TByteStream>& stream);
    static Ref<TEndianStream> AsBigEndian(const Ref<TByteStream>& stream);
    static Ref<TByteStream> AsLittleEndian(const Ref<TByteStream>& stream);
};

// Opens "bigendian" and "littleendian" URLs.
class TEndianStreamOpener : public TStreamOpener {
public:
    Ref<TByteStream> CreateStream(const String& protocol, const String& path, int32_t readable,
                                  int32_t writeable) override;
};

Ref<TByteStream> AsBigEndian(const Ref<TByteStream>& stream);
Ref<TByteStream> AsLittleEndian(const Ref<TByteStream>& stream);

// Module initialiser: registers the byte-order opener.
int InitEndianStreams();

}  // namespace korva
