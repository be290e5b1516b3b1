// The message boxes of the SDL platform driver, over SDL. The descriptions
// are plain data so that their mapping can be checked without a display.
#pragma once

#include <cstdint>
#include <vector>

#include "korvagl/app/string.h"

namespace korva::detail {

enum class BoxKind { Notice, YesNo, YesNoCancel };

// Button ids as the Windows boxes report them.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

struct BoxButton {
    int id;
    const char* label;
    bool returnKey;  // chosen by Enter
    bool escapeKey;  // chosen by Escape
};

struct BoxSpec {
    const char* caption;
    bool warning;  // serious: warning icon, else information
    std::vector<BoxButton> buttons;  // left to right
};

BoxSpec DescribeBox(BoxKind kind, int32_t serious);
// The requester's result for the pressed button id (-1: the box failed or was closed).
int32_t BoxResult(BoxKind kind, int pressed);
// Shows the box, modal, owned by the window with the keyboard focus; gives
// the focus back afterwards. Returns the requester's result.
int32_t ShowBox(BoxKind kind, const String& text, int32_t serious);

}  // namespace korva::detail
