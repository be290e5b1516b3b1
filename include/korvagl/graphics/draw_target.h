// KorvaGL: drawing into images (render targets) and draw statistics.
//
// SetDrawTarget(image, frame) sends every drawing call into that frame of an
// image made by NewImage, until SetDrawTarget(nullptr) sends them to the
// display again. While a target is set, coordinates, the viewport (reset to
// the whole image), ClearScreen, ReadScreenPixmap and CaptureImage refer to
// the image, with its top row first, never flipped. The frame's pixels are
// then what LockImagePixels reads (read back from GL when drawing changed
// them) and what collisions test.
//
// The alpha rule: a target keeps its colour premultiplied by alpha, and its
// alpha composes as coverage: drawing with BLEND_ALPHA over a pixel of alpha
// b with alpha a leaves alpha a + b (1 - a). A frame drawn into this way is
// drawn with premultiplied blending by itself, so drawing content into a
// transparent target and the target onto the screen with BLEND_ALPHA gives
// the pixels that drawing the content directly would have; BLEND_LIGHT
// content adds the same light. BLEND_MASKED and BLEND_SOLID store the
// source's colour times its alpha; BLEND_SHADE multiplies the target's colour
// (a transparent target has none to multiply, so shading does not carry over
// to what lies under it). BLEND_PREMULTIPLIED (6) draws images that already
// hold premultiplied colour: destination * (1 - source alpha) + source.
//
// The frame being drawn into cannot be drawn itself: such a draw is refused
// (nothing drawn, LastErrorText() says why). Targets live on across display
// changes like every image; OpenGraphics and CloseGraphics send drawing to
// the display again.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/graphics/image.h"

namespace korva {

// 1 when drawing now goes into the frame (or back to the display for
// nullptr); 0 with the reason in LastErrorText() when the frame cannot be
// drawn into: no display is open, the image was not made by NewImage, the
// frame is an image of the current draw shader, or the GL driver cannot
// (GL 1.1 without framebuffer objects). Frame numbers outside the image
// raise TArrayIndexFault.
int32_t SetDrawTarget(const Ref<TImage>& image, int32_t frame = 0);
// The image drawn into, or the null object for the display.
Ref<TImage> GetDrawTarget();

// What the last presented frame (the draws between the last two FlipFrame
// calls) cost: GL draw calls, texture switches, shader program switches and
// flushes (times queued draws were drawn early because the state they were
// queued under changed or their pixels were needed; a full queue does not
// count). All 0 before the first FlipFrame.
void GetDrawStats(int32_t& drawCalls, int32_t& textureSwitches, int32_t& shaderSwitches, int32_t& flushes);

}  // namespace korva
