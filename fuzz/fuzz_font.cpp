// Arbitrary bytes as a font file: put in an in-memory file and opened by its
// path through OpenImageFont, so FreeType parses and renders them at a small
// size and the image font makes its glyph images. No display is opened (the
// glyph frames keep their pixels until a display would draw them). A font
// that comes back must be consistent: 224 glyphs whose images match their
// rectangles, and text measures within the glyphs' bounds, for characters
// beyond the 224 (rendered on first use) as well.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "korvagl/korvagl.h"

using namespace korva;

namespace {

// The in-memory file each input is written to (no disk, nothing left behind),
// and the path FreeType opens it by.
int file = -1;
std::string path;

void Start() {
    // Glyph images need the draw driver, not a display.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    InitKorvaGL();
    file = memfd_create("korvagl-fuzz-font", 0);
    if (file < 0) std::abort();
    path = "/proc/self/fd/" + std::to_string(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int started = (Start(), 0);
    (void)started;
    if (ftruncate(file, 0) != 0 || (size > 0 && pwrite(file, data, size, 0) != static_cast<ssize_t>(size))) {
        std::abort();
    }

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
