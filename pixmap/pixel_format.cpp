// Pixel runs: copying and converting between the seven pixel formats.
//
// Every conversion either starts or ends at PIX_RGBA32, or goes through it in
// chunks of a small stack buffer. The byte swizzles that images and textures
// use all the time (RGBA <-> BGRA, 24-bit <-> RGBA) have SSSE3 paths chosen
// at run time; the scalar code below is the reference they must match.
#include "korvagl/pixmap/pixel_format.h"

#include <atomic>
#include <cstring>

#include "korvagl/app/modules.h"
#include "pixmap/pixel_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KORVAGL_PIXEL_SIMD 1
#endif

namespace korva {

namespace {
std::atomic<bool> simdEnabled{true};
}  // namespace

void detail::SetPixelSimdEnabled(bool enabled) { simdEnabled.store(enabled, std::memory_order_relaxed); }
bool detail::PixelSimdEnabled() { return simdEnabled.load(std::memory_order_relaxed); }

namespace {

// ---- Scalar reference -------------------------------------------------------

void ToRGBAScalar(const uint8_t* src, int32_t srcFormat, uint8_t* dst, int32_t count) {
    switch (srcFormat) {
        case PIX_I8:
            for (int32_t i = 0; i < count; ++i, dst += 4) {
                const uint8_t v = src[i];
                dst[0] = v, dst[1] = v, dst[2] = v, dst[3] = 255;
            }
            break;
        case PIX_A8:
            for (int32_t i = 0; i < count; ++i, dst += 4) {
                const uint8_t a = src[i];
                dst[0] = 255, dst[1] = 255, dst[2] = 255, dst[3] = a;
            }
            break;
        case PIX_BGR24:
            for (int32_t i = 0; i < count; ++i, src += 3, dst += 4) {
                const uint8_t b = src[0], g = src[1], r = src[2];
                dst[0] = r, dst[1] = g, dst[2] = b, dst[3] = 255;
            }
            break;
        case PIX_RGB24:
            for (int32_t i = 0; i < count; ++i, src += 3, dst += 4) {
                const uint8_t r = src[0], g = src[1], b = src[2];
                dst[0] = r, dst[1] = g, dst[2] = b, dst[3] = 255;
            }
            break;
        case PIX_BGRA32:
            for (int32_t i = 0; i < count; ++i, src += 4, dst += 4) {
                const uint8_t b = src[0], g = src[1], r = src[2], a = src[3];
                dst[0] = r, dst[1] = g, dst[2] = b, dst[3] = a;
            }
            break;
        case PIX_RGBA32:
            std::memmove(dst, src, static_cast<size_t>(count) * 4);
            break;
        default:
            break;
    }
}

void FromRGBAScalar(const uint8_t* src, uint8_t* dst, int32_t dstFormat, int32_t count) {
    switch (dstFormat) {
        case PIX_I8:
            for (int32_t i = 0; i < count; ++i, src += 4) {
                dst[i] = static_cast<uint8_t>((src[0] + src[1] + src[2]) / 3);
            }
            break;
        case PIX_A8:
            for (int32_t i = 0; i < count; ++i, src += 4) dst[i] = src[3];
            break;
        case PIX_BGR24:
            for (int32_t i = 0; i < count; ++i, src += 4, dst += 3) {
                const uint8_t r = src[0], g = src[1], b = src[2];
                dst[0] = b, dst[1] = g, dst[2] = r;
            }
            break;
        case PIX_RGB24:
            for (int32_t i = 0; i < count; ++i, src += 4, dst += 3) {
                const uint8_t r = src[0], g = src[1], b = src[2];
                dst[0] = r, dst[1] = g, dst[2] = b;
            }
            break;
        case PIX_BGRA32:
            for (int32_t i = 0; i < count; ++i, src += 4, dst += 4) {
                const uint8_t r = src[0], g = src[1], b = src[2], a = src[3];
                dst[0] = b, dst[1] = g, dst[2] = r, dst[3] = a;
            }
            break;
        case PIX_RGBA32:
            std::memmove(dst, src, static_cast<size_t>(count) * 4);
            break;
        default:
            break;
    }
}

// ---- SSSE3 swizzles ---------------------------------------------------------
// Each returns how many pixels it converted (a multiple of 16); the scalar
// code finishes the rest. Every load happens before the store of the same
// block, so in-place use with equal pixel sizes is safe.

#ifdef KORVAGL_PIXEL_SIMD

bool HasSSSE3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has && detail::PixelSimdEnabled();
}

// Exchanges bytes 0 and 2 of every 4-byte pixel: RGBA <-> BGRA.
__attribute__((target("ssse3"))) int32_t SwapRedBlue32SSSE3(const uint8_t* src, uint8_t* dst, int32_t count) {
    const __m128i mask = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint8_t* s = src + static_cast<size_t>(i) * 4;
        uint8_t* d = dst + static_cast<size_t>(i) * 4;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(a, mask));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_shuffle_epi8(b, mask));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), _mm_shuffle_epi8(c, mask));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 48), _mm_shuffle_epi8(e, mask));
    }
    return i;
}

