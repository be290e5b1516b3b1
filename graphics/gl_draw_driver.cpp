// The OpenGL 2D driver: display side (modes, opening, presenting, frame
// pacing) and drawing side (blend modes, colour, viewport, primitives,
// pixmaps).
#include "korvagl/graphics/gl_draw_driver.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/draw_state.h"
#include "graphics/gl33_pipeline.h"
#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "korvagl/app/last_error.h"
#include "korvagl/app/math.h"
#include "korvagl/app/modules.h"
#include "korvagl/graphics/drawing2d.h"
#include "korvagl/graphics/gl_graphics.h"
#include "korvagl/system/replay.h"
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

using detail::glBatch;

// Untextured primitives: into the batch, or straight to GL in immediate mode.
class Primitive {
public:
    // n vertices of one primitive of `mode`; GL_POLYGON and anything larger
    // than the batch is drawn on its own.
    Primitive(GLenum mode, int32_t n) : mode_(mode) {
        detail::DisableTextureCached();
        if (glBatch.enabled && n <= detail::GLBatch::kCapacity) {
            if (mode == GL_POLYGON) detail::FlushBatch();
            next_ = detail::ReserveVertices(mode, n);
        } else if (detail::glCore) {
            // No immediate mode: the vertices go to GL from memory at once.
            detail::FlushBatch();
            large_.resize(static_cast<size_t>(n));
            next_ = large_.data();
        } else {
            detail::FlushBatch();
            if (glBatch.enabled) detail::SendColorIfNeeded();
            ++glDrawState.counting.drawCalls;
            gl::Begin(mode);
            glBatch.drawnVertices += static_cast<uint64_t>(n);
        }
    }
    ~Primitive() {
        if (!large_.empty()) {
            ++glDrawState.counting.drawCalls;
            detail::DrawCoreVertices(mode_, large_.data(), static_cast<int32_t>(large_.size()));
            glBatch.drawnVertices += large_.size();
        } else if (!next_) {
            gl::End();
        } else if (mode_ == GL_POLYGON) {
            detail::FlushBatchNow();  // one polygon a draw
        }
    }
    Primitive(const Primitive&) = delete;
    Primitive& operator=(const Primitive&) = delete;

    // A point in screen coordinates.
    void Point(float x, float y) {
        if (next_) {
            detail::PutVertex(*next_++, x, y, 0, 0);
        } else {
            gl::Vertex2f(x, y);
        }
    }
    // A local point through the 2D matrix, moved by (tx, ty) and offset.
    void Local(float x, float y, float tx, float ty, float offset = 0) {
        const detail::GLDrawState& s = glDrawState;
        Point(x * s.xx + y * s.xy + tx + offset, x * s.yx + y * s.yy + ty + offset);
    }

private:
    GLenum mode_;
    detail::BatchVertex* next_ = nullptr;
    std::vector<detail::BatchVertex> large_;
};

// The fixed-function projection: one unit a pixel, y down on the surface; a
// render target keeps its top row at GL's row 0.
void SetProjection(int32_t width, int32_t height, bool topRowFirst) {
    gl::MatrixMode(GL_PROJECTION);
    gl::LoadIdentity();
    if (topRowFirst) {
        gl::Ortho(0, width, 0, height, -1, 1);
    } else {
        gl::Ortho(0, width, height, 0, -1, 1);
    }
    gl::MatrixMode(GL_MODELVIEW);
    gl::LoadIdentity();
}

// The clear colour for the surface: a render target keeps colour times alpha.
void SendClearColor() {
    if (!glOpen) return;
    const detail::GLDrawState& s = glDrawState;
    const float scale = (s.inTarget ? s.clearAlpha : 1.0f) / 255.0f;
    gl::ClearColor(s.clearColor[0] * scale, s.clearColor[1] * scale, s.clearColor[2] * scale, s.clearAlpha);
}

// The colour reaches GL with each batched vertex; in immediate mode it is
// sent at once.
inline void ColorChanged() {
    if (glBatch.enabled) {
        glBatch.colorSent = false;
    } else {
        detail::SendColor();
    }
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
    OpenDisplay(width, height, depth, hertz, false);
}

