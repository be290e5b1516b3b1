// Arbitrary bytes as a font file: written to a temporary file and opened
// through OpenImageFont, so FreeType parses and renders them at a small size
// and the image font makes its glyph images. No display is opened (the
// glyph frames keep their pixels until a display would draw them). A font
// that comes back must be consistent: 224 glyphs whose images match their
// rectangles, and text measures within the glyphs' bounds, for characters
// beyond the 224 (rendered on first use) as well.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "korvagl/korvagl.h"

using namespace korva;

namespace {

// The file each input is written to, removed at exit.
char path[] = "/tmp/korvagl-fuzz-font-XXXXXX";

void Start() {
    // Glyph images need the draw driver, not a display.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    InitKorvaGL();
    const int fd = mkstemp(path);
    if (fd < 0) std::abort();
    close(fd);
    std::atexit([] { std::remove(path); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int started = (Start(), 0);
    (void)started;
    FILE* file = std::fopen(path, "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    const Ref<TImageFont> font = OpenImageFont(String(path), 12);
    if (!font) return 0;
    if (font->FirstChar() != 32 || font->CountGlyphs() != 224) std::abort();
    for (int32_t i = 0; i < 224; ++i) {
        const Ref<TImageGlyph> g = font->Glyph(i);
        if (g->image && (g->image->width != g->width || g->image->height != g->height)) std::abort();
        if (g->width < 0 || g->height < 0 || g->width > 4 * 12 + 64 || g->height > 4 * 12 + 64) std::abort();
    }
    char16_t units[224];
    for (int32_t i = 0; i < 224; ++i) units[i] = static_cast<char16_t>(32 + i);
    SetDrawFont(font);
    if (TextHeight(String(units, 224)) > 4 * 12 + 64) std::abort();
    volatile int32_t width = TextWidth(String(units, 224));
    // Characters beyond the range are rendered on first use, under the same
    // bounds: a few scripts, a surrogate pair, a lone surrogate.
    const char16_t more[] = {0x100, 0x3A9, 0x416, 0x20AC, 0x4E2D, 0xFFFD, 0xD83D, 0xDE00, 0xDC00, 0xD800};
    const String beyond(more, 10);
    if (TextHeight(beyond) > 4 * 12 + 64) std::abort();
    width = TextWidth(beyond);
    for (char16_t unit : more) {
        const Ref<TImageGlyph> g = font->CharGlyph(unit);
        if (g && g->image && (g->image->width != g->width || g->image->height != g->height)) std::abort();
    }
    (void)width;
    SetDrawFont(nullptr);
    return 0;
}
