// KorvaGL: the OpenGL 3.3 core draw driver, and which GL driver draws.
//
// TGL33DrawDriver draws everything the GL 1.1 driver draws, with the same
// pixels, through one shader program: draws that share the GL state are
// queued and streamed into one vertex buffer per flush (quads as indexed
// triangles, polygons as fans), the masked blend mode discards in the
// fragment shader, untextured draws sample a white texel, debug text and
// BlitPixmap are textured quads. It adds programs of your own (shader.h).
//
// OpenGraphics asks for a 3.3 core context first. When the GL offers none,
// the display gets a compatibility context and the GL 1.1 driver draws; so
// it does when the environment holds KORVAGL_GL=1.1 (read at start-up) or
// when ChooseGLDriver(GL_DRIVER_11) was called before OpenGraphics. Images,
// fonts, render targets and shaders made under one driver draw under the
// other after a display change.
#pragma once

#include <cstdint>

#include "korvagl/graphics/gl_draw_driver.h"

namespace korva {

inline constexpr int32_t GL_DRIVER_AUTO = 0;  // 3.3 core when the GL offers it, else 1.1
inline constexpr int32_t GL_DRIVER_11 = 11;   // fixed-function OpenGL 1.1 in a compatibility context
inline constexpr int32_t GL_DRIVER_33 = 33;   // OpenGL 3.3 core profile

class TGL33DrawDriver : public TGLDrawDriver {
public:
    // Opens the display with a 3.3 core context, or falls back to the GL 1.1
    // driver (which then becomes CurrentDrawDriver()) when there is none.
    void Graphics(int32_t width, int32_t height, int32_t depth, int32_t hertz) override;
    void BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) override;
};

// Chooses the driver the next OpenGraphics opens with: GL_DRIVER_AUTO or
// GL_DRIVER_33 (3.3 core, 1.1 when the GL lacks it) or GL_DRIVER_11. 1 when
// taken; 0 with a reason in LastErrorText() for another value or while a
// display is open (close it first).
int32_t ChooseGLDriver(int32_t driver);
// GL_DRIVER_33 or GL_DRIVER_11: the driver drawing the open display; 0 when
// no display is open.
int32_t CurrentGLDriver();

}  // namespace korva
