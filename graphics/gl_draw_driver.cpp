// The OpenGL 2D driver: display side (modes, opening, presenting, frame
// pacing) and drawing side (blend modes, colour, viewport, primitives,
// pixmaps).
#include "korvagl/graphics/gl_draw_driver.h"

#include <cmath>
#include <cstring>

#include "graphics/draw_state.h"
#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "korvagl/app/math.h"
#include "korvagl/app/modules.h"
#include "korvagl/graphics/drawing2d.h"
#include "korvagl/graphics/gl_graphics.h"
#include "korvagl/system/system_api.h"

namespace korva {

namespace gl = detail::gl;
using detail::glDrawState;
using detail::glOpen;

namespace {

// Frame pacing in software, for displays whose vertical sync does not work.
struct Pacing {
    int32_t depth = 0;
    int32_t hertz = 0;
    int32_t softSync = 0;
    int64_t paceBudget = 0;  // milliseconds x hertz since paceStart
    int32_t paceStart = 0;
} pacing;

// Milliseconds since `start` on the wrapping 32-bit clock.
int64_t Since(int32_t start) {
    return static_cast<int64_t>(static_cast<uint32_t>(ElapsedMs()) - static_cast<uint32_t>(start));
}

// The longest the vertical-sync test may take: a refresh rate far above the
// display's would otherwise keep it swapping for hours.
constexpr int64_t kSyncTestMs = 2000;

// Vertical sync works when three swaps in a row each take one refresh
// period (within a millisecond). At most `hertz` swaps are tried.
bool SyncConfirmed(int32_t hertz) {
    const int32_t start = ElapsedMs();
    int32_t good = 0;
    for (int32_t i = 0; i < hertz && Since(start) < kSyncTestMs; ++i) {
        const int32_t before = ElapsedMs();
        detail::SwapGLBuffers();
        const int64_t d = Since(before) - 1000 / hertz;
        if (d >= -1 && d <= 1) {
            if (++good == 3) return true;
        } else {
            good = 0;
        }
    }
    return false;
}

inline void Vertex(float x, float y, float tx, float ty, float offset = 0) {
    const detail::GLDrawState& s = glDrawState;
    gl::Vertex2f(x * s.xx + y * s.xy + tx + offset, x * s.yx + y * s.yy + ty + offset);
}

inline void SendColor() {
    const uint8_t* c = glDrawState.drawColor;
    gl::Color4ub(c[0], c[1], c[2], c[3]);
}

}  // namespace

TGLDrawDriver::TGLDrawDriver() {
    int32_t buffer[1024];
    const int32_t count = detail::EnumGLModes(buffer, static_cast<int32_t>(sizeof buffer));
    auto& modes = GraphicsModes();
    modes.clear();
    for (int32_t i = 0; i < count; ++i) {
        Ref<TGraphicsMode> mode = New<TGraphicsMode>();
        mode->width = buffer[i * 4];
        mode->height = buffer[i * 4 + 1];
        mode->depth = buffer[i * 4 + 2];
        mode->hertz = buffer[i * 4 + 3];
        modes.push_back(mode);
    }
}

void TGLDrawDriver::Graphics(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
    int32_t flags = detail::kOpenBackBuffer;
    if (depth != 0) flags |= detail::kOpenFullScreen;
    if (!detail::OpenGLGraphics(width, height, depth, hertz, flags)) RaiseRuntimeError("Unable to set graphics mode");
    detail::ResetGLStateCaches();
    glDrawState.screenWidth = width;
    glDrawState.screenHeight = height;
    pacing.depth = depth;
    pacing.hertz = hertz;

    gl::MatrixMode(GL_PROJECTION);
    gl::LoadIdentity();
    gl::Ortho(0, width, height, 0, -1, 1);
    gl::MatrixMode(GL_MODELVIEW);
    gl::LoadIdentity();
    for (int i = 0; i < 2; ++i) {
        gl::Clear(GL_COLOR_BUFFER_BIT);
        detail::SwapGLBuffers();
    }

    pacing.softSync = 0;
    // A GL that refuses the interval cannot sync: no need to time swaps.
    const bool intervalTaken = detail::SetSwapInterval(1) != 0;
    if (hertz <= 0) return;
    if (intervalTaken && SyncConfirmed(hertz)) return;
    pacing.softSync = 1;
    pacing.paceStart = ElapsedMs();
    detail::SetSwapInterval(0);
}

void TGLDrawDriver::CloseGraphics() {
    detail::CloseGLGraphics();
    pacing.softSync = 0;  // nothing to present any more
}

void TGLDrawDriver::Flip() {
    if (pacing.softSync) {
        const int64_t elapsed = Since(pacing.paceStart);
        pacing.paceBudget += 1000;
        const int64_t wait = pacing.paceBudget / pacing.hertz - elapsed;
        if (wait > 0 && wait < 1000) {
            SleepMs(static_cast<int32_t>(wait));
        } else {
            // Late, or far ahead of the clock: count again from now.
            pacing.paceBudget = elapsed * pacing.hertz;
        }
    }
    detail::SwapGLBuffers();
}

void TGLDrawDriver::SetMouseVisible(int32_t visible) { detail::ShowGLCursor(visible); }

Ref<TImageFrame> TGLDrawDriver::CreateFrame(int32_t width, int32_t height, int32_t flags) {
    return TGLDynamicTextureFrame::Create(width, height, flags);
}

Ref<TImageFrame> TGLDrawDriver::CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags) {
    if (flags & IMAGE_DYNAMIC) return TGLDynamicTextureFrame::CreateFromPixmap(pixmap, flags);
    return TGLTextureFrame::CreateFromPixmap(pixmap, flags);
}

