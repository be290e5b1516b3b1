// The dialog requesters of the SDL platform driver: message boxes over SDL,
// the file requester over zenity. The descriptions are plain data so that
// their mapping can be checked without a display.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
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

// The file kinds of a filter text, as (description, patterns) pairs:
// "Image Files:png,jpg;Text:txt" gives (Image Files, *.png;*.jpg) and
// (Text, *.txt); "png,jpg" gives (Files, *.png;*.jpg); "" gives none.
std::vector<std::pair<String, String>> ParseFileFilter(const String& filter);
// The zenity command line for a file requester (argument 0 is "zenity").
std::vector<std::string> ZenityArguments(const String& title, const String& filter, int32_t save,
                                         const String& path);
// True when zenity is on the PATH and the environment names a display.
bool ZenityAvailable();
// Runs zenity with `args`; the chosen path, or the empty string when the
// dialog was cancelled or failed.
String RunZenity(const std::vector<std::string>& args);

}  // namespace korva::detail
