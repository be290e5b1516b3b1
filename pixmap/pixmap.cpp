// TPixmap: creation, windows, copies, conversion, per-pixel access, and the
// whole-pixmap operations built on them (masking, mirroring).
#include "korvagl/pixmap/pixmap.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "korvagl/app/faults.h"
#include "pixmap/pixel_memory.h"

namespace korva {
namespace {

[[noreturn]] void RaiseIllegalSize() { RaiseRuntimeError("Illegal pixmap size"); }
[[noreturn]] void RaiseIllegalFormat() { RaiseRuntimeError("Illegal pixel format"); }
[[noreturn]] void RaiseRegionOutOfRange() { RaiseRuntimeError("Pixmap region out of range"); }

void CheckFormat(int32_t format) {
    if (format < PIX_NONE || format > PIX_RGBA32) RaiseIllegalFormat();
}

// True when the w x h rectangle at (x, y) lies inside a width x height pixmap.
bool RegionInside(int64_t x, int64_t y, int64_t w, int64_t h, int64_t width, int64_t height) {
    return x >= 0 && y >= 0 && w >= 0 && h >= 0 && x + w <= width && y + h <= height;
}

size_t RowBytes(const TPixmap& p) { return static_cast<size_t>(p.width) * static_cast<size_t>(PixelBytes[p.format]); }

}  // namespace

TPixmap::TPixmap() noexcept : pixels(nullptr), width(0), height(0), pitch(0), format(0), capacity(0) {}

TPixmap::TPixmap(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format, int32_t capacity,
                 Ref<Object> owner) noexcept
    : pixels(pixels),
      width(width),
      height(height),
      pitch(pitch),
      format(format),
      capacity(capacity),
      owner_(std::move(owner)) {}

TPixmap::~TPixmap() {
    if (capacity >= 0) std::free(pixels);
}

uint8_t* TPixmap::PixelAddress(int32_t x, int32_t y) const {
    return pixels + static_cast<ptrdiff_t>(y) * pitch + static_cast<ptrdiff_t>(x) * PixelBytes[format];
}

Ref<TPixmap> TPixmap::Window(int32_t x, int32_t y, int32_t w, int32_t h) const {
    if (!RegionInside(x, y, w, h, width, height)) RaiseRegionOutOfRange();
    // A window of a window keeps the memory's real owner alive.
    Ref<Object> owner = owner_ ? owner_ : Ref<Object>(const_cast<TPixmap*>(this));
    return detail::AdoptNew(new TPixmap(PixelAddress(x, y), w, h, pitch, format, -1, std::move(owner)));
}

Ref<TPixmap> TPixmap::Copy() const {
    Ref<TPixmap> copy = Create(width, height, format, 4);
    const size_t bytes = RowBytes(*this);
    if (bytes == 0) return copy;
    for (int32_t y = 0; y < height; ++y) std::memcpy(copy->PixelAddress(0, y), PixelAddress(0, y), bytes);
    return copy;
}

void TPixmap::Paste(const Ref<TPixmap>& source, int32_t x, int32_t y) {
    const TPixmap& s = *source;
    if (!RegionInside(x, y, s.width, s.height, width, height)) RaiseRegionOutOfRange();
    for (int32_t i = 0; i < s.height; ++i) {
        ConvertPixelRun(s.PixelAddress(0, i), s.format, PixelAddress(x, y + i), format, s.width);
    }
}

Ref<TPixmap> TPixmap::Convert(int32_t to) const {
    Ref<TPixmap> result = Create(width, height, to, 4);
    if (format == PIX_NONE && result->capacity > 0) {
        std::memset(result->pixels, 0, static_cast<size_t>(result->capacity));  // nothing to convert from
    }
    for (int32_t y = 0; y < height; ++y) {
        ConvertPixelRun(PixelAddress(0, y), format, result->PixelAddress(0, y), to, width);
    }
    return result;
}

ARGB TPixmap::ReadPixel(int32_t x, int32_t y) const {
    const uint8_t* p = PixelAddress(x, y);
    switch (format) {
        case PIX_I8: return 0xFF000000u | p[0] * 0x010101u;
        case PIX_A8: return static_cast<ARGB>(p[0]) << 24 | 0x00FFFFFFu;
        case PIX_BGR24: return 0xFF000000u | ARGB(p[2]) << 16 | ARGB(p[1]) << 8 | p[0];
        case PIX_RGB24: return 0xFF000000u | ARGB(p[0]) << 16 | ARGB(p[1]) << 8 | p[2];
        case PIX_BGRA32: return ARGB(p[3]) << 24 | ARGB(p[2]) << 16 | ARGB(p[1]) << 8 | p[0];
        case PIX_RGBA32: return ARGB(p[3]) << 24 | ARGB(p[0]) << 16 | ARGB(p[1]) << 8 | p[2];
        default: return 0;
    }
}

void TPixmap::WritePixel(int32_t x, int32_t y, ARGB argb) {
    uint8_t* p = PixelAddress(x, y);
    const uint8_t a = argb >> 24, r = argb >> 16, g = argb >> 8, b = argb;
    switch (format) {
        case PIX_I8: p[0] = static_cast<uint8_t>((r + g + b) / 3); break;
        case PIX_A8: p[0] = a; break;
        case PIX_BGR24: p[0] = b, p[1] = g, p[2] = r; break;
        case PIX_RGB24: p[0] = r, p[1] = g, p[2] = b; break;
        case PIX_BGRA32: p[0] = b, p[1] = g, p[2] = r, p[3] = a; break;
        case PIX_RGBA32: p[0] = r, p[1] = g, p[2] = b, p[3] = a; break;
        default: break;
    }
}

Ref<TPixmap> TPixmap::Create(int32_t w, int32_t h, int32_t f, int32_t align) {
    CheckFormat(f);
    if (align < 1) RaiseRuntimeError("Illegal row alignment");
    if (w < 0 || h < 0) RaiseIllegalSize();
    const int64_t rowBytes = int64_t{w} * PixelBytes[f];
    const int64_t p = (rowBytes + align - 1) / align * align;
    const int64_t bytes = p * h;
    if (p > INT32_MAX || bytes > INT32_MAX) RaiseIllegalSize();
    uint8_t* memory = nullptr;
    if (bytes > 0) {
        memory = detail::AllocatePixelMemory(static_cast<size_t>(bytes));
        if (!memory) throw std::bad_alloc();
    }
    return detail::AdoptNew(new TPixmap(memory, w, h, static_cast<int32_t>(p), f, static_cast<int32_t>(bytes)));
}

Ref<TPixmap> TPixmap::CreateStatic(void* memory, int32_t w, int32_t h, int32_t p, int32_t f) {
    CheckFormat(f);
    if (w < 0 || h < 0) RaiseIllegalSize();
    return detail::AdoptNew(new TPixmap(static_cast<uint8_t*>(memory), w, h, p, f, -1));
}

Ref<TPixmap> detail::AdoptPixmapMemory(uint8_t* memory, int32_t w, int32_t h, int32_t p, int32_t f,
                                       int32_t bytes) {
    return detail::AdoptNew(new TPixmap(memory, w, h, p, f, bytes));
}

// ---- The procedural interface ----------------------------------------------

Ref<TPixmap> NewPixmap(int32_t width, int32_t height, int32_t format, int32_t align) {
    return TPixmap::Create(width, height, format, align);
}

Ref<TPixmap> NewPixmapOver(void* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format) {
    return TPixmap::CreateStatic(pixels, width, height, pitch, format);
}

Ref<TPixmap> DuplicatePixmap(const Ref<TPixmap>& pixmap) { return pixmap->Copy(); }
Ref<TPixmap> ReformatPixmap(const Ref<TPixmap>& pixmap, int32_t format) { return pixmap->Convert(format); }
int32_t GetPixmapWidth(const Ref<TPixmap>& pixmap) { return pixmap->width; }
int32_t GetPixmapHeight(const Ref<TPixmap>& pixmap) { return pixmap->height; }
int32_t GetPixmapPitch(const Ref<TPixmap>& pixmap) { return pixmap->pitch; }
int32_t GetPixmapFormat(const Ref<TPixmap>& pixmap) { return pixmap->format; }

uint8_t* GetPixmapPixels(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) { return pixmap->PixelAddress(x, y); }

Ref<TPixmap> PixmapSubRegion(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, int32_t width, int32_t height) {
    return pixmap->Window(x, y, width, height);
}

ARGB ReadPixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) { return pixmap->ReadPixel(x, y); }
void WritePixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, ARGB argb) { pixmap->WritePixel(x, y, argb); }