void TGLDrawDriver::OpenDisplay(int32_t width, int32_t height, int32_t depth, int32_t hertz, bool core) {
    int32_t flags = detail::kOpenBackBuffer;
    if (depth != 0) flags |= detail::kOpenFullScreen;
    if (core) flags |= detail::kOpenCoreProfile;
    if (glOpen) detail::FlushBatch();
    glBatch.count = 0;
    if (!detail::OpenGLGraphics(width, height, depth, hertz, flags)) RaiseRuntimeError("Unable to set graphics mode");
    detail::UseDriverOfContext();
    detail::ResetGLStateCaches();
    detail::StartBatching();
    detail::DeletePendingObjects();
    glDrawState.screenWidth = glDrawState.surfaceWidth = width;
    glDrawState.screenHeight = glDrawState.surfaceHeight = height;
    pacing.depth = depth;
    pacing.hertz = hertz;

    if (detail::glCore) {
        detail::StartCorePipeline();
        detail::SetCoreProjection(width, height, false);
    } else {
        SetProjection(width, height, false);
    }
    for (int i = 0; i < 2; ++i) {
        gl::Clear(GL_COLOR_BUFFER_BIT);
        detail::SwapGLBuffers();
    }

    pacing.softSync = 0;
    // On the fixed clock nothing waits for the display: frames go as fast
    // as they are drawn.
    if (FixedFrameMs() > 0) {
        detail::SetSwapInterval(0);
        return;
    }
    // A GL that refuses the interval cannot sync: no need to time swaps.
    const bool intervalTaken = detail::SetSwapInterval(1) != 0;
    if (hertz <= 0) return;
    if (intervalTaken && SyncConfirmed(hertz)) return;
    pacing.softSync = 1;
    pacing.paceStart = ElapsedMs();
    pacing.paceBudget = 0;  // a new display counts its frames from now
    detail::SetSwapInterval(0);
}

void TGLDrawDriver::CloseGraphics() {
    if (glOpen) detail::FlushBatch();
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
    if (glOpen && glBatch.count != 0) detail::FlushBatchNow();  // the frame's end: not a break of the batch
    detail::SwapGLBuffers();
    glDrawState.lastFrame = glDrawState.counting;
    glDrawState.counting = {};
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
    detail::FlushBatch();
    glDrawState.currentBlend = mode;
    detail::ApplyBlend();
}

void TGLDrawDriver::SetAlpha(float alpha) {
    if (alpha > 1) alpha = 1;
    if (!(alpha >= 0)) alpha = 0;  // NaN too
    glDrawState.drawColor[3] = static_cast<uint8_t>(alpha * 255);
    if (glOpen) ColorChanged();
}

void TGLDrawDriver::SetColor(int32_t red, int32_t green, int32_t blue) {
    glDrawState.drawColor[0] = static_cast<uint8_t>(red);
    glDrawState.drawColor[1] = static_cast<uint8_t>(green);
    glDrawState.drawColor[2] = static_cast<uint8_t>(blue);
    if (glOpen) ColorChanged();
}

void TGLDrawDriver::SetClearRGB(int32_t red, int32_t green, int32_t blue) {
    glDrawState.clearColor[0] = static_cast<uint8_t>(red);
    glDrawState.clearColor[1] = static_cast<uint8_t>(green);
    glDrawState.clearColor[2] = static_cast<uint8_t>(blue);
    SendClearColor();
}

void TGLDrawDriver::SetClearAlpha(float alpha) {
    if (alpha > 1) alpha = 1;
    if (!(alpha >= 0)) alpha = 0;  // NaN too
    glDrawState.clearAlpha = alpha;
    SendClearColor();
}

