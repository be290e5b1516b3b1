// Arbitrary text through the shaped path and text boxes: the first byte picks
// the box width and alignment, the rest is UTF-16 (two bytes a unit, so lone
// surrogates, direction overrides and mark runs all come up). DejaVu Sans
// with Noto Sans Arabic as its fallback, measured without a display (shaping,
// bidi order, line breaking and the cache run; drawing needs a display).
// Every line of a box must lie within the text and follow the one before.
#include <cstdlib>
#include <string>

#include "graphics/text_shaping.h"
#include "korvagl/korvagl.h"

using namespace korva;

namespace {

Ref<TImageFont> font;

void Start() {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    InitKorvaGL();
    font = OpenImageFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 14);
    if (!font) std::abort();
    if (Ref<TImageFont> arabic = OpenImageFont("/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf", 14)) {
        SetFontFallback(font, arabic);
    }
    SetDrawFont(font);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int started = (Start(), 0);
    (void)started;
    if (size < 1) return 0;
    const float width = static_cast<float>(data[0] & 63) * 8;
    const int32_t align = data[0] >> 6;
    std::u16string units;
    for (size_t i = 1; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    const String text(units);
    (void)ShapedTextWidth(text);
    SetTextKerning(data[0] & 1);
    (void)TextWidth(text);
    SetTextKerning(0);
    const auto lines = detail::LayOutTextBox(detail::ChainOf(font.Get()), text.View(), width, align);
    size_t previous = 0;
    for (const detail::PlacedLine& line : lines) {
        if (line.start > line.end || line.end > units.size() || line.start < previous) std::abort();
        previous = line.end;
    }
    if (TextBoxLines(text, width) != static_cast<int32_t>(lines.size())) std::abort();
    return 0;
}
