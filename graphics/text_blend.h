// The blend mode of SetTextBlendMode for the glyphs of one text call; the
// mode of primitives and images comes back at once, even when drawing
// raises.
#pragma once

#include <cstdint>

#include "korvagl/graphics/draw_driver.h"
#include "korvagl/graphics/text.h"

namespace korva::detail {

class TextBlend {
public:
    explicit TextBlend(int32_t drawMode)
        : drawMode_(drawMode), own_(GetTextBlendMode() != 0 && GetTextBlendMode() != drawMode) {
        if (own_) CurrentDrawDriver()->SetBlend(GetTextBlendMode());
    }
    ~TextBlend() {
        if (own_) CurrentDrawDriver()->SetBlend(drawMode_);
    }
    TextBlend(const TextBlend&) = delete;
    TextBlend& operator=(const TextBlend&) = delete;

private:
    int32_t drawMode_;
    bool own_;
};

}  // namespace korva::detail
