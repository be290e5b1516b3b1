// Pixel-accurate collisions: placements become quads kept in 32 layers. A
// test of two quads whose overlap is small next to their images' texel count
// scans the overlap row by row and samples both images at every pixel centre
// they share; a larger overlap is sampled at the texel centres of the finer
// image instead, so that the work never exceeds the texels.
#include "korvagl/graphics/collision.h"

#include <algorithm>
#include <cmath>

#include "graphics/draw_state.h"
#include "korvagl/app/math.h"

namespace korva {
namespace {

constexpr int kLayerCount = 32;
constexpr uint32_t kScratchLayer = 0x80000000u;
// Pixel positions are clamped to this before they become integers.
constexpr double kFarthest = 1 << 30;

struct Matrix {
    float xx = 0, xy = 0, yx = 0, yy = 0;
};

std::array<Ref<TQuad>, kLayerCount> layers;
Ref<TQuad> freeList;
// Kept equal to the 2D layer's matrix.
Matrix collisionTransform;

// The matrix of a rotation and scale, exactly as the 2D layer computes it
// (Sin and Cos written out, so that the compiler makes one sincos call).
Matrix MatrixFor(float rotation, float scaleX, float scaleY) {
    const double radians = rotation * kDegreesToRadians;
    const double sine = std::sin(radians);
    const double cosine = std::cos(radians);
    return {static_cast<float>(cosine * scaleX), static_cast<float>(-sine * scaleY),
            static_cast<float>(sine * scaleX), static_cast<float>(cosine * scaleY)};
}

// The quad of a width x height rectangle with its handle at (x, y) plus the
// origin, mapped through the matrix.
void PlaceQuad(TQuad& quad, const Matrix& m, float x, float y, float width, float height, float handleX,
               float handleY) {
    const float px = x + detail::drawState.originX;
    const float py = y + detail::drawState.originY;
    const float left = -handleX, top = -handleY;
    const float right = width - handleX, bottom = height - handleY;
    const auto mx = [&](float u, float v) { return px + m.xx * u + m.xy * v; };
    const auto my = [&](float u, float v) { return py + m.yx * u + m.yy * v; };
    quad.SetQuad(mx(left, top), my(left, top), mx(right, top), my(right, top), mx(right, bottom),
                 my(right, bottom), mx(left, bottom), my(left, bottom));
    quad.width = width;
    quad.height = height;
}

void PlaceImage(TQuad& quad, const Ref<TImage>& image, float x, float y, int32_t frame, const Matrix& m) {
    const TImage& i = *image;
    if (frame < 0 || static_cast<size_t>(frame) >= i.frames.size()) RaiseArrayIndexFault();
    // A render target's pixmap follows its drawing only when asked: now.
    if (TImageFrame* f = i.frames[static_cast<size_t>(frame)].Get()) f->SyncPixels();
    quad.pixmap = static_cast<size_t>(frame) < i.pixmaps.size() ? i.pixmaps[static_cast<size_t>(frame)] : nullptr;
    PlaceQuad(quad, m, x, y, static_cast<float>(i.width), static_cast<float>(i.height), i.handleX, i.handleY);
}

// ---- The rasteriser --------------------------------------------------------

// Where a polygon covers one row: pixel centres from xLeft (inclusive) to
// xRight (exclusive), with the texture coordinates at both ends.
struct Span {
    double xLeft, xRight, uLeft, vLeft, uRight, vRight;
};

// One convex polygon of vertices (x, y, u, v), scanned from the top down. The
// left side runs from the top vertex against the order of a clockwise
// polygon, the right side with it; a polygon wound the other way (a mirrored
// image) has its order reversed first, which here means swapping the
// directions the two sides walk.
class ScanPolygon {
public:
    ScanPolygon(const float* verts, int count) : v_(verts), n_(count) {
        // Twice the signed area: positive for clockwise order on a screen
        // whose y axis points down.
        double area = 0;
        for (int i = 0; i < n_; ++i) {
            const int j = (i + 1) % n_;
            area += double{X(i)} * Y(j) - double{X(j)} * Y(i);
        }
        leftStep_ = area >= 0 ? n_ - 1 : 1;
        top_ = 0;
        for (int i = 1; i < n_; ++i) {
            if (Y(i) < Y(top_)) top_ = i;
        }
        leftA_ = rightA_ = top_;
        leftB_ = Next(top_, leftStep_);
        rightB_ = Next(top_, n_ - leftStep_);
    }