// ---- Colour-key masking -----------------------------------------------------

Ref<TPixmap> ApplyMaskColour(const Ref<TPixmap>& pixmap, int32_t red, int32_t green, int32_t blue) {
    const Ref<TPixmap> source = pixmap->format == PIX_RGBA32 ? pixmap : pixmap->Convert(PIX_RGBA32);
    const TPixmap& s = *source;
    Ref<TPixmap> result = TPixmap::Create(s.width, s.height, PIX_RGBA32, 4);
    const auto isKey = [&](const uint8_t* p) { return p[0] == red && p[1] == green && p[2] == blue; };

    for (int32_t y = 0; y < s.height; ++y) {
        const uint8_t* in = s.PixelAddress(0, y);
        uint8_t* out = result->PixelAddress(0, y);
        for (int32_t x = 0; x < s.width; ++x, in += 4, out += 4) {
            if (!isKey(in)) {
                out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 255;
                continue;
            }
            int32_t sum[3] = {0, 0, 0}, n = 0;
            for (int32_t ny = y - 1; ny <= y + 1; ++ny) {
                if (ny < 0 || ny >= s.height) continue;
                for (int32_t nx = x - 1; nx <= x + 1; ++nx) {
                    if (nx < 0 || nx >= s.width) continue;
                    const uint8_t* q = s.PixelAddress(nx, ny);
                    if (isKey(q)) continue;
                    sum[0] += q[0], sum[1] += q[1], sum[2] += q[2], ++n;
                }
            }
            for (int c = 0; c < 3; ++c) out[c] = n > 0 ? static_cast<uint8_t>(sum[c] / n) : 0;
            out[3] = 0;
        }
    }
    return result;
}

