// Render targets in the 2D layer: which image is drawn into, the viewport
// of each surface, and the draw statistics of the driver.
#include "korvagl/graphics/draw_target.h"

#include "graphics/draw_state.h"
#include "korvagl/graphics/drawing2d.h"

namespace korva {
namespace {

Ref<TImage> targetImage;
// The display's viewport while a target is drawn into.
int32_t displayView[4] = {0, 0, 0, 0};

TDrawDriver& Driver() { return *CurrentDrawDriver(); }

void SetSurface(int32_t width, int32_t height) {
    detail::drawState.surfaceWidth = width;
    detail::drawState.surfaceHeight = height;
}

}  // namespace

namespace detail {
void ForgetDrawTarget() {
    if (targetImage) Driver().SetTarget(nullptr);
    targetImage = nullptr;
}
}  // namespace detail

int32_t SetDrawTarget(const Ref<TImage>& image, int32_t frame) {
    detail::DrawState& s = detail::drawState;
    if (!image) {
        if (!targetImage) return 1;
        Driver().SetTarget(nullptr);
        targetImage = nullptr;
        SetSurface(s.width, s.height);
        SetViewport(displayView[0], displayView[1], displayView[2], displayView[3]);
        return 1;
    }
    TImageFrame& f = image->Frame(frame);
    if (!Driver().SetTarget(&f)) return 0;
    if (!targetImage) {
        GetViewport(displayView[0], displayView[1], displayView[2], displayView[3]);
    }
    targetImage = image;
    // Collisions and LockImagePixels see what is drawn into the frame.
    image->pixmaps[static_cast<size_t>(frame)] = f.Lock(0, 0);
    f.Unlock();
    SetSurface(image->width, image->height);
    SetViewport(0, 0, image->width, image->height);
    return 1;
}

Ref<TImage> GetDrawTarget() { return targetImage; }

void GetDrawStats(int32_t& drawCalls, int32_t& textureSwitches, int32_t& shaderSwitches, int32_t& flushes) {
    Driver().GetStats(drawCalls, textureSwitches, shaderSwitches, flushes);
}

}  // namespace korva
