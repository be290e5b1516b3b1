// The date and time texts of a given moment (DateText and TimeText use now).
#pragma once

#include <ctime>

#include "korvagl/app/string.h"

namespace korva::detail {

// "%d %b %Y" and "%H:%M:%S" of the moment in local time, English month names.
String DateTextAt(std::time_t moment);
String TimeTextAt(std::time_t moment);

}  // namespace korva::detail
