// Files and directories over POSIX, path text, random access and starting
// programs.
#include "korvagl/stream/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "korvagl/app/modules.h"
#include "korvagl/stream/mem_block.h"
#include "stream/native.h"
#include "stream/zip_archive.h"

extern char** environ;

namespace korva {
namespace {

using detail::NativePath;

bool Stat(const String& path, struct stat& info) {
    const std::string name = NativePath(path);
    return !name.empty() && ::stat(name.c_str(), &info) == 0;
}

int32_t KindOf(const struct stat& info) {
    if (S_ISREG(info.st_mode)) return FILE_KIND_FILE;
    if (S_ISDIR(info.st_mode)) return FILE_KIND_DIRECTORY;
    return FILE_KIND_NONE;
}

int32_t ClampToInt(int64_t value) { return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

}  // namespace

// ---- kinds, sizes, times, permissions ----

int32_t FileKind(const String& path) {
    if (detail::NamesZipEntry(path)) return detail::ZipEntryKind(path);
    struct stat info;
    return Stat(path, info) ? KindOf(info) : FILE_KIND_NONE;
}

int32_t FileModifiedTime(const String& path) {
    struct stat info;
    return Stat(path, info) ? ClampToInt(info.st_mtime) : 0;
}

int32_t FileByteSize(const String& path) {
    if (detail::NamesZipEntry(path)) return detail::ZipEntrySize(path);
    struct stat info;
    return Stat(path, info) ? ClampToInt(info.st_size) : -1;
}

int32_t FilePermissions(const String& path) {
    struct stat info;
    return Stat(path, info) ? static_cast<int32_t>(info.st_mode & 0777) : -1;
}

int32_t SetFilePermissions(const String& path, int32_t mode) {
    const std::string name = NativePath(path);
    return !name.empty() && ::chmod(name.c_str(), static_cast<mode_t>(mode) & 0777) == 0 ? 0 : -1;
}

// ---- making, removing, renaming ----

int32_t MakeEmptyFile(const String& path) {
    const std::string name = NativePath(path);
    if (name.empty()) return 0;
    ::unlink(name.c_str());  // a file only: an empty directory stays
    if (std::FILE* file = std::fopen(name.c_str(), "wbe")) std::fclose(file);
    return FileKind(path) == FILE_KIND_FILE ? 1 : 0;
}

int32_t MakeDirectory(const String& path) {
    const std::string name = NativePath(path);
    if (name.empty()) return 0;
    ::mkdir(name.c_str(), 0777);
    return FileKind(path) == FILE_KIND_DIRECTORY ? 1 : 0;
}

int32_t RemoveFile(const String& path) {
    const std::string name = NativePath(path);
    if (name.empty()) return 0;
    ::unlink(name.c_str());
    return FileKind(path) == FILE_KIND_NONE ? 1 : 0;
}

int32_t RenamePath(const String& from, const String& to) {
    const std::string a = NativePath(from);
    const std::string b = NativePath(to);
    return !a.empty() && !b.empty() && std::rename(a.c_str(), b.c_str()) == 0 ? 1 : 0;
}

namespace {

// One directory of a tree being emptied: its listing, read whole before
// anything in it is removed (removing entries while reading could make the
// listing skip some), the next name to handle, and its name in its parent.
struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
struct TreeLevel {
    std::unique_ptr<DIR, DirCloser> dir;
    std::vector<std::string> names;
    size_t next = 0;
    std::string name;
};

// Opens the directory `name` in the directory open at `parent` (AT_FDCWD: the
// current one) without following a link, and lists it.
bool OpenTreeLevel(int parent, const std::string& name, TreeLevel& level) {
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    level.dir.reset(::fdopendir(fd));
    if (!level.dir) {
        ::close(fd);
        return false;
    }
    level.name = name;
    while (const dirent* entry = ::readdir(level.dir.get())) {
        const std::string_view entryName = entry->d_name;
        if (entryName != "." && entryName != "..") level.names.emplace_back(entryName);
    }
    return true;
}

// Removes everything below the directory `path`: files and links are
// unlinked, directories emptied and removed, other kinds left alone. Each
// step names an entry by the bytes its directory listed, relative to that
// opened directory, and no link is followed, so nothing outside the tree can
// be reached. The walk keeps its levels on the heap, not the call stack.
// False when `path` is not a directory that can be opened (a link is not).
bool EmptyTree(const std::string& path) {
    std::vector<TreeLevel> levels(1);
    if (!OpenTreeLevel(AT_FDCWD, path, levels[0])) return false;
    while (!levels.empty()) {
        TreeLevel& level = levels.back();
        if (level.next == level.names.size()) {
            const std::string name = std::move(level.name);
            levels.pop_back();  // closes it
            if (!levels.empty()) ::unlinkat(::dirfd(levels.back().dir.get()), name.c_str(), AT_REMOVEDIR);
            continue;
        }
        const int fd = ::dirfd(level.dir.get());
        const std::string name = level.names[level.next++];
        struct stat info;
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
            ::unlinkat(fd, name.c_str(), 0);
        } else if (S_ISDIR(info.st_mode)) {
            TreeLevel child;
            if (OpenTreeLevel(fd, name, child)) levels.push_back(std::move(child));
        }
    }
    return true;
}

}  // namespace

int32_t DeleteDirectory(const String& path, int32_t recurse) {
    std::string name = NativePath(path);
    // With a "/" at its end a link's name would stand for its target.
    while (!name.empty() && name.back() == '/') name.pop_back();
    if (name.empty()) return 0;
    // "." and ".." cannot be removed by that name, and would lead through a
    // link named before them.
    const std::string_view last = std::string_view(name).substr(name.rfind('/') + 1);
    if (last == "." || last == "..") return 0;
    if (recurse && !EmptyTree(name)) return 0;
    ::rmdir(name.c_str());
    struct stat info;
    return ::lstat(name.c_str(), &info) != 0 ? 1 : 0;
}

// ---- current directory ----

String CurrentDirectory() {
    std::vector<char> buffer(1024);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return String();
        buffer.resize(buffer.size() * 2);
    }
    return NormaliseSlashes(String(buffer.data()));
}

