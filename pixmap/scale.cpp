// ScalePixmap: bilinear resampling with pixel centres aligned.
//
// Positions and weights are 32-bit floats and the blend is done in double, in
// a fixed order of operations, so results are the same on every machine; this
// file is built without floating-point contraction (no fused multiply-add).
// The per-column sample positions are worked out once per call; an AVX2 path
// blends the four channels of one pixel in one register and must give exactly
// the bytes of the scalar code.
#include <cmath>
#include <cstring>
#include <vector>

#include "korvagl/pixmap/pixmap.h"
#include "pixmap/pixel_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KORVAGL_SCALE_SIMD 1
#endif

namespace korva {
namespace {

// Where output column x samples: byte offset of source pixel fx in a row, the
// step to its right neighbour (0 when clamped) and the weight of that
// neighbour.
struct Column {
    int32_t offset;
    int32_t dx;
    double tx;
};

// One sample position along an axis, clamped as the algorithm describes.
struct Sample {
    int32_t index;
    float t;
    bool clamped;
};

Sample SampleAt(int32_t i, float step, int32_t size) {
    const float s = (static_cast<float>(i) + 0.5f) * step - 0.5f;
    float f = std::floor(s);
    float t = s - f;
    bool clamped = false;
    if (f < 0.0f) {
        f = 0.0f, t = 0.0f, clamped = true;
    } else if (f >= static_cast<float>(size - 1)) {
        f = static_cast<float>(size - 1), t = 0.0f, clamped = true;
    }
    return {static_cast<int32_t>(f), t, clamped};
}

void BlendRowScalar(const uint8_t* row, int32_t dy, double ty, const Column* columns, int32_t count,
                    uint8_t* out) {
    for (int32_t x = 0; x < count; ++x, out += 4) {
        const uint8_t* p = row + columns[x].offset;
        const int32_t dx = columns[x].dx;
        const double tx = columns[x].tx;
        for (int c = 0; c < 4; ++c) {
            const int32_t a = p[c], b = p[c + dx], e = p[c + dy], d = p[c + dy + dx];
            const double top = a + (b - a) * tx;
            const double bottom = e + (d - e) * tx;
            const double v = top + (bottom - top) * ty;
            out[c] = static_cast<uint8_t>(static_cast<int32_t>(v));
        }
    }
}

#ifdef KORVAGL_SCALE_SIMD

bool HasAVX2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && detail::PixelSimdEnabled();
}

__attribute__((target("avx2"))) inline __m256d LoadPixel(const uint8_t* p) {
    int32_t bytes;
    std::memcpy(&bytes, p, 4);
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(bytes)));
}

// The same arithmetic as BlendRowScalar, one pixel's four channels at a time.
__attribute__((target("avx2"))) void BlendRowAVX2(const uint8_t* row, int32_t dy, double ty,
                                                  const Column* columns, int32_t count, uint8_t* out) {
    const __m256d vty = _mm256_set1_pd(ty);
    for (int32_t x = 0; x < count; ++x, out += 4) {
        const uint8_t* p = row + columns[x].offset;
        const int32_t dx = columns[x].dx;
        const __m256d vtx = _mm256_set1_pd(columns[x].tx);
        const __m256d a = LoadPixel(p), b = LoadPixel(p + dx);
        const __m256d e = LoadPixel(p + dy), d = LoadPixel(p + dy + dx);
        const __m256d top = _mm256_add_pd(a, _mm256_mul_pd(_mm256_sub_pd(b, a), vtx));
        const __m256d bottom = _mm256_add_pd(e, _mm256_mul_pd(_mm256_sub_pd(d, e), vtx));
        const __m256d v = _mm256_add_pd(top, _mm256_mul_pd(_mm256_sub_pd(bottom, top), vty));
        __m128i i = _mm256_cvttpd_epi32(v);
        i = _mm_packus_epi16(_mm_packus_epi32(i, i), i);
        const int32_t bytes = _mm_cvtsi128_si32(i);
        std::memcpy(out, &bytes, 4);
    }
}

#endif  // KORVAGL_SCALE_SIMD

void BlendRow(const uint8_t* row, int32_t dy, double ty, const Column* columns, int32_t count, uint8_t* out) {
#ifdef KORVAGL_SCALE_SIMD
    if (HasAVX2()) return BlendRowAVX2(row, dy, ty, columns, count, out);
#endif
    BlendRowScalar(row, dy, ty, columns, count, out);
}

}  // namespace

Ref<TPixmap> ScalePixmap(const Ref<TPixmap>& pixmap, int32_t width, int32_t height) {
    const Ref<TPixmap> source = pixmap->format == PIX_RGBA32 ? pixmap : pixmap->Convert(PIX_RGBA32);
    const TPixmap& s = *source;
    Ref<TPixmap> result = NewPixmap(width, height, pixmap->format, 4);
    if (result->capacity == 0) return result;
    if (s.width == 0 || s.height == 0) {
        std::memset(result->pixels, 0, static_cast<size_t>(result->capacity));  // nothing to sample
        return result;
    }

    const float xs = static_cast<float>(s.width) / static_cast<float>(width);
    const float ys = static_cast<float>(s.height) / static_cast<float>(height);
    std::vector<Column> columns(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) {
        const Sample sx = SampleAt(x, xs, s.width);
        columns[x] = {sx.index * 4, sx.clamped ? 0 : 4, static_cast<double>(sx.t)};
    }

    // Rows of an RGBA result are blended in place; other formats go through
    // one RGBA row buffer.
    const bool direct = result->format == PIX_RGBA32;
    std::vector<uint8_t> buffer(direct ? 0 : static_cast<size_t>(width) * 4);
    for (int32_t y = 0; y < height; ++y) {
        const Sample sy = SampleAt(y, ys, s.height);
        const int32_t dy = sy.clamped ? 0 : s.pitch;
        uint8_t* out = direct ? result->PixelAddress(0, y) : buffer.data();
        BlendRow(s.PixelAddress(0, sy.index), dy, static_cast<double>(sy.t), columns.data(), width, out);
        if (!direct) ConvertPixelRun(out, PIX_RGBA32, result->PixelAddress(0, y), result->format, width);
    }
    return result;
}

}  // namespace korva
