// Speed of text and collisions: ImagesOverlapTransformed of two 64x64 masked
// discs (overlapping, touching corners only, apart), and loading fonts.
// Font loads run without a display and on SDL's offscreen GL (Mesa).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "korvagl/korvagl.h"

namespace korva {
namespace {

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

void Start() {
    static const int started = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        InitKorvaGL();
        SetDrawTransform(0, 1, 1);
        return 0;
    }();
    (void)started;
}

// A masked 64x64 picture: a disc on the (black) mask colour, handle at the centre.
Ref<TImage> Disc() {
    Ref<TPixmap> p = NewPixmap(64, 64, PIX_RGB24);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const float dx = x + 0.5f - 32, dy = y + 0.5f - 32;
            p->WritePixel(x, y, dx * dx + dy * dy < 32 * 32 ? 0xFFC08040u : 0xFF000000u);
        }
    }
    Ref<TImage> image = LoadImageFile(p, IMAGE_MASKED);
    CentreImageAnchor(image);
    return image;
}

struct Pair {
    float x, y, rotation1, rotation2;
};

// Second disc placed at `distance` from the first in a random direction,
// both turned at random.
std::vector<Pair> Pairs(float nearest, float farthest) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> angle(0, 360), distance(nearest, farthest);
    std::vector<Pair> pairs(1024);
    for (Pair& p : pairs) {
        const float a = angle(random), d = distance(random);
        p = {float(d * Cos(a)), float(d * Sin(a)), angle(random), angle(random)};
    }
    return pairs;
}

void Overlaps(benchmark::State& state, const std::vector<Pair>& pairs) {
    Start();
    const Ref<TImage> a = Disc(), b = Disc();
    size_t i = 0;
    int64_t hits = 0;
    for (auto _ : state) {
        const Pair& p = pairs[i++ & 1023];
        hits += ImagesOverlapTransformed(a, 200, 200, 0, p.rotation1, 1, 1, b, 200 + p.x, 200 + p.y, 0, p.rotation2,
                                         1, 1);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["collide"] = double(hits) / double(state.iterations());
}

// Centres 0 to 60 apart: the discs overlap.
void BM_OverlapTouching(benchmark::State& state) { Overlaps(state, Pairs(0, 60)); }
BENCHMARK(BM_OverlapTouching);

// Centres 66 to 88 apart: turned boxes overlap, the discs never touch, so
// the whole shared area is scanned.
void BM_OverlapBoxesOnly(benchmark::State& state) { Overlaps(state, Pairs(66, 88)); }
BENCHMARK(BM_OverlapBoxesOnly);

// Centres more than 91 apart (the boxes' half-diagonals): bounding boxes reject.
void BM_OverlapRejected(benchmark::State& state) { Overlaps(state, Pairs(100, 300)); }
BENCHMARK(BM_OverlapRejected);

void BM_FontLoad(benchmark::State& state) {
    Start();
    const bool display = state.range(0) != 0;
    if (display) OpenGraphics(320, 240, 0, 0);
    for (auto _ : state) {
        Ref<TImageFont> font = TImageFont::Load(kDejaVu, 16);
        if (!font) state.SkipWithError("DejaVu Sans is missing");
        benchmark::DoNotOptimize(font.Get());
    }
    if (display) CloseGraphics();
}
BENCHMARK(BM_FontLoad)->Arg(0)->Arg(1)->ArgName("display")->Unit(benchmark::kMillisecond);

// The default font, as OpenGraphics makes it.
void BM_DefaultFont(benchmark::State& state) {
    Start();
    OpenGraphics(320, 240, 0, 0);
    for (auto _ : state) benchmark::DoNotOptimize(TImageFont::CreateDefault().Get());
    CloseGraphics();
}
BENCHMARK(BM_DefaultFont)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korva

BENCHMARK_MAIN();