void TGLDrawDriver::SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!glOpen) return;
    detail::FlushBatch();
    const detail::GLDrawState& s = glDrawState;
    if (s.inTarget) {
        // A target's texture may be larger than its image: never draw past it.
        const int32_t left = std::max(x, 0), top = std::max(y, 0);
        const int64_t right = std::min<int64_t>(int64_t{x} + width, s.surfaceWidth);
        const int64_t bottom = std::min<int64_t>(int64_t{y} + height, s.surfaceHeight);
        gl::Enable(GL_SCISSOR_TEST);
        gl::Scissor(left, top, static_cast<GLsizei>(std::max<int64_t>(right - left, 0)),
                    static_cast<GLsizei>(std::max<int64_t>(bottom - top, 0)));
    } else if (x == 0 && y == 0 && width == s.screenWidth && height == s.screenHeight) {
        gl::Disable(GL_SCISSOR_TEST);
    } else {
        gl::Enable(GL_SCISSOR_TEST);
        gl::Scissor(x, s.screenHeight - y - height, width, height);
    }
}

void TGLDrawDriver::SetTransform(float xx, float xy, float yx, float yy) {
    glDrawState.xx = xx;
    glDrawState.xy = xy;
    glDrawState.yx = yx;
    glDrawState.yy = yy;
}

void TGLDrawDriver::SetLineWidth(float width) {
    if (!glOpen) return;
    detail::FlushBatch();
    gl::LineWidth(width);
}

void TGLDrawDriver::ClearBuffer() {
    if (!glOpen) return;
    detail::FlushBatch();
    gl::Clear(GL_COLOR_BUFFER_BIT);
}

void TGLDrawDriver::PlotPixel(float x, float y) {
    if (!glOpen) return;
    x += 0.5f;
    y += 0.5f;
    if (detail::glCore) detail::CorePointCentre(x, y);
    Primitive(GL_POINTS, 1).Point(x, y);
}

void TGLDrawDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    if (!glOpen) return;
    Primitive line(GL_LINES, 2);
    line.Local(x0, y0, tx, ty, 0.5f);
    line.Local(x1, y1, tx, ty, 0.5f);
}

void TGLDrawDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
    if (!glOpen) return;
    Primitive quad(GL_QUADS, 4);
    quad.Local(x0, y0, tx, ty);
    quad.Local(x1, y0, tx, ty);
    quad.Local(x1, y1, tx, ty);
    quad.Local(x0, y1, tx, ty);
}

// A render target's rectangle of the surface, read top row first; what lies
// outside its image reads as transparent black.
Ref<TPixmap> ReadTargetPixels(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
    const int32_t left = std::max(x, 0), top = std::max(y, 0);
    const int32_t right = static_cast<int32_t>(std::min<int64_t>(int64_t{x} + pixmap->width, glDrawState.surfaceWidth));
    const int32_t bottom =
        static_cast<int32_t>(std::min<int64_t>(int64_t{y} + pixmap->height, glDrawState.surfaceHeight));
    if (right > left && bottom > top) {
        gl::PixelStorei(GL_PACK_ROW_LENGTH, pixmap->pitch / 4);
        uint8_t* at = pixmap->pixels + static_cast<ptrdiff_t>(top - y) * pixmap->pitch + (left - x) * 4;
        gl::ReadPixels(left, top, right - left, bottom - top, GL_RGBA, GL_UNSIGNED_BYTE, at);
        gl::PixelStorei(GL_PACK_ROW_LENGTH, 0);
    }
    return pixmap;
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
    const float rx = (x1 - x0) * 0.5f;
    const float ry = (y1 - y0) * 0.5f;
    const float cx = x0 + rx;
    const float cy = y0 + ry;
    const int32_t n = OvalSegments(x1 - x0, y1 - y0);
    Primitive polygon(GL_POLYGON, n);
    for (int32_t i = 0; i < n; ++i) {
        const double a = static_cast<double>(i) * 360.0 / n;
        polygon.Local(cx + rx * static_cast<float>(Cos(a)), cy - ry * static_cast<float>(Sin(a)), tx, ty);
    }
}

void TGLDrawDriver::DrawPoly(const FloatArray& xy, float handleX, float handleY, float tx, float ty) {
    if (!glOpen || xy.size() < 6 || xy.size() % 2 != 0) return;
    const size_t n = xy.size() / 2;
    Primitive polygon(GL_POLYGON, n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n));
    for (size_t i = 0; i < xy.size(); i += 2) polygon.Local(xy[i] + handleX, xy[i + 1] + handleY, tx, ty);
}

