// Drawing through a render target beside drawing onto the screen: 1000
// alpha-blended, turned sprites per frame (the sprites benchmark's: 64 x 64,
// scaled 0.5 to 1.5; or 32 x 32 unscaled with "small") either straight onto an 800 x 600
// display, or into an 800 x 600 target which is then drawn onto the display.
// The two contestants alternate frame block by frame block over several
// rounds, and each reports the process's CPU time per frame (llvmpipe's
// threads included) and wall time, median over the rounds.
//   bench_target [rounds] [small]   (SDL's offscreen video unless SDL_VIDEODRIVER says otherwise)
#include <korvagl/korvagl.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace korva;

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool small = false;

// A disc with a soft edge, as the sprites benchmark draws.
Ref<TImage> MakeSprite() {
    const int n = small ? 32 : 64;
    Ref<TPixmap> p = NewPixmap(n, n, PIX_RGBA32);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const double dx = x - (n - 1) / 2.0, dy = y - (n - 1) / 2.0;
            const double d = std::sqrt(dx * dx + dy * dy) * 64.0 / n;
            const double a = d < 24 ? 1.0 : d > 32 ? 0.0 : (32 - d) / 8.0;
            p->WritePixel(x, y, uint32_t(a * 255) << 24 | uint32_t(x * 4) << 16 | uint32_t(y * 4) << 8 | 200u);
        }
    }
    return LoadImageFile(p, 0);
}

void DrawSprites(const Ref<TImage>& sprite, int frame) {
    ClearScreen();
    SetBlendMode(BLEND_ALPHA);
    for (int i = 0; i < 1000; ++i) {
        SetDrawColor(128 + i % 128, 255 - i % 100, 200);
        SetDrawAlpha(0.5f + (i % 50) / 100.0f);
        const float scale = small ? 1.0f : 0.5f + static_cast<float>((i * 618) % 1000) / 1000.0f;
        SetDrawTransform(static_cast<float>(frame + i), scale, scale);
        DrawImageAt(sprite, static_cast<float>((i * 37) % 800), static_cast<float>((i * 91) % 600));
    }
}

struct Figures {
    std::vector<double> cpuMs, wallMs;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    small = argc > 2 && std::string(argv[2]) == "small";
    return RunApplication(argc, argv, [rounds] {
        OpenGraphics(800, 600, 0, 0);
        SetAutoMidHandle(1);
        Ref<TImage> sprite = MakeSprite();
        SetAutoMidHandle(0);
        Ref<TImage> target = NewImage(800, 600, 1, 0);
        const int kFrames = 60;
        Figures screen, through;
        int frame = 0;
        for (int r = 0; r < rounds * 2; ++r) {
            const bool viaTarget = r % 2 == 1;
            const double c0 = CpuSeconds(), w0 = WallSeconds();
            for (int f = 0; f < kFrames; ++f, ++frame) {
                if (viaTarget) {
                    SetDrawTarget(target);
                    DrawSprites(sprite, frame);
                    SetDrawTarget(nullptr);
                    SetBlendMode(BLEND_ALPHA);
                    SetDrawColor(255, 255, 255);
                    SetDrawAlpha(1);
                    SetDrawTransform(0, 1, 1);
                    DrawImageAt(target, 0, 0);
                } else {
                    DrawSprites(sprite, frame);
                }
                FlipFrame();
            }
            ReadScreenPixmap(0, 0, 1, 1);  // every frame drawn
            Figures& into = viaTarget ? through : screen;
            into.cpuMs.push_back((CpuSeconds() - c0) * 1000.0 / kFrames);
            into.wallMs.push_back((WallSeconds() - w0) * 1000.0 / kFrames);
        }
        const double s = Median(screen.cpuMs), t = Median(through.cpuMs);
        std::printf("GL driver %d, %d rounds of %d frames, 1000 %s sprites a frame, medians\n", CurrentGLDriver(),
                    rounds, kFrames, small ? "32x32" : "64x64 x0.5-1.5");
        std::printf("onto the screen:      %.3f ms CPU, %.3f ms wall a frame\n", s, Median(screen.wallMs));
        std::printf("through a target:     %.3f ms CPU, %.3f ms wall a frame\n", t, Median(through.wallMs));
        std::printf("ratio (target/screen): %.3f CPU\n", t / s);
        return 0;
    });
}
