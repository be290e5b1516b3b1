// How the console requesters read an answer line.
#pragma once

#include <cstdint>

#include "korvagl/app/string.h"

namespace korva::detail {

// 1 when the first character is "y" or "Y", else 0.
int32_t YesNoAnswer(const String& line);
// 1 for "y"/"Y", 0 for "n"/"N", -1 for anything else (an empty line too).
int32_t YesNoCancelAnswer(const String& line);

}  // namespace korva::detail
