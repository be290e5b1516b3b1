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

#include "korvagl/audio/audio_driver.h"
#include "korvagl/audio/sample.h"
#include "korvagl/audio/sample_decoders.h"
#include "korvagl/audio/sdl_audio.h"

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
