// KorvaGL: byte streams and the URL opener registry.
//
// TRawStream has eight primitives (Eof, Pos, Size, Seek, Flush, Close, Read,
// Write); TByteStream adds typed reading and writing on top of them, so every
// stream kind gets the typed operations by implementing the primitives.
// Multi-byte values are little-endian (see endian_stream.h for big-endian).
// Text on streams is 8-bit: each byte reads as one code unit, and the low
// byte of each unit is written. Lines are written with CR LF; ReadLine stops
// at LF or NUL and drops every CR.
//
// URLs: a text without "::" is a file path (backslashes become "/"); otherwise
// the text before the first "::" names a protocol, and the registered openers
// are asked newest first. A stream object given where a URL is expected is
// wrapped so that closing the result never closes the caller's stream.
//
// Closing is explicit: Close writes out and releases the stream's handle. A
// stream dropped without Close still releases its own OS handle when it is
// destroyed, but a proxy never closes the stream it wraps.
//
// Failures: reading from a kind that cannot read raises "Stream is not
// readable", writing to one that cannot write "Stream is not writeable";
// ReadFully and Skip raise TStreamReadError and WriteFully raises
// TStreamWriteError when a transfer moves nothing. Opening returns the null
// object when it cannot open. Not thread-safe: use a stream from one thread.
#pragma once

#include <cstdint>

#include "korvagl/app/faults.h"
#include "korvagl/app/object.h"
#include "korvagl/app/plugin_list.h"
#include "korvagl/app/string.h"

namespace korva {

// Base of the stream errors. A bare TStreamError has no text of its own; its
// ToString formats its address as any object's does.
class TStreamError : public TFault {
public:
    TStreamError() : TFault(String()) {}
    String ToString() const override;

protected:
    explicit TStreamError(const String& text) : TFault(text) {}
};

// A read transferred nothing before the end of the stream.
class TStreamReadError : public TStreamError {
public:
    TStreamReadError() : TStreamError("Error reading from stream") {}
};

// A write transferred nothing, or written data did not reach its destination.
class TStreamWriteError : public TStreamError {
public:
    TStreamWriteError() : TStreamError("Error writing to stream") {}
};

class TRawStream : public Object {
public:
    // 1 when Pos() equals Size(), else 0.
    virtual int32_t Eof();
    // The position, or -1 when the stream has none.
    virtual int32_t Pos();
    // The size in bytes, 0 when unknown.
    virtual int32_t Size();
    // Moves to `pos`; returns the new position, or -1 when the stream cannot seek.
    virtual int32_t Seek(int32_t pos);
    // Writes out buffered data. Returns 0.
    virtual int32_t Flush();
    // Flushes and releases the stream's handle. Returns 0; a second Close does nothing.
    virtual int32_t Close();
    // Transfers up to `count` bytes and returns how many moved (0: none could).
    virtual int32_t Read(void* buf, int32_t count);
    virtual int32_t Write(const void* buf, int32_t count);

    // Non-zero once data written to this stream failed to reach its
    // destination (a write, flush or close that failed). Savers check it
    // after Close so that they never report success for lost data.
    virtual int32_t WriteFailed();
};

class TByteStream : public TRawStream {
public:
    // Reads until `count` bytes arrived or the stream ends; raises
    // TStreamReadError when a read moves nothing before the end. Returns `count`.
    virtual int32_t ReadFully(void* buf, int32_t count);
    // Writes all `count` bytes; raises TStreamWriteError when a write moves
    // nothing. Returns `count`.
    virtual int32_t WriteFully(const void* buf, int32_t count);
    // Reads and drops up to `count` bytes (fewer at the end). Returns `count`.
    virtual int32_t Skip(int32_t count);

    // Typed values. A read at the end of the stream reads the missing bytes
    // as zero. Byte and short reads are unsigned. Writes return 0.
    virtual int32_t ReadByte();
    virtual int32_t WriteByte(int32_t n);
    virtual int32_t ReadShort();
    virtual int32_t WriteShort(int32_t n);
    virtual int32_t ReadInt();
    virtual int32_t WriteInt(int32_t n);
    virtual int64_t ReadLong();
    virtual int32_t WriteLong(int64_t n);
    virtual float ReadFloat();
    virtual int32_t WriteFloat(float f);
    virtual double ReadDouble();
    virtual int32_t WriteDouble(double d);