void TGLDrawDriver::SetBlend(int32_t mode) {
    if (!glOpen || mode == glDrawState.currentBlend) return;
    glDrawState.currentBlend = mode;
    switch (mode) {
        case 1:  // masked
            gl::Disable(GL_BLEND);
            gl::Enable(GL_ALPHA_TEST);
            gl::AlphaFunc(GL_GEQUAL, 0.5f);
            break;
        case 3:  // alpha
            gl::Enable(GL_BLEND);
            gl::BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            gl::Disable(GL_ALPHA_TEST);
            break;
        case 4:  // light
            gl::Enable(GL_BLEND);
            gl::BlendFunc(GL_SRC_ALPHA, GL_ONE);
            gl::Disable(GL_ALPHA_TEST);
            break;
        case 5:  // shade
            gl::Enable(GL_BLEND);
            gl::BlendFunc(GL_DST_COLOR, GL_ZERO);
            gl::Disable(GL_ALPHA_TEST);
            break;
        default:  // 2 solid, and anything unknown
            gl::Disable(GL_BLEND);
            gl::Disable(GL_ALPHA_TEST);
            break;
    }
}

void TGLDrawDriver::SetAlpha(float alpha) {
    if (alpha > 1) alpha = 1;
    if (!(alpha >= 0)) alpha = 0;  // NaN too
    glDrawState.drawColor[3] = static_cast<uint8_t>(alpha * 255);
    if (glOpen) SendColor();
}

void TGLDrawDriver::SetColor(int32_t red, int32_t green, int32_t blue) {
    glDrawState.drawColor[0] = static_cast<uint8_t>(red);
    glDrawState.drawColor[1] = static_cast<uint8_t>(green);
    glDrawState.drawColor[2] = static_cast<uint8_t>(blue);
    if (glOpen) SendColor();
}

void TGLDrawDriver::SetClearRGB(int32_t red, int32_t green, int32_t blue) {
    if (glOpen) gl::ClearColor(red / 255.0f, green / 255.0f, blue / 255.0f, 1.0f);
}

void TGLDrawDriver::SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!glOpen) return;
    if (x == 0 && y == 0 && width == glDrawState.screenWidth && height == glDrawState.screenHeight) {
        gl::Disable(GL_SCISSOR_TEST);
    } else {
        gl::Enable(GL_SCISSOR_TEST);
        gl::Scissor(x, glDrawState.screenHeight - y - height, width, height);
    }
}

void TGLDrawDriver::SetTransform(float xx, float xy, float yx, float yy) {
    glDrawState.xx = xx;
    glDrawState.xy = xy;
    glDrawState.yx = yx;
    glDrawState.yy = yy;
}

void TGLDrawDriver::SetLineWidth(float width) {
    if (glOpen) gl::LineWidth(width);
}

void TGLDrawDriver::ClearBuffer() {
    if (glOpen) gl::Clear(GL_COLOR_BUFFER_BIT);
}

