// KorvaGL: the registry of data built into the program.
//
// Modules register blocks of bytes under a name at start-up (the default
// font among them); "incbin::name" URLs read them. Entries are never removed
// and a name registered again shadows the earlier entry. The data must live
// for the whole process.
#pragma once

#include <cstdint>

#include "korvagl/app/string.h"

namespace korva {

// Pushes a new entry at the head of the registry; returns 1.
int RegisterEmbeddedData(const String& name, const void* data, int32_t length);
// The data of the newest entry named exactly `name`, or null.
const void* EmbeddedDataAddress(const String& name);
// The length of that entry, or 0.
int32_t EmbeddedDataLength(const String& name);

}  // namespace korva