// 3-byte pixels to RGBA with alpha 255. `swap` exchanges bytes 0 and 2
// (BGR24 source) or keeps them (RGB24 source).
__attribute__((target("ssse3"))) int32_t Expand24To32SSSE3(const uint8_t* src, uint8_t* dst, int32_t count,
                                                             bool swap) {
    const __m128i mask = swap ? _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1)
                              : _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint8_t* s = src + static_cast<size_t>(i) * 3;
        uint8_t* d = dst + static_cast<size_t>(i) * 4;
        // 48 bytes hold 16 pixels; line each group of four up at byte 0.
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i p0 = a;
        const __m128i p1 = _mm_alignr_epi8(b, a, 12);
        const __m128i p2 = _mm_alignr_epi8(c, b, 8);
        const __m128i p3 = _mm_srli_si128(c, 4);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(_mm_shuffle_epi8(p0, mask), alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_or_si128(_mm_shuffle_epi8(p1, mask), alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), _mm_or_si128(_mm_shuffle_epi8(p2, mask), alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 48), _mm_or_si128(_mm_shuffle_epi8(p3, mask), alpha));
    }
    return i;
}

// RGBA to 3-byte pixels, dropping alpha; `swap` as above (BGR24 target).
__attribute__((target("ssse3"))) int32_t Pack32To24SSSE3(const uint8_t* src, uint8_t* dst, int32_t count,
                                                           bool swap) {
    const __m128i mask = swap ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
                              : _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint8_t* s = src + static_cast<size_t>(i) * 4;
        uint8_t* d = dst + static_cast<size_t>(i) * 3;
        const __m128i p0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), mask);
        const __m128i p1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)), mask);
        const __m128i p2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32)), mask);
        const __m128i p3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48)), mask);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16),
                         _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32),
                         _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
    }
    return i;
}

#endif  // KORVAGL_PIXEL_SIMD

// The fast path for a conversion that starts or ends at RGBA, if one exists;
// returns the number of pixels done.
int32_t ConvertFast(const uint8_t* src, int32_t srcFormat, uint8_t* dst, int32_t dstFormat, int32_t count) {
#ifdef KORVAGL_PIXEL_SIMD
    if (!HasSSSE3()) return 0;
    if (srcFormat == PIX_RGBA32) {
        if (dstFormat == PIX_BGRA32) return SwapRedBlue32SSSE3(src, dst, count);
        if (dstFormat == PIX_BGR24) return Pack32To24SSSE3(src, dst, count, true);
        if (dstFormat == PIX_RGB24) return Pack32To24SSSE3(src, dst, count, false);
    } else if (dstFormat == PIX_RGBA32) {
        if (srcFormat == PIX_BGRA32) return SwapRedBlue32SSSE3(src, dst, count);
        if (srcFormat == PIX_BGR24) return Expand24To32SSSE3(src, dst, count, true);
        if (srcFormat == PIX_RGB24) return Expand24To32SSSE3(src, dst, count, false);
    }
#else
    (void)src, (void)srcFormat, (void)dst, (void)dstFormat, (void)count;
#endif
    return 0;
}

// One step to or from the hub.
void ConvertDirect(const uint8_t* src, int32_t srcFormat, uint8_t* dst, int32_t dstFormat, int32_t count) {
    const int32_t done = ConvertFast(src, srcFormat, dst, dstFormat, count);
    src += static_cast<size_t>(done) * PixelBytes[srcFormat];
    dst += static_cast<size_t>(done) * PixelBytes[dstFormat];
    if (srcFormat == PIX_RGBA32) {
        FromRGBAScalar(src, dst, dstFormat, count - done);
    } else {
        ToRGBAScalar(src, srcFormat, dst, count - done);
    }
}

}  // namespace

void CopyPixelRun(const void* src, void* dst, int32_t format, int32_t count) {
    if (count <= 0 || format < PIX_NONE || format > PIX_RGBA32) return;
    std::memmove(dst, src, static_cast<size_t>(count) * static_cast<size_t>(PixelBytes[format]));
}

void ConvertPixelRun(const void* src, int32_t srcFormat, void* dst, int32_t dstFormat, int32_t count) {
    if (count <= 0 || !IsPixelFormat(srcFormat) || !IsPixelFormat(dstFormat)) return;
    const auto* s = static_cast<const uint8_t*>(src);
    auto* d = static_cast<uint8_t*>(dst);
    if (srcFormat == dstFormat) {
        CopyPixelRun(s, d, srcFormat, count);
    } else if (srcFormat == PIX_RGBA32 || dstFormat == PIX_RGBA32) {
        ConvertDirect(s, srcFormat, d, dstFormat, count);
    } else {
        // Through the hub, one cache-sized chunk at a time.
        constexpr int32_t kChunk = 1024;
        alignas(16) uint8_t hub[kChunk * 4];
        const int32_t sb = PixelBytes[srcFormat], db = PixelBytes[dstFormat];
        for (int32_t done = 0; done < count; done += kChunk) {
            const int32_t n = count - done < kChunk ? count - done : kChunk;
            ConvertDirect(s + static_cast<size_t>(done) * sb, srcFormat, hub, PIX_RGBA32, n);
            ConvertDirect(hub, PIX_RGBA32, d + static_cast<size_t>(done) * db, dstFormat, n);
        }
    }
}

int InitPixelConversion() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("pixel format conversion");
    return 0;
}

}  // namespace korva
