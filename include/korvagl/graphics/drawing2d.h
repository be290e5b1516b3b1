// KorvaGL: the 2D drawing API.
//
// Free functions over one drawing state and the current draw driver. The
// state holds colour, alpha, blend mode, viewport, origin, handle, rotation
// and scale; every drawing call composes its geometry from it and hands the
// result to the driver. All of it is zero until OpenGraphics sets the
// defaults: draw colour white, alpha 1, blend mode 1 (masked), mask colour
// black, origin and handle 0, viewport the whole display, no rotation,
// scale 1, auto mid-handle off, auto image flags 6 (filtered, masked).
//
// Blend modes: BLEND_MASKED 1 (no blending, pixels with alpha below one half
// are not drawn), BLEND_SOLID 2 (source replaces destination), BLEND_ALPHA 3,
// BLEND_LIGHT 4 (destination + source * alpha), BLEND_SHADE 5 (destination *
// source colour), BLEND_PREMULTIPLIED 6 (destination * (1 - source alpha) +
// source).
//
// Coordinates are pixels, (0, 0) the top-left corner, y down; angles are
// degrees, rotating clockwise on screen. Before OpenGraphics and after
// CloseGraphics the drawing calls draw nothing and ReadScreenPixmap gives the
// null object. Main thread only.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/graphics/draw_driver.h"
#include "korvagl/graphics/image.h"
#include "korvagl/graphics/image_font.h"
#include "korvagl/graphics/text.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

// The blend modes of SetBlendMode and GetBlendMode.
inline constexpr int32_t BLEND_MASKED = 1;
inline constexpr int32_t BLEND_SOLID = 2;
inline constexpr int32_t BLEND_ALPHA = 3;
inline constexpr int32_t BLEND_LIGHT = 4;
inline constexpr int32_t BLEND_SHADE = 5;
// destination * (1 - source alpha) + source: for images holding colour
// already multiplied by alpha (see draw_target.h for render targets).
inline constexpr int32_t BLEND_PREMULTIPLIED = 6;

// Display modes.
int32_t ModeCount();
// Raises TArrayIndexFault for an index outside the list.
void ModeAt(int32_t index, int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz);
// 1 when some mode matches every argument that is not 0, else 0.
int32_t HasDisplayMode(int32_t width, int32_t height, int32_t depth, int32_t hertz);

// Opens the display: depth 0 a window of width x height, any other depth the
// full screen. Raises "Graphics mode does not exist" for a full-screen size
// the mode list lacks and passes on the driver's "Unable to set graphics
// mode", which it also raises at once, full screen or not, when no display
// can be reached (DISPLAY, WAYLAND_DISPLAY and SDL_VIDEODRIVER all unset:
// the mode list is then empty). LastErrorText()
// then says why. Sets the defaults above; may be called again while open.
void OpenGraphics(int32_t width, int32_t height, int32_t depth = 0, int32_t hertz = 60);
// The title of the display window (UTF-8 is kept), now and for every later
// OpenGraphics. Until it is set, a window is titled "KorvaGL Window" and the
// full screen "KorvaGL Application".
void SetWindowTitle(const String& title);
// Closes the display. Width and height read 0 afterwards; depth, hertz and
// every drawing setting keep their values.
void CloseGraphics();
int32_t DisplayWidth();
int32_t DisplayHeight();
void DisplaySettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz);
// Presents the frame; paces to the refresh rate when vertical sync does not work.
void FlipFrame();
// Clears the viewport to the clear colour.
void ClearScreen();

void SetClearColor(int32_t red, int32_t green, int32_t blue);
void SetDrawColor(int32_t red, int32_t green, int32_t blue);
void GetDrawColor(int32_t& red, int32_t& green, int32_t& blue);
void SetDrawAlpha(float alpha);
float GetDrawAlpha();
void SetBlendMode(int32_t mode);
int32_t GetBlendMode();
void SetLineWidth(float width);
void SetMaskColor(int32_t red, int32_t green, int32_t blue);
void GetMaskColor(int32_t& red, int32_t& green, int32_t& blue);
void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height);
void GetViewport(int32_t& x, int32_t& y, int32_t& width, int32_t& height);
void SetDrawOrigin(float x, float y);
void GetDrawOrigin(float& x, float& y);
// The point of every primitive that lands on its position (not used by images,
// which carry their own handle).
void SetDrawHandle(float x, float y);
void GetDrawHandle(float& x, float& y);
void SetDrawRotation(float angle);
float GetDrawRotation();
void SetDrawScale(float x, float y);
void GetDrawScale(float& x, float& y);
void SetDrawTransform(float angle, float scaleX, float scaleY);
void ShowPointer();
void HidePointer();

// Primitives, in the current colour, alpha and blend mode.
void PlotPoint(float x, float y);
// With drawLastPixel not 0 the end point is plotted too.
void DrawLine(float x1, float y1, float x2, float y2, int32_t drawLastPixel = 1);
void DrawRect(float x, float y, float width, float height);
void DrawOval(float x, float y, float width, float height);
// x, y pairs; fewer than three points (or an odd count) draw nothing.
void DrawPoly(const FloatArray& xy);

// Images. Frame numbers outside the image raise TArrayIndexFault.
void DrawImageAt(const Ref<TImage>& image, float x, float y, int32_t frame = 0);
void DrawImageStretched(const Ref<TImage>& image, float x, float y, float width, float height, int32_t frame = 0);
// Fills the viewport (the part of it on the display) with unrotated,
// unscaled copies of the frame, one of them placed at (x, y).
void TileImageAt(const Ref<TImage>& image, float x, float y, int32_t frame = 0);

// Pixmaps, in plain screen pixels (no origin, handle or matrix).
void BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
// A PIX_RGBA32 pixmap of the screen rectangle, top row first; the null object
// when no display is open.
Ref<TPixmap> ReadScreenPixmap(int32_t x, int32_t y, int32_t width, int32_t height);
// Saves the whole display as SavePixmap saves a pixmap (pixmap_encoder.h:
// the format from the URL's extension, `quality` as there), without alpha:
// what has been drawn since the last FlipFrame, so call it before flipping.
// While a draw target is set it saves that image's frame instead, alpha
// included. Returns 1, or 0 with LastErrorText() set (no display is open,
// or the save failed).
int32_t SaveScreenshot(const String& url, int32_t quality = -1);

// The module "2D drawing API". Run-once; returns 0.
int InitDrawing2D();

}  // namespace korva