    // The span of the row whose centre is at y = c; rows must come in
    // increasing order. False when the polygon does not reach the row.
    bool SpanAt(double c, Span& span) {
        if (!Walk(leftA_, leftB_, leftSteps_, leftStep_, c) || !Walk(rightA_, rightB_, rightSteps_, n_ - leftStep_, c)) {
            return false;
        }
        Edge(leftA_, leftB_, c, span.xLeft, span.uLeft, span.vLeft);
        Edge(rightA_, rightB_, c, span.xRight, span.uRight, span.vRight);
        return span.xLeft < span.xRight;
    }

private:
    float X(int i) const { return v_[i * 4]; }
    float Y(int i) const { return v_[i * 4 + 1]; }
    int Next(int i, int step) const { return (i + step) % n_; }

    // Moves down one side until its edge a -> b holds c (y_a <= c < y_b).
    bool Walk(int& a, int& b, int& steps, int step, double c) const {
        while (Y(b) <= c) {
            if (++steps >= n_) return false;  // past the bottom
            a = b;
            b = Next(b, step);
        }
        return Y(a) <= c;
    }

    void Edge(int a, int b, double c, double& x, double& u, double& v) const {
        const float* p = v_ + a * 4;
        const float* q = v_ + b * 4;
        const double t = (c - p[1]) / (double{q[1]} - p[1]);
        x = p[0] + t * (double{q[0]} - p[0]);
        u = p[2] + t * (double{q[2]} - p[2]);
        v = p[3] + t * (double{q[3]} - p[3]);
    }

    const float* v_;
    int n_;
    int leftStep_ = 0;
    int top_ = 0;
    int leftA_ = 0, leftB_ = 0, rightA_ = 0, rightB_ = 0;
    int leftSteps_ = 0, rightSteps_ = 0;
};

// Reads whether a texel of a quad's source is solid: alpha of 128 or more in
// the pixmap's own format; pixmaps without alpha, and quads without a pixmap,
// are solid everywhere. A quad without a pixmap has one texel per unit of its
// own size (at least one).
struct Sampler {
    const uint8_t* pixels = nullptr;
    int32_t pitch = 0, width = 0, height = 0, bytes = 0, alpha = 0;
    int32_t columns = 1, rows = 1;  // the texel grid
    bool solid = true;   // no pixel needs reading
    bool empty = false;  // nothing to collide with

    explicit Sampler(const TQuad& quad) {
        const TPixmap* pixmap = quad.pixmap.Get();
        if (!pixmap) {
            columns = GridSize(quad.width);
            rows = GridSize(quad.height);
            return;
        }
        if (pixmap->width <= 0 || pixmap->height <= 0 || !IsPixelFormat(pixmap->format)) {
            empty = true;
            return;
        }
        columns = pixmap->width;
        rows = pixmap->height;
        const int32_t format = pixmap->format;
        if (AlphaBitCount[format] == 0) return;
        solid = false;
        pixels = pixmap->pixels;
        pitch = pixmap->pitch;
        width = pixmap->width;
        height = pixmap->height;
        bytes = PixelBytes[format];
        alpha = format == PIX_A8 ? 0 : 3;
    }

    static int32_t GridSize(float size) {
        return static_cast<int32_t>(std::clamp(std::ceil(static_cast<double>(size)), 1.0, double{1 << 24}));
    }
    double Texels() const { return static_cast<double>(columns) * rows; }

    bool SolidAt(double u, double v) const {
        const int32_t col = std::min(static_cast<int32_t>(std::clamp(u, 0.0, 1.0) * width), width - 1);
        const int32_t row = std::min(static_cast<int32_t>(std::clamp(v, 0.0, 1.0) * height), height - 1);
        return TexelSolid(col, row);
    }

