// Memory of glyphs made on first use: the growth of the process (resident
// set) while 30 000 distinct characters at 64 px, in a tiny font that maps
// every character, are measured (TextWidth) or drawn (DrawText) on SDL's
// offscreen GL, with the glyph budget of 256 MB and with no budget, side by
// side. Each case runs in a child process of its own, so that none inherits
// another's heap.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

#include "graphics/glyph_cache.h"
#include "korvagl/korvagl.h"
#include "support/font_fixtures.h"

namespace korva {
namespace {

constexpr int32_t kCharacters = 30000;
constexpr int32_t kFirst = 0x4E00;  // any run of codes will do: the font maps them all

int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void Run(bool draw, bool budget) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    InitKorvaGL();
    OpenGraphics(800, 600, 0, 0);
    char path[] = "/tmp/korvagl-every-XXXXXX";
    const int fd = mkstemp(path);
    const std::string font = test::EveryCharacterFont();
    if (fd < 0 || write(fd, font.data(), font.size()) != ssize_t(font.size())) std::exit(1);
    close(fd);
    SetDrawFont(OpenImageFont(path, 64));
    unlink(path);
    if (!budget) detail::SetGlyphBudget(std::numeric_limits<int64_t>::max());
    const int64_t before = ResidentBytes();
    int64_t width = 0;
    for (int32_t start = 0; start < kCharacters; start += 100) {
        std::u16string text;
        for (int32_t i = start; i < start + 100; ++i) text += char16_t(kFirst + i);
        if (draw) {
            DrawText(String(text), 0, 100);
            FlipFrame();
        } else {
            width += TextWidth(String(text));
        }
    }
    const int64_t after = ResidentBytes();
    std::printf("%-9s %-10s growth %5.0f MB, glyph account %5.0f MB, pages given back %lld%s\n",
                draw ? "DrawText" : "TextWidth", budget ? "budget" : "no budget", (after - before) / 1048576.0,
                detail::GlyphBytes() / 1048576.0, static_cast<long long>(detail::GlyphPagesReleased()),
                draw || width == int64_t{kCharacters} * 38 ? "" : " (WRONG WIDTH)");
}

}  // namespace
}  // namespace korva

int main() {
    for (const bool draw : {false, true}) {
        for (const bool budget : {true, false}) {
            std::fflush(stdout);
            const pid_t child = fork();
            if (child == 0) {
                korva::Run(draw, budget);
                std::fflush(stdout);
                _exit(0);
            }
            int status = 0;
            waitpid(child, &status, 0);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("case failed (status %d)\n", status);
        }
    }
    return 0;
}