void TGLDrawDriver::BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
    if (!glOpen) return;
    // Bottom row first, as GL reads; a render target's rows run top first.
    const bool target = glDrawState.inTarget;
    const Ref<TPixmap> rows = detail::RGBARows(target ? pixmap : MirrorPixmapY(pixmap));
    if (rows->width <= 0 || rows->height <= 0) return;
    detail::FlushBatch();
    detail::DisableTextureCached();
    ++glDrawState.counting.drawCalls;
    // From the top-left corner an empty bitmap moves the raster position,
    // which stays valid even when the target lies partly off the window.
    gl::RasterPos2i(0, 0);
    gl::Bitmap(0, 0, 0, 0, static_cast<GLfloat>(x), static_cast<GLfloat>(target ? y : -y - rows->height), nullptr);
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
        detail::FlushBatch();
        gl::PixelStorei(GL_PACK_ALIGNMENT, 4);
        if (glDrawState.inTarget) return ReadTargetPixels(pixmap, x, y);
        gl::PixelStorei(GL_PACK_ROW_LENGTH, 0);
        gl::ReadPixels(x, glDrawState.screenHeight - height - y, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                       pixmap->pixels);
    }
    return MirrorPixmapY(pixmap);
}

void TGLDrawDriver::GetStats(int32_t& drawCalls, int32_t& textureSwitches, int32_t& shaderSwitches,
                             int32_t& flushes) {
    const detail::GLDrawStats& s = glDrawState.lastFrame;
    drawCalls = s.drawCalls;
    textureSwitches = s.textureSwitches;
    shaderSwitches = s.shaderSwitches;
    flushes = s.flushes;
}

int32_t TGLDrawDriver::SetTarget(TImageFrame* frame) {
    if (!frame && !glDrawState.inTarget) return 1;
    if (!glOpen) {
        if (frame) detail::SetLastErrorText("no display is open to draw into images");
        return frame ? 0 : 1;
    }
    auto* target = dynamic_cast<TGLDynamicTextureFrame*>(frame);
    if (frame && !target) {
        detail::SetLastErrorText("only images made by NewImage can be draw targets");
        return 0;
    }
    if (target && detail::glCore && detail::ShaderSamples(target)) {
        detail::SetLastErrorText("the image is sampled by the draw shader: it cannot be drawn into now");
        return 0;
    }
    if (target && !detail::glCore && epoxy_gl_version() < 30 && !epoxy_has_gl_extension("GL_ARB_framebuffer_object")) {
        detail::SetLastErrorText("this GL cannot draw into images (no framebuffer objects)");
        return 0;
    }
    detail::FlushBatch();
    const uint32_t framebuffer = target ? target->Framebuffer() : 0;
    if (target && framebuffer == 0) {
        detail::SetLastErrorText("the GL cannot draw into this image");
        return 0;
    }
    detail::GLDrawState& s = glDrawState;
    if (auto* previous = dynamic_cast<TGLDynamicTextureFrame*>(s.targetFrame)) previous->DrawnInto();
    gl::BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    s.targetFrame = target;
    s.inTarget = target != nullptr;
    // GL's viewport spans the whole texture; the scissor keeps draws inside
    // the image (SetViewport, which the 2D layer calls next).
    int32_t width = s.screenWidth, height = s.screenHeight;
    if (target) {
        target->DrawnInto();
        width = target->pixmap->width;
        height = target->pixmap->height;
        s.surfaceWidth = target->window->width;
        s.surfaceHeight = target->window->height;
    } else {
        s.surfaceWidth = s.screenWidth;
        s.surfaceHeight = s.screenHeight;
    }
    gl::Viewport(0, 0, width, height);
    if (detail::glCore) {
        detail::SetCoreProjection(width, height, s.inTarget);
    } else {
        SetProjection(width, height, s.inTarget);
    }
    if (s.currentBlend != 0) detail::ApplyBlend();
    if (s.clearAlpha != 1) SendClearColor();  // premultiplied in a target
    return 1;
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
    detail::InstallGLDrivers();
    return 0;
}

}  // namespace korva