    bool TexelSolid(int32_t col, int32_t row) const {
        return pixels[static_cast<ptrdiff_t>(row) * pitch + col * bytes + alpha] >= 128;
    }
};

bool Finite(const TQuad& q) {
    return std::isfinite(q.minX) && std::isfinite(q.maxX) && std::isfinite(q.minY) && std::isfinite(q.maxY);
}

// The first pixel whose centre lies at or right of x.
int64_t FirstPixel(double x) { return static_cast<int64_t>(std::ceil(std::clamp(x, -kFarthest, kFarthest) - 0.5)); }

// ---- Where two quads overlap -----------------------------------------------

struct Point {
    double x, y;
};

double Cross(Point a, Point b) { return a.x * b.y - a.y * b.x; }
Point Minus(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point Corner(const TQuad& q, int i) {
    const size_t at = static_cast<size_t>(i) * 4;
    return {q.verts[at], q.verts[at + 1]};
}

// Twice the signed area of a quad: positive for clockwise corners on a
// screen whose y axis points down, 0 for a quad squashed flat.
double Winding(const TQuad& q) {
    double sum = 0;
    for (int i = 0; i < 4; ++i) sum += Cross(Corner(q, i), Corner(q, (i + 1) % 4));
    return sum;
}

// The area the two quads share, in square pixels, and its top and bottom.
struct Overlap {
    bool any = false;
    double area = 0;
    double top = 0, bottom = 0;
};

// Clips quad a by every side of quad b (both convex, either winding, b not
// flat). Each side at most doubles the corners, even when rounding bends a
// nearly flat polygon.
Overlap OverlapOf(const TQuad& a, const TQuad& b) {
    Point poly[64], next[64];
    int n = 4;
    for (int i = 0; i < 4; ++i) poly[i] = Corner(a, i);
    const double sign = Winding(b) < 0 ? -1 : 1;
    for (int e = 0; e < 4 && n > 0; ++e) {
        const Point p = Corner(b, e), q = Corner(b, (e + 1) % 4);
        const Point side = Minus(q, p);
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const Point c = poly[i], d = poly[(i + 1) % n];
            const double dc = sign * Cross(side, Minus(c, p)), dd = sign * Cross(side, Minus(d, p));
            if (dc >= 0) next[m++] = c;
            if ((dc >= 0) != (dd >= 0)) {
                const double t = dc / (dc - dd);
                next[m++] = {c.x + t * (d.x - c.x), c.y + t * (d.y - c.y)};
            }
        }
        std::copy(next, next + m, poly);
        n = m;
    }
    Overlap o;
    if (n < 3) return o;
    o.any = true;
    o.top = o.bottom = poly[0].y;
    for (int i = 0; i < n; ++i) {
        o.area += Cross(poly[i], poly[(i + 1) % n]);
        o.top = std::min(o.top, poly[i].y);
        o.bottom = std::max(o.bottom, poly[i].y);
    }
    o.area = std::fabs(o.area) / 2;
    return o;
}

// ---- The pixel rule -------------------------------------------------------

// Scans rows firstRow to endRow - 1 of both quads; true at the first pixel
// centre where both are solid.
bool PixelWalk(const TQuad& a, const Sampler& sa, const TQuad& b, const Sampler& sb, int64_t firstRow,
               int64_t endRow) {
    ScanPolygon pa(a.verts.data(), 4);
    ScanPolygon pb(b.verts.data(), 4);
    for (int64_t row = firstRow; row < endRow; ++row) {
        const double c = static_cast<double>(row) + 0.5;
        Span s, t;
        if (!pa.SpanAt(c, s) || !pb.SpanAt(c, t)) continue;
        const int64_t begin = std::max(FirstPixel(s.xLeft), FirstPixel(t.xLeft));
        const int64_t end = std::min(FirstPixel(s.xRight), FirstPixel(t.xRight));
        if (begin >= end) continue;
        if (sa.solid && sb.solid) return true;
        // Texture coordinates at the first shared centre, and their change per pixel.
        const double x0 = static_cast<double>(begin) + 0.5;
        const double dsu = (s.uRight - s.uLeft) / (s.xRight - s.xLeft);
        const double dsv = (s.vRight - s.vLeft) / (s.xRight - s.xLeft);
        const double dtu = (t.uRight - t.uLeft) / (t.xRight - t.xLeft);
        const double dtv = (t.vRight - t.vLeft) / (t.xRight - t.xLeft);
        double su = s.uLeft + (x0 - s.xLeft) * dsu, sv = s.vLeft + (x0 - s.xLeft) * dsv;
        double tu = t.uLeft + (x0 - t.xLeft) * dtu, tv = t.vLeft + (x0 - t.xLeft) * dtv;
        for (int64_t x = begin; x < end; ++x) {
            if ((sa.solid || sa.SolidAt(su, sv)) && (sb.solid || sb.SolidAt(tu, tv))) return true;
            su += dsu;
            sv += dsv;
            tu += dtu;
            tv += dtv;
        }
    }
    return false;
}

// ---- The texel rule -------------------------------------------------------

// A quad as its image's texel grid: vertex 0 is the image's top-left corner,
// vertex 1 its top-right and vertex 3 its bottom-left (as SetQuad makes them).
struct Grid {
    Point origin;   // corner of texel (0, 0)
    Point column;   // screen step from one texel column to the next
    Point row;      // and from one texel row to the next
    int32_t columns, rows;

