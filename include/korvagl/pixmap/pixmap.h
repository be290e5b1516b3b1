// KorvaGL: TPixmap, the pixel buffer, and the operations on whole pixmaps.
//
// A pixmap is a rectangle of pixels in one format (see pixel_format.h). Rows
// are stored top row first; pixel (x, y) starts at
//     pixels + y * pitch + x * PixelBytes[format].
// Its fields are fixed at creation; only the pixel bytes ever change.
//
// Ownership. A pixmap made by Create/NewPixmap (and every pixmap the
// operations below return) owns its memory, `capacity` bytes, and frees it
// when its last reference goes. A window (Window/PixmapSubRegion) does not
// own its memory (`capacity` -1) but keeps the pixmap it looks into alive, so
// a window is always safe to use. A pixmap over foreign memory
// (CreateStatic/NewPixmapOver) owns nothing and keeps nothing alive: the
// memory must outlive it.
//
// New pixel memory is not cleared. Every operation that returns a pixmap
// returns a new one with row alignment 4, even when nothing would change.
//
// Checking. Sizes, formats and regions that would make memory unsafe raise a
// runtime error (texts below). The per-pixel operations PixelAddress,
// ReadPixel and WritePixel are unchecked for speed: coordinates must lie
// inside the pixmap. Passing the null object where a pixmap is needed raises
// TNullObjectFault.
//
// Thread safety: a pixmap may be read from several threads at once; writing
// pixels while another thread reads them is the caller's business.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/pixmap/pixel_format.h"

namespace korva {

class TPixmap;
namespace detail {
// For decoders inside the framework: a pixmap that takes over a block from
// std::malloc of `capacity` bytes and frees it with std::free.
Ref<TPixmap> AdoptPixmapMemory(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format,
                               int32_t capacity);
}  // namespace detail

class TPixmap : public Object {
public:
    // The empty pixmap: every field zero.
    TPixmap() noexcept;
    ~TPixmap() override;
    TPixmap(const TPixmap&) = delete;
    TPixmap& operator=(const TPixmap&) = delete;

    uint8_t* const pixels;   // first byte of row 0
    const int32_t width;     // pixels per row
    const int32_t height;    // number of rows
    const int32_t pitch;     // bytes from the start of one row to the next
    const int32_t format;    // pixel format number
    const int32_t capacity;  // bytes owned at `pixels`; -1 when not owned

    // The operations, in their slot order.

    // Address of pixel (x, y). Unchecked.
    virtual uint8_t* PixelAddress(int32_t x, int32_t y) const;
    // A new pixmap over this one's memory: the width x height rectangle whose
    // top-left pixel is (x, y), with this pitch and format and capacity -1.
    // Raises "Pixmap region out of range" unless the rectangle lies inside.
    virtual Ref<TPixmap> Window(int32_t x, int32_t y, int32_t width, int32_t height) const;
    // A new pixmap of the same size and format with the same pixels.
    virtual Ref<TPixmap> Copy() const;
    // Converts every row of `source` into this pixmap at (x, y), in this
    // pixmap's format. No clipping: raises "Pixmap region out of range" unless
    // the source fits entirely.
    virtual void Paste(const Ref<TPixmap>& source, int32_t x, int32_t y);
    // A new pixmap of the same size in `format`. Raises "Illegal pixel format"
    // for a format outside 0-6.
    virtual Ref<TPixmap> Convert(int32_t format) const;
    // The pixel at (x, y) as ARGB. Unchecked; 0 for formats outside 1-6.
    virtual ARGB ReadPixel(int32_t x, int32_t y) const;
    // Stores argb at (x, y) in this pixmap's format (I8 takes
    // (red + green + blue) / 3, A8 takes alpha). Unchecked; nothing happens
    // for formats outside 1-6.
    virtual void WritePixel(int32_t x, int32_t y, ARGB argb);

    // A pixmap that owns new, uncleared memory:
    //   pitch = ((width * PixelBytes[format] + align - 1) / align) * align,
    //   capacity = pitch * height.
    // Zero sizes are allowed (no pixels). Raises "Illegal pixmap size" for a
    // negative size or one whose memory exceeds 2^31 - 1 bytes, "Illegal
    // pixel format" for a format outside 0-6 and "Illegal row alignment" for
    // an alignment below 1.
    static Ref<TPixmap> Create(int32_t width, int32_t height, int32_t format, int32_t align);
    // A pixmap over memory that someone else owns (capacity -1); it never
    // frees it. Raises as Create does for negative sizes or a bad format.
    static Ref<TPixmap> CreateStatic(void* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format);

private:
    TPixmap(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format, int32_t capacity,
            Ref<Object> owner = nullptr) noexcept;
    friend Ref<TPixmap> detail::AdoptPixmapMemory(uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t);

    Ref<Object> owner_;  // what a window looks into, kept alive
};

// The procedural interface. Each forwards to the operation of that meaning.
Ref<TPixmap> NewPixmap(int32_t width, int32_t height, int32_t format, int32_t align = 4);
Ref<TPixmap> NewPixmapOver(void* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format);
Ref<TPixmap> DuplicatePixmap(const Ref<TPixmap>& pixmap);
Ref<TPixmap> ReformatPixmap(const Ref<TPixmap>& pixmap, int32_t format);
int32_t GetPixmapWidth(const Ref<TPixmap>& pixmap);
int32_t GetPixmapHeight(const Ref<TPixmap>& pixmap);
int32_t GetPixmapPitch(const Ref<TPixmap>& pixmap);
int32_t GetPixmapFormat(const Ref<TPixmap>& pixmap);
uint8_t* GetPixmapPixels(const Ref<TPixmap>& pixmap, int32_t x = 0, int32_t y = 0);
Ref<TPixmap> PixmapSubRegion(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, int32_t width, int32_t height);
ARGB ReadPixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
void WritePixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, ARGB argb);

// Colour-key masking. Returns a new PIX_RGBA32 pixmap of the same size (the
// source is converted first when needed). Pixels whose red, green and blue
// differ from the key keep their colour with alpha 255 (source alpha is not
// kept). Pixels of the key colour get alpha 0 and, so that filtered edges do
// not bleed toward the key, the average (integer division) of the non-key
// pixels among their 3x3 neighbours inside the pixmap, or black if there are
// none.
Ref<TPixmap> ApplyMaskColour(const Ref<TPixmap>& pixmap, int32_t red, int32_t green, int32_t blue);

// New pixmaps of the same size and format, mirrored left-right (X) or
// top-bottom (Y).
Ref<TPixmap> MirrorPixmapX(const Ref<TPixmap>& pixmap);
Ref<TPixmap> MirrorPixmapY(const Ref<TPixmap>& pixmap);

// Bilinear resampling to width x height with pixel centres aligned. Works on
// the PIX_RGBA32 form of the source and returns a new pixmap in the source's
// format. Sample positions and weights are 32-bit floats, the interpolation
// is done in double and truncated, samples outside the source clamp to its
// edge; so a same-size resize reproduces the source exactly and a 1x1 source
// fills the result with its pixel. Raises "Illegal pixmap size" for a
// negative size; an empty source gives a result of zero bytes.
Ref<TPixmap> ScalePixmap(const Ref<TPixmap>& pixmap, int32_t width, int32_t height);

// The module "pixmaps" (pixmaps and the decoder registry). Run-once; returns 0.
int InitPixmaps();

}  // namespace korva
