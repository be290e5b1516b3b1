// Zip archive entries as streams: libzip reads the central directory through
// a source over the archive's stream; stored entries are read from the
// archive in place, deflated ones inflated whole by libdeflate.
#include "korvagl/stream/zip_stream.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/stream/file_system.h"
#include "korvagl/stream/tcp_stream.h"
#include "stream/zip_archive.h"

namespace korva {
namespace {

// ---- names ----

// The name in the archive's terms: "\" as "/", no empty or "." components,
// no leading "/"; `ok` false for a name with a ".." component.
std::string NormalisedName(std::string name, bool& ok) {
    std::replace(name.begin(), name.end(), '\\', '/');
    std::string out;
    ok = true;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") ok = false;
        if (!out.empty()) out += '/';
        out += part;
    }
    return out;
}

// A URL's archive and entry parts, split at the last "|".
struct ZipUrl {
    String archive;
    String entry;
    bool valid = false;
};

ZipUrl SplitUrl(const String& path) {
    ZipUrl url;
    for (int32_t i = path.Length() - 1; i >= 0; --i) {
        if (path[i] != u'|') continue;
        url.archive = path.Substring(0, i);
        url.entry = path.Substring(i + 1, path.Length());
        url.valid = !url.archive.IsEmpty();
        break;
    }
    return url;
}

// ---- the archive ----

// libzip's view of a stream with a position. Faults of the stream never
// cross libzip's C frames: they become a read error.
struct SourceState {
    TByteStream* stream = nullptr;
    zip_error_t error;
};

zip_int64_t StreamSource(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    TByteStream& stream = *static_cast<SourceState*>(state)->stream;
    zip_error_t& error = static_cast<SourceState*>(state)->error;
    try {
        switch (command) {
        case ZIP_SOURCE_OPEN:
            zip_error_init(&error);
            return stream.Seek(0) == 0 ? 0 : -1;
        case ZIP_SOURCE_READ: {
            const int32_t n = stream.Read(data, static_cast<int32_t>(std::min<zip_uint64_t>(length, INT32_MAX)));
            if (stream.Eof() < 0) {
                zip_error_set(&error, ZIP_ER_READ, 0);
                return -1;
            }
            return n;
        }
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = static_cast<zip_uint64_t>(std::max(stream.Size(), 0));
            st->valid |= ZIP_STAT_SIZE;
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error, data, length);
        case ZIP_SOURCE_SEEK: {
            const zip_int64_t to = zip_source_seek_compute_offset(
                static_cast<zip_uint64_t>(std::max(stream.Pos(), 0)),
                static_cast<zip_uint64_t>(std::max(stream.Size(), 0)), data, length, &error);
            if (to < 0) return -1;
            if (to > INT32_MAX || stream.Seek(static_cast<int32_t>(to)) != to) {
                zip_error_set(&error, ZIP_ER_SEEK, 0);
                return -1;
            }
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return stream.Pos();
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                                  ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, -1);
        default:
            zip_error_set(&error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    } catch (...) {
        zip_error_set(&error, ZIP_ER_READ, 0);
        return -1;
    }
}

// An open archive: its stream (with a position) and libzip's handle over it.
struct Archive {
    Ref<TByteStream> stream;
    SourceState source;
    zip_t* zip = nullptr;
    Archive() { zip_error_init(&source.error); }
    ~Archive() {
        if (zip) zip_discard(zip);
        zip_error_fini(&source.error);
        if (stream) {
            try {
                stream->Close();
            } catch (...) {
            }
        }
    }
};

String ZipReason(zip_error_t& error) { return String(zip_error_strerror(&error)); }

// Opens the archive at `url`; null with the reason (for `shown`) recorded.
std::shared_ptr<Archive> OpenArchive(const String& url, const String& shown) {
    auto archive = std::make_shared<Archive>();
    archive->stream = OpenForLoading(url);
    if (!archive->stream) return nullptr;  // the opener said why
    zip_error_t error;
    zip_error_init(&error);
    archive->source.stream = archive->stream.Get();
    zip_source_t* source = zip_source_function_create(&StreamSource, &archive->source, &error);
    if (source) {
        archive->zip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
        if (!archive->zip) zip_source_free(source);
    }
    if (!archive->zip) {
        detail::SetLastErrorText(shown + ": not a zip archive (" + ZipReason(error) + ")");
        zip_error_fini(&error);
        return nullptr;
    }
    return archive;
}

// The index of the first entry whose normalised name is `name`, or -1.
zip_int64_t FindEntry(zip_t* zip, const std::string& name) {
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        bool ok = false;
        if (raw && NormalisedName(raw, ok) == name && ok) return i;
    }
    return -1;
}

// ---- entry streams ----

// A stored entry, read from the archive where it lies. Its CRC-32 is checked
// (by libdeflate) when it is read from the start to the end in order.
// libzip checks the CRC-32 of a whole stored entry itself, with zlib's slower
// routine (which made reading a large entry cost more than twice reading the
// same bytes from a file), and skips that for part of an entry; so the entry
// is read through two partial windows, all bytes but the last and the last.
class TStoredEntryStream : public TByteStream {
public:
    TStoredEntryStream(std::shared_ptr<Archive> archive, zip_source_t* body, zip_source_t* last, int32_t size,
                       uint32_t crc, String name)
        : archive_(std::move(archive)), body_(body), last_(last), size_(size), crc_(crc), name_(std::move(name)) {}
    ~TStoredEntryStream() override { Drop(); }

