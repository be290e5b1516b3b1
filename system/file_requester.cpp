// The file requester over zenity, run as a child process without a shell.
#include "system/file_requester.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "korvagl/stream/file_system.h"

namespace korva::detail {
namespace {

// The filter rewritten into the list form of the Windows file dialogs, with
// '\0' between the parts: "Desc\0*.a;*.b\0Desc\0*.c\0".
std::u16string FilterList(const String& filter) {
    std::u16string text(filter.View());
    if (text.find(u':') == std::u16string::npos) text = std::u16string(u"Files") + u'\0' + u"*." + text;
    std::u16string list;
    for (char16_t c : text) {
        if (c == u':') list += std::u16string(1, u'\0') + u"*.";
        else list += c;
    }
    std::u16string split;
    for (char16_t c : list) split += c == u';' ? u'\0' : c;
    std::u16string out;
    for (char16_t c : split) {
        if (c == u',') out += u";*.";
        else out += c;
    }
    out += u'\0';
    return out;
}

// Zenity reads "Name | pattern pattern"; a '|' inside the name would end it early.
std::string ZenityFilter(const String& description, const String& patterns) {
    std::string name = description.ToUtf8();
    for (char& c : name) {
        if (c == '|') c = '/';
    }
    std::string line = name + " |";
    const std::string all = patterns.ToBytes();
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(';', start);
        if (end == std::string::npos) end = all.size();
        if (end > start) line += " " + all.substr(start, end - start);
        start = end + 1;
    }
    return line;
}

bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string_view dirs(path);
    while (true) {
        const size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + program;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return true;
        if (colon == std::string_view::npos) return false;
        dirs.remove_prefix(colon + 1);
    }
}

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

}  // namespace

std::vector<std::pair<String, String>> ParseFileFilter(const String& filter) {
    std::vector<std::pair<String, String>> pairs;
    if (filter.IsEmpty()) return pairs;
    const std::u16string list = FilterList(filter);
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start < list.size()) {
        const size_t end = list.find(u'\0', start);
        parts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    // An entry without its pattern part ends the list, as in the Windows dialogs.
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) break;
        pairs.emplace_back(String(parts[i]), String(parts[i + 1]));
    }
    return pairs;
}

std::vector<std::string> ZenityArguments(const String& title, const String& filter, int32_t save,
                                         const String& path) {
    std::vector<std::string> args = {"zenity", "--file-selection"};
    if (!title.IsEmpty()) args.push_back("--title=" + title.ToUtf8());
    if (save) {
        args.push_back("--save");
        args.push_back("--confirm-overwrite");
    }
    // The suggested name as the file layer names it; one that names no file
    // is left out rather than narrowed.
    if (const std::string name = NativePath(path); !name.empty()) args.push_back("--filename=" + name);
    for (const auto& [description, patterns] : ParseFileFilter(filter))
        args.push_back("--file-filter=" + ZenityFilter(description, patterns));
    return args;
}

bool ZenityAvailable() {
    return OnPath("zenity") && (Named("DISPLAY") || Named("WAYLAND_DISPLAY"));
}

String RunZenity(const std::vector<std::string>& args) {
    std::string chosen;
    if (SpawnAndWait(args, &chosen) != 0) return String();
    // One path and a line end; the path is kept as its bytes, like every file name.
    const size_t end = chosen.find('\n');
    if (end != std::string::npos) chosen.resize(end);
    return String(chosen);
}

}  // namespace korva::detail
