// KorvaGL: the one header a program includes. Everything is in namespace korva.
#pragma once

#include "korvagl/app/runtime.h"
#include "korvagl/app/startup.h"

#include "korvagl/audio/audio_driver.h"
#include "korvagl/audio/sample.h"
#include "korvagl/audio/sdl_audio.h"
