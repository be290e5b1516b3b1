// KorvaGL: the one header a program includes. Everything is in namespace korva.
#pragma once

#include "korvagl/app/runtime.h"
#include "korvagl/app/startup.h"
#include "korvagl/pixmap/pixel_format.h"
#include "korvagl/pixmap/pixmap.h"
#include "korvagl/pixmap/pixmap_decoder.h"
#include "korvagl/pixmap/bmp_decoder.h"
#include "korvagl/pixmap/jpeg_decoder.h"
#include "korvagl/pixmap/png_decoder.h"
#include "korvagl/pixmap/tga_decoder.h"

#include "korvagl/util/linked_list.h"
#include "korvagl/util/ordered_map.h"
#include "korvagl/util/random.h"
#include "korvagl/util/string_helpers.h"
