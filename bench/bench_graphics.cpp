// Sprites through the 2D layer beside a raw OpenGL 1.1 immediate-mode loop
// doing the same work, in one 800x600 window (hertz 0: nothing paces
// frames), as frames per second and process CPU time per frame; then the
// demo's start-up time and frame rate.
//   bench_graphics [seconds per measurement]
// KORVAGL_UNBATCHED=1 in the environment measures the 2D layer's immediate-
// mode path instead of its batched one.
// Needs a display (bench/bench_graphics.sh starts Xvfb when there is none).
#include <GL/gl.h>
#include <SDL.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "korvagl/korvagl.h"

namespace {

using namespace korva;
using Clock = std::chrono::steady_clock;

const Clock::time_point processStart = Clock::now();

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

struct Sprite {
    float x, y, rotation, scale, alpha;
};

std::vector<Sprite> MakeSprites(int n) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> x(0, 800), y(0, 600), angle(0, 360), scale(0.5f, 1.5f), alpha(0.2f, 1);
    std::vector<Sprite> sprites(static_cast<size_t>(n));
    for (auto& s : sprites) s = {x(random), y(random), angle(random), scale(random), alpha(random)};
    return sprites;
}

// A masked picture: a disc on a key-coloured (black) background.
Ref<TImage> SpriteImage(int size) {
    Ref<TPixmap> p = NewPixmap(size, size, PIX_RGB24);
    const float r = size * 0.5f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float dx = x + 0.5f - r, dy = y + 0.5f - r;
            const bool inside = dx * dx + dy * dy < r * r;
            p->WritePixel(x, y, inside ? 0xFF000000u | uint32_t(40 + x * 200 / size) << 16 | 0x8000u | uint32_t(y * 255 / size) : 0xFF000000u);
        }
    }
    SetAutoMidHandle(1);
    return LoadImageFile(p, 6);  // filtered, masked
}

void KorvaFrame(const Ref<TImage>& image, const std::vector<Sprite>& sprites) {
    ClearScreen();
    SetBlendMode(3);
    for (const Sprite& s : sprites) {
        SetDrawAlpha(s.alpha);
        SetDrawTransform(s.rotation, s.scale, s.scale);
        DrawImageAt(image, s.x, s.y, 0);
    }
    FlipFrame();
}

// The same frame in plain GL: same texture, blend, colour, matrix and quads.
void RawFrame(GLuint texture, float size, float uMax, float vMax, const std::vector<Sprite>& sprites) {
    static const double kRad = 0.017453292519943295;
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_ALPHA_TEST);
    glBindTexture(GL_TEXTURE_2D, texture);
    glEnable(GL_TEXTURE_2D);
    const float h = size * 0.5f;
    for (const Sprite& s : sprites) {
        glColor4ub(255, 255, 255, static_cast<GLubyte>(s.alpha * 255));
        const double sine = std::sin(s.rotation * kRad), cosine = std::cos(s.rotation * kRad);
        const float xx = float(cosine * s.scale), xy = float(-sine * s.scale);
        const float yx = float(sine * s.scale), yy = float(cosine * s.scale);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(-h * xx - h * xy + s.x, -h * yx - h * yy + s.y);
        glTexCoord2f(uMax, 0);
        glVertex2f(h * xx - h * xy + s.x, h * yx - h * yy + s.y);
        glTexCoord2f(uMax, vMax);
        glVertex2f(h * xx + h * xy + s.x, h * yx + h * yy + s.y);
        glTexCoord2f(0, vMax);
        glVertex2f(-h * xx + h * xy + s.x, -h * yx + h * yy + s.y);
        glEnd();
    }
    SDL_GL_SwapWindow(SDL_GL_GetCurrentWindow());
    // The 2D layer's caches must not believe in state the raw loop changed.
    SetBlendMode(2);
}

template <typename Frame>
double Fps(Frame frame, double seconds) {
    frame();  // warm up
    glFinish();
    int frames = 0;
    const auto start = Clock::now();
    do {
        frame();
        ++frames;
    } while (Seconds(start) < seconds || frames < 3);
    glFinish();
    return frames / Seconds(start);
}

// CPU seconds of the whole process so far (all threads: llvmpipe's
// rasteriser threads too).
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

struct Rates {
    double fpsA, fpsB;      // frames per second of wall time
    double cpuMsA, cpuMsB;  // process CPU milliseconds per frame, steadier on a loaded machine
};

