// Big-endian views and the byte-order opener.
#include "korvagl/stream/endian_stream.h"

#include <cstring>
#include <utility>

#include "korvagl/app/modules.h"

namespace korva {

void TEndianStream::SwapBytes2(uint8_t* buf) { std::swap(buf[0], buf[1]); }

void TEndianStream::SwapBytes4(uint8_t* buf) {
    std::swap(buf[0], buf[3]);
    std::swap(buf[1], buf[2]);
}

void TEndianStream::SwapBytes8(uint8_t* buf) {
    std::swap(buf[0], buf[7]);
    std::swap(buf[1], buf[6]);
    std::swap(buf[2], buf[5]);
    std::swap(buf[3], buf[4]);
}

namespace {

void Swap(uint8_t* bytes, size_t width) {
    if (width == 2) TEndianStream::SwapBytes2(bytes);
    else if (width == 4) TEndianStream::SwapBytes4(bytes);
    else TEndianStream::SwapBytes8(bytes);
}

// A zeroed buffer is read and then swapped, so that at the end of the stream
// the missing bytes count as the low-order ones.
template <typename T>
T ReadSwapped(TByteStream& s) {
    uint8_t bytes[sizeof(T)] = {};
    s.ReadFully(bytes, sizeof(T));
    Swap(bytes, sizeof(T));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

template <typename T>
int32_t WriteSwapped(TByteStream& s, T value) {
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    Swap(bytes, sizeof(T));
    s.WriteFully(bytes, sizeof(T));
    return 0;
}

}  // namespace

int32_t TEndianStream::ReadShort() { return ReadSwapped<uint16_t>(*this); }
int32_t TEndianStream::WriteShort(int32_t n) { return WriteSwapped(*this, static_cast<uint16_t>(n)); }
int32_t TEndianStream::ReadInt() { return ReadSwapped<int32_t>(*this); }
int32_t TEndianStream::WriteInt(int32_t n) { return WriteSwapped(*this, n); }
int64_t TEndianStream::ReadLong() { return ReadSwapped<int64_t>(*this); }
int32_t TEndianStream::WriteLong(int64_t n) { return WriteSwapped(*this, n); }
float TEndianStream::ReadFloat() { return ReadSwapped<float>(*this); }
int32_t TEndianStream::WriteFloat(float f) { return WriteSwapped(*this, f); }
double TEndianStream::ReadDouble() { return ReadSwapped<double>(*this); }
int32_t TEndianStream::WriteDouble(double d) { return WriteSwapped(*this, d); }

Ref<TEndianStream> TEndianStream::Create(const Ref<TByteStream>& stream) {
    if (!stream) return nullptr;
    return New<TEndianStream>(stream);
}

Ref<TEndianStream> TEndianStream::AsBigEndian(const Ref<TByteStream>& stream) { return Create(stream); }
Ref<TByteStream> TEndianStream::AsLittleEndian(const Ref<TByteStream>& stream) { return stream; }

Ref<TByteStream> AsBigEndian(const Ref<TByteStream>& stream) { return TEndianStream::AsBigEndian(stream); }
Ref<TByteStream> AsLittleEndian(const Ref<TByteStream>& stream) { return TEndianStream::AsLittleEndian(stream); }

Ref<TByteStream> TEndianStreamOpener::CreateStream(const String& protocol, const String& path, int32_t readable,
                                                   int32_t writeable) {
    if (protocol == "bigendian") return AsBigEndian(OpenStream(path, readable, writeable));
    if (protocol == "littleendian") return AsLittleEndian(OpenStream(path, readable, writeable));
    return nullptr;
}

int InitEndianStreams() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    detail::NoteModuleStarted("byte-order streams");
    New<TEndianStreamOpener>();
    return 0;
}

}  // namespace korva