    int32_t Eof() override { return failed_ ? -1 : pos_ == size_ ? 1 : 0; }
    int32_t Pos() override { return pos_; }
    int32_t Size() override { return size_; }
    int32_t Seek(int32_t p) override {
        if (!body_) return -1;
        pos_ = std::clamp(p, 0, size_);
        if (pos_ != sumPos_) sumPos_ = -1;  // no longer read in order
        return pos_;
    }
    int32_t Close() override {
        Drop();
        return 0;
    }
    int32_t Read(void* buf, int32_t count) override {
        if (!body_ || failed_ || count <= 0) return 0;
        const int32_t want = std::min(count, size_ - pos_);
        if (want <= 0) return 0;
        // The body window holds bytes 0 to size - 2, the last one the final byte.
        const bool inBody = pos_ < size_ - 1;
        zip_source_t* window = inBody ? body_ : last_;
        const zip_int64_t at = inBody ? pos_ : 0;
        if ((inBody ? bodyPos_ : -1) != at && zip_source_seek(window, at, SEEK_SET) != 0) {
            return Fail("entry cut short");
        }
        const zip_int64_t got =
            zip_source_read(window, buf, static_cast<zip_uint64_t>(inBody ? std::min(want, size_ - 1 - pos_) : 1));
        if (got <= 0) return Fail("entry cut short");
        if (sumPos_ == pos_) {
            sum_ = static_cast<uint32_t>(libdeflate_crc32(sum_, buf, static_cast<size_t>(got)));
            sumPos_ += static_cast<int32_t>(got);
        }
        pos_ += static_cast<int32_t>(got);
        bodyPos_ = inBody ? pos_ : -1;
        if (pos_ == size_ && sumPos_ == size_ && sum_ != crc_) return Fail("CRC-32 mismatch");
        return static_cast<int32_t>(got);
    }

