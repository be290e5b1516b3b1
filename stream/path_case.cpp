// ResolvePathCase: finding a path on a case-sensitive file system whatever
// the case it was written in.
#include <dirent.h>
#include <sys/stat.h>

#include <string>

#include "korvagl/stream/file_system.h"
#include "korvagl/stream/stream.h"

namespace korva {
namespace {

using detail::NativePath;

String AsciiLower(const String& text) {
    std::u16string units(text.View());
    for (char16_t& c : units) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return String(units);
}

bool IsFileOrDirectory(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 &&
           (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode));
}

// The entry of `dir` whose name equals `name` ignoring ASCII case, or "".
String FindEntry(const String& dir, const String& name) {
    const std::string native = NativePath(dir);
    if (native.empty()) return String();
    DIR* listing = ::opendir(native.c_str());
    if (!listing) return String();
    const String wanted = AsciiLower(name);
    String found;
    while (const dirent* entry = ::readdir(listing)) {
        const String candidate(entry->d_name);
        if (AsciiLower(candidate) == wanted) {
            found = candidate;
            break;
        }
    }
    ::closedir(listing);
    return found;
}

}  // namespace

String ResolvePathCase(const String& path) {
    const String p = path.ReplaceAll("\\", "/");
    if (IsFileOrDirectory(NativePath(p))) return p;

    // The last "/" that is not the final character.
    int32_t i = p.Length() - 2;
    while (i >= 0 && p[i] != u'/') --i;
    if (i > 0) {
        const String dir = ResolvePathCase(p.Substring(0, i));
        if (dir.IsEmpty()) return String();
        const String entry = FindEntry(dir, p.Substring(dir.Length() + 1, p.Length()));
        return entry.IsEmpty() ? String() : dir + "/" + entry;
    }
    if (i == 0) {
        // One name below the root.
        const String entry = FindEntry("/", p.Substring(1, p.Length()));
        return entry.IsEmpty() ? String() : String("/") + entry;
    }
    return FindEntry(".", p);
}

}  // namespace korva
