// Input recordings as text, one event a line.
#include "system/input_record_format.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace korva::detail {
namespace {

constexpr const char* kHeader = "korvagl-input";
constexpr int kVersion = 1;
constexpr size_t kMostLine = 4096;
constexpr uint64_t kMostFrame = uint64_t{1} << 40;
constexpr size_t kMostEvents = 50'000'000;

const char* WindowName(int32_t code) {
    switch (code) {
        case kWindowClose: return "close";
        case kWindowFocus: return "focus";
        default: return "blur";
    }
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The words of a line, and the quoted text of a text event.
class Line {
public:
    explicit Line(std::string_view text) : rest_(text) {}

    bool Word(std::string_view& word) {
        Skip();
        if (rest_.empty()) return false;
        size_t n = 0;
        while (n < rest_.size() && rest_[n] != ' ' && rest_[n] != '\t') ++n;
        word = rest_.substr(0, n);
        rest_.remove_prefix(n);
        return true;
    }
    bool AtEnd() {
        Skip();
        return rest_.empty();
    }
    // True when the next word starts with `c`.
    bool Next(char c) {
        Skip();
        return !rest_.empty() && rest_[0] == c;
    }
    // A double-quoted text with \" \\ and \xHH escapes.
    bool Quoted(std::string& out, std::string& error) {
        Skip();
        if (rest_.empty() || rest_[0] != '"') return Fail(error, "text must be quoted");
        size_t i = 1;
        for (; i < rest_.size() && rest_[i] != '"'; ++i) {
            if (rest_[i] != '\\') {
                out += rest_[i];
                continue;
            }
            if (++i >= rest_.size()) break;
            if (rest_[i] == '"' || rest_[i] == '\\') {
                out += rest_[i];
            } else if (rest_[i] == 'x' && i + 2 < rest_.size()) {
                unsigned value = 0;
                const auto r = std::from_chars(rest_.data() + i + 1, rest_.data() + i + 3, value, 16);
                if (r.ec != std::errc() || r.ptr != rest_.data() + i + 3) return Fail(error, "bad \\x escape");
                out += static_cast<char>(value);
                i += 2;
            } else {
                return Fail(error, "unknown escape in text");
            }
        }
        if (i >= rest_.size()) return Fail(error, "text has no closing quote");
        rest_.remove_prefix(i + 1);
        return true;
    }

private:
    void Skip() {
        while (!rest_.empty() && (rest_[0] == ' ' || rest_[0] == '\t')) rest_.remove_prefix(1);
    }
    static bool Fail(std::string& error, const char* reason) {
        error = reason;
        return false;
    }
    std::string_view rest_;
};

template <typename T>
bool Number(std::string_view word, T& value, T least, T most) {
    T v{};
    const auto r = std::from_chars(word.data(), word.data() + word.size(), v);
    if (r.ec != std::errc() || r.ptr != word.data() + word.size() || v < least || v > most) return false;
    value = v;
    return true;
}

// A whole-number field; "name=" prefixed when `name` is given.
bool Field(Line& line, int32_t& value, int32_t least, int32_t most, std::string& error, const char* what,
           std::string_view name = {}) {
    std::string_view word;
    if (!line.Word(word)) {
        error = std::string("missing ") + what;
        return false;
    }
    if (!name.empty()) {
        if (word.substr(0, name.size()) != name || word.size() <= name.size() || word[name.size()] != '=') {
            error = std::string("expected ") + std::string(name) + "=";
            return false;
        }
        word.remove_prefix(name.size() + 1);
    }
    if (!Number(word, value, least, most)) {
        error = std::string(what) + " out of range or not a number";
        return false;
    }
    return true;
}

// An optional last word `name`: sets `flag` when present.
bool Flag(Line& line, std::string_view name, bool& flag, std::string& error) {
    std::string_view word;
    if (!line.Word(word)) return true;
    if (word != name) {
        error = "expected " + std::string(name) + " or the line's end";
        return false;
    }
    flag = true;
    return true;
}

bool UpDown(Line& line, bool& down, std::string& error) {
    std::string_view word;
    if (!line.Word(word) || (word != "down" && word != "up")) {
        error = "expected down or up";
        return false;
    }
    down = word == "down";
    return true;
}

// "axes=A,B,C,D,E,F": a pad's six axes.
bool PadAxes(Line& line, std::array<int32_t, 6>& axes, std::string& error) {
    std::string_view word;
    if (!line.Word(word) || word.substr(0, 5) != "axes=") {
        error = "expected axes=";
        return false;
    }
    word.remove_prefix(5);
    for (size_t i = 0; i < axes.size(); ++i) {
        const size_t comma = i + 1 < axes.size() ? word.find(',') : word.size();
        if (comma == std::string_view::npos || !Number(word.substr(0, comma), axes[i], -32768, 32767)) {
            error = "axes must be six values of -32768 to 32767";
            return false;
        }
        word.remove_prefix(std::min(comma + 1, word.size()));
    }
    return true;
}

// "guid=HEX": up to 32 hex digits.
bool Guid(Line& line, std::string& guid, std::string& error) {
    std::string_view word;
    if (!line.Word(word) || word.substr(0, 5) != "guid=") {
        error = "expected guid=";
        return false;
    }
    word.remove_prefix(5);
    const bool hex = word.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
    if (!hex || word.size() > 32) {
        error = "guid must be up to 32 hex digits";
        return false;
    }
    guid = std::string(word);
    return true;
}

// "F" or "F.P".
bool When(std::string_view word, RecordedEvent& event) {
    const size_t dot = word.find('.');
    if (!Number(word.substr(0, dot), event.frame, uint64_t{0}, kMostFrame)) return false;
    event.pump = 0;
    return dot == std::string_view::npos || Number(word.substr(dot + 1), event.pump, 0u, 0xFFFFFFFFu);
}

constexpr const char* kAxisNames[kJoystickAxes] = {"x", "y", "z", "r", "u", "v"};

bool Refuse(std::string& error, const char* reason) {
    error = reason;
    return false;
}

// "at=K": which joystick query within the pump read the state.
bool JoystickQuery(std::string_view word, int32_t& query, std::string& error) {
    if (word.substr(0, 3) != "at=") return Refuse(error, "expected at= or the line's end");
    if (!Number(word.substr(3), query, 1, 0x7FFFFFFF))
        return Refuse(error, "joystick query out of range or not a number");
    return true;
}

// An axis "POSITION" or "POSITION/MINIMUM/MAXIMUM" (the range 0/65535 when left out).
bool JoystickAxis(std::string_view value, JoystickReading& reading, int axis) {
    uint32_t parts[3] = {0, 0, 65535};
    int n = 0;
    for (;;) {
        const size_t slash = value.find('/');
        if (n == 3 || !Number(value.substr(0, slash), parts[n], 0u, 0xFFFFFFFFu)) return false;
        ++n;
        if (slash == std::string_view::npos) break;
        value.remove_prefix(slash + 1);
    }
    if (n == 2) return false;
    reading.axisPositions[axis] = parts[0];
    reading.axisMinimum[axis] = n == 3 ? parts[1] : 0;
    reading.axisMaximum[axis] = n == 3 ? parts[2] : 65535;
    reading.reportedAxes |= 1u << axis;
    return true;
}

// "count N", "PORT absent" or "PORT "NAME" buttons=M axes=M held=B [x=..] .. [hat=H]",
// each with an optional at=K.
bool ParseJoystick(Line& line, RecordedEvent& e, std::string& error) {
    std::string_view word;
    if (!line.Word(word)) return Refuse(error, "missing joystick port");
    if (word == "count") {
        e.kind = InputKind::JoyCount;
        if (!Field(line, e.x, 0, kJoystickDevicePorts, error, "joystick count")) return false;
        return !line.Word(word) || JoystickQuery(word, e.code, error);
    }
    e.kind = InputKind::JoyPort;
    if (!Number(word, e.which, 0, kJoystickDevicePorts - 1))
        return Refuse(error, "joystick port out of range or not a number");
    if (!line.Next('"')) {
        if (!line.Word(word) || word != "absent") return Refuse(error, "expected a quoted joystick name or absent");
        return !line.Word(word) || JoystickQuery(word, e.code, error);
    }
    auto state = std::make_shared<JoystickPortState>();
    state->present = true;
    if (!line.Quoted(state->name, error)) return false;
    if (state->name.size() > kMostJoystickName) return Refuse(error, "joystick name longer than 255 bytes");
    constexpr int32_t kMost = 0x7FFFFFFF, kLeast = -kMost - 1;
    if (!Field(line, state->buttonMask, kLeast, kMost, error, "button mask", "buttons") ||
        !Field(line, state->axisMask, kLeast, kMost, error, "axis mask", "axes"))
        return false;
    if (!line.Word(word) || word.substr(0, 5) != "held=" ||
        !Number(word.substr(5), state->reading.buttons, 0u, 0xFFFFFFFFu))
        return Refuse(error, "expected held= with the buttons down");
    // Then the axes the reading has, the hat and the query, in that order.
    int next = 0;
    while (line.Word(word)) {
        const size_t eq = word.find('=');
        const std::string_view key = word.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : word.substr(eq + 1);
        // The field's place: the six axes, the hat, then the query.
        int slot = 0;
        while (slot < kJoystickAxes && key != kAxisNames[slot]) ++slot;
        if (slot == kJoystickAxes && key != "hat") slot = kJoystickAxes + 1;
        if (slot < next) return Refuse(error, "joystick fields out of order: x y z r u v hat at");
        next = slot + 1;
        if (slot < kJoystickAxes) {
            if (!JoystickAxis(value, state->reading, slot))
                return Refuse(error, "joystick axis out of range or not a number");
        } else if (slot == kJoystickAxes) {
            if (!Number(value, state->reading.hat, 0u, 0xFFFFFFFFu))
                return Refuse(error, "joystick hat out of range or not a number");
            state->reading.hatReported = true;
        } else {
            if (!JoystickQuery(word, e.code, error)) return false;
            break;  // the line must end here
        }
    }
    e.joy = std::move(state);
    return true;
}

bool ParseEvent(Line& line, std::string_view kind, RecordedEvent& e, std::string& error) {
    constexpr int32_t kMost = 0x7FFFFFFF, kLeast = -kMost - 1;
    if (kind == "key") {
        e.kind = InputKind::Key;
        if (!UpDown(line, e.down, error) || !Field(line, e.code, 0, 511, error, "scancode") ||
            !Field(line, e.mod, 0, 0xFFFF, error, "modifiers", "mod") || !Flag(line, "repeat", e.flag, error))
            return false;
    } else if (kind == "text") {
        e.kind = InputKind::Text;
        if (!line.Quoted(e.text, error)) return false;
        if (e.text.empty() || e.text.size() > 31) {
            error = "text must hold 1 to 31 bytes";
            return false;
        }
    } else if (kind == "motion") {
        e.kind = InputKind::Motion;
        if (!Field(line, e.x, kLeast, kMost, error, "x") || !Field(line, e.y, kLeast, kMost, error, "y")) return false;
    } else if (kind == "button") {
        e.kind = InputKind::Button;
        if (!UpDown(line, e.down, error) || !Field(line, e.code, 1, 255, error, "button") ||
            !Field(line, e.x, kLeast, kMost, error, "x") || !Field(line, e.y, kLeast, kMost, error, "y"))
            return false;
    } else if (kind == "wheel") {
        e.kind = InputKind::Wheel;
        if (!Field(line, e.x, -1000000, 1000000, error, "x") || !Field(line, e.y, -1000000, 1000000, error, "y") ||
            !Flag(line, "flipped", e.flag, error))
            return false;
    } else if (kind == "window") {
        e.kind = InputKind::Window;
        std::string_view word;
        line.Word(word);
        if (word == "close") e.code = kWindowClose;
        else if (word == "focus") e.code = kWindowFocus;
        else if (word == "blur") e.code = kWindowBlur;
        else {
            error = "expected close, focus or blur";
            return false;
        }
    } else if (kind == "pad") {
        std::string_view word;
        line.Word(word);
        if (word == "button") {
            e.kind = InputKind::PadButton;
            if (!UpDown(line, e.down, error) || !Field(line, e.which, 0, kMost, error, "pad") ||
                !Field(line, e.code, 0, 255, error, "button"))
                return false;
        } else if (word == "axis") {
            e.kind = InputKind::PadAxis;
            if (!Field(line, e.which, 0, kMost, error, "pad") || !Field(line, e.code, 0, 255, error, "axis") ||
                !Field(line, e.x, -32768, 32767, error, "axis value"))
                return false;
        } else {
            error = "expected pad button or pad axis";
            return false;
        }
    } else if (kind == "pad-arrive" || kind == "pad-remap") {
        e.kind = kind == "pad-arrive" ? InputKind::PadArrive : InputKind::PadRemap;
        int32_t mapped = 0;
        if (!Field(line, e.which, 0, kMost, error, "pad") || !Field(line, e.code, 0, 255, error, "type", "type") ||
            !Field(line, mapped, 0, 1, error, "mapped", "mapped") ||
            !Field(line, e.mod, 0, (1 << 21) - 1, error, "held buttons", "held") || !PadAxes(line, e.axes, error) ||
            !Guid(line, e.guid, error) || !line.Quoted(e.text, error))
            return false;
        e.flag = mapped != 0;
        if (e.text.size() > 255) {
            error = "a pad's name holds at most 255 bytes";
            return false;
        }
    } else if (kind == "pad-leave") {
        e.kind = InputKind::PadLeave;
        if (!Field(line, e.which, 0, kMost, error, "pad")) return false;
    } else if (kind == "joy") {
        if (!ParseJoystick(line, e, error)) return false;
    } else if (kind == "seed") {
        e.kind = InputKind::Seed;
        if (!Field(line, e.x, kLeast, kMost, error, "seed")) return false;
    } else if (kind == "end") {
        e.kind = InputKind::End;
    } else {
        // A kind from a later version: its fields are not checked.
        for (const char c : kind) {
            if (!((c >= 'a' && c <= 'z') || c == '-' || c == '_')) {
                error = "bad event kind";
                return false;
            }
        }
        e.kind = InputKind::Unknown;
        e.text = std::string(kind);
        return true;
    }
    if (!line.AtEnd()) {
        error = "unexpected text after the event";
        return false;
    }
    return true;
}

// A line without its comment (from " #" or a leading "#").
std::string_view WithoutComment(std::string_view line) {
    if (!line.empty() && line[0] == '#') return {};
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (quoted && line[i] == '\\') {
            ++i;  // an escaped character, perhaps a quote
        } else if (line[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && line[i] == '#' && (line[i - 1] == ' ' || line[i - 1] == '\t')) {
            return line.substr(0, i);
        }
    }
    return line;
}

// A port's state as its line's fields.
std::string JoystickFields(const JoystickPortState* state) {
    if (!state || !state->present) return " absent";
    const JoystickReading& r = state->reading;
    std::string out = " " + Quote(state->name) + " buttons=" + std::to_string(state->buttonMask) +
                      " axes=" + std::to_string(state->axisMask) + " held=" + std::to_string(r.buttons);
    for (int a = 0; a < kJoystickAxes; ++a) {
        if (!(r.reportedAxes & (1u << a))) continue;
        out += std::string(" ") + kAxisNames[a] + "=" + std::to_string(r.axisPositions[a]);
        if (r.axisMinimum[a] != 0 || r.axisMaximum[a] != 65535)
            out += "/" + std::to_string(r.axisMinimum[a]) + "/" + std::to_string(r.axisMaximum[a]);
    }
    if (r.hatReported) out += " hat=" + std::to_string(r.hat);
    return out;
}

std::string JoystickQueryField(int32_t query) { return query > 0 ? " at=" + std::to_string(query) : ""; }

}  // namespace

std::string FormatRecordedEvent(const RecordedEvent& e) {
    std::string out = std::to_string(e.frame);
    if (e.pump != 0) out += "." + std::to_string(e.pump);
    const auto n = [](int32_t v) { return " " + std::to_string(v); };
    const char* dir = e.down ? " down" : " up";
    switch (e.kind) {
        case InputKind::Key:
            out += std::string(" key") + dir + n(e.code) + " mod=" + std::to_string(e.mod);
            if (e.flag) out += " repeat";
            break;
        case InputKind::Text: out += " text " + Quote(e.text); break;
        case InputKind::Motion: out += " motion" + n(e.x) + n(e.y); break;
        case InputKind::Button: out += std::string(" button") + dir + n(e.code) + n(e.x) + n(e.y); break;
        case InputKind::Wheel:
            out += " wheel" + n(e.x) + n(e.y);
            if (e.flag) out += " flipped";
            break;
        case InputKind::Window: out += std::string(" window ") + WindowName(e.code); break;
        case InputKind::PadButton: out += std::string(" pad button") + dir + n(e.which) + n(e.code); break;
        case InputKind::PadAxis: out += " pad axis" + n(e.which) + n(e.code) + n(e.x); break;
        case InputKind::PadArrive:
        case InputKind::PadRemap: {
            out += e.kind == InputKind::PadArrive ? " pad-arrive" : " pad-remap";
            out += n(e.which) + " type=" + std::to_string(e.code) + " mapped=" + (e.flag ? "1" : "0") +
                   " held=" + std::to_string(e.mod) + " axes=";
            for (size_t i = 0; i < e.axes.size(); ++i) out += (i ? "," : "") + std::to_string(e.axes[i]);
            out += " guid=" + e.guid + " " + Quote(e.text);
            break;
        }
        case InputKind::PadLeave: out += " pad-leave" + n(e.which); break;
        case InputKind::JoyCount: out += " joy count" + n(e.x) + JoystickQueryField(e.code); break;
        case InputKind::JoyPort:
            out += " joy" + n(e.which) + JoystickFields(e.joy.get()) + JoystickQueryField(e.code);
            break;
        case InputKind::Seed: out += " seed" + n(e.x); break;
        case InputKind::End: out += " end"; break;
        case InputKind::Unknown: out += " " + e.text; break;
    }
    return out;
}

std::string FormatRecordingHeader(int32_t frameMs, int32_t seed) {
    return std::string(kHeader) + " " + std::to_string(kVersion) + "\nframe-ms " + std::to_string(frameMs) +
           "\nseed " + std::to_string(seed) + "\n";
}

std::string FormatRecording(const InputRecording& recording) {
    std::string out = FormatRecordingHeader(recording.frameMs, recording.seed);
    for (const RecordedEvent& e : recording.events) out += FormatRecordedEvent(e) + "\n";
    return out;
}

bool ParseRecording(const std::string& text, InputRecording& recording, std::string& error) {
    recording = {};
    size_t start = 0;
    int lineNumber = 0;
    int headerLines = 0;  // header, frame-ms, seed: in that order
    uint64_t lastFrame = 0;
    uint32_t lastPump = 0;
    int32_t lastQuery = -1;  // the last joystick line's query at lastFrame.lastPump
    const auto refuse = [&](const std::string& reason) {
        error = "line " + std::to_string(lineNumber) + ": " + reason;
        return false;
    };
    while (start < text.size()) {
        ++lineNumber;
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) return refuse("truncated (the last line has no line end)");
        std::string_view raw(text.data() + start, end - start);
        start = end + 1;
        if (raw.size() > kMostLine) return refuse("line too long");
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        if (raw.find('\0') != std::string_view::npos) return refuse("NUL byte in the line");
        Line line(WithoutComment(raw));
        std::string_view word;
        if (!line.Word(word)) continue;  // blank or comment only
        if (headerLines == 0) {
            int version = 0;
            std::string_view v;
            if (word != kHeader || !line.Word(v) || !line.AtEnd()) return refuse("not a korvagl-input recording");
            if (!Number(v, version, 1, 1000000)) return refuse("bad version");
            if (version > kVersion) return refuse("version " + std::string(v) + " is newer than this reader (1)");
            headerLines = 1;
            continue;
        }
        if (headerLines == 1) {
            if (word != "frame-ms") return refuse("expected frame-ms");
            if (!Field(line, recording.frameMs, 1, kMostFrameMs, error, "frame-ms") || !line.AtEnd())
                return refuse(error.empty() ? "unexpected text after frame-ms" : error);
            headerLines = 2;
            continue;
        }
        if (headerLines == 2) {
            if (word != "seed") return refuse("expected seed");
            if (!Field(line, recording.seed, -0x7FFFFFFF - 1, 0x7FFFFFFF, error, "seed") || !line.AtEnd())
                return refuse(error.empty() ? "unexpected text after seed" : error);
            headerLines = 3;
            continue;
        }
        RecordedEvent e;
        if (!When(word, e)) return refuse("bad frame number");
        if (e.frame < lastFrame || (e.frame == lastFrame && e.pump < lastPump))
            return refuse("events must not go back in time");
        if (e.frame != lastFrame || e.pump != lastPump) lastQuery = -1;
        lastFrame = e.frame;
        lastPump = e.pump;
        std::string_view kind;
        if (!line.Word(kind)) return refuse("missing event kind");
        error.clear();
        if (!ParseEvent(line, kind, e, error)) return refuse(error);
        if (e.kind == InputKind::JoyCount || e.kind == InputKind::JoyPort) {
            if (e.code < lastQuery) return refuse("joystick readings must not go back in time");
            lastQuery = e.code;
        }
        if (recording.events.size() >= kMostEvents) return refuse("too many events");
        if (!recording.events.empty() && recording.events.back().kind == InputKind::End)
            return refuse("event after the end");
        recording.events.push_back(std::move(e));
    }
    if (headerLines < 3) {
        ++lineNumber;
        return refuse(headerLines == 0 ? "empty file: not a korvagl-input recording" : "truncated header");
    }
    error.clear();
    return true;
}

}  // namespace korva::detail
