// GL graphics helpers: texture size fitting, textures from pixmaps, debug text.
#include "korvagl/graphics/gl_graphics.h"

#include "graphics/gl33_pipeline.h"
#include "graphics/gl_calls.h"
#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "korvagl/app/modules.h"
#include "korvagl/graphics/gl_draw_driver.h"

namespace korva {
namespace {

// Without a GL to ask, sizes stop here (the largest texture common GLs take).
constexpr int64_t kUnverifiedLimit = 16384;

// The power of two at or above value (1 for values below 1); 2^31 at most,
// so it is counted in 64 bits.
int64_t RoundUpToPowerOfTwo(int32_t value) {
    int64_t p = 1;
    while (p < value) p <<= 1;
    return p;
}

}  // namespace

void FitTextureSize(int32_t& width, int32_t& height) {
    namespace gl = detail::gl;
    int64_t limit = kUnverifiedLimit;
    if (detail::glOpen) {
        GLint most = 0;
        gl::GetIntegerv(GL_MAX_TEXTURE_SIZE, &most);
        limit = most > 0 ? most : int64_t{1} << 30;  // a GL that does not say
    }
    int64_t w = RoundUpToPowerOfTwo(width);
    int64_t h = RoundUpToPowerOfTwo(height);
    // A size past the GL's limit fails its test, and every failed test halves
    // both sizes. Halving here gives the same sizes without putting absurd
    // ones to the GL (some fail badly on them).
    while (w > limit || h > limit) {
        if (w > 1) w /= 2;
        if (h > 1) h /= 2;
    }
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    if (!detail::glOpen) return;
    while (true) {
        gl::TexImage2D(GL_PROXY_TEXTURE_2D, 0, detail::glCore ? GL_RGBA8 : 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        GLint fitted = 0;
        gl::GetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &fitted);
        if (fitted != 0) return;
        if (width == 1 && height == 1) RaiseRuntimeError("Unable to calculate tex size");
        if (width > 1) width /= 2;
        if (height > 1) height /= 2;
    }
}

uint32_t TextureFromPixmap(const Ref<TPixmap>& pixmap, int32_t mipmapped) {
    if (!detail::glOpen) return 0;
    Ref<TPixmap> level = detail::RGBARows(pixmap);
    namespace gl = detail::gl;
    int32_t width = level->width;
    int32_t height = level->height;
    FitTextureSize(width, height);
    if (width != level->width || height != level->height) level = ScalePixmap(level, width, height);

    detail::FlushBatch();  // the binding changes under the queued draws
    GLint oldBinding = 0, oldRowLength = 0;
    gl::GetIntegerv(GL_TEXTURE_BINDING_2D, &oldBinding);
    gl::GetIntegerv(GL_UNPACK_ROW_LENGTH, &oldRowLength);
    GLuint name = 0;
    gl::GenTextures(1, &name);
    gl::BindTexture(GL_TEXTURE_2D, name);
    detail::ForEachMipLevel(width, height, mipmapped != 0, [&](int32_t n, int32_t w, int32_t h) {
        if (n > 0) level = ScalePixmap(level, w, h);
        gl::PixelStorei(GL_UNPACK_ROW_LENGTH, level->pitch / 4);
        gl::TexImage2D(GL_TEXTURE_2D, n, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, level->pixels);
    });
    gl::BindTexture(GL_TEXTURE_2D, static_cast<GLuint>(oldBinding));
    gl::PixelStorei(GL_UNPACK_ROW_LENGTH, oldRowLength);
    return name;
}

void DrawDebugText(const String& text, int32_t x, int32_t y) {
    if (!detail::glOpen) return;
    if (detail::glCore) {  // no bitmaps there: textured quads of the same font
        detail::DrawCoreDebugText(text, x, y);
        return;
    }
    namespace gl = detail::gl;
    // Bitmaps are textured like any fragment: keep the text in plain colour.
    detail::FlushBatch();
    DisableTexture();
    detail::SendColorIfNeeded();  // the raster colour is the current colour
    ++detail::glDrawState.counting.drawCalls;
    GLint viewport[4] = {0, 0, 0, 0};
    GLint matrixMode = GL_MODELVIEW;
    gl::GetIntegerv(GL_VIEWPORT, viewport);
    gl::GetIntegerv(GL_MATRIX_MODE, &matrixMode);
    gl::MatrixMode(GL_MODELVIEW);
    gl::PushMatrix();
    gl::LoadIdentity();
    gl::MatrixMode(GL_PROJECTION);
    gl::PushMatrix();
    gl::LoadIdentity();

    const uint32_t lists = detail::GetTextLists();
    const GLint vx = viewport[0], vy = viewport[1], vw = viewport[2], vh = viewport[3];
    // (0, 0) is the viewport's centre; an empty bitmap moves the raster
    // position without the risk of placing it outside the window.
    // In a render target GL's rows run down the image, and so do the glyphs'.
    const bool target = detail::glDrawState.inTarget;
    gl::RasterPos2i(0, 0);
    gl::Bitmap(0, 0, 0, 0, static_cast<GLfloat>(x + vx - vw / 2),
               static_cast<GLfloat>(target ? y + vy - vh / 2 : vh - y - 16 - vh / 2 + vy), nullptr);
    if (lists != 0) {
        const uint32_t base = lists + (target ? 256 : 0);
        for (int32_t i = 0; i < text.Length(); ++i) {
            const uint16_t unit = text[i];
            if (unit <= 255) gl::CallList(base + unit);
        }
    }

    gl::PopMatrix();
    gl::MatrixMode(GL_MODELVIEW);
    gl::PopMatrix();
    gl::MatrixMode(static_cast<GLenum>(matrixMode));
}

int InitGLGraphics() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPixmaps();
    detail::NoteModuleStarted("GL graphics");
    return 0;
}

}  // namespace korva
