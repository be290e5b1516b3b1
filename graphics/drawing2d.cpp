// The 2D drawing API: the drawing state, geometry composition, images.
#include "korvagl/graphics/drawing2d.h"

#include <algorithm>
#include <cmath>

#include "graphics/draw_state.h"
#include "graphics/gl_native.h"
#include "korvagl/app/last_error.h"
#include "korvagl/app/math.h"
#include "korvagl/app/modules.h"
#include "korvagl/graphics/draw_target.h"
#include "korvagl/graphics/image_font.h"
#include "korvagl/pixmap/pixmap_encoder.h"
#include "korvagl/stream/console.h"
#include "korvagl/system/replay.h"
#include "korvagl/system/system_api.h"

namespace korva {

namespace detail {
DrawState drawState;

void UpdateDrawMatrix() {
    DrawState& s = drawState;
    const double sine = Sin(s.rotation);
    const double cosine = Cos(s.rotation);
    s.xx = static_cast<float>(cosine * s.scaleX);
    s.xy = static_cast<float>(-sine * s.scaleY);
    s.yx = static_cast<float>(sine * s.scaleX);
    s.yy = static_cast<float>(cosine * s.scaleY);
    CurrentDrawDriver()->SetTransform(s.xx, s.xy, s.yx, s.yy);
    SetCollisionTransform(s.xx, s.xy, s.yx, s.yy);
}
}  // namespace detail

using detail::drawState;

namespace {
TDrawDriver& Driver() { return *CurrentDrawDriver(); }
}  // namespace

int32_t ModeCount() { return static_cast<int32_t>(GraphicsModes().size()); }

void ModeAt(int32_t index, int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz) {
    if (index < 0 || index >= ModeCount()) RaiseArrayIndexFault();
    const TGraphicsMode& mode = *GraphicsModes()[static_cast<size_t>(index)];
    width = mode.width;
    height = mode.height;
    depth = mode.depth;
    hertz = mode.hertz;
}

int32_t HasDisplayMode(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
    for (const auto& mode : GraphicsModes()) {
        if ((width == 0 || mode->width == width) && (height == 0 || mode->height == height) &&
            (depth == 0 || mode->depth == depth) && (hertz == 0 || mode->hertz == hertz)) {
            return 1;
        }
    }
    return 0;
}

void OpenGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
    detail::ClearLastErrorText();
    // An empty mode list means no display at all: the driver then raises
    // "Unable to set graphics mode" and says why.
    if (depth != 0 && !GraphicsModes().empty() && HasDisplayMode(width, height, 0, 0) == 0) {
        detail::SetLastErrorText("cannot open the full screen at " + IntToString(width) + " x " +
                                 IntToString(height) + ": the display lists no such mode");
        RaiseRuntimeError("Graphics mode does not exist");
    }
    Driver().Graphics(width, height, depth, hertz);
    drawState.width = width;
    drawState.height = height;
    drawState.depth = depth;
    drawState.hertz = hertz;
    detail::ForgetDrawTarget();
    drawState.surfaceWidth = width;
    drawState.surfaceHeight = height;
    SetBlendMode(1);
    SetDrawColor(255, 255, 255);
    SetClearColor(0, 0, 0);
    SetClearAlpha(1);
    SetMaskColor(0, 0, 0);
    SetDrawAlpha(1.0f);
    SetDrawOrigin(0, 0);
    SetDrawHandle(0, 0);
    SetViewport(0, 0, width, height);
    SetDrawTransform(0, 1, 1);
    SetAutoMidHandle(0);
    SetAutoImageFlags(6);
    detail::OpenDefaultFont();
}

void SetWindowTitle(const String& title) { detail::SetGLWindowTitle(title.ToUtf8()); }

void CloseGraphics() {
    detail::ForgetDrawTarget();
    Driver().CloseGraphics();
    drawState.width = 0;
    drawState.height = 0;
    drawState.surfaceWidth = 0;
    drawState.surfaceHeight = 0;
    detail::ReleaseFonts();
}

int32_t DisplayWidth() { return drawState.width; }
int32_t DisplayHeight() { return drawState.height; }

void DisplaySettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz) {
    width = drawState.width;
    height = drawState.height;
    depth = drawState.depth;
    hertz = drawState.hertz;
}

