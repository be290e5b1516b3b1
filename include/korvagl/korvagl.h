// KorvaGL: the one header a program includes. Everything is in namespace korva.
#pragma once

#include "korvagl/app/runtime.h"
#include "korvagl/app/startup.h"
#include "korvagl/stream/console.h"
#include "korvagl/stream/endian_stream.h"
#include "korvagl/stream/file_stream.h"
#include "korvagl/stream/file_system.h"
#include "korvagl/stream/http_stream.h"
#include "korvagl/stream/mem_block.h"
#include "korvagl/stream/memory_stream.h"
#include "korvagl/stream/socket.h"
#include "korvagl/stream/stream.h"
#include "korvagl/stream/tcp_stream.h"

#include "korvagl/pixmap/pixel_format.h"
#include "korvagl/pixmap/pixmap.h"
#include "korvagl/pixmap/pixmap_decoder.h"
#include "korvagl/pixmap/bmp_decoder.h"
#include "korvagl/pixmap/jpeg_decoder.h"
#include "korvagl/pixmap/png_decoder.h"
#include "korvagl/pixmap/tga_decoder.h"

#include "korvagl/system/frame_timer.h"
#include "korvagl/system/joystick.h"
#include "korvagl/system/platform_driver.h"
#include "korvagl/system/sdl_platform_driver.h"
#include "korvagl/system/system_api.h"

#include "korvagl/util/linked_list.h"
#include "korvagl/util/ordered_map.h"
#include "korvagl/util/random.h"
#include "korvagl/util/string_helpers.h"

#include "korvagl/script/lua_binding.h"
#include "korvagl/script/script_engine.h"