// ---- Mirroring --------------------------------------------------------------

namespace {

// One row reversed, pixel by pixel, for a fixed pixel size.
template <int Bytes>
void ReverseRow(const uint8_t* in, uint8_t* out, int32_t width) {
    const uint8_t* last = in + static_cast<size_t>(width - 1) * Bytes;
    for (int32_t i = 0; i < width; ++i) std::memcpy(out + static_cast<size_t>(i) * Bytes, last - static_cast<size_t>(i) * Bytes, Bytes);
}

}  // namespace

Ref<TPixmap> MirrorPixmapX(const Ref<TPixmap>& pixmap) {
    const TPixmap& s = *pixmap;
    Ref<TPixmap> result = TPixmap::Create(s.width, s.height, s.format, 4);
    if (RowBytes(s) == 0) return result;
    for (int32_t y = 0; y < s.height; ++y) {
        const uint8_t* in = s.PixelAddress(0, y);
        uint8_t* out = result->PixelAddress(0, y);
        switch (PixelBytes[s.format]) {
            case 1: ReverseRow<1>(in, out, s.width); break;
            case 3: ReverseRow<3>(in, out, s.width); break;
            case 4: ReverseRow<4>(in, out, s.width); break;
            default: break;
        }
    }
    return result;
}

Ref<TPixmap> MirrorPixmapY(const Ref<TPixmap>& pixmap) {
    const TPixmap& s = *pixmap;
    Ref<TPixmap> result = TPixmap::Create(s.width, s.height, s.format, 4);
    const size_t bytes = RowBytes(s);
    if (bytes == 0) return result;
    for (int32_t i = 0; i < s.height; ++i) {
        std::memcpy(result->PixelAddress(0, i), s.PixelAddress(0, s.height - 1 - i), bytes);
    }
    return result;
}

}  // namespace korva