// Frames of the two loops alternate one by one, each timed to its end, so
// that the load of the machine, which drifts, falls on both alike.
template <typename A, typename B>
Rates SideBySide(A a, B b, double seconds) {
    a();
    b();
    glFinish();
    double timeA = 0, timeB = 0, cpuA = 0, cpuB = 0;
    int frames = 0;
    while (timeA + timeB < 2 * seconds || frames < 3) {
        auto start = Clock::now();
        double cpu = CpuSeconds();
        a();
        glFinish();
        timeA += Seconds(start);
        cpuA += CpuSeconds() - cpu;
        start = Clock::now();
        cpu = CpuSeconds();
        b();
        glFinish();
        timeB += Seconds(start);
        cpuB += CpuSeconds() - cpu;
        ++frames;
    }
    return {frames / timeA, frames / timeB, cpuA * 1000 / frames, cpuB * 1000 / frames};
}

void SpriteCase(int size, double seconds) {
    Ref<TImage> image = SpriteImage(size);
    auto* frame = dynamic_cast<TGLTextureFrame*>(image->frames[0].Get());
    std::printf("\n%dx%d masked sprites, alpha blended, rotated, scaled 0.5-1.5\n", size, size);
    std::printf("%8s %12s %12s %8s %14s %14s %8s\n", "N", "KorvaGL fps", "raw GL fps", "ratio", "KorvaGL cpu ms",
                "raw GL cpu ms", "raw/Korva");
    for (int n : {100, 1000, 10000, 50000}) {
        const auto sprites = MakeSprites(n);
        const Rates r = SideBySide(
            [&] { KorvaFrame(image, sprites); },
            [&] { RawFrame(frame->texture, float(size), frame->uMax, frame->vMax, sprites); }, seconds);
        std::printf("%8d %12.1f %12.1f %8.3f %14.2f %14.2f %8.3f\n", n, r.fpsA, r.fpsB, r.fpsA / r.fpsB, r.cpuMsA,
                    r.cpuMsB, r.cpuMsB / r.cpuMsA);
        std::fflush(stdout);
    }
}

// The demo's own calls, as app/demo.cpp makes them.
void DemoFrame(const Ref<TImage>& image, float& spin, float& pulse) {
    ClearScreen();
    spin += 1.0f;
    SetDrawOrigin(400, 300);
    SetDrawColor(255, 255, 255);
    SetBlendMode(2);
    TileImageAt(image, spin, spin, 0);
    SetDrawColor(255, 0, 0);
    SetDrawTransform(spin, static_cast<float>(0.5 * Sin(pulse)), static_cast<float>(0.5 * Cos(pulse)));
    SetBlendMode(5);
    DrawImageAt(image, 0, 0, 0);
    SetDrawTransform(spin, static_cast<float>(0.25 * Cos(pulse)), static_cast<float>(0.25 * Sin(pulse)));
    DrawImageAt(image, 0, 0, 0);
    pulse += 1.0f;
    FlipFrame();
}

int Run(double seconds) {
    // Start-up as the demo does it: every module, the display, the picture, one frame.
    OpenGraphics(800, 600, 16, 60);
    SetAutoMidHandle(1);
    Ref<TImage> picture = LoadImageFile(String(KORVAGL_DEMO_PICTURE), -1);
    if (!picture) {
        std::fprintf(stderr, "bench_graphics: no demo picture at %s\n", KORVAGL_DEMO_PICTURE);
        return 1;
    }
    float spin = 0, pulse = 0;
    DemoFrame(picture, spin, pulse);
    glFinish();
    const double startup = Seconds(processStart);
    const auto paced = Clock::now();
    int frames = 0;
    while (Seconds(paced) < seconds) {
        DemoFrame(picture, spin, pulse);
        ++frames;
    }
    const double pacedFps = frames / Seconds(paced);
    std::printf("demo: start-up to the first presented frame %.0f ms (modules, display, picture, frame)\n",
                startup * 1000);
    std::printf("demo: %.1f fps paced at 60 Hz", pacedFps);
    OpenGraphics(800, 600, 0, 0);
    SetAutoMidHandle(1);
    picture = LoadImageFile(String(KORVAGL_DEMO_PICTURE), -1);
    std::printf(", %.1f fps unpaced (hertz 0)\n", Fps([&] { DemoFrame(picture, spin, pulse); }, seconds));

    SetDrawOrigin(0, 0);
    SpriteCase(64, seconds);
    SpriteCase(8, seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    return RunApplication(argc, argv, [seconds] { return Run(seconds > 0 ? seconds : 2.0); });
}
