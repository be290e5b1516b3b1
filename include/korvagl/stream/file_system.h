// KorvaGL: files and directories.
//
// Paths are text passed to the system as 8-bit strings; every backslash is
// turned into "/" first, and "/" is the only separator produced. Each code
// unit becomes one byte, so a path holding a unit above 0xFF (or a NUL) has
// no 8-bit form: every call that names a file with it refuses it and reports
// its documented failure, so such text never reaches a different file. Relative
// paths resolve against the current directory, which start-up sets to the
// program's own directory. Nothing here raises for a failed operation: the
// results say 0, -1, the empty string, an empty array or the null object.
// The make and remove functions judge success by the state of the file
// system afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "korvagl/stream/stream.h"

namespace korva {

inline constexpr int32_t FILE_KIND_NONE = 0;
inline constexpr int32_t FILE_KIND_FILE = 1;
inline constexpr int32_t FILE_KIND_DIRECTORY = 2;

// 0 when missing (or neither kind), 1 for a regular file, 2 for a directory.
int32_t FileKind(const String& path);
// Seconds since 1970-01-01 UTC of the last change; 0 when missing.
int32_t FileModifiedTime(const String& path);
// -1 when missing; at most 2^31 - 1.
int32_t FileByteSize(const String& path);
// The permission bits (mode & 0777); -1 when missing.
int32_t FilePermissions(const String& path);
// Sets the permission bits (mode & 0777); 0 on success, -1 on failure.
int32_t SetFilePermissions(const String& path, int32_t mode);
// Replaces the file at `path` (if any) by an empty one; 1 when `path` is
// then a regular file.
int32_t MakeEmptyFile(const String& path);
// One level only: parents are not created. 1 when `path` is then a directory.
int32_t MakeDirectory(const String& path);
// Removes a file (never a directory); 1 when nothing is at `path` afterwards.
int32_t RemoveFile(const String& path);
// 1 on success. An existing file at `to` is replaced.
int32_t RenamePath(const String& from, const String& to);
// Removes a directory, with everything in it when `recurse` is non-zero. The
// tree is walked by the names the system lists, relative to each opened
// directory: a symbolic link inside is removed, never followed, and no entry
// name can lead out of the tree. A symbolic link given as `path` itself is
// not a directory: it stays, its target is never entered, and the result is
// 0; so is a path ending in "." or "..". 1 when nothing is left at `path`.
int32_t DeleteDirectory(const String& path, int32_t recurse);
// The current directory; the empty string when it cannot be read.
String CurrentDirectory();
// 1 on success.
int32_t ChangeDirectory(const String& path);

// An open directory listing. Dropping it without CloseDirectory closes it.
class TDirectoryListing : public Object {
public:
    explicit TDirectoryListing(void* dir) : dir(dir) {}
    ~TDirectoryListing() override;
    TDirectoryListing(const TDirectoryListing&) = delete;
    TDirectoryListing& operator=(const TDirectoryListing&) = delete;
    // The next entry's name ("." and ".." included), or the empty string at the end.
    String Next();
    int32_t Close();

private:
    void* dir;  // the system's directory stream, null once closed
};

// The null object when `path` cannot be listed.
Ref<TDirectoryListing> OpenDirectory(const String& path);
String NextDirectoryEntry(const Ref<TDirectoryListing>& handle);
int32_t CloseDirectory(const Ref<TDirectoryListing>& handle);
// The names in `path` in the order the system lists them, without "." and
// ".." when `skipDots` is non-zero; an empty array when it cannot be listed.
StringArray ListDirectory(const String& path, int32_t skipDots);

// An absolute path without "." and ".." components. A drive prefix ("C:")
// is kept and its path starts at its root ("C:" gives "C:/", "C:x" gives
// "C:/x"); a path starting with "/" starts at the root; any other path starts
// at the current directory. Going above the root, or a path that names no
// file (see above), gives the empty string.
String AbsolutePath(const String& path);

// Every "\" turned into "/".
String NormaliseSlashes(const String& path);
// After the last "/", or the whole path.
String FileNamePart(const String& path);
// Without the last "." and what follows, when no "/" follows that ".".
String WithoutExtension(const String& path);
// FileNamePart(WithoutExtension(path)).
String BaseName(const String& path);
// Without one "/" at the very end.
String WithoutTrailingSlash(const String& path);
// Before the last "/", or the empty string.
String DirectoryPart(const String& path);
// After the last "." when no "/" follows it, or the empty string.
String ExtensionPart(const String& path);

// Opens a URL for random access: a stream with a position is returned as it
// is; one without (a socket, an HTTP body) is read to its end, closed, and
// replaced by a bank stream over a copy in memory, which can seek (and
// writes only to memory). The null object when the URL does not open.
Ref<TByteStream> OpenRandomAccess(const String& url, int32_t readable, int32_t writeable);
Ref<TByteStream> OpenRandomAccess(const Ref<Object>& url, int32_t readable, int32_t writeable);
Ref<TByteStream> OpenRandomAccessRead(const String& url);
Ref<TByteStream> OpenRandomAccessWrite(const String& url);
// Closes the stream. Returns 0.
int32_t CloseRandomAccess(const Ref<TByteStream>& stream);

// Where a program keeps its files for the user, after the XDG base-directory
// rules: UserDataDir("mygame") for saves and high scores is
// $XDG_DATA_HOME/mygame (by default ~/.local/share/mygame), UserConfigDir
// for settings $XDG_CONFIG_HOME/mygame (by default ~/.config/mygame). A
// relative XDG_*_HOME is ignored, as the rules ask. Every call makes the
// directory when it is missing, with the missing ones above it, readable by
// the user alone (mode 0700), and returns its path without a trailing "/".
// The empty string, with LastErrorText() saying why, for a name that would
// not stay one directory inside the base (empty, "." or "..", holding "/",
// "\", NUL or a unit above 0xFF), without a home directory, or when the
// directory cannot be made.
String UserDataDir(const String& appName);
String UserConfigDir(const String& appName);

// Starts a program and waits for it. The program name is the first word of
// `command` (or the text between the first pair of double quotes), looked up
// on the PATH; the command line is split into arguments with the Windows
// runtime's quoting rules (white space separates, double quotes group,
// backslashes escape only before a quote). No shell is involved. Returns the
// program's exit status, 128 + the signal number when a signal ended it, or
// -1 when it cannot be started, when the command holds a unit above 0xFF or a
// NUL, or when the program name is longer than 1023 bytes.
int32_t RunProgram(const String& command);

namespace detail {
// The 8-bit name the system is given for `path`: backslashes turned into "/",
// each unit narrowed to its byte. The empty string, which names no file, when
// the text holds a unit above 0xFF or a NUL. Every call that opens, lists or
// changes a file by a String name goes through this.
std::string NativePath(const String& path);
// NativePath for a loading call: when `path` names no file, also records
// `cannot open "path": not a valid file name` as the reason of the failure.
std::string NativePathToOpen(const String& path);
// Starts args[0], looked up on the PATH, with `args` (no shell) and waits
// for it. With `output` the program's standard output is collected there
// and its standard error goes to /dev/null (a tool's warnings are not the
// caller's output); without, both are the caller's. Returns the exit status,
// 128 + the signal number when a signal ended it, or -1 when it cannot be
// started.
int32_t SpawnAndWait(const std::vector<std::string>& args, std::string* output = nullptr);
}  // namespace detail

// Module initialiser.
int InitFileSystem();

}  // namespace korva