int32_t ChangeDirectory(const String& path) {
    const std::string name = NativePath(path);
    return !name.empty() && ::chdir(name.c_str()) == 0 ? 1 : 0;
}

// ---- listings ----

TDirectoryListing::~TDirectoryListing() { Close(); }

String TDirectoryListing::Next() {
    if (!dir) return String();
    const dirent* entry = ::readdir(static_cast<DIR*>(dir));
    return entry ? String(entry->d_name) : String();
}

int32_t TDirectoryListing::Close() {
    if (dir) ::closedir(static_cast<DIR*>(dir));
    dir = nullptr;
    return 0;
}

Ref<TDirectoryListing> OpenDirectory(const String& path) {
    const std::string name = NativePath(path);
    DIR* dir = name.empty() ? nullptr : ::opendir(name.c_str());
    if (!dir) return nullptr;
    return New<TDirectoryListing>(dir);
}

String NextDirectoryEntry(const Ref<TDirectoryListing>& handle) { return handle->Next(); }

int32_t CloseDirectory(const Ref<TDirectoryListing>& handle) { return handle->Close(); }

StringArray ListDirectory(const String& path, int32_t skipDots) {
    if (detail::NamesZipEntry(path)) return detail::ListZipFolder(path, skipDots);
    StringArray names;
    Ref<TDirectoryListing> listing = OpenDirectory(path);
    if (!listing) return names;
    for (String entry = listing->Next(); !entry.IsEmpty(); entry = listing->Next()) {
        if (skipDots && (entry == "." || entry == "..")) continue;
        names.push_back(entry);
    }
    listing->Close();
    return names;
}

// ---- path text ----

String NormaliseSlashes(const String& path) { return path.ReplaceAll("\\", "/"); }

