// KorvaGL: integer handles for objects.
//
// A handle is a small positive integer that stands for an object, for callers
// that keep integers rather than references (the demo keeps its image this
// way). 0 stands for the null object. Handles are never reused: a released
// handle reads as the null object for the rest of the process.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"

namespace korva {

// The object's handle (1, 2, 3, ...), the same on every later request while
// the handle is held; 0 for the null object. The table keeps a reference.
int32_t ObjectToHandle(const Ref<Object>& object);
// The object behind a handle, or the null object.
Ref<Object> HandleToObject(int32_t handle);
// Drops the table's reference; unknown handles are ignored.
void ReleaseHandle(int32_t handle);

}  // namespace korva
