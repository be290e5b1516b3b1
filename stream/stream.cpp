// The stream core: primitives, typed operations, proxies, the opener
// registry, URL dispatch and the whole-stream helpers.
#include "korvagl/stream/stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/stream/file_stream.h"
#include "korvagl/stream/tcp_stream.h"
#include "stream/native.h"

namespace korva {

String TStreamError::ToString() const {
    const String text = TFault::ToString();
    if (!text.IsEmpty()) return text;
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return String(address);
}

// ---- TRawStream defaults ----

int32_t TRawStream::Eof() { return Pos() == Size() ? 1 : 0; }
int32_t TRawStream::Pos() { return -1; }
int32_t TRawStream::Size() { return 0; }
int32_t TRawStream::Seek(int32_t) { return -1; }
int32_t TRawStream::Flush() { return 0; }
int32_t TRawStream::Close() { return 0; }
int32_t TRawStream::Read(void*, int32_t) { RaiseRuntimeError("Stream is not readable"); }
int32_t TRawStream::Write(const void*, int32_t) { RaiseRuntimeError("Stream is not writeable"); }
int32_t TRawStream::WriteFailed() { return 0; }

// ---- TByteStream ----

int32_t TByteStream::ReadFully(void* buf, int32_t count) {
    auto* at = static_cast<uint8_t*>(buf);
    int32_t left = count;
    while (left > 0 && Eof() == 0) {
        const int32_t n = Read(at, left);
        if (n <= 0) throw TStreamReadError();
        left -= n;
        at += n;
    }
    return count;
}

int32_t TByteStream::WriteFully(const void* buf, int32_t count) {
    const auto* at = static_cast<const uint8_t*>(buf);
    int32_t left = count;
    while (left > 0) {
        const int32_t n = Write(at, left);
        if (n <= 0) throw TStreamWriteError();
        left -= n;
        at += n;
    }
    return count;
}

int32_t TByteStream::Skip(int32_t count) {
    uint8_t scratch[1024];
    int32_t left = count;
    while (left > 0 && Eof() == 0) {
        const int32_t n = Read(scratch, std::min<int32_t>(left, sizeof scratch));
        if (n <= 0) throw TStreamReadError();
        left -= n;
    }
    return count;
}

namespace {

// Reads `Width` bytes into a zeroed value: missing bytes at the end read as 0.
template <typename T>
T ReadValue(TByteStream& s) {
    uint8_t bytes[sizeof(T)] = {};
    s.ReadFully(bytes, sizeof(T));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

template <typename T>
int32_t WriteValue(TByteStream& s, T value) {
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    s.WriteFully(bytes, sizeof(T));
    return 0;
}

}  // namespace

int32_t TByteStream::ReadByte() { return ReadValue<uint8_t>(*this); }
int32_t TByteStream::WriteByte(int32_t n) { return WriteValue(*this, static_cast<uint8_t>(n)); }
int32_t TByteStream::ReadShort() { return ReadValue<uint16_t>(*this); }
int32_t TByteStream::WriteShort(int32_t n) { return WriteValue(*this, static_cast<uint16_t>(n)); }
int32_t TByteStream::ReadInt() { return ReadValue<int32_t>(*this); }
int32_t TByteStream::WriteInt(int32_t n) { return WriteValue(*this, n); }
int64_t TByteStream::ReadLong() { return ReadValue<int64_t>(*this); }
int32_t TByteStream::WriteLong(int64_t n) { return WriteValue(*this, n); }
float TByteStream::ReadFloat() { return ReadValue<float>(*this); }
int32_t TByteStream::WriteFloat(float f) { return WriteValue(*this, f); }
double TByteStream::ReadDouble() { return ReadValue<double>(*this); }
int32_t TByteStream::WriteDouble(double d) { return WriteValue(*this, d); }

String TByteStream::ReadLine() {
    // One primitive read per byte, so that nothing past the line end is
    // consumed (an HTTP body follows its header on the same socket).
    const String network = NetworkName();
    const int64_t limit = network.IsEmpty() || NetworkLineLimit() == 0 ? INT64_MAX : NetworkLineLimit();
    std::string line;
    int64_t taken = 0;
    uint8_t byte;
    while (Read(&byte, 1) == 1) {
        if (byte == 0 || byte == '\n') break;
        if (++taken > limit) {
            detail::SetLastErrorText(detail::Quoted(network) + ": a line longer than " +
                                     String(std::to_string(limit)) + " bytes");
            throw TStreamReadError();
        }
        if (byte == '\r') continue;
        line.push_back(static_cast<char>(byte));
    }
    return String(line);
}

int32_t TByteStream::WriteLine(const String& text) {
    WriteText(text);
    WriteText("\r\n");
    return 0;
}

String TByteStream::ReadText(int32_t length) {
    if (length <= 0) RaiseRuntimeError("Illegal String length");
    std::string bytes(static_cast<size_t>(length), '\0');
    ReadFully(bytes.data(), length);
    return String(bytes);
}

int32_t TByteStream::WriteText(const String& text) {
    const std::string bytes = text.ToBytes();
    WriteFully(bytes.data(), static_cast<int32_t>(bytes.size()));
    return 0;
}

String TByteStream::NetworkName() { return String(); }

// ---- proxies ----

int32_t TProxyStream::Eof() { return stream->Eof(); }
int32_t TProxyStream::Pos() { return stream->Pos(); }
int32_t TProxyStream::Size() { return stream->Size(); }
int32_t TProxyStream::Seek(int32_t pos) { return stream->Seek(pos); }
int32_t TProxyStream::Flush() {
    stream->Flush();
    return 0;
}
int32_t TProxyStream::Close() {
    stream->Close();
    return 0;
}
int32_t TProxyStream::Read(void* buf, int32_t count) { return stream->Read(buf, count); }
int32_t TProxyStream::Write(const void* buf, int32_t count) { return stream->Write(buf, count); }
int32_t TProxyStream::WriteFailed() { return stream->WriteFailed(); }
String TProxyStream::NetworkName() { return stream ? stream->NetworkName() : String(); }

int32_t TNonClosingStream::Close() { return 0; }

Ref<TNonClosingStream> TNonClosingStream::Create(const Ref<TByteStream>& stream) {
    return New<TNonClosingStream>(stream);
}

// ---- the opener registry ----

namespace {

constinit TPluginList<TStreamOpener> openers;

}  // namespace

TStreamOpener::TStreamOpener() { openers.Add(this); }

Ref<TByteStream> TStreamOpener::CreateStream(const String&, const String&, int32_t, int32_t) {
    RaiseAbstractMethodFault();
}

Ref<TStreamOpener> FirstStreamOpener() { return openers.Head(); }

namespace {

Ref<TByteStream> OpenURL(const String& url, int32_t readable, int32_t writeable) {
    if (url.IsEmpty()) return nullptr;
    const int32_t at = url.Find("::");
    if (at < 0) return TFileStream::OpenFile(url, readable, writeable);
    const String protocol = url.Substring(0, at);
    const String path = url.Substring(at + 2, url.Length());
    bool served = false;
    for (Ref<TStreamOpener> opener = openers.Head(); opener; opener = opener->Next()) {
        Ref<TByteStream> stream = opener->CreateStream(protocol, path, readable, writeable);
        if (stream) return stream;
        // An opener that knows the protocol says why it failed; when none
        // does, the protocol is unknown.
        served = served || !LastErrorText().IsEmpty();
    }
    if (!served) detail::SetLastErrorText("cannot open " + detail::Quoted(url) + ": unknown protocol " + detail::Quoted(protocol));
    return nullptr;
}

}  // namespace

Ref<TByteStream> OpenStream(const String& url, int32_t readable, int32_t writeable) {
    detail::ClearLastErrorText();
    Ref<TByteStream> stream = OpenURL(url, readable, writeable);
    if (!stream) detail::SetLastErrorTextIfNone("cannot open " + detail::Quoted(url));
    return stream;
}

Ref<TByteStream> OpenStream(const Ref<Object>& url, int32_t readable, int32_t writeable) {
    if (Ref<TByteStream> stream = DownCast<TByteStream>(url)) {
        detail::ClearLastErrorText();
        return TNonClosingStream::Create(stream);
    }
    if (url && !DownCast<TStringObject>(url)) {
        detail::SetLastErrorText("cannot open " + url->ToString() + ": neither a URL nor a stream");
        return nullptr;
    }
    return OpenStream(UnboxString(url), readable, writeable);
}

Ref<TByteStream> OpenReadStream(const String& url) { return OpenStream(url, 1, 0); }
Ref<TByteStream> OpenReadStream(const Ref<Object>& url) { return OpenStream(url, 1, 0); }
Ref<TByteStream> OpenWriteStream(const String& url) { return OpenStream(url, 0, 1); }
Ref<TByteStream> OpenWriteStream(const Ref<Object>& url) { return OpenStream(url, 0, 1); }

// ---- the procedural interface ----

int32_t Eof(const Ref<TByteStream>& s) { return s->Eof(); }
int32_t Pos(const Ref<TByteStream>& s) { return s->Pos(); }
int32_t Size(const Ref<TByteStream>& s) { return s->Size(); }
int32_t Seek(const Ref<TByteStream>& s, int32_t pos) { return s->Seek(pos); }
int32_t Flush(const Ref<TByteStream>& s) {
    s->Flush();
    return 0;
}
int32_t Close(const Ref<TByteStream>& s) {
    s->Close();
    return 0;
}
int32_t ReadFully(const Ref<TByteStream>& s, void* buf, int32_t count) { return s->ReadFully(buf, count); }
int32_t WriteFully(const Ref<TByteStream>& s, const void* buf, int32_t count) { return s->WriteFully(buf, count); }
int32_t Skip(const Ref<TByteStream>& s, int32_t count) { return s->Skip(count); }
int32_t ReadByte(const Ref<TByteStream>& s) { return s->ReadByte(); }
int32_t WriteByte(const Ref<TByteStream>& s, int32_t n) {
    s->WriteByte(n);
    return 0;
}
int32_t ReadShort(const Ref<TByteStream>& s) { return s->ReadShort(); }
int32_t WriteShort(const Ref<TByteStream>& s, int32_t n) {
    s->WriteShort(n);
    return 0;
}
int32_t ReadInt(const Ref<TByteStream>& s) { return s->ReadInt(); }
int32_t WriteInt(const Ref<TByteStream>& s, int32_t n) {
    s->WriteInt(n);
    return 0;
}
int64_t ReadLong(const Ref<TByteStream>& s) { return s->ReadLong(); }
int32_t WriteLong(const Ref<TByteStream>& s, int64_t n) {
    s->WriteLong(n);
    return 0;
}
float ReadFloat(const Ref<TByteStream>& s) { return s->ReadFloat(); }
int32_t WriteFloat(const Ref<TByteStream>& s, float f) {
    s->WriteFloat(f);
    return 0;
}
double ReadDouble(const Ref<TByteStream>& s) { return s->ReadDouble(); }
int32_t WriteDouble(const Ref<TByteStream>& s, double d) {
    s->WriteDouble(d);
    return 0;
}
String ReadLine(const Ref<TByteStream>& s) { return s->ReadLine(); }
int32_t WriteLine(const Ref<TByteStream>& s, const String& text) {
    s->WriteLine(text);
    return 0;
}
String ReadText(const Ref<TByteStream>& s, int32_t length) { return s->ReadText(length); }
int32_t WriteText(const Ref<TByteStream>& s, const String& text) {
    s->WriteText(text);
    return 0;
}

// ---- whole streams ----

namespace {

ByteArray ReadToEnd(TByteStream& s) {
    // A stream that knows how much is left gets room for that (one more byte
    // to notice growth); others grow by half from 1024 bytes.
    ByteArray buffer;
    const int32_t pos = s.Pos();
    const int32_t size = s.Size();
    if (pos >= 0 && size > pos) {
        buffer.reserve(static_cast<size_t>(size - pos) + 1);
        detail::AdviseLargeBuffer(buffer.data(), buffer.capacity());
    } else {
        buffer.reserve(1024);
    }
    // A network stream is read to one byte past its limit at most: that byte
    // tells a body of exactly the limit from a longer one.
    const String network = s.NetworkName();
    const size_t limit = network.IsEmpty() || NetworkLoadLimit() == 0 ? SIZE_MAX : size_t(NetworkLoadLimit());
    const size_t cap = limit == SIZE_MAX ? SIZE_MAX : limit + 1;
    // The bytes are zeroed and filled a slice at a time, so that each slice
    // is still in the cache when the read lands in it.
    constexpr size_t kSlice = 256 * 1024;
    size_t n = 0;
    while (s.Eof() == 0) {
        if (n == buffer.capacity()) buffer.reserve(buffer.capacity() + buffer.capacity() / 2);
        const size_t room = std::min({buffer.capacity() - n, kSlice, size_t{INT32_MAX}, cap - n});
        buffer.resize(n + room);
        const int32_t got = s.Read(buffer.data() + n, static_cast<int32_t>(room));
        // A stream whose end never comes (one that shrank, or standard input)
        // stops at the first read that moves nothing.
        if (got <= 0) break;
        n += static_cast<size_t>(got);
        if (n > limit) {
            detail::SetLastErrorText(detail::Quoted(network) + ": more than " + String(std::to_string(limit)) +
                                     " bytes");
            throw TStreamReadError();
        }
    }
    // A connection that failed (Eof -1) recorded why; its bytes are not the
    // whole content.
    if (s.Eof() < 0) throw TStreamReadError();
    buffer.resize(n);
    return buffer;
}

// Closes `s` after a failed transfer, so that it does not stay open until
// it is destroyed; a fault of the close itself is dropped, since the one
// being handled says more.
void CloseQuietly(TByteStream& s) {
    try {
        s.Close();
    } catch (...) {
    }
}

[[noreturn]] void CloseAndRethrow(TByteStream& s) {
    CloseQuietly(s);
    throw;
}

// How a whole-stream helper names what it was given in a failure reason.
String SourceName(const String& url) { return detail::Quoted(url); }
String SourceName(const Ref<Object>& url) {
    if (Ref<TByteStream> stream = DownCast<TByteStream>(url)) {
        const String network = stream->NetworkName();
        return network.IsEmpty() ? String("the stream") : detail::Quoted(network);
    }
    return detail::Quoted(UnboxString(url));
}

// Why a save failed: for a file, the system's own words for its error (a
// full disk, a lost device); otherwise the fault's text.
String WriteCause(TByteStream& stream, const String& fault) {
    TByteStream* inner = &stream;
    while (auto* proxy = dynamic_cast<TProxyStream*>(inner)) {
        if (!proxy->Stream()) break;
        inner = proxy->Stream().Get();
    }
    auto* file = dynamic_cast<TFileStream*>(inner);
    const int32_t code = file ? file->WriteFailed() : 0;
    return code > 0 ? String(std::strerror(code)) : fault;
}

// The whole-stream helpers fail softly: an empty result or 0, with the
// reason recorded. A reason the stream layer already gave for this call (a
// refused open, a network time-out) is the more precise one and stays.
template <typename Url>
ByteArray LoadBytesFrom(const Url& url) {
    Ref<TByteStream> s = OpenReadStream(url);
    if (!s) return {};
    try {
        return detail::ReadAllAndClose(s);
    } catch (const TFault& fault) {
        detail::SetLastErrorTextIfNone("cannot read " + SourceName(url) + ": " + fault.ToString());
        return {};
    }
}

template <typename Url>
int32_t SaveBytesTo(const uint8_t* data, size_t count, const Url& url) {
    Ref<TByteStream> s = OpenWriteStream(url);
    if (!s) return 0;
    TByteStream& stream = *s;
    const auto fail = [&](const String& fault) {
        detail::SetLastErrorTextIfNone("cannot write " + SourceName(url) + ": " + WriteCause(stream, fault));
        return 0;
    };
    try {
        while (count > 0) {
            const int32_t chunk = static_cast<int32_t>(std::min<size_t>(count, INT32_MAX));
            stream.WriteFully(data, chunk);
            data += chunk;
            count -= static_cast<size_t>(chunk);
        }
        stream.Flush();
    } catch (const TFault& fault) {
        CloseQuietly(stream);
        return fail(fault.ToString());
    }
    stream.Close();
    // Close returns 0 whatever happened; the stream remembers a lost write.
    if (stream.WriteFailed()) return fail(TStreamWriteError().ToString());
    return 1;
}

String Widen(const ByteArray& bytes) {
    return String(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

ByteArray detail::ReadAllAndClose(const Ref<TByteStream>& s) {
    TByteStream& stream = *s;
    ByteArray bytes;
    try {
        bytes = ReadToEnd(stream);
    } catch (...) {
        CloseAndRethrow(stream);
    }
    stream.Close();
    return bytes;
}

namespace {

// The bytes of a positionless stream, kept in memory for loaders.
class TBytesStream : public TByteStream {
public:
    explicit TBytesStream(ByteArray bytes) : bytes_(std::move(bytes)) {}
    int32_t Pos() override { return pos_; }
    int32_t Size() override { return static_cast<int32_t>(bytes_.size()); }
    int32_t Seek(int32_t p) override {
        pos_ = std::clamp(p, 0, Size());
        return pos_;
    }
    int32_t Read(void* buf, int32_t count) override {
        const int32_t n = std::clamp(count, 0, Size() - pos_);
        if (n > 0) std::memcpy(buf, bytes_.data() + pos_, static_cast<size_t>(n));
        pos_ += n;
        return n;
    }

private:
    ByteArray bytes_;
    int32_t pos_ = 0;
};

// A file name: text without "::" (see OpenURL).
bool NamesFile(const String& url) { return !url.IsEmpty() && url.Find("::") < 0; }

Ref<TByteStream> Positioned(const Ref<TByteStream>& s, const String& name) {
    if (!s || s->Pos() != -1) return s;
    ByteArray bytes;
    try {
        bytes = detail::ReadAllAndClose(s);
    } catch (const TFault& fault) {
        detail::SetLastErrorTextIfNone("cannot read " + name + ": " + fault.ToString());
        return nullptr;
    }
    if (bytes.size() > size_t{INT32_MAX}) {
        detail::SetLastErrorText("cannot read " + name + ": more than 2147483647 bytes");
        return nullptr;
    }
    return detail::NewBytesStream(std::move(bytes));
}

}  // namespace

Ref<TByteStream> detail::NewBytesStream(ByteArray bytes) { return New<TBytesStream>(std::move(bytes)); }

Ref<TByteStream> OpenForLoading(const String& url) {
    if (!NamesFile(url)) return Positioned(OpenReadStream(url), SourceName(url));
    detail::ClearLastErrorText();
    return TFileStream::OpenFileForLoading(url);
}

Ref<TByteStream> OpenForLoading(const Ref<Object>& url) {
    if (Ref<TStringObject> text = DownCast<TStringObject>(url)) return OpenForLoading(text->text);
    return Positioned(OpenReadStream(url), SourceName(url));
}

ByteArray LoadBytes(const String& url) { return LoadBytesFrom(url); }
ByteArray LoadBytes(const Ref<Object>& url) { return LoadBytesFrom(url); }

int32_t SaveBytes(const ByteArray& bytes, const String& url) { return SaveBytesTo(bytes.data(), bytes.size(), url); }
int32_t SaveBytes(const ByteArray& bytes, const Ref<Object>& url) {
    return SaveBytesTo(bytes.data(), bytes.size(), url);
}

String LoadText(const String& url) { return Widen(LoadBytes(url)); }
String LoadText(const Ref<Object>& url) { return Widen(LoadBytes(url)); }

int32_t SaveText(const String& text, const String& url) {
    const std::string bytes = text.ToBytes();
    return SaveBytesTo(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), url);
}
int32_t SaveText(const String& text, const Ref<Object>& url) {
    const std::string bytes = text.ToBytes();
    return SaveBytesTo(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), url);
}

int32_t CopyToEnd(const Ref<TByteStream>& from, const Ref<TByteStream>& to, int32_t bufsize) {
    TByteStream& source = *from;
    TByteStream& target = *to;
    auto* fileFrom = dynamic_cast<TFileStream*>(&source);
    auto* fileTo = dynamic_cast<TFileStream*>(&target);
    if (fileFrom && fileTo && detail::CopyFileToEnd(*fileFrom, *fileTo)) return 0;
    if (bufsize < 1) bufsize = kDefaultCopyBufferSize;
    ByteArray buffer(static_cast<size_t>(bufsize));
    while (source.Eof() == 0) {
        const int32_t n = source.Read(buffer.data(), bufsize);
        if (n <= 0) break;  // an end that Eof does not see
        target.WriteFully(buffer.data(), n);
    }
    return 0;
}

int32_t CopyCount(const Ref<TByteStream>& from, const Ref<TByteStream>& to, int32_t count, int32_t bufsize) {
    TByteStream& source = *from;
    TByteStream& target = *to;
    if (bufsize < 1) bufsize = kDefaultCopyBufferSize;
    ByteArray buffer(static_cast<size_t>(std::min(bufsize, std::max(count, 1))));
    const int32_t chunk = static_cast<int32_t>(buffer.size());
    while (count > 0) {
        const int32_t n = std::min(count, chunk);
        // Bytes the source cannot supply go out as zeros, never as what the
        // buffer held from the previous round.
        std::memset(buffer.data(), 0, static_cast<size_t>(n));
        source.ReadFully(buffer.data(), n);
        target.WriteFully(buffer.data(), n);
        count -= n;
    }
    return 0;
}

// ---- initialisers ----

int InitStreams() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitSystemGlue();
    detail::NoteModuleStarted("stream core");
    return 0;
}

}  // namespace korva