void TGLDrawDriver::PlotPixel(float x, float y) {
    if (!glOpen) return;
    detail::DisableTextureCached();
    gl::Begin(GL_POINTS);
    gl::Vertex2f(x + 0.5f, y + 0.5f);
    gl::End();
}

void TGLDrawDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    if (!glOpen) return;
    detail::DisableTextureCached();
    gl::Begin(GL_LINES);
    Vertex(x0, y0, tx, ty, 0.5f);
    Vertex(x1, y1, tx, ty, 0.5f);
    gl::End();
}

void TGLDrawDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
    if (!glOpen) return;
    detail::DisableTextureCached();
    gl::Begin(GL_QUADS);
    Vertex(x0, y0, tx, ty);
    Vertex(x1, y0, tx, ty);
    Vertex(x1, y1, tx, ty);
    Vertex(x0, y1, tx, ty);
    gl::End();
}

int32_t OvalSegments(float width, float height) {
    const float rx = width * 0.5f;
    const float ry = height * 0.5f;
    const float sum = std::fabs(rx) + std::fabs(ry);
    // Bounded, so that a huge or NaN box neither overflows nor draws forever.
    int32_t n = 12;
    if (sum >= 65536.0f) n = 65536;
    else if (sum >= 12.0f) n = static_cast<int32_t>(sum);
    return n & ~3;
}

void TGLDrawDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
    if (!glOpen) return;
    detail::DisableTextureCached();
    const float rx = (x1 - x0) * 0.5f;
    const float ry = (y1 - y0) * 0.5f;
    const float cx = x0 + rx;
    const float cy = y0 + ry;
    const int32_t n = OvalSegments(x1 - x0, y1 - y0);
    gl::Begin(GL_POLYGON);
    for (int32_t i = 0; i < n; ++i) {
        const double a = static_cast<double>(i) * 360.0 / n;
        Vertex(cx + rx * static_cast<float>(Cos(a)), cy - ry * static_cast<float>(Sin(a)), tx, ty);
    }
    gl::End();
}

void TGLDrawDriver::DrawPoly(const FloatArray& xy, float handleX, float handleY, float tx, float ty) {
    if (!glOpen || xy.size() < 6 || xy.size() % 2 != 0) return;
    detail::DisableTextureCached();
    gl::Begin(GL_POLYGON);
    for (size_t i = 0; i < xy.size(); i += 2) Vertex(xy[i] + handleX, xy[i + 1] + handleY, tx, ty);
    gl::End();
}

void TGLDrawDriver::BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
    if (!glOpen) return;
    // Bottom row first, as GL reads.
    const Ref<TPixmap> rows = detail::RGBARows(MirrorPixmapY(pixmap));
    if (rows->width <= 0 || rows->height <= 0) return;
    detail::DisableTextureCached();
    // From the top-left corner an empty bitmap moves the raster position,
    // which stays valid even when the target lies partly off the window.
    gl::RasterPos2i(0, 0);
    gl::Bitmap(0, 0, 0, 0, static_cast<GLfloat>(x), static_cast<GLfloat>(-y - rows->height), nullptr);
    gl::PixelStorei(GL_UNPACK_ROW_LENGTH, rows->pitch / 4);
    gl::DrawPixels(rows->width, rows->height, GL_RGBA, GL_UNSIGNED_BYTE, rows->pixels);
    gl::PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

Ref<TPixmap> TGLDrawDriver::ReadScreenPixmap(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!glOpen) return nullptr;
    Ref<TPixmap> pixmap = NewPixmap(width, height, PIX_RGBA32, 4);
    if (width > 0 && height > 0) {
        // Parts outside the window read as transparent black.
        std::memset(pixmap->pixels, 0, static_cast<size_t>(pixmap->capacity));
        gl::PixelStorei(GL_PACK_ROW_LENGTH, 0);
        gl::PixelStorei(GL_PACK_ALIGNMENT, 4);
        gl::ReadPixels(x, glDrawState.screenHeight - height - y, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                       pixmap->pixels);
    }
    return MirrorPixmapY(pixmap);
}

int InitGLDrawDriver() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitGLGraphics();
    InitDrawing2D();
    InitGL2DHelper();
    InitSystemAPI();
    detail::NoteModuleStarted("GL 2D driver");
    CurrentDrawDriver() = New<TGLDrawDriver>();
    return 0;
}

}  // namespace korva
