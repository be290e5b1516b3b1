// The texture helpers over the GL driver's cached state.
#include "korvagl/graphics/gl2d_helper.h"

#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "korvagl/app/modules.h"
#include "korvagl/graphics/drawing2d.h"
#include "korvagl/graphics/gl_graphics.h"

namespace korva {

namespace gl = detail::gl;
using detail::glOpen;

void BindTexture(uint32_t name) {
    if (glOpen) detail::BindTextureCached(name);
}

void EnableTexture(uint32_t name) {
    if (glOpen) detail::EnableTextureCached(name);
}

void DisableTexture() {
    if (glOpen) detail::DisableTextureCached();
}

uint32_t CreateTexture(int32_t width, int32_t height, int32_t flags) {
    if (!glOpen) return 0;
    GLuint name = 0;
    gl::GenTextures(1, &name);
    detail::BindTextureCached(name);
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const bool filtered = (flags & IMAGE_FILTERED) != 0;
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filtered ? GL_LINEAR : GL_NEAREST);
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filtered ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST);
    detail::ForEachMipLevel(width, height, filtered, [](int32_t level, int32_t w, int32_t h) {
        gl::TexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    });
    return name;
}

void UploadTexture(const Ref<TPixmap>& pixmap, int32_t flags) {
    if (!glOpen) return;
    Ref<TPixmap> level = detail::RGBARows(pixmap);
    const bool filtered = (flags & IMAGE_FILTERED) != 0;
    detail::ForEachMipLevel(level->width, level->height, filtered, [&](int32_t n, int32_t w, int32_t h) {
        if (n > 0) level = ScalePixmap(level, w, h);
        gl::PixelStorei(GL_UNPACK_ROW_LENGTH, level->pitch / 4);
        gl::TexSubImage2D(GL_TEXTURE_2D, n, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, level->pixels);
    });
    gl::PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

int InitGL2DHelper() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitGLGraphics();
    InitDrawing2D();
    detail::NoteModuleStarted("GL 2D helper");
    return 0;
}

}  // namespace korva
