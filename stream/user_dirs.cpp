// The user's own directories for a program's saves and settings, after the
// XDG base-directory rules.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "korvagl/app/last_error.h"
#include "korvagl/stream/file_system.h"

namespace korva {
namespace {

// An application name becomes one directory name: nothing that could climb
// out of the base directory, name the base itself, or lose units on the way
// to an 8-bit file name.
bool ValidAppName(const String& name) {
    if (name.IsEmpty() || name == "." || name == "..") return false;
    for (const char16_t unit : name.View()) {
        if (unit == 0 || unit > 0xFF || unit == u'/' || unit == u'\\') return false;
    }
    return true;
}

// The home directory: $HOME, else the user database's entry; empty when
// neither gives an absolute path.
std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    char buffer[4096];
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return std::string();
}

// $variable when it holds an absolute path (a relative one is ignored, as
// the rules ask), else `fallback` under the home directory; without the
// trailing "/" (the root stays "/"). Empty when there is no home directory.
std::string BaseDirectory(const char* variable, const char* fallback) {
    std::string base;
    if (const char* value = std::getenv(variable); value && value[0] == '/') {
        base = value;
    } else {
        base = HomeDirectory();
        if (base.empty()) return base;
        base += fallback;
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base;
}

// Makes `path` and every missing directory above it, readable by the user
// alone. 0 when `path` is a directory afterwards, else the error number.
int MakeDirectories(const std::string& path) {
    int error = 0;
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) error = errno;
        if (at == std::string::npos) break;
    }
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    return error ? error : ENOENT;
}

String UserDirectory(const String& appName, const char* variable, const char* fallback) {
    const auto fail = [&](const String& reason) {
        detail::SetLastErrorText("no user directory for " + detail::Quoted(appName) + ": " + reason);
        return String();
    };
    if (!ValidAppName(appName)) return fail("not a valid application name");
    const std::string base = BaseDirectory(variable, fallback);
    if (base.empty()) return fail("no home directory (HOME is not set)");
    const std::string path = (base == "/" ? std::string() : base) + "/" + appName.ToBytes();
    if (const int error = MakeDirectories(path)) {
        detail::SetLastErrorText("cannot make " + detail::Quoted(String(path)) + ": " + std::strerror(error));
        return String();
    }
    detail::ClearLastErrorText();
    return String(path);
}

}  // namespace

String UserDataDir(const String& appName) { return UserDirectory(appName, "XDG_DATA_HOME", "/.local/share"); }
String UserConfigDir(const String& appName) { return UserDirectory(appName, "XDG_CONFIG_HOME", "/.config"); }

}  // namespace korva
