// KorvaGL: pixel formats, the per-format tables and pixel runs.
//
// A pixel format is a small integer. Its name gives the order of the bytes of
// one pixel in memory, lowest address first:
//
//   PIX_NONE    0  no pixels (0 bytes)
//   PIX_I8      1  intensity (grey), 1 byte
//   PIX_A8      2  alpha, 1 byte
//   PIX_BGR24   3  blue, green, red
//   PIX_RGB24   4  red, green, blue
//   PIX_BGRA32  5  blue, green, red, alpha
//   PIX_RGBA32  6  red, green, blue, alpha
//
// PIX_RGBA32 is the hub: every conversion between two other formats passes
// through it. Going to RGBA, I8 v gives (v, v, v, 255), A8 a gives
// (255, 255, 255, a) and the formats without alpha get alpha 255. Coming from
// RGBA, I8 takes (R + G + B) / 3 (integer division) and A8 takes A.
//
// Per-pixel access uses one 32-bit value, ARGB: alpha in bits 24-31, red in
// 16-23, green in 8-15, blue in 0-7.
#pragma once

#include <cstdint>

namespace korva {

using ARGB = uint32_t;

inline constexpr int32_t PIX_NONE = 0;
inline constexpr int32_t PIX_I8 = 1;
inline constexpr int32_t PIX_A8 = 2;
inline constexpr int32_t PIX_BGR24 = 3;
inline constexpr int32_t PIX_RGB24 = 4;
inline constexpr int32_t PIX_BGRA32 = 5;
inline constexpr int32_t PIX_RGBA32 = 6;

// The per-format tables, indexed by format number 0 to 6. They are constants,
// valid before any initialiser has run.
inline constexpr int32_t PixelBytes[7] = {0, 1, 1, 3, 3, 4, 4};
inline constexpr int32_t PixelBits[7] = {0, 8, 8, 24, 24, 32, 32};
inline constexpr int32_t RedBitCount[7] = {0, 0, 0, 8, 8, 8, 8};
inline constexpr int32_t GreenBitCount[7] = {0, 0, 0, 8, 8, 8, 8};
inline constexpr int32_t BlueBitCount[7] = {0, 0, 0, 8, 8, 8, 8};
inline constexpr int32_t AlphaBitCount[7] = {0, 0, 8, 0, 0, 8, 8};

// True for the formats that hold pixels, 1 to 6.
constexpr bool IsPixelFormat(int32_t format) noexcept { return format >= PIX_I8 && format <= PIX_RGBA32; }

// Copies count * PixelBytes[format] bytes from src to dst (the two may
// overlap). Nothing happens for a count of 0 or less or a format outside 0-6.
void CopyPixelRun(const void* src, void* dst, int32_t format, int32_t count);

// Converts `count` pixels from src in srcFormat to dst in dstFormat:
//   equal formats: CopyPixelRun;
//   from PIX_RGBA32 or to PIX_RGBA32: one step;
//   otherwise through PIX_RGBA32 (in small chunks, no allocation).
// Nothing is converted when either format lies outside 1-6 or count <= 0.
// src and dst must not overlap, except that they may be the very same address
// when both formats have the same pixel size (in-place conversion).
void ConvertPixelRun(const void* src, int32_t srcFormat, void* dst, int32_t dstFormat, int32_t count);

// The module "pixel format conversion". Run-once; returns 0.
int InitPixelConversion();

}  // namespace korva
