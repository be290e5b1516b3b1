// The stream over a C stdio file.
#include "korvagl/stream/file_stream.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "korvagl/app/last_error.h"
#include "korvagl/stream/file_system.h"

namespace korva {

TFileStream::~TFileStream() {
    if (file) std::fclose(file);
}

int32_t TFileStream::Pos() { return static_cast<int32_t>(std::min<int64_t>(pos, INT32_MAX)); }
int32_t TFileStream::Size() { return static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX)); }

void TFileStream::Advance(int64_t count) {
    if (!seekable) return;
    pos += count;
}

void TFileStream::NoteFailure() {
    if (!failed) failed = errno ? errno : EIO;
}

void TFileStream::PrepareRead() {
    if (direction == Direction::Writing && std::fflush(file) != 0) NoteFailure();
    direction = Direction::Reading;
}

void TFileStream::PrepareWrite() {
    // A positioning call is what C asks for between input and output.
    if (direction == Direction::Reading && seekable) fseeko(file, 0, SEEK_CUR);
    direction = Direction::Writing;
}

int32_t TFileStream::Seek(int32_t p) {
    if (!file || !seekable) return -1;
    if (direction == Direction::Writing && std::fflush(file) != 0) NoteFailure();
    direction = Direction::None;
    fseeko(file, p, SEEK_SET);
    const off_t at = ftello(file);
    if (at >= 0) pos = at;
    return Pos();
}

int32_t TFileStream::Flush() {
    if (!file) return 0;
    if (direction == Direction::Writing) {
        if (std::fflush(file) != 0) NoteFailure();
        direction = Direction::None;
    }
    return 0;
}

int32_t TFileStream::Close() {
    if (!file) return 0;
    Flush();
    if (std::fclose(file) != 0) NoteFailure();
    file = nullptr;
    pos = 0;
    size = 0;
    seekable = true;
    return 0;
}

int32_t TFileStream::Read(void* buf, int32_t count) {
    if (!file || count <= 0) return 0;
    PrepareRead();
    const size_t got = std::fread(buf, 1, static_cast<size_t>(count), file);
    Advance(static_cast<int64_t>(got));
    return static_cast<int32_t>(got);
}

int32_t TFileStream::Write(const void* buf, int32_t count) {
    if (!file || count <= 0) return 0;
    PrepareWrite();
    const size_t put = std::fwrite(buf, 1, static_cast<size_t>(count), file);
    if (put < static_cast<size_t>(count)) NoteFailure();
    Advance(static_cast<int64_t>(put));
    if (pos > size) size = pos;
    return static_cast<int32_t>(put);
}

String TFileStream::ReadLine() {
    if (!file) return String();
    PrepareRead();
    // Bytes gather in a 1024-byte chunk; only a longer line needs more room.
    char chunk[1024];
    size_t fill = 0;
    std::string longer;
    int64_t consumed = 0;
    const auto keep = [&](int c) {
        chunk[fill++] = static_cast<char>(c);
        if (fill == sizeof chunk) {
            longer.append(chunk, fill);
            consumed += static_cast<int64_t>(fill);
            fill = 0;
        }
    };
    flockfile(file);
    for (;;) {
        const int c = getc_unlocked(file);
        if (c > '\r') {  // the common case: an ordinary byte
            keep(c);
        } else if (c == '\r') {
            ++consumed;
        } else if (c == 0 || c == '\n') {
            ++consumed;
            break;
        } else if (c == EOF) {
            break;
        } else {
            keep(c);
        }
    }
    funlockfile(file);
    Advance(consumed + static_cast<int64_t>(fill));
    if (longer.empty()) return String(std::string_view(chunk, fill));
    longer.append(chunk, fill);
    return String(longer);
}

Ref<TFileStream> TFileStream::OpenFile(const String& path, int32_t readable, int32_t writeable) {
    const char* mode = "rbe";  // "e": not inherited by programs we start
    if (readable && writeable) mode = "r+be";
    else if (writeable) mode = "wbe";
    const std::string name = detail::NativePath(path);
    auto fail = [&](const char* cause) {
        detail::SetLastErrorText("cannot open " + detail::Quoted(path) + ": " + cause);
        return nullptr;
    };
    if (name.empty()) return fail("not a valid file name");
    std::FILE* file = std::fopen(name.c_str(), mode);
    if (!file) return fail(std::strerror(errno));
    // C stdio opens a directory for reading here; it holds no bytes to stream
    // and reports a bogus size, so it does not open, as on other systems.
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return fail(std::strerror(EISDIR));
    }
    return FromFile(file);
}

std::FILE* detail::OpenFileForLoading(const std::string& name, const char*& cause) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        cause = std::strerror(errno);
        return nullptr;
    }
    struct stat info;
    const bool known = fstat(fd, &info) == 0;
    bool loadable = known && S_ISREG(info.st_mode);
    if (known && S_ISCHR(info.st_mode)) {
        pollfd ready{fd, POLLIN, 0};
        loadable = ::poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0;
    }
    const int flags = loadable ? fcntl(fd, F_GETFL) : -1;
    std::FILE* file = flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? fdopen(fd, "rb") : nullptr;
    if (!file) {
        cause = loadable ? std::strerror(errno) : "not a regular file";
        ::close(fd);
    }
    return file;
}

Ref<TFileStream> TFileStream::OpenFileForLoading(const String& path) {
    const std::string name = detail::NativePath(path);
    const char* cause = "not a valid file name";
    std::FILE* file = name.empty() ? nullptr : detail::OpenFileForLoading(name, cause);
    if (!file) {
        detail::SetLastErrorText("cannot open " + detail::Quoted(path) + ": " + cause);
        return nullptr;
    }
    return FromFile(file);
}

Ref<TFileStream> TFileStream::FromFile(std::FILE* file) {
    if (!file) return nullptr;
    Ref<TFileStream> stream = detail::AdoptNew(new TFileStream(file));
    const off_t at = ftello(file);
    if (at < 0 || fseeko(file, 0, SEEK_END) != 0) {
        stream->seekable = false;
        stream->pos = -1;
        stream->size = 0;
        return stream;
    }
    stream->pos = at;
    stream->size = std::max<off_t>(ftello(file), 0);
    fseeko(file, at, SEEK_SET);
    return stream;
}

bool detail::CopyFileToEnd(TFileStream& from, TFileStream& to) {
    if (!from.file || !to.file || from.file == to.file || !from.seekable || !to.seekable) return false;
    if (from.Eof()) return true;
    // Buffered writes of either file must reach it before the kernel copies.
    for (TFileStream* s : {&from, &to}) {
        if (s->direction == TFileStream::Direction::Writing && std::fflush(s->file) != 0) return false;
        s->direction = TFileStream::Direction::None;
    }
    off_t in = from.pos;
    off_t out = to.pos;
    bool moved = false;
    int failure = 0;
    for (;;) {
        const ssize_t n = ::copy_file_range(fileno(from.file), &in, fileno(to.file), &out, size_t{1} << 30, 0);
        if (n > 0) {
            moved = true;
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            if (!moved) return false;  // not possible here: the byte-by-buffer copy takes over
            failure = errno;
            break;
        }
    }
    // Bring both stdio files to where the kernel left off.
    fseeko(from.file, in, SEEK_SET);
    fseeko(to.file, out, SEEK_SET);
    from.pos = in;
    to.pos = out;
    if (to.pos > to.size) to.size = to.pos;
    if (failure) {
        errno = failure;
        to.NoteFailure();
        throw TStreamWriteError();
    }
    return true;
}

}  // namespace korva
