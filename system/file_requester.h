// The file requester of the SDL platform driver, over zenity. The command
// line is plain data so that it can be checked without a display.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "korvagl/app/string.h"

namespace korva::detail {

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