    Grid(const TQuad& q, const Sampler& s) : origin(Corner(q, 0)), columns(s.columns), rows(s.rows) {
        const Point across = Minus(Corner(q, 1), origin), down = Minus(Corner(q, 3), origin);
        column = {across.x / columns, across.y / columns};
        row = {down.x / rows, down.y / rows};
    }

    // The longer side of a texel on screen.
    double TexelSize() const { return std::max(std::hypot(column.x, column.y), std::hypot(row.x, row.y)); }
};

// Narrows [lo, hi) to the i for which 0 <= start + i * step < 1.
void KeepInside(double start, double step, double& lo, double& hi) {
    if (step == 0) {
        if (!(start >= 0 && start < 1)) hi = lo;
        return;
    }
    const double at0 = -start / step, at1 = (1 - start) / step;
    lo = std::max(lo, std::floor(std::min(at0, at1)));
    hi = std::min(hi, std::ceil(std::max(at0, at1)) + 1);
}

// True when the centre of some solid texel of f lies on a solid texel of c.
bool TexelWalk(const TQuad& f, const Sampler& fs, const TQuad& c, const Sampler& cs) {
    const Grid g(f, fs);
    // c's coordinates, 0 to 1 across the image, of a screen point p:
    // u = cross(p - corner, down) / det, v = cross(across, p - corner) / det.
    const Point corner = Corner(c, 0);
    const Point across = Minus(Corner(c, 1), corner), down = Minus(Corner(c, 3), corner);
    const double det = Cross(across, down);
    const double gridDet = Cross(g.column, g.row);
    if (det == 0 || gridDet == 0 || !std::isfinite(det) || !std::isfinite(gridDet)) return false;
    // Only the rows of f's grid that c's corners span can hold such a centre.
    double top = INFINITY, bottom = -INFINITY;
    for (int i = 0; i < 4; ++i) {
        const double j = Cross(g.column, Minus(Corner(c, i), g.origin)) / gridDet;
        top = std::min(top, j);
        bottom = std::max(bottom, j);
    }
    const auto firstRow = static_cast<int32_t>(std::clamp(std::floor(top - 0.5), 0.0, static_cast<double>(g.rows)));
    const auto endRow = static_cast<int32_t>(std::clamp(std::ceil(bottom + 0.5), 0.0, static_cast<double>(g.rows)));

    const Point first = {g.origin.x + (g.column.x + g.row.x) / 2 - corner.x,
                         g.origin.y + (g.column.y + g.row.y) / 2 - corner.y};
    const double u0 = Cross(first, down) / det, v0 = Cross(across, first) / det;
    const double uc = Cross(g.column, down) / det, vc = Cross(across, g.column) / det;
    const double ur = Cross(g.row, down) / det, vr = Cross(across, g.row) / det;
    for (int32_t j = firstRow; j < endRow; ++j) {
        const double ub = u0 + j * ur, vb = v0 + j * vr;
        double lo = 0, hi = g.columns;
        KeepInside(ub, uc, lo, hi);
        KeepInside(vb, vc, lo, hi);
        if (!(lo < hi)) continue;
        for (auto i = static_cast<int32_t>(lo); i < static_cast<int32_t>(hi); ++i) {
            const double u = ub + i * uc, v = vb + i * vc;
            if (!(u >= 0 && u < 1 && v >= 0 && v < 1)) continue;
            if ((fs.solid || fs.TexelSolid(i, j)) && (cs.solid || cs.SolidAt(u, v))) return true;
        }
    }
    return false;
}

// Which quad's texel centres the texel rule samples: the one whose texels
// are smaller on screen.
bool SamplesFirst(const TQuad& a, const Sampler& sa, const TQuad& b, const Sampler& sb) {
    const double ta = Grid(a, sa).TexelSize(), tb = Grid(b, sb).TexelSize();
    if (ta != tb) return ta < tb;
    // Equally fine: an order that does not depend on which quad is asked first.
    return !std::lexicographical_compare(b.verts.begin(), b.verts.end(), a.verts.begin(), a.verts.end());
}

// True when the two quads collide: by the pixel rule where their overlap
// covers no more pixels than the two have texels within it (and no more rows
// than they have texels in all), by the texel rule beyond.
bool Rasterise(const TQuad& a, const TQuad& b) {
    if (!Finite(a) || !Finite(b)) return false;
    const Sampler sa(a);
    const Sampler sb(b);
    // Flat quads cover no pixel centre (nor any texel centre).
    const double areaA = std::fabs(Winding(a)) / 2, areaB = std::fabs(Winding(b)) / 2;
    if (sa.empty || sb.empty || areaA == 0 || areaB == 0) return false;
    const Overlap o = OverlapOf(a, b);
    if (!o.any) return false;
    const double within = o.area * (sa.Texels() / areaA + sb.Texels() / areaB);
    if (o.area <= within && o.bottom - o.top <= sa.Texels() + sb.Texels()) {
        // Rows outside the overlap hold no shared centre; one more row each
        // way covers rounding.
        const int64_t firstRow = std::max(FirstPixel(std::max(a.minY, b.minY)), FirstPixel(o.top) - 1);
        const int64_t endRow = std::min(FirstPixel(std::min(a.maxY, b.maxY)), FirstPixel(o.bottom) + 1);
        return PixelWalk(a, sa, b, sb, firstRow, endRow);
    }
    return SamplesFirst(a, sa, b, sb) ? TexelWalk(a, sa, b, sb) : TexelWalk(b, sb, a, sa);
}

bool QuadsCollide(const TQuad& a, const TQuad& b) {
    if (a.maxX < b.minX || a.maxY < b.minY || a.minX > b.maxX || a.minY > b.maxY) return false;
    return Rasterise(a, b);
}

Ref<TQuad> TakeRecord() {
    if (!freeList) return New<TQuad>();
    Ref<TQuad> record = freeList;
    freeList = record->next;
    record->next = nullptr;
    return record;
}

ObjectArray Collide(const TQuad& probe, uint32_t collideMask, uint32_t writeMask, const Ref<Object>& id) {
    ObjectArray hits;
    for (int j = 0; j < kLayerCount; ++j) {
        if (!(collideMask >> j & 1)) continue;
        for (const TQuad* r = layers[j].Get(); r; r = r->next.Get()) {
            if (QuadsCollide(probe, *r)) hits.push_back(r->id);
        }
    }
    for (int j = 0; j < kLayerCount; ++j) {
        if (!(writeMask >> j & 1)) continue;
        Ref<TQuad> record = TakeRecord();
        record->pixmap = probe.pixmap;
        record->minX = probe.minX;
        record->minY = probe.minY;
        record->maxX = probe.maxX;
        record->maxY = probe.maxY;
        record->verts = probe.verts;
        record->width = probe.width;
        record->height = probe.height;
        record->id = id;
        record->next = std::move(layers[j]);
        layers[j] = std::move(record);
    }
    return hits;
}

}  // namespace

TQuad::~TQuad() {
    // Successors that only this chain holds are unlinked before they go, so
    // that freeing a long layer is a loop rather than a recursion per record.
    Ref<TQuad> rest = std::move(next);
    while (rest && rest->RefCount() == 1) {
        Ref<TQuad> after = std::move(rest->next);
        rest = std::move(after);
    }
}

void TQuad::SetQuad(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3) {
    verts = {x0, y0, 0, 0, x1, y1, 1, 0, x2, y2, 1, 1, x3, y3, 0, 1};
    minX = std::min({x0, x1, x2, x3});
    maxX = std::max({x0, x1, x2, x3});
    minY = std::min({y0, y1, y2, y3});
    maxY = std::max({y0, y1, y2, y3});
}

void ClearCollisionLayers(uint32_t mask) {
    if (mask == 0) mask = ~0u;
    for (int j = 0; j < kLayerCount; ++j) {
        if (!(mask >> j & 1) || !layers[j]) continue;
        // The records keep no id or pixmap alive while they wait for reuse.
        TQuad* last = layers[j].Get();
        for (;; last = last->next.Get()) {
            last->id = nullptr;
            last->pixmap = nullptr;
            if (!last->next) break;
        }
        last->next = std::move(freeList);
        freeList = std::move(layers[j]);
    }
}

ObjectArray CollideImageLayers(const Ref<TImage>& image, float x, float y, int32_t frame, uint32_t collideMask,
                               uint32_t writeMask, const Ref<Object>& id) {
    TQuad probe;
    PlaceImage(probe, image, x, y, frame, collisionTransform);
    return Collide(probe, collideMask, writeMask, id);
}

ObjectArray CollideRectLayers(float x, float y, float width, float height, uint32_t collideMask,
                              uint32_t writeMask, const Ref<Object>& id) {
    TQuad probe;
    PlaceQuad(probe, collisionTransform, x, y, width, height, 0, 0);
    return Collide(probe, collideMask, writeMask, id);
}

int32_t ImagesOverlap(const Ref<TImage>& image1, float x1, float y1, int32_t frame1, const Ref<TImage>& image2,
                      float x2, float y2, int32_t frame2) {
    ClearCollisionLayers(kScratchLayer);
    CollideImageLayers(image1, x1, y1, frame1, 0, kScratchLayer, nullptr);
    return CollideImageLayers(image2, x2, y2, frame2, kScratchLayer, 0, nullptr).empty() ? 0 : 1;
}

int32_t ImagesOverlapTransformed(const Ref<TImage>& image1, float x1, float y1, int32_t frame1, float rotation1,
                                 float scaleX1, float scaleY1, const Ref<TImage>& image2, float x2, float y2,
                                 int32_t frame2, float rotation2, float scaleX2, float scaleY2) {
    // Each image's matrix is made here rather than through the 2D setters:
    // the result is the same, and the 2D rotation, scale and the driver's
    // matrix are never touched, so nothing needs restoring (even on a fault).
    ClearCollisionLayers(kScratchLayer);
    TQuad probe;
    PlaceImage(probe, image1, x1, y1, frame1, MatrixFor(rotation1, scaleX1, scaleY1));
    Collide(probe, 0, kScratchLayer, nullptr);
    PlaceImage(probe, image2, x2, y2, frame2, MatrixFor(rotation2, scaleX2, scaleY2));
    return Collide(probe, kScratchLayer, 0, nullptr).empty() ? 0 : 1;
}

namespace detail {

void SetCollisionTransform(float xx, float xy, float yx, float yy) { collisionTransform = {xx, xy, yx, yy}; }

void CreateCollisionLayers() {
    for (auto& layer : layers) layer = nullptr;
    freeList = nullptr;
}

}  // namespace detail
}  // namespace korva