    // The two windows of entry `index` (of `size` bytes, at least 2), opened;
    // false with libzip's reason in `reason`.
    static bool OpenWindows(zip_t* zip, zip_uint64_t index, int32_t size, zip_source_t*& body, zip_source_t*& last,
                            String& reason) {
        body = zip_source_zip(zip, zip, index, 0, 0, size - 1);
        last = body ? zip_source_zip(zip, zip, index, 0, static_cast<zip_uint64_t>(size - 1), 1) : nullptr;
        if (last && zip_source_open(body) == 0) {
            if (zip_source_open(last) == 0) return true;
            zip_source_close(body);
        }
        reason = String(zip_strerror(zip));
        if (body) zip_source_free(body);
        if (last) zip_source_free(last);
        body = last = nullptr;
        return false;
    }

private:
    int32_t Fail(const char* reason) {
        failed_ = true;
        detail::SetLastErrorText(name_ + ": " + reason);
        return 0;
    }
    void Drop() {
        for (zip_source_t* window : {body_, last_}) {
            if (!window) continue;
            zip_source_close(window);
            zip_source_free(window);
        }
        body_ = last_ = nullptr;
        archive_.reset();
    }

    std::shared_ptr<Archive> archive_;
    zip_source_t* body_;
    zip_source_t* last_;
    int32_t size_;
    uint32_t crc_;
    String name_;
    int32_t pos_ = 0;
    int32_t bodyPos_ = 0;  // where the body window stands, -1 when not known
    int32_t sumPos_ = 0;   // how far the checksum has come, -1 once out of order
    uint32_t sum_ = 0;
    bool failed_ = false;
};

struct ZipFile {
    zip_file_t* file;
    ~ZipFile() {
        if (file) zip_fclose(file);
    }
};

// Reads `count` bytes of an open entry; false when fewer came.
bool ReadEntryBytes(zip_file_t* file, uint8_t* to, size_t count) {
    while (count > 0) {
        const zip_int64_t got = zip_fread(file, to, count);
        if (got <= 0) return false;
        to += got;
        count -= static_cast<size_t>(got);
    }
    return true;
}

// A deflated entry inflated into memory, into no more room than its
// declared size. `fail` records a reason and gives the null object.
template <typename Fail>
Ref<TByteStream> InflateEntry(Archive& archive, zip_uint64_t index, const zip_stat_t& st, Fail fail) {
    if (st.comp_size > static_cast<zip_uint64_t>(std::max(archive.stream->Size(), 0))) {
        return fail("compressed size lies past the end of the archive");
    }
    ZipFile raw{zip_fopen_index(archive.zip, index, ZIP_FL_COMPRESSED)};
    if (!raw.file) return fail(String(zip_strerror(archive.zip)));
    std::vector<uint8_t> packed(static_cast<size_t>(st.comp_size));
    if (!ReadEntryBytes(raw.file, packed.data(), packed.size())) return fail("entry cut short");
    ByteArray bytes(static_cast<size_t>(st.size));
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
        libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
    if (!inflater) return fail("out of memory");
    size_t made = 0;
    const libdeflate_result result = libdeflate_deflate_decompress(inflater.get(), packed.data(), packed.size(),
                                                                   bytes.data(), bytes.size(), &made);
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) {
        return fail("entry inflates to more than its declared " + String(std::to_string(st.size)) + " bytes");
    }
    if (result == LIBDEFLATE_SHORT_OUTPUT || (result == LIBDEFLATE_SUCCESS && made != bytes.size())) {
        return fail("entry inflates to fewer than its declared " + String(std::to_string(st.size)) + " bytes");
    }
    if (result != LIBDEFLATE_SUCCESS) return fail("corrupt deflate data");
    if (libdeflate_crc32(0, bytes.data(), bytes.size()) != st.crc) return fail("CRC-32 mismatch");
    return detail::NewBytesStream(std::move(bytes));
}

// An entry in another method libzip reads (it checks the CRC-32 itself).
template <typename Fail>
Ref<TByteStream> DecodeEntry(Archive& archive, zip_uint64_t index, const zip_stat_t& st, Fail fail) {
    ZipFile file{zip_fopen_index(archive.zip, index, 0)};
    if (!file.file) return fail(String(zip_strerror(archive.zip)));
    ByteArray bytes(static_cast<size_t>(st.size) + 1);
    size_t made = 0;
    for (zip_int64_t got; made < bytes.size(); made += static_cast<size_t>(got)) {
        got = zip_fread(file.file, bytes.data() + made, bytes.size() - made);
        if (got < 0) return fail(String(zip_file_strerror(file.file)));
        if (got == 0) break;
    }
    if (made != st.size) return fail("entry does not hold its declared " + String(std::to_string(st.size)) + " bytes");
    bytes.resize(made);
    return detail::NewBytesStream(std::move(bytes));
}

