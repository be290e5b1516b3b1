// Checking gamepad mapping text before the controller layer sees it.
//
// A mapping line reads "GUID,name,field,field,...": 32 hexadecimal digits,
// a name, then fields "output:input" where the output is a button or axis
// of the standard layout (optionally "+" or "-" for half an axis) and the
// input a joystick button "b3", axis "a2" (optionally "+a2", "-a2", "a2~")
// or hat "h0.4"; the fields "platform:", "crc:", "hint:", "sdk>=:" and
// "sdk<=:" are passed on. The controller layer itself takes nearly any text
// and keeps what it half understands, so everything is checked here first.
// No SDL header is needed here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korva::detail {

inline constexpr size_t kMaxMappingLineBytes = 1024;
inline constexpr int32_t kMaxMappingLines = 10000;
inline constexpr size_t kMaxMappingBytes = 4 * 1024 * 1024;

// Why a line is refused; empty when it is a mapping. `platform` receives the
// line's platform field (empty when it has none).
std::string CheckMappingLine(std::string_view line, std::string_view* platform = nullptr);

struct MappingText {
    std::string refusal;               // the whole text is refused: why (nothing taken)
    std::vector<std::string> lines;    // mappings for this platform, in order
    int32_t refused = 0;               // lines refused
    int32_t firstRefusedLine = 0;      // 1-based
    std::string firstReason;
};

// Splits a mapping text into lines (LF or CR LF), passes over blank lines,
// comments (#) and lines for a platform other than `platform`, and checks
// the rest. A text over kMaxMappingBytes or kMaxMappingLines is refused whole.
MappingText SplitMappingText(std::string_view text, std::string_view platform);

}  // namespace korva::detail
