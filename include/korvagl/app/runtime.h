// KorvaGL: the runtime in one include.
#pragma once

#include "korvagl/app/embedded_data.h"
#include "korvagl/app/faults.h"
#include "korvagl/app/handles.h"
#include "korvagl/app/last_error.h"
#include "korvagl/app/math.h"
#include "korvagl/app/modules.h"
#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
