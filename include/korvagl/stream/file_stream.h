// KorvaGL: the stream over a C stdio file.
//
// OpenFile opens "r+b" when both flags are set (the file must exist and keeps
// its content), "wb" when only writeable is set (creates or truncates), and
// "rb" otherwise; backslashes in the path become "/". It returns the null
// object when the file cannot be opened, and for a directory.
//
// Positions are those of the file. A file that cannot seek (a pipe, a
// terminal) has no position: Pos is -1 and Size 0, as for a socket.
// After Close, Read and Write return 0, Seek returns -1, Flush does nothing,
// and Pos and Size are 0 (so Eof is 1). A stream dropped without Close closes
// its file when destroyed. A failed write, flush or close is remembered:
// WriteFailed gives the system's error number (errno) of the first one, so
// that savers can report it and say why; Close itself returns 0.
#pragma once

#include <cstdio>
#include <string>

#include "korvagl/stream/stream.h"

namespace korva {

class TFileStream;

namespace detail {
// CopyToEnd between two file streams, done by the kernel without passing
// the bytes through the process. Returns false, having moved nothing, when
// the two files cannot be copied that way; raises TStreamWriteError when
// writing fails part-way.
bool CopyFileToEnd(TFileStream& from, TFileStream& to);
// Opens the file named `name` (a native name) for reading as
// TFileStream::OpenFileForLoading does; null with `cause` set when refused.
std::FILE* OpenFileForLoading(const std::string& name, const char*& cause);
}  // namespace detail

class TFileStream : public TByteStream {
public:
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int32_t Eof() override { return pos == size ? 1 : 0; }
    int32_t Pos() override;
    int32_t Size() override;
    int32_t Seek(int32_t p) override;
    int32_t Flush() override;
    int32_t Close() override;
    int32_t Read(void* buf, int32_t count) override;
    int32_t Write(const void* buf, int32_t count) override;
    int32_t WriteFailed() override { return failed; }
    // Same result as the byte-by-byte line reader, without a call per byte.
    String ReadLine() override;

    // The stream on `path`, or the null object when it cannot be opened.
    static Ref<TFileStream> OpenFile(const String& path, int32_t readable, int32_t writeable);
    // The stream on `path` for a loader, which must not wait: only a regular
    // file, or a character device with data ready at once (/dev/zero), is
    // opened; a FIFO, socket or directory gives the null object with the
    // reason "cannot open "name": not a regular file". The file is opened
    // without blocking before it is checked, so no writer is waited for.
    static Ref<TFileStream> OpenFileForLoading(const String& path);
    // A stream on an open file, which it takes over: Close (or destruction)
    // closes `file`. Pos is the file's position, Size its length. The null
    // object for a null file.
    static Ref<TFileStream> FromFile(std::FILE* file);

    // The underlying file while open, else null.
    std::FILE* File() const { return file; }

private:
    explicit TFileStream(std::FILE* file) : file(file) {}
    friend bool detail::CopyFileToEnd(TFileStream& from, TFileStream& to);
    void Advance(int64_t count);
    // Remembers the first failed transfer with the error number it set.
    void NoteFailure();
    // C stdio needs a flush or seek between a write and a following read and
    // the other way round; these keep track of the direction.
    void PrepareRead();
    void PrepareWrite();

    // 64-bit inside, so that files past 2 GiB still read to their end; Pos
    // and Size report at most 2^31 - 1.
    int64_t pos = 0;
    int64_t size = 0;
    std::FILE* file = nullptr;
    bool seekable = true;
    int32_t failed = 0;  // errno of the first failed write, flush or close
    enum class Direction { None, Reading, Writing } direction = Direction::None;
};

}  // namespace korva