namespace {

int32_t LastIndexOf(const String& text, char16_t unit) {
    for (int32_t i = text.Length() - 1; i >= 0; --i) {
        if (text[i] == unit) return i;
    }
    return -1;
}

// Index of the last "." that no "/" follows, or -1.
int32_t ExtensionDot(const String& path) {
    const int32_t dot = LastIndexOf(path, u'.');
    return dot > LastIndexOf(path, u'/') ? dot : -1;
}

}  // namespace

String FileNamePart(const String& path) {
    const String p = NormaliseSlashes(path);
    return p.Substring(LastIndexOf(p, u'/') + 1, p.Length());
}

String WithoutExtension(const String& path) {
    const String p = NormaliseSlashes(path);
    const int32_t dot = ExtensionDot(p);
    return dot < 0 ? p : p.Substring(0, dot);
}

String BaseName(const String& path) { return FileNamePart(WithoutExtension(path)); }

String WithoutTrailingSlash(const String& path) {
    const String p = NormaliseSlashes(path);
    return p.Length() > 0 && p[p.Length() - 1] == u'/' ? p.Substring(0, p.Length() - 1) : p;
}

String DirectoryPart(const String& path) {
    const String p = NormaliseSlashes(path);
    const int32_t slash = LastIndexOf(p, u'/');
    return slash < 0 ? String() : p.Substring(0, slash);
}

String ExtensionPart(const String& path) {
    const String p = NormaliseSlashes(path);
    const int32_t dot = ExtensionDot(p);
    return dot < 0 ? String() : p.Substring(dot + 1, p.Length());
}

namespace {

bool HasDrive(const String& path) { return path.Length() > 1 && path[1] == u':'; }

// Appends the components of `path` to `parts`; false when ".." goes above the root.
bool AddComponents(const String& path, std::vector<String>& parts) {
    int32_t start = 0;
    const String p = path + "/";
    for (int32_t i = 0; i < p.Length(); ++i) {
        if (p[i] != u'/') continue;
        const String part = p.Substring(start, i);
        start = i + 1;
        if (part.IsEmpty() || part == ".") continue;
        if (part == "..") {
            if (parts.empty()) return false;
            parts.pop_back();
        } else {
            parts.push_back(part);
        }
    }
    return true;
}

}  // namespace

String AbsolutePath(const String& path) {
    // Text that names no file has no absolute path either.
    if (!path.IsEmpty() && NativePath(path).empty()) return String();
    String p = NormaliseSlashes(path);
    String root;
    std::vector<String> parts;
    if (HasDrive(p)) {
        // A drive's path starts at its root, with or without a "/".
        root = p.Substring(0, 2);
        p = p.Substring(2, p.Length());
    } else if (p.IsEmpty() || p[0] != u'/') {
        String dir = CurrentDirectory();
        if (HasDrive(dir)) {
            root = dir.Substring(0, 2);
            dir = dir.Substring(2, dir.Length());
        }
        AddComponents(dir, parts);
    }
    if (!AddComponents(p, parts)) return String();
    String result = root;
    for (const String& part : parts) result = result + "/" + part;
    return parts.empty() ? root + "/" : result;
}

// ---- random access ----

namespace {

template <typename Url>
Ref<TByteStream> OpenForRandomAccess(const Url& url, int32_t readable, int32_t writeable) {
    Ref<TByteStream> s = OpenStream(url, readable, writeable);
    if (!s || s->Pos() != -1) return s;
    // No position: copy it into memory, then let go of the source stream.
    Ref<TMemBlock> bank = TMemBlock::Load(Ref<Object>(s));
    s->Close();
    return NewMemBlockStream(bank);
}

}  // namespace

