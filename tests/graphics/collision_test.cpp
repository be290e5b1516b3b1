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

// The reference: whether the image placed with handle, rotation and scale
// covers the screen point with a solid pixel, by mapping the point back into
// the image. 2 when the point lies too close to a pixel edge to call.
struct Placement {
    Ref<TImage> image;
    float x, y, rotation, scaleX, scaleY;
    double xx = 0, xy = 0, yx = 0, yy = 0, det = 0;

    // The matrix, made as the 2D layer makes it.
    void Prepare() {
        const double sine = Sin(rotation), cosine = Cos(rotation);
        xx = float(cosine * scaleX), xy = float(-sine * scaleY);
        yx = float(sine * scaleX), yy = float(cosine * scaleY);
        det = xx * yy - xy * yx;
    }

    int SolidAt(double px, double py) const {
        const TImage& i = *image;
        const double dx = px - x, dy = py - y;
        const double lx = (yy * dx - xy * dy) / det + i.handleX;
        const double ly = (-yx * dx + xx * dy) / det + i.handleY;
        constexpr double e = 1e-3;
        if (lx < -e || ly < -e || lx >= i.width + e || ly >= i.height + e) return 0;
        if (std::fabs(lx - std::round(lx)) < e || std::fabs(ly - std::round(ly)) < e) return 2;
        return i.pixmaps[0]->ReadPixel(int(lx), int(ly)) >> 31;
    }
};

TEST_F(CollisionTest, AgreesWithEveryPixelCentreMappedBack) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> unit(0, 1);
    const auto spots = [&](int32_t format) {
        std::vector<int> alpha(64);
        for (int& a : alpha) a = unit(random) < 0.5f ? 255 : 0;
        return Picture(7, 6, [alpha](int x, int y) { return alpha[size_t(y * 7 + x)]; }, format);
    };
    int hits = 0, misses = 0, unclear = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        Placement p[2];
        for (int k = 0; k < 2; ++k) {
            p[k] = {spots(k == 0 ? PIX_RGBA32 : PIX_A8), 30 + 12 * unit(random), 30 + 12 * unit(random),
                    360 * unit(random), (unit(random) < 0.5f ? -1 : 1) * (0.5f + 2 * unit(random)),
                    (unit(random) < 0.5f ? -1 : 1) * (0.5f + 2 * unit(random))};
            SetImageAnchor(p[k].image, 7 * unit(random), 6 * unit(random));
            p[k].Prepare();
        }
        bool surely = false, maybe = false;
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 80; ++x) {
                const int a = p[0].SolidAt(x + 0.5, y + 0.5), b = p[1].SolidAt(x + 0.5, y + 0.5);
                surely |= a == 1 && b == 1;
                maybe |= a != 0 && b != 0;
            }
        }
        const int32_t got = ImagesOverlapTransformed(p[0].image, p[0].x, p[0].y, 0, p[0].rotation, p[0].scaleX,
                                                     p[0].scaleY, p[1].image, p[1].x, p[1].y, 0, p[1].rotation,
                                                     p[1].scaleX, p[1].scaleY);
        if (surely) {
            EXPECT_EQ(got, 1) << "trial " << trial;
            ++hits;
        } else if (!maybe) {
            EXPECT_EQ(got, 0) << "trial " << trial;
            ++misses;
        } else {
            ++unclear;
        }
    }
    EXPECT_GT(hits, 600);
    EXPECT_GT(misses, 600);
    EXPECT_LT(unclear, 60);
}

}  // namespace
}  // namespace korva