void FlipFrame() {
    detail::CaptureFrameIfListed();  // KORVAGL_CAPTURE: before the back buffer is shown
    Driver().Flip();
    detail::NoteFrameShown();
}
void ClearScreen() { Driver().ClearBuffer(); }
void SetClearColor(int32_t red, int32_t green, int32_t blue) { Driver().SetClearRGB(red, green, blue); }

void SetDrawColor(int32_t red, int32_t green, int32_t blue) {
    drawState.red = red;
    drawState.green = green;
    drawState.blue = blue;
    Driver().SetColor(red, green, blue);
}

void GetDrawColor(int32_t& red, int32_t& green, int32_t& blue) {
    red = drawState.red;
    green = drawState.green;
    blue = drawState.blue;
}

void SetDrawAlpha(float alpha) {
    drawState.alpha = alpha;
    Driver().SetAlpha(alpha);
}

float GetDrawAlpha() { return drawState.alpha; }

void SetBlendMode(int32_t mode) {
    drawState.blendMode = mode;
    Driver().SetBlend(mode);
}

int32_t GetBlendMode() { return drawState.blendMode; }
void SetLineWidth(float width) { Driver().SetLineWidth(width); }

void SetMaskColor(int32_t red, int32_t green, int32_t blue) {
    drawState.maskRed = red;
    drawState.maskGreen = green;
    drawState.maskBlue = blue;
}

void GetMaskColor(int32_t& red, int32_t& green, int32_t& blue) {
    red = drawState.maskRed;
    green = drawState.maskGreen;
    blue = drawState.maskBlue;
}

void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
    drawState.viewX = x;
    drawState.viewY = y;
    drawState.viewWidth = width;
    drawState.viewHeight = height;
    Driver().SetViewport(x, y, width, height);
}

void GetViewport(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
    x = drawState.viewX;
    y = drawState.viewY;
    width = drawState.viewWidth;
    height = drawState.viewHeight;
}

void SetDrawOrigin(float x, float y) {
    drawState.originX = x;
    drawState.originY = y;
}

void GetDrawOrigin(float& x, float& y) {
    x = drawState.originX;
    y = drawState.originY;
}

void SetDrawHandle(float x, float y) {
    drawState.handleX = -x;
    drawState.handleY = -y;
}

void GetDrawHandle(float& x, float& y) {
    x = -drawState.handleX;
    y = -drawState.handleY;
}

void SetDrawRotation(float angle) {
    drawState.rotation = angle;
    detail::UpdateDrawMatrix();
}

float GetDrawRotation() { return drawState.rotation; }

void SetDrawScale(float x, float y) {
    drawState.scaleX = x;
    drawState.scaleY = y;
    detail::UpdateDrawMatrix();
}

void GetDrawScale(float& x, float& y) {
    x = drawState.scaleX;
    y = drawState.scaleY;
}

void SetDrawTransform(float angle, float scaleX, float scaleY) {
    drawState.rotation = angle;
    drawState.scaleX = scaleX;
    drawState.scaleY = scaleY;
    detail::UpdateDrawMatrix();
}

void ShowPointer() { Driver().SetMouseVisible(1); }
void HidePointer() { Driver().SetMouseVisible(0); }

void PlotPoint(float x, float y) { Driver().PlotPixel(x + drawState.originX, y + drawState.originY); }

void DrawLine(float x1, float y1, float x2, float y2, int32_t drawLastPixel) {
    const detail::DrawState& s = drawState;
    const float dx = s.handleX + x2 - x1;
    const float dy = s.handleY + y2 - y1;
    const float tx = x1 + s.originX;
    const float ty = y1 + s.originY;
    Driver().DrawLine(s.handleX, s.handleY, dx, dy, tx, ty);
    if (drawLastPixel != 0) Driver().PlotPixel(s.xx * dx + s.xy * dy + tx, s.yx * dx + s.yy * dy + ty);
}

void DrawRect(float x, float y, float width, float height) {
    const detail::DrawState& s = drawState;
    Driver().DrawRect(s.handleX, s.handleY, width + s.handleX, height + s.handleY, x + s.originX, y + s.originY);
}

void DrawOval(float x, float y, float width, float height) {
    const detail::DrawState& s = drawState;
    Driver().DrawOval(s.handleX, s.handleY, width + s.handleX, height + s.handleY, x + s.originX, y + s.originY);
}

void DrawPoly(const FloatArray& xy) {
    Driver().DrawPoly(xy, drawState.handleX, drawState.handleY, drawState.originX, drawState.originY);
}