    // One line: up to LF, NUL or the end, which is consumed; every CR is
    // dropped. On a network stream a line longer than NetworkLineLimit()
    // bytes raises TStreamReadError (tcp_stream.h).
    virtual String ReadLine();
    // The text's low bytes, then CR LF. Returns 0.
    virtual int32_t WriteLine(const String& text);
    // Exactly `length` units; bytes past the end read as U+0000. A length of
    // 0 or less raises "Illegal String length".
    virtual String ReadText(int32_t length);
    // The text's low bytes, one per code unit. Returns 0.
    virtual int32_t WriteText(const String& text);

    // For a stream that reads from the network, its name in failure reasons
    // (a URL); the empty string for every other stream. The network limits
    // of tcp_stream.h hold for streams with a name.
    virtual String NetworkName();
};

// Forwards the eight primitives to an inner stream. Dropping a proxy releases
// its reference and never closes the inner stream.
class TProxyStream : public TByteStream {
public:
    TProxyStream() = default;
    explicit TProxyStream(const Ref<TByteStream>& stream) : stream(stream) {}

    int32_t Eof() override;
    int32_t Pos() override;
    int32_t Size() override;
    int32_t Seek(int32_t pos) override;
    int32_t Flush() override;
    int32_t Close() override;
    int32_t Read(void* buf, int32_t count) override;
    int32_t Write(const void* buf, int32_t count) override;
    int32_t WriteFailed() override;
    String NetworkName() override;

