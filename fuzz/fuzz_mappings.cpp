// Arbitrary bytes as a gamepad mapping text: split into lines and checked
// field by field, as AddGamepadMappings does before the controller layer
// sees anything. Every line taken must pass the line check again, fit the
// line limit and hold no control character; nothing is taken from a text
// refused whole.
#include <cstdlib>
#include <string_view>

#include "system/gamepad_mappings.h"

using namespace korva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const detail::MappingText result = detail::SplitMappingText(text, "Linux");
    if (!result.refusal.empty() && (!result.lines.empty() || result.refused != 0)) std::abort();
    if (result.refused > 0 && (result.firstRefusedLine < 1 || result.firstReason.empty())) std::abort();
    if (result.lines.size() > size_t(detail::kMaxMappingLines)) std::abort();
    for (const std::string& line : result.lines) {
        if (line.size() > detail::kMaxMappingLineBytes || !detail::CheckMappingLine(line).empty()) std::abort();
        for (const char c : line) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
        }
    }
    return 0;
}
