// Speed of text and collisions: ImagesOverlapTransformed of two 64x64 masked
// discs (overlapping, touching corners only, apart) at scales from 0.01 to
// 100000, loading fonts, and drawing a 1000-character line of Latin-1 beside
// one of Cyrillic and Greek. Font loads run without a display and on SDL's
// offscreen GL (Mesa), text is drawn on it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <fribidi.h>
#include <hb.h>

#include "graphics/text_shaping.h"
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

// Every pair at `scale`, positions scaled with the images: the same pairs
// whatever the scale.
void Overlaps(benchmark::State& state, const std::vector<Pair>& pairs, float scale = 1) {
    Start();
    const Ref<TImage> a = Disc(), b = Disc();
    size_t i = 0;
    int64_t hits = 0;
    for (auto _ : state) {
        const Pair& p = pairs[i++ & 1023];
        hits += ImagesOverlapTransformed(a, 200, 200, 0, p.rotation1, scale, scale, b, 200 + p.x * scale,
                                         200 + p.y * scale, 0, p.rotation2, scale, scale);
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

// The pairs above at scale kScales[range(0)]: the overlap grows with the
// square of the scale, the work must not (within 2x of scale 1).
const float kScales[] = {0.01f, 0.1f, 0.5f, 1, 1.2f, 1.4f, 2, 10, 100, 1000, 100000};

void BM_OverlapTouchingScaled(benchmark::State& state) {
    Overlaps(state, Pairs(0, 60), kScales[state.range(0)]);
    state.SetLabel("scale " + std::to_string(kScales[state.range(0)]));
}
BENCHMARK(BM_OverlapTouchingScaled)->DenseRange(0, 10);

void BM_OverlapBoxesOnlyScaled(benchmark::State& state) {
    Overlaps(state, Pairs(66, 88), kScales[state.range(0)]);
    state.SetLabel("scale " + std::to_string(kScales[state.range(0)]));
}
BENCHMARK(BM_OverlapBoxesOnlyScaled)->DenseRange(0, 10);

// A 1000-character line drawn with DejaVu Sans at 16 px, each character
// already drawn once: Latin-1 letters (range(0) = 0) or Cyrillic and Greek
// (1). One pixel is read back after each line, so Mesa's work is included.
void BM_TextLine(benchmark::State& state) {
    Start();
    OpenGraphics(800, 600, 0, 0);
    Ref<TImageFont> font = OpenImageFont(kDejaVu, 16);
    if (!font) state.SkipWithError("DejaVu Sans is missing");
    SetDrawFont(font);
    std::u16string line;
    for (int i = 0; i < 1000; ++i) {
        if (state.range(0) == 0) line += char16_t(i % 2 ? 0xC0 + i % 64 : 'a' + i % 26);
        else line += char16_t(i % 2 ? 0x410 + i % 64 : 0x3B1 + i % 25);
    }
    const String text(line);
    DrawText(text, 0, 100);
    for (auto _ : state) {
        DrawText(text, 0, 100);
        benchmark::DoNotOptimize(ReadScreenPixmap(0, 0, 1, 1).Get());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetLabel(state.range(0) == 0 ? "Latin-1" : "Cyrillic and Greek");
    SetDrawFont(nullptr);
    CloseGraphics();
}
BENCHMARK(BM_TextLine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// 1000 characters of words: Latin only (range(0) = 0) or Latin and Arabic
// by turns, both in DejaVu Sans.
String WordLine(bool arabic) {
    const std::u16string latin[] = {u"quick ", u"brown ", u"jumps ", u"over ", u"lazy ", u"dogs "};
    const std::u16string other[] = {u"\u0633\u0644\u0627\u0645 ", u"\u0643\u062A\u0627\u0628 ",
                                    u"\u0645\u062F\u064A\u0646\u0629 "};
    std::u16string line;
    for (size_t i = 0; line.size() < 1000; ++i) line += arabic && i % 2 ? other[i / 2 % 3] : latin[i % 6];
    line.resize(1000);
    return String(line);
}

// Shaped text beside DrawText: DrawText of a Latin line (range(0) = 0), and
// DrawTextShaped of the mixed Latin and Arabic line (1) and of the Latin
// line (2), cache warm. One pixel is read back after each line.
void BM_ShapedLine(benchmark::State& state) {
    Start();
    OpenGraphics(800, 600, 0, 0);
    Ref<TImageFont> font = OpenImageFont(kDejaVu, 16);
    if (!font) state.SkipWithError("DejaVu Sans is missing");
    SetDrawFont(font);
    const String text = WordLine(state.range(0) == 1);
    const bool shaped = state.range(0) != 0;
    shaped ? DrawTextShaped(text, 0, 100) : DrawText(text, 0, 100);
    for (auto _ : state) {
        shaped ? DrawTextShaped(text, 0, 100) : DrawText(text, 0, 100);
        benchmark::DoNotOptimize(ReadScreenPixmap(0, 0, 1, 1).Get());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetLabel(state.range(0) == 0 ? "DrawText, Latin" : state.range(0) == 1 ? "shaped, Latin and Arabic" : "shaped, Latin");
    SetDrawFont(nullptr);
    CloseGraphics();
}
BENCHMARK(BM_ShapedLine)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Shaping the mixed line cold: ShapedTextWidth with the cache emptied first
// (range(0) = 0), against FriBidi and HarfBuzz called directly on the same
// UTF-16 text (1): characters decoded, bidi types, bracket types and levels,
// one hb_shape per run of one level in the same font at the same scale.
void BM_ShapeCold(benchmark::State& state) {
    Start();
    Ref<TImageFont> font = OpenImageFont(kDejaVu, 16);
    if (!font) state.SkipWithError("DejaVu Sans is missing");
    SetDrawFont(font);
    const String text = WordLine(true);
    hb_blob_t* blob = hb_blob_create_from_file(kDejaVu);
    hb_face_t* face = hb_face_create(blob, 0);
    hb_font_t* hbFont = hb_font_create(face);
    hb_font_set_scale(hbFont, 16 * 64, 16 * 64);
    hb_buffer_t* buffer = hb_buffer_create();
    std::vector<uint32_t> chars;
    std::vector<FriBidiCharType> types;
    std::vector<FriBidiBracketType> brackets;
    std::vector<FriBidiLevel> levels;
    for (auto _ : state) {
        if (state.range(0) == 0) {
            detail::ClearShapingCache();
            benchmark::DoNotOptimize(ShapedTextWidth(text));
            continue;
        }
        chars.clear();
        for (int32_t i = 0; i < text.Length(); ++i) chars.push_back(text[i]);
        const auto n = static_cast<FriBidiStrIndex>(chars.size());
        types.resize(chars.size());
        brackets.resize(chars.size());
        levels.resize(chars.size());
        fribidi_get_bidi_types(chars.data(), n, types.data());
        fribidi_get_bracket_types(chars.data(), n, types.data(), brackets.data());
        FriBidiParType base = FRIBIDI_PAR_ON;
        benchmark::DoNotOptimize(fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &base, levels.data()));
        hb_position_t width = 0;
        for (FriBidiStrIndex start = 0; start < n;) {
            FriBidiStrIndex end = start + 1;
            while (end < n && levels[end] == levels[start]) ++end;
            hb_buffer_clear_contents(buffer);
            hb_buffer_add_utf32(buffer, chars.data(), n, start, end - start);
            hb_buffer_set_direction(buffer, levels[start] & 1 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
            hb_buffer_guess_segment_properties(buffer);
            hb_shape(hbFont, buffer, nullptr, 0);
            unsigned count = 0;
            const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
            for (unsigned g = 0; g < count; ++g) width += pos[g].x_advance;
            start = end;
        }
        benchmark::DoNotOptimize(width);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetLabel(state.range(0) == 0 ? "ShapedTextWidth, cold" : "fribidi + hb_shape");
    hb_buffer_destroy(buffer);
    hb_font_destroy(hbFont);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    SetDrawFont(nullptr);
}
BENCHMARK(BM_ShapeCold)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

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
