// KorvaGL: the one header a program includes. Everything is in namespace korva.
#pragma once

#include "korvagl/app/runtime.h"
#include "korvagl/app/startup.h"

#include "korvagl/system/frame_timer.h"
#include "korvagl/system/joystick.h"
#include "korvagl/system/platform_driver.h"
#include "korvagl/system/sdl_platform_driver.h"
#include "korvagl/system/system_api.h"
#include "korvagl/util/linked_list.h"
#include "korvagl/util/ordered_map.h"
#include "korvagl/util/random.h"
#include "korvagl/util/string_helpers.h"