void DrawImageAt(const Ref<TImage>& image, float x, float y, int32_t frame) {
    const TImage& i = *image;
    i.Frame(frame).Draw(-i.handleX, -i.handleY, static_cast<float>(i.width) - i.handleX,
                        static_cast<float>(i.height) - i.handleY, x + drawState.originX, y + drawState.originY);
}

void DrawImageStretched(const Ref<TImage>& image, float x, float y, float width, float height, int32_t frame) {
    const TImage& i = *image;
    i.Frame(frame).Draw(-i.handleX, -i.handleY, width - i.handleX, height - i.handleY, x + drawState.originX,
                        y + drawState.originY);
}

void TileImageAt(const Ref<TImage>& image, float x, float y, int32_t frame) {
    const TImage& i = *image;
    TImageFrame& f = i.Frame(frame);
    const detail::DrawState& s = drawState;
    Driver().SetTransform(1, 0, 0, 1);
    const int32_t w = i.width;
    const int32_t h = i.height;
    // An empty image covers nothing (and must not loop forever).
    if (w > 0 && h > 0) {
        const float px = x + s.originX - i.handleX;
        const float py = y + s.originY - i.handleY;
        const float floorX = std::floor(px);
        const float floorY = std::floor(py);
        const float fracX = px - floorX;
        const float fracY = py - floorY;
        // Only the part of the viewport on the display is tiled: the rest
        // cannot show, and a viewport far past the display would mean
        // billions of draws.
        const int64_t left = std::max<int64_t>(s.viewX, 0);
        const int64_t top = std::max<int64_t>(s.viewY, 0);
        const int64_t right = std::min<int64_t>(int64_t{s.viewX} + s.viewWidth, s.surfaceWidth);
        const int64_t bottom = std::min<int64_t>(int64_t{s.viewY} + s.viewHeight, s.surfaceHeight);
        // The first tile may start up to w - 1 pixels before the left edge;
        // moved on by a fraction, one more place to the left still reaches in.
        const int64_t x0 = left - w + (fracX > 0 ? 0 : 1);
        const int64_t y0 = top - h + (fracY > 0 ? 0 : 1);
        // In double, so far-away positions neither overflow nor lose the
        // remainder's sign; the remainder is always 0 to w - 1.
        double mx = std::fmod(static_cast<double>(floorX) - static_cast<double>(x0), w);
        double my = std::fmod(static_cast<double>(floorY) - static_cast<double>(y0), h);
        if (std::isnan(mx) || std::isnan(my)) mx = my = 0;
        if (mx < 0) mx += w;
        if (my < 0) my += h;
        const int64_t firstX = x0 + static_cast<int64_t>(mx);
        const int64_t firstY = y0 + static_cast<int64_t>(my);
        const float fw = static_cast<float>(w);
        const float fh = static_cast<float>(h);
        for (int64_t ty = firstY; ty < bottom; ty += h) {
            for (int64_t tx = firstX; tx < right; tx += w) {
                f.Draw(0, 0, fw, fh, static_cast<float>(tx) + fracX, static_cast<float>(ty) + fracY);
            }
        }
    }
    detail::UpdateDrawMatrix();
}

void BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) { Driver().BlitPixmap(pixmap, x, y); }

Ref<TPixmap> ReadScreenPixmap(int32_t x, int32_t y, int32_t width, int32_t height) {
    return Driver().ReadScreenPixmap(x, y, width, height);
}

int32_t SaveScreenshot(const String& url, int32_t quality) {
    const Ref<TImage> target = GetDrawTarget();
    const int32_t width = target ? target->width : DisplayWidth();
    const int32_t height = target ? target->height : DisplayHeight();
    Ref<TPixmap> pixels = width > 0 && height > 0 ? ReadScreenPixmap(0, 0, width, height) : nullptr;
    if (!pixels) {
        detail::SetLastErrorText("cannot save " + detail::Quoted(url) + ": no display is open");
        return 0;
    }
    // The display's alpha channel holds whatever blending left there; a
    // picture of it is opaque.
    if (!target) pixels = pixels->Convert(PIX_RGB24);
    return SavePixmap(pixels, url, quality);
}

int InitDrawing2D() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitSystemAPI();
    InitStandardIO();
    InitImages();
    InitImageFont();
    detail::NoteModuleStarted("2D drawing API");
    detail::CreateCollisionLayers();
    return 0;
}

}  // namespace korva
