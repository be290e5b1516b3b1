// Mapping lines checked field by field, and mapping texts split into lines.
#include "system/gamepad_mappings.h"

#include <algorithm>
#include <array>

namespace korva::detail {
namespace {

constexpr std::array<std::string_view, 21> kButtonOutputs = {
    "a", "b", "x", "y", "back", "guide", "start", "leftstick", "rightstick", "leftshoulder", "rightshoulder",
    "dpup", "dpdown", "dpleft", "dpright", "misc1", "paddle1", "paddle2", "paddle3", "paddle4", "touchpad"};
constexpr std::array<std::string_view, 6> kAxisOutputs = {"leftx", "lefty", "rightx", "righty", "lefttrigger",
                                                          "righttrigger"};

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllOf(std::string_view text, bool (*test)(char)) { return std::all_of(text.begin(), text.end(), test); }

// 1 to `most` decimal digits.
bool Number(std::string_view text, size_t most) { return !text.empty() && text.size() <= most && AllOf(text, IsDigit); }

template <size_t N>
bool OneOf(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A joystick input: "b3", "a2", "+a2", "-a2", "a2~", "h0.4".
bool IsInput(std::string_view v) {
    if (v.empty()) return false;
    if (v[0] == 'b') return Number(v.substr(1), 3);
    if (v[0] == 'h') {
        const size_t dot = v.find('.');
        return dot != std::string_view::npos && Number(v.substr(1, dot - 1), 3) && Number(v.substr(dot + 1), 2);
    }
    if (v[0] == '+' || v[0] == '-') v.remove_prefix(1);
    if (!v.empty() && v.back() == '~') v.remove_suffix(1);
    return v.size() > 1 && v[0] == 'a' && Number(v.substr(1), 3);
}

// The field text as a reason quotes it, cut short.
std::string Shown(std::string_view field) {
    constexpr size_t kMost = 40;
    std::string shown = "\"" + std::string(field.substr(0, kMost));
    return shown + (field.size() > kMost ? "...\"" : "\"");
}

// Why one "key:value" field is refused, or "". Sets `output` for a button or axis.
std::string CheckField(std::string_view field, bool& output, std::string_view& platform) {
    const size_t colon = field.find(':');
    if (colon == std::string_view::npos) return "field " + Shown(field) + " is not name:value";
    std::string_view key = field.substr(0, colon);
    const std::string_view value = field.substr(colon + 1);
    if (key == "platform" || key == "hint") {
        if (value.empty()) return "field " + Shown(field) + " has no value";
        if (key == "platform") platform = value;
        return "";
    }
    if (key == "crc") {
        return value.size() == 4 && AllOf(value, IsHex) ? "" : "field " + Shown(field) + " is not crc:xxxx";
    }
    if (key == "sdk>=" || key == "sdk<=") return Number(value, 9) ? "" : "field " + Shown(field) + " is not a number";
    // Half of an axis may be an output ("+leftx:b3"); buttons are whole.
    const bool half = !key.empty() && (key[0] == '+' || key[0] == '-');
    if (half) key.remove_prefix(1);
    if (!OneOf(kAxisOutputs, key) && (half || !OneOf(kButtonOutputs, key)))
        return "field " + Shown(field) + " names no button or axis";
    if (!IsInput(value)) return "field " + Shown(field) + " maps to no joystick button, axis or hat";
    output = true;
    return "";
}

std::string_view Trimmed(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return line;
}

}  // namespace

std::string CheckMappingLine(std::string_view line, std::string_view* platformOut) {
    if (line.size() > kMaxMappingLineBytes) return "longer than " + std::to_string(kMaxMappingLineBytes) + " bytes";
    if (std::any_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return "a control character in the line";
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (fields[0].size() != 32 || !AllOf(fields[0], IsHex))
        return "GUID " + Shown(fields[0]) + " is not 32 hexadecimal digits";
    if (fields.size() < 2 || Trimmed(fields[1]).empty()) return "no name";
    if (fields.back().empty()) fields.pop_back();  // the usual trailing comma
    bool outputs = false;
    std::string_view platform;
    for (size_t i = 2; i < fields.size(); ++i) {
        if (fields[i].empty()) return "an empty field";
        if (std::string reason = CheckField(fields[i], outputs, platform); !reason.empty()) return reason;
    }
    if (!outputs) return "maps no button or axis";
    if (platformOut) *platformOut = platform;
    return "";
}

MappingText SplitMappingText(std::string_view text, std::string_view platform) {
    MappingText result;
    if (text.size() > kMaxMappingBytes) {
        result.refusal = "more than " + std::to_string(kMaxMappingBytes) + " bytes";
        return result;
    }
    if (std::count(text.begin(), text.end(), '\n') + (text.empty() || text.back() == '\n' ? 0 : 1) > kMaxMappingLines) {
        result.refusal = "more than " + std::to_string(kMaxMappingLines) + " lines";
        return result;
    }
    int32_t number = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') continue;
        std::string_view linePlatform;
        std::string reason = CheckMappingLine(line, &linePlatform);
        if (!reason.empty()) {
            if (result.refused++ == 0) {
                result.firstRefusedLine = number;
                result.firstReason = std::move(reason);
            }
            continue;
        }
        if (linePlatform.empty() || linePlatform == platform) result.lines.emplace_back(line);
    }
    return result;
}

}  // namespace korva::detail