    void SetStream(const Ref<TByteStream>& inner) { stream = inner; }
    const Ref<TByteStream>& Stream() const { return stream; }

protected:
    Ref<TByteStream> stream;
};

// A proxy whose Close does nothing: hands a stream to code that will close
// what it opened, without letting it close the caller's stream.
class TNonClosingStream : public TProxyStream {
public:
    using TProxyStream::TProxyStream;
    int32_t Close() override;
    static Ref<TNonClosingStream> Create(const Ref<TByteStream>& stream);
};

// The opener of one URL protocol. Constructing an opener (with New, as every
// object) links it in at the head of the registry, so the one created last is
// asked first; openers are never removed. A module creates its opener in its
// initialiser, so the initialiser order fixes the order of asking.
class TStreamOpener : public Object {
public:
    TStreamOpener();
    // A stream for `path` when this opener serves `protocol`, else the null
    // object. The base version raises TAbstractMethodFault.
    virtual Ref<TByteStream> CreateStream(const String& protocol, const String& path, int32_t readable,
                                          int32_t writeable);
    // The opener registered before this one, or the null object.
    const Ref<TStreamOpener>& Next() const { return next; }

private:
    friend class TPluginList<TStreamOpener>;
    Ref<TStreamOpener> next;
};

// The newest registered opener (the head of the registry), or the null object.
Ref<TStreamOpener> FirstStreamOpener();

// Opens a URL (see the top of this file); the null object when it cannot.
// Neither flag set opens for reading.
Ref<TByteStream> OpenStream(const String& url, int32_t readable, int32_t writeable);
// A stream object gives a TNonClosingStream around it, whatever the flags; a
// boxed string is opened as a URL; any other object gives the null object.
Ref<TByteStream> OpenStream(const Ref<Object>& url, int32_t readable, int32_t writeable);
Ref<TByteStream> OpenReadStream(const String& url);
Ref<TByteStream> OpenReadStream(const Ref<Object>& url);
Ref<TByteStream> OpenWriteStream(const String& url);
Ref<TByteStream> OpenWriteStream(const Ref<Object>& url);

// The procedural interface: each calls the operation of the same name.
// The null object raises TNullObjectFault.
int32_t Eof(const Ref<TByteStream>& s);
int32_t Pos(const Ref<TByteStream>& s);
int32_t Size(const Ref<TByteStream>& s);
int32_t Seek(const Ref<TByteStream>& s, int32_t pos);
int32_t Flush(const Ref<TByteStream>& s);
int32_t Close(const Ref<TByteStream>& s);
int32_t ReadFully(const Ref<TByteStream>& s, void* buf, int32_t count);
int32_t WriteFully(const Ref<TByteStream>& s, const void* buf, int32_t count);
int32_t Skip(const Ref<TByteStream>& s, int32_t count);
int32_t ReadByte(const Ref<TByteStream>& s);
int32_t WriteByte(const Ref<TByteStream>& s, int32_t n);
int32_t ReadShort(const Ref<TByteStream>& s);
int32_t WriteShort(const Ref<TByteStream>& s, int32_t n);
int32_t ReadInt(const Ref<TByteStream>& s);
int32_t WriteInt(const Ref<TByteStream>& s, int32_t n);
int64_t ReadLong(const Ref<TByteStream>& s);
int32_t WriteLong(const Ref<TByteStream>& s, int64_t n);
float ReadFloat(const Ref<TByteStream>& s);
int32_t WriteFloat(const Ref<TByteStream>& s, float f);
double ReadDouble(const Ref<TByteStream>& s);
int32_t WriteDouble(const Ref<TByteStream>& s, double d);
String ReadLine(const Ref<TByteStream>& s);
int32_t WriteLine(const Ref<TByteStream>& s, const String& text);
String ReadText(const Ref<TByteStream>& s, int32_t length);
int32_t WriteText(const Ref<TByteStream>& s, const String& text);

// The whole-file helpers fail softly, unlike the stream operations above:
// where the URL does not open or a read or write fails, they return an empty
// result (LoadBytes, LoadText) or 0 (SaveBytes, SaveText) and LastErrorText()
// names the file and the reason, such as
//   cannot open "scores.txt": No such file or directory
//   cannot write "/media/stick/save.dat": No space left on device
//   "http::example.org/x": timed out after 30000 ms
// A successful call clears the reason, which tells an empty file from a
// failure. A stream object given instead of a URL is read (or written) from
// where it stands and never closed; after a failure its position is wherever
// the transfer stopped.

// The whole content of a URL or a stream object. On a network stream the
// network load limit (tcp_stream.h) holds, and a body that ends with an
// error is a failure, not the content.
ByteArray LoadBytes(const String& url);
ByteArray LoadBytes(const Ref<Object>& url);
namespace detail {
// The rest of the open stream `s`, read as LoadBytes reads it; raises
// TStreamReadError where LoadBytes fails (and TNullObjectFault for the null
// object). `s` is closed on every path, faults included.
ByteArray ReadAllAndClose(const Ref<TByteStream>& s);
// A read-only stream with a position over `bytes`, which it owns.
Ref<TByteStream> NewBytesStream(ByteArray bytes);
}  // namespace detail

// Opens a URL (or a stream object) for a loader that needs a position, as
// the decoder registries do: they show every decoder the data from its start.
// A stream with a position is returned as it is (a stream object wrapped so
// that closing the result leaves it open). One without (HTTP, HTTPS, TCP, a
// pipe) is read to its end under the whole-stream load limit (tcp_stream.h),
// closed, and replaced by a read-only stream over the bytes in memory. A file
// name opens only a regular file or a character device with data ready
// (TFileStream::OpenFileForLoading), so that a FIFO nobody writes cannot
// stall a load. The null object when the URL does not open or the reading
// fails, with LastErrorText() saying why, as LoadBytes says it.
Ref<TByteStream> OpenForLoading(const String& url);
Ref<TByteStream> OpenForLoading(const Ref<Object>& url);
// Writes all bytes and closes; 1 once every byte reached the URL, else 0.
int32_t SaveBytes(const ByteArray& bytes, const String& url);
int32_t SaveBytes(const ByteArray& bytes, const Ref<Object>& url);
// LoadBytes widened byte by byte.
String LoadText(const String& url);
String LoadText(const Ref<Object>& url);
// The text's low bytes, as SaveBytes.
int32_t SaveText(const String& text, const String& url);
int32_t SaveText(const String& text, const Ref<Object>& url);

// The buffer size the copy functions use when the caller has no preference.
inline constexpr int32_t kDefaultCopyBufferSize = 65536;

// Copies from `from` until it ends (or a read moves nothing). Closes neither
// stream. A `bufsize` below 1 uses the default. Returns 0.
int32_t CopyToEnd(const Ref<TByteStream>& from, const Ref<TByteStream>& to,
                  int32_t bufsize = kDefaultCopyBufferSize);
// Copies exactly `count` bytes; when `from` ends early the rest is written as
// zero bytes. A negative count copies nothing. Closes neither stream. Returns 0.
int32_t CopyCount(const Ref<TByteStream>& from, const Ref<TByteStream>& to, int32_t count,
                  int32_t bufsize = kDefaultCopyBufferSize);

// The file or directory whose name matches `path` ignoring the case of ASCII
// letters, level by level, spelled as on disk; the empty string when none.
String ResolvePathCase(const String& path);

// Module initialisers.
int InitSystemGlue();
int InitStreams();

}  // namespace korva