Ref<TByteStream> OpenRandomAccess(const String& url, int32_t readable, int32_t writeable) {
    return OpenForRandomAccess(url, readable, writeable);
}
Ref<TByteStream> OpenRandomAccess(const Ref<Object>& url, int32_t readable, int32_t writeable) {
    return OpenForRandomAccess(url, readable, writeable);
}
Ref<TByteStream> OpenRandomAccessRead(const String& url) { return OpenRandomAccess(url, 1, 0); }
Ref<TByteStream> OpenRandomAccessWrite(const String& url) { return OpenRandomAccess(url, 0, 1); }

int32_t CloseRandomAccess(const Ref<TByteStream>& stream) {
    stream->Close();
    return 0;
}

// ---- starting programs ----

namespace {

constexpr size_t kLongestProgramName = 1023;

// The program name: after leading spaces, the text between double quotes,
// or up to the next space. `rest` receives the index after it.
std::string ProgramName(const std::string& line, size_t& rest) {
    size_t i = line.find_first_not_of(' ');
    if (i == std::string::npos) {
        rest = line.size();
        return std::string();
    }
    size_t end;
    std::string name;
    if (line[i] == '"') {
        end = line.find('"', i + 1);
        if (end == std::string::npos) end = line.size();
        name = line.substr(i + 1, end - i - 1);
        rest = end < line.size() ? end + 1 : end;
    } else {
        end = line.find(' ', i);
        if (end == std::string::npos) end = line.size();
        name = line.substr(i, end - i);
        rest = end;
    }
    return name;
}

// The arguments after the program name, split as the Windows C runtime
// splits a command line: white space separates; double quotes group and
// are dropped ("" inside quotes is one literal quote); 2n backslashes before
// a quote give n backslashes, 2n+1 give n and a literal quote; other
// backslashes are literal.
std::vector<std::string> SplitArguments(const std::string& line, size_t i) {
    std::vector<std::string> args;
    const size_t n = line.size();
    for (;;) {
        while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        for (;;) {
            size_t slashes = 0;
            while (i < n && line[i] == '\\') ++i, ++slashes;
            bool copy = true;
            if (i < n && line[i] == '"') {
                if (slashes % 2 == 0) {
                    if (quoted && i + 1 < n && line[i + 1] == '"') {
                        ++i;
                    } else {
                        copy = false;
                        quoted = !quoted;
                    }
                }
                slashes /= 2;
            }
            arg.append(slashes, '\\');
            if (i >= n || (!quoted && (line[i] == ' ' || line[i] == '\t'))) break;
            if (copy) arg.push_back(line[i]);
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace

int32_t RunProgram(const String& command) {
    // Narrowed, a unit above 0xFF would turn into another byte, perhaps a
    // quote or a space, and the line would start some other program.
    for (const char16_t unit : command.View()) {
        if (unit > 0xFF) return -1;
    }
    const std::string line = command.ToBytes();
    size_t rest = 0;
    const std::string name = ProgramName(line, rest);
    // A name cut short could be the name of another program.
    if (name.empty() || name.size() > kLongestProgramName || name.find('\0') != std::string::npos ||
        line.find('\0') != std::string::npos) {
        return -1;
    }
    std::vector<std::string> args = SplitArguments(line, rest);
    args.insert(args.begin(), name);
    return detail::SpawnAndWait(args);
}

int32_t detail::SpawnAndWait(const std::vector<std::string>& args, std::string* output) {
    if (args.empty()) return -1;
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int pipeEnds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output) {
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return -1;
        }
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    } else {
        // What we wrote so far comes before what the program writes.
        std::fflush(stdout);
        std::fflush(stderr);
    }
    pid_t pid = 0;
    const bool started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (output) {
        ::close(pipeEnds[1]);
        // Read to the end before waiting: a full pipe would stall the child.
        char buffer[4096];
        while (started) {
            const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
            if (n > 0) output->append(buffer, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR) break;
        }
        ::close(pipeEnds[0]);
    }
    if (!started) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// ---- initialiser ----

int InitFileSystem() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitMemBlocks();
    InitMemBlockStreams();
    detail::NoteModuleStarted("file system");
    return 0;
}

}  // namespace korva
