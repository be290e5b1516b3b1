// Pixel-accurate collisions: the layer functions, the solid-pixel rules, and
// a brute-force cross-check against every screen pixel centre.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "graphics/draw_state.h"
#include "graphics/gl_state.h"
#include "tests/graphics/gl_test_support.h"

namespace korva {
namespace {

// A width x height image whose pixel (x, y) has the alpha alphaAt(x, y).
Ref<TImage> Picture(int32_t width, int32_t height, const std::function<int(int, int)>& alphaAt,
                    int32_t format = PIX_RGBA32) {
    Ref<TPixmap> p = NewPixmap(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p->WritePixel(x, y, uint32_t(alphaAt(x, y)) << 24 | 0x0000FFu);
    return LoadImageFile(Ref<Object>(p), 0);
}

Ref<TImage> Solid(int32_t width, int32_t height) {
    return Picture(width, height, [](int, int) { return 255; });
}

std::vector<std::string> Texts(const ObjectArray& ids) {
    std::vector<std::string> out;
    for (const auto& id : ids) out.push_back(UnboxString(id).ToBytes());
    return out;
}

// Collisions need the 2D state but no display.
class CollisionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseOffscreenVideo();
        SetDrawTransform(0, 1, 1);
        SetDrawOrigin(0, 0);
        ClearCollisionLayers(0);
    }
};

TEST_F(CollisionTest, SolidPixelsDecide) {
    const Ref<TImage> a = Solid(32, 32), b = Solid(32, 32);
    EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 32, 0, 0), 0);
    EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 31, 0, 0), 1);
    EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, -31, 31, 0), 1);
    // Origin and handles move placements as drawing does.
    SetImageAnchor(b, 16, 16);
    EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 48, 16, 0), 0);
    EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 47, 16, 0), 1);
    SetDrawOrigin(-1000.25f, 7.25f);
    EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, b, 47, 16, 0), 1);

    // Left halves transparent (alpha 127), right halves solid (128): the
    // boxes overlap, the solid pixels only when pushed one pixel further.
    const Ref<TImage> half = Picture(16, 8, [](int x, int) { return x < 8 ? 127 : 128; });
    EXPECT_EQ(ImagesOverlap(half, 0, 0, 0, half, 8, 0, 0), 0);
    EXPECT_EQ(ImagesOverlap(half, 0, 0, 0, half, 1, 0, 0), 1);
    EXPECT_EQ(ImagesOverlap(half, 8, 0, 0, half, 0, 0, 0), 0);

    // Every pixmap format is read by its own alpha; without alpha it is solid.
    const auto hole = [](int x, int y) { return x == 2 && y == 2 ? 0 : 255; };
    for (int32_t format : {PIX_A8, PIX_BGRA32, PIX_RGBA32}) {
        const Ref<TImage> holed = Picture(5, 5, hole, format);
        EXPECT_EQ(ImagesOverlap(holed, 0, 0, 0, Solid(1, 1), 2, 2, 0), 0) << format;
        EXPECT_EQ(ImagesOverlap(holed, 0, 0, 0, Solid(1, 1), 2, 3, 0), 1) << format;
    }
    for (int32_t format : {PIX_I8, PIX_RGB24, PIX_BGR24})
        EXPECT_EQ(ImagesOverlap(Picture(5, 5, hole, format), 0, 0, 0, Solid(1, 1), 2, 2, 0), 1) << format;
    // Frames without a pixmap are solid rectangles.
    EXPECT_EQ(ImagesOverlap(NewImage(5, 5, 1, 0), 0, 0, 0, Picture(5, 5, hole), 0, 0, 0), 1);

    EXPECT_THROW(ImagesOverlap(a, 0, 0, 1, b, 0, 0, 0), TArrayIndexFault);
    EXPECT_THROW(CollideImageLayers(a, 0, 0, -1, 0, 1, nullptr), TArrayIndexFault);
    EXPECT_THROW(ImagesOverlap(nullptr, 0, 0, 0, b, 0, 0, 0), TNullObjectFault);
    // Placements that are not finite never collide (nor hang).
    EXPECT_EQ(ImagesOverlapTransformed(a, 0, 0, 0, 0, NAN, 1, b, 0, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(ImagesOverlapTransformed(a, 0, 0, 0, 0, INFINITY, 1, b, 0, 0, 0, 0, 1, 1), 0);
}

TEST_F(CollisionTest, LayersKeepPlacementsUntilCleared) {
    const Ref<TImage> ring = Picture(9, 9, [](int x, int y) { return x == 4 && y == 4 ? 0 : 255; });
    CollideImageLayers(ring, 10, 10, 0, 0, 1 << 0, BoxString("ring"));
    CollideImageLayers(ring, 10, 10, 0, 0, 1 << 0, BoxString("again"));
    CollideImageLayers(ring, 100, 10, 0, 0, 1 << 3 | 1 << 5, BoxString("far"));
    // A rectangle over the hole hits nothing; over a solid pixel it hits both
    // records of the same placement, newest first.
    EXPECT_TRUE(CollideRectLayers(14, 14, 1, 1, ~0u, 0, nullptr).empty());
    EXPECT_EQ(Texts(CollideRectLayers(14, 15, 1, 1, ~0u, 0, nullptr)), (std::vector<std::string>{"again", "ring"}));
    // Written into two layers, found in each; only the layers asked are tested.
    EXPECT_EQ(Texts(CollideRectLayers(100, 10, 1, 1, ~0u, 0, nullptr)), (std::vector<std::string>{"far", "far"}));
    EXPECT_EQ(CollideRectLayers(100, 10, 1, 1, 1 << 3, 0, nullptr).size(), 1u);
    EXPECT_TRUE(CollideRectLayers(100, 10, 1, 1, 1 << 4, 0, nullptr).empty());
    // Tested before written: a placement never hits itself.
    EXPECT_EQ(CollideRectLayers(100, 10, 1, 1, 1 << 6, 1 << 6, BoxString("me")).size(), 0u);
    // A rotated rectangle turns about its top-left corner.
    SetDrawRotation(90);
    EXPECT_EQ(CollideRectLayers(101, 10, 1, 10, 1 << 6, 0, nullptr).size(), 1u);
    SetDrawRotation(0);

    ClearCollisionLayers(1 << 0);
    EXPECT_TRUE(CollideRectLayers(14, 15, 1, 1, ~0u, 0, nullptr).empty());
    EXPECT_EQ(CollideRectLayers(100, 10, 1, 1, ~0u, 0, nullptr).size(), 3u);
    ClearCollisionLayers(0);
    EXPECT_TRUE(CollideRectLayers(0, 0, 1000, 1000, ~0u, 0, nullptr).empty());

    // Cleared records wait for reuse without keeping their ids alive; a long
    // layer is released without deep recursion.
    Ref<Object> id = BoxString("kept?");
    CollideRectLayers(0, 0, 1, 1, 0, 1, id);
    ClearCollisionLayers(1);
    EXPECT_EQ(id->RefCount(), 1);
    for (int i = 0; i < 200000; ++i) CollideRectLayers(float(i), 0, 1, 1, 0, 1 << 7, nullptr);
    ClearCollisionLayers(1 << 7);
}

TEST_F(CollisionTest, TransformsFollowTheDrawMatrix) {
    // One solid pixel at (1, 2) of an 8x8 image.
    const Ref<TImage> dot = Picture(8, 8, [](int x, int y) { return x == 1 && y == 2 ? 255 : 0; });
    const auto hit = [&](float x, float y) { return CollideRectLayers(x, y, 1, 1, 1, 0, nullptr).size(); };
    // Mirrored: column 1 lands on screen column 20 - 2 = 18.
    SetDrawScale(-1, 1);
    CollideImageLayers(dot, 20, 20, 0, 0, 1, nullptr);
    SetDrawScale(1, 1);
    EXPECT_EQ(hit(18, 22), 1u);
    EXPECT_EQ(hit(19, 22) + hit(21, 22) + hit(17, 22) + hit(18, 21), 0u);
    // Turned a quarter and doubled: local (u, v) lands at (20 - 2v, 40 + 2u).
    ClearCollisionLayers(1);
    SetDrawTransform(90, 2, 2);
    CollideImageLayers(dot, 20, 40, 0, 0, 1, nullptr);
    SetDrawTransform(0, 1, 1);
    for (int y = 40; y < 48; ++y)
        for (int x = 12; x < 20; ++x) EXPECT_EQ(hit(x, y), (x == 14 || x == 15) && (y == 42 || y == 43) ? 1u : 0u);

    // ImagesOverlapTransformed uses its own rotation and scale and leaves the
    // 2D state, and the driver's matrix, as they were.
    SetDrawTransform(30, 2, 3);
    const Ref<TImage> bar = Solid(40, 2);
    EXPECT_EQ(ImagesOverlapTransformed(bar, 0, 0, 0, 90, 1, 1, bar, -1, 20, 0, 0, 1, 1), 1);
    EXPECT_EQ(ImagesOverlapTransformed(bar, 0, 0, 0, 90, 1, 1, bar, 1, 20, 0, 0, 1, 1), 0);
    EXPECT_EQ(ImagesOverlapTransformed(bar, 0, 0, 0, 0, 1, 1, bar, 0, 2, 0, 0, 1, 0.5f), 0);
    EXPECT_EQ(ImagesOverlapTransformed(bar, 0, 0, 0, 0, 1, 1, bar, 0, 2, 0, 0, 1, -1), 1);
    EXPECT_THROW(ImagesOverlapTransformed(bar, 0, 0, 0, 45, 1, 1, bar, 0, 0, 9, 0, 1, 1), TArrayIndexFault);
    float sx, sy;
    GetDrawScale(sx, sy);
    EXPECT_EQ(GetDrawRotation(), 30.0f);
    EXPECT_EQ(sx, 2.0f);
    EXPECT_EQ(sy, 3.0f);
    const detail::DrawState& s = detail::drawState;
    EXPECT_EQ(detail::glDrawState.xx, s.xx);
    EXPECT_EQ(detail::glDrawState.yy, s.yy);
}

// The reference: a placed image maps screen points back into itself. Points
// within `edge` (in the image's own units) of a texel edge are too close to
// call: the quads' corners are floats.
struct Placement {
    Ref<TImage> image;
    float x, y, rotation, scaleX, scaleY;
    double xx = 0, xy = 0, yx = 0, yy = 0, det = 0, edge = 1e-3;

    // The matrix, made as the 2D layer makes it; `reach` bounds the size of
    // the coordinates, whose float rounding widens the edges.
    void Prepare(double reach) {
        const double sine = Sin(rotation), cosine = Cos(rotation);
        xx = float(cosine * scaleX), xy = float(-sine * scaleY);
        yx = float(sine * scaleX), yy = float(cosine * scaleY);
        det = xx * yy - xy * yx;
        edge = 1e-3 + 4e-7 * reach / std::min(std::fabs(scaleX), std::fabs(scaleY));
    }
    int32_t Width() const { return image->width; }
    int32_t Height() const { return image->height; }
    double TexelSize() const { return std::max(std::hypot(xx, yx), std::hypot(xy, yy)); }
    double Area() const { return std::fabs(det) * Width() * Height(); }

    void ToScreen(double lx, double ly, double& px, double& py) const {
        lx -= image->handleX, ly -= image->handleY;
        px = x + xx * lx + xy * ly, py = y + yx * lx + yy * ly;
    }
    void ToLocal(double px, double py, double& lx, double& ly) const {
        const double dx = px - x, dy = py - y;
        lx = (yy * dx - xy * dy) / det + image->handleX;
        ly = (-yx * dx + xx * dy) / det + image->handleY;
    }
    // 1 solid, 0 not (or outside), 2 too close to an edge to call.
    int SolidAt(double px, double py) const {
        double lx, ly;
        ToLocal(px, py, lx, ly);
        const double e = edge;
        if (lx < -e || ly < -e || lx >= Width() + e || ly >= Height() + e) return 0;
        if (std::fabs(lx - std::round(lx)) < e || std::fabs(ly - std::round(ly)) < e) return 2;
        return image->pixmaps[0]->ReadPixel(int(lx), int(ly)) >> 31;
    }
};

// Where the line start + t * step (t from 0 to 1) lies within [0, size].
void Within(double start, double step, double size, double& lo, double& hi) {
    if (step == 0) {
        if (start < 0 || start > size) hi = lo;
        return;
    }
    const double t0 = -start / step, t1 = (size - start) / step;
    lo = std::max(lo, std::min(t0, t1));
    hi = std::min(hi, std::max(t0, t1));
}

// The collision rule by brute force: 1 or 0, or 2 when the placements lie
// too close to an edge (or to the switch between the two rules) to call.
// Where the two images' texels per screen pixel add up to 1 or more and the
// quads' overlap is no taller than both images have texels: some pixel
// centre on a solid texel of both. Otherwise: some solid texel centre of the
// finer image (smaller texels on screen) on a solid texel of the other.
int RuleAnswer(const Placement& a, const Placement& b, bool& texelRule) {
    const double texels = a.Width() * a.Height() + b.Width() * b.Height();
    const double density = 1 / std::fabs(a.det) + 1 / std::fabs(b.det);
    // The overlap, integrated over rows of the smaller placement.
    const Placement& s = a.Area() < b.Area() ? a : b;
    const Placement& o = &s == &a ? b : a;
    constexpr int kRows = 2000;
    const double step = double(s.Height()) / kRows;
    double area = 0, top = INFINITY, bottom = -INFINITY, left = INFINITY, right = -INFINITY;
    for (int j = 0; j < kRows; ++j) {
        double x0, y0, x1, y1, u0, v0, u1, v1;
        s.ToScreen(0, (j + 0.5) * step, x0, y0);
        s.ToScreen(s.Width(), (j + 0.5) * step, x1, y1);
        o.ToLocal(x0, y0, u0, v0);
        o.ToLocal(x1, y1, u1, v1);
        double lo = 0, hi = 1;
        Within(u0, u1 - u0, o.Width(), lo, hi);
        Within(v0, v1 - v0, o.Height(), lo, hi);
        if (!(lo < hi)) continue;
        area += (hi - lo) * s.Width() * step * std::fabs(s.det);
        for (double t : {lo, hi}) {
            const double px = x0 + t * (x1 - x0), py = y0 + t * (y1 - y0);
            top = std::min(top, py), bottom = std::max(bottom, py);
            left = std::min(left, px), right = std::max(right, px);
        }
    }
    if (area == 0) return 0;
    const double margin = 2 * s.TexelSize() * step + 1e-3;
    if (std::fabs(density - 1) < 1e-3 || std::fabs(bottom - top - texels) < 2 * margin) return 2;
    texelRule = density < 1 || bottom - top > texels;
    if (!texelRule) {
        if ((right - left + 2 * margin) * (bottom - top + 2 * margin) > 4e6) return 2;  // too many to visit
        bool maybe = false;
        for (double py = std::floor(top - margin) + 0.5; py < bottom + margin; ++py) {
            for (double px = std::floor(left - margin) + 0.5; px < right + margin; ++px) {
                const int u = a.SolidAt(px, py), v = u ? b.SolidAt(px, py) : 0;
                if (u == 1 && v == 1) return 1;
                maybe |= u != 0 && v != 0;
            }
        }
        return maybe ? 2 : 0;
    }
    const auto lattice = [](const Placement& f, const Placement& c) {
        bool maybe = false;
        for (int j = 0; j < f.Height(); ++j) {
            for (int i = 0; i < f.Width(); ++i) {
                if (!(f.image->pixmaps[0]->ReadPixel(i, j) >> 31)) continue;
                double px, py;
                f.ToScreen(i + 0.5, j + 0.5, px, py);
                const int v = c.SolidAt(px, py);
                if (v == 1) return 1;
                maybe |= v == 2;
            }
        }
        return maybe ? 2 : 0;
    };
    const double ta = a.TexelSize(), tb = b.TexelSize();
    if (std::fabs(ta - tb) > 1e-4 * std::max(ta, tb)) return ta < tb ? lattice(a, b) : lattice(b, a);
    const int first = lattice(a, b), second = lattice(b, a);
    return first == second ? first : 2;
}

TEST_F(CollisionTest, AgreesWithABruteForceReferenceAtEveryScale) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> unit(0, 1);
    const auto spots = [&](int32_t format, float density) {
        std::vector<int> alpha(64);
        for (int& a : alpha) a = unit(random) < density ? 255 : 0;
        return Picture(7, 6, [alpha](int x, int y) { return alpha[size_t(y * 7 + x)]; }, format);
    };
    const auto sign = [&] { return unit(random) < 0.5f ? -1.0f : 1.0f; };
    // Scales near 1 (mostly the pixel rule), then from 0.01 to 1000, the
    // second image within ten times the first's.
    int counts[2][3] = {}, texelRules[2] = {};
    for (int trial = 0; trial < 4000; ++trial) {
        const bool wide = trial >= 2000;
        Placement p[2];
        const float power = 5 * unit(random) - 2;
        for (int k = 0; k < 2; ++k) {
            const float spread = k == 0 ? 0 : std::clamp(power + 2 * unit(random) - 1, -2.0f, 3.0f) - power;
            const float scale = wide ? std::pow(10.0f, power + spread) : 0.5f + 2 * unit(random);
            const float aspect = wide ? 0.5f + 1.5f * unit(random) : (0.5f + 2 * unit(random)) / scale;
            p[k] = {spots(k == 0 ? PIX_RGBA32 : PIX_A8, wide ? 0.25f : 0.5f), 0, 0, 360 * unit(random), sign() * scale,
                    sign() * scale * aspect};
            SetImageAnchor(p[k].image, 7 * unit(random), 6 * unit(random));
        }
        p[0].x = 30 + 12 * unit(random), p[0].y = 30 + 12 * unit(random);
        p[0].Prepare(0);
        // The second anchored at a point in or near the first.
        double px, py;
        p[0].ToScreen(-3.5 + 14 * unit(random), -3 + 12 * unit(random), px, py);
        p[1].x = float(px), p[1].y = float(py);
        const double reach = std::fabs(px) + std::fabs(py) + 8 * (std::fabs(p[0].scaleX) + std::fabs(p[1].scaleX) +
                                                                 std::fabs(p[0].scaleY) + std::fabs(p[1].scaleY));
        p[0].Prepare(reach);
        p[1].Prepare(reach);
        bool texelRule = false;
        const int want = RuleAnswer(p[0], p[1], texelRule);
        ++counts[wide][want];
        if (want == 2) continue;
        if (texelRule) ++texelRules[want];
        EXPECT_EQ(ImagesOverlapTransformed(p[0].image, p[0].x, p[0].y, 0, p[0].rotation, p[0].scaleX, p[0].scaleY,
                                           p[1].image, p[1].x, p[1].y, 0, p[1].rotation, p[1].scaleX, p[1].scaleY),
                  want)
            << "trial " << trial;
        // The layer tests follow the same rule, whichever placement is written.
        if (trial % 8 == 0) {
            EXPECT_EQ(ImagesOverlapTransformed(p[1].image, p[1].x, p[1].y, 0, p[1].rotation, p[1].scaleX,
                                               p[1].scaleY, p[0].image, p[0].x, p[0].y, 0, p[0].rotation,
                                               p[0].scaleX, p[0].scaleY),
                      want)
                << "trial " << trial << " swapped";
        }
    }
    for (int wide = 0; wide < 2; ++wide) {
        EXPECT_GT(counts[wide][0], 400) << wide;
        EXPECT_GT(counts[wide][1], 400) << wide;
        EXPECT_LT(counts[wide][2], 200) << wide;
    }
    EXPECT_GT(texelRules[0], 300);
    EXPECT_GT(texelRules[1], 300);
}

}  // namespace
}  // namespace korva