Ref<TByteStream> OpenEntry(const String& path) {
    const String shown = detail::Quoted("zip::" + path);
    auto fail = [&](const String& reason) -> Ref<TByteStream> {
        detail::SetLastErrorText(shown + ": " + reason);
        return nullptr;
    };
    const ZipUrl url = SplitUrl(path);
    if (!url.valid) return fail("no \"|\" between the archive and the entry");
    bool ok = false;
    const std::string name = NormalisedName(url.entry.ToBytes(), ok);
    const std::u16string_view units = url.entry.View();
    if (!ok || name.empty() || std::any_of(units.begin(), units.end(), [](char16_t c) { return c == 0 || c > 0xFF; })) {
        return fail("not an entry name inside the archive");
    }
    std::shared_ptr<Archive> archive = OpenArchive(url.archive, shown);
    if (!archive) return nullptr;
    const zip_int64_t index = FindEntry(archive->zip, name);
    if (index < 0) return fail("no entry " + detail::Quoted(String(name)) + " in the archive");
    const auto at = static_cast<zip_uint64_t>(index);
    zip_stat_t st;
    if (zip_stat_index(archive->zip, at, ZIP_FL_ENC_RAW, &st) != 0) return fail(String(zip_strerror(archive->zip)));
    const zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
    if ((st.valid & needed) != needed) return fail("incomplete entry record");
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
        return fail("encrypted entries are not supported");
    }
    if (st.size > INT32_MAX) return fail("entry of " + String(std::to_string(st.size)) + " bytes is too large");
    if (st.comp_method == ZIP_CM_STORE) {
        const auto archiveSize = static_cast<zip_uint64_t>(std::max(archive->stream->Size(), 0));
        if (st.size != st.comp_size) return fail("a stored entry's two sizes disagree");
        if (st.size > archiveSize) return fail("entry lies past the end of the archive");
        // Entries of 0 or 1 bytes are read into memory (the windows need two).
        if (st.size < 2) {
            ZipFile file{zip_fopen_index(archive->zip, at, ZIP_FL_COMPRESSED)};
            if (!file.file) return fail(String(zip_strerror(archive->zip)));
            ByteArray bytes(static_cast<size_t>(st.size));
            if (!ReadEntryBytes(file.file, bytes.data(), bytes.size())) return fail("entry cut short");
            if (libdeflate_crc32(0, bytes.data(), bytes.size()) != st.crc) return fail("CRC-32 mismatch");
            return detail::NewBytesStream(std::move(bytes));
        }
        zip_source_t* body = nullptr;
        zip_source_t* last = nullptr;
        String reason;
        if (!TStoredEntryStream::OpenWindows(archive->zip, at, static_cast<int32_t>(st.size), body, last, reason)) {
            return fail(reason);
        }
        return New<TStoredEntryStream>(archive, body, last, static_cast<int32_t>(st.size), st.crc, shown);
    }
    // Everything else is made in memory: its declared size is the room it gets.
    const int32_t limit = NetworkLoadLimit();
    if (limit > 0 && st.size > static_cast<zip_uint64_t>(limit)) {
        return fail("entry of " + String(std::to_string(st.size)) + " bytes is above the load limit of " +
                    String(std::to_string(limit)) + " bytes");
    }
    if (st.comp_method == ZIP_CM_DEFLATE) return InflateEntry(*archive, at, st, fail);
    if (zip_compression_method_supported(static_cast<zip_int32_t>(st.comp_method), 0)) {
        return DecodeEntry(*archive, at, st, fail);
    }
    return fail("compression method " + String(std::to_string(st.comp_method)) + " is not supported");
}

// ---- folders ----

// Every normalised entry name of the archive of `url` (nothing for names
// with ".."), and the folder asked for ("" for the top, else ending in "/");
// false when the archive does not open.
struct Named {
    std::string name;  // ends in "/" for a folder's own entry
    int64_t size;
};

bool ArchiveNames(const String& url, std::vector<Named>& names, std::string& folder) {
    const ZipUrl parts = SplitUrl(url.Substring(5, url.Length()));
    if (!parts.valid) return false;
    bool ok = false;
    folder = NormalisedName(parts.entry.ToBytes(), ok);
    if (!ok) return false;
    if (!folder.empty()) folder += '/';
    std::shared_ptr<Archive> archive = OpenArchive(parts.archive, detail::Quoted(url));
    if (!archive) return false;
    const zip_int64_t count = zip_get_num_entries(archive->zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(archive->zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        std::string name = raw ? NormalisedName(raw, ok) : std::string();
        zip_stat_t st;
        if (!raw || !ok || name.empty() || zip_stat_index(archive->zip, static_cast<zip_uint64_t>(i), 0, &st) != 0) {
            continue;
        }
        const bool own = std::string_view(raw).ends_with("/") || std::string_view(raw).ends_with("\\");
        names.push_back({own ? name + "/" : name, (st.valid & ZIP_STAT_SIZE) ? int64_t(st.size) : -1});
    }
    return true;
}

}  // namespace

Ref<TByteStream> TZipStreamOpener::CreateStream(const String& protocol, const String& path, int32_t readable,
                                                int32_t writeable) {
    if (protocol != "zip") return nullptr;
    if (writeable) {
        detail::SetLastErrorText(detail::Quoted("zip::" + path) + ": archives are read-only");
        return nullptr;
    }
    (void)readable;
    return OpenEntry(path);
}

bool detail::NamesZipEntry(const String& url) { return url.Find("zip::") == 0; }

namespace {

// The kind of `url` and, for an entry, its declared size.
int32_t KindAndSize(const String& url, int64_t& size) {
    std::vector<Named> names;
    std::string folder;
    size = -1;
    if (!ArchiveNames(url, names, folder)) return FILE_KIND_NONE;
    if (folder.empty()) return FILE_KIND_DIRECTORY;
    const std::string file = folder.substr(0, folder.size() - 1);
    for (const Named& named : names) {
        if (named.name == file) {
            size = named.size;
            return FILE_KIND_FILE;
        }
        if (named.name.starts_with(folder)) return FILE_KIND_DIRECTORY;
    }
    return FILE_KIND_NONE;
}

}  // namespace

int32_t detail::ZipEntryKind(const String& url) {
    int64_t size = 0;
    return KindAndSize(url, size);
}

int32_t detail::ZipEntrySize(const String& url) {
    int64_t size = 0;
    if (KindAndSize(url, size) != FILE_KIND_FILE || size < 0) return -1;
    return static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
}

StringArray detail::ListZipFolder(const String& url, int32_t skipDots) {
    StringArray listed;
    std::vector<Named> names;
    std::string folder;
    if (!ArchiveNames(url, names, folder)) return listed;
    std::vector<std::string> seen;
    bool isFolder = folder.empty();
    for (const Named& named : names) {
        const std::string& name = named.name;
        if (!name.starts_with(folder) || name.size() == folder.size()) continue;
        isFolder = true;
        const std::string rest = name.substr(folder.size());
        const std::string child = rest.substr(0, rest.find('/'));
        if (std::find(seen.begin(), seen.end(), child) == seen.end()) seen.push_back(child);
    }
    if (!isFolder) return listed;
    if (!skipDots) listed = {String("."), String("..")};
    for (const std::string& child : seen) listed.push_back(String(child));
    return listed;
}

int InitZipStreams() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    detail::NoteModuleStarted("zip archive streams");
    New<TZipStreamOpener>();
    return 0;
}

}  // namespace korva
