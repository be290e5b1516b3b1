// Images: frames made by the current draw driver from pixmaps.
#include "korvagl/graphics/image.h"

#include "graphics/draw_state.h"
#include "korvagl/app/modules.h"
#include "korvagl/graphics/drawing2d.h"
#include "korvagl/pixmap/pixmap_decoder.h"

namespace korva {
namespace {

// The source as a pixmap, masked when asked and it has no alpha of its own.
Ref<TPixmap> SourcePixmap(const Ref<Object>& source, int32_t r, int32_t g, int32_t b, int32_t flags) {
    Ref<TPixmap> pixmap = DownCast<TPixmap>(source);
    if (!pixmap) pixmap = ReadPixmap(source);
    if (!pixmap) return nullptr;
    if ((flags & IMAGE_MASKED) && IsPixelFormat(pixmap->format) && AlphaBitCount[pixmap->format] == 0) {
        pixmap = ApplyMaskColour(pixmap, r, g, b);
    }
    return pixmap;
}

TDrawDriver& Driver() { return *CurrentDrawDriver(); }

}  // namespace

Ref<TImage> TImage::Create(int32_t width, int32_t height, int32_t frameCount, int32_t flags) {
    Ref<TImage> image = New<TImage>();
    image->width = width;
    image->height = height;
    image->flags = flags;
    const size_t count = frameCount > 0 ? static_cast<size_t>(frameCount) : 0;
    image->frames.resize(count);
    image->pixmaps.resize(count);
    return image;
}

Ref<TImage> TImage::CreateDynamic(int32_t width, int32_t height, int32_t frameCount, int32_t flags) {
    Ref<TImage> image = Create(width, height, frameCount, flags);
    for (auto& frame : image->frames) frame = Driver().CreateFrame(width, height, flags);
    return image;
}

Ref<TImage> TImage::Load(const Ref<Object>& source, int32_t r, int32_t g, int32_t b, int32_t flags) {
    Ref<TPixmap> pixmap = SourcePixmap(source, r, g, b, flags);
    if (!pixmap) return nullptr;
    Ref<TImage> image = Create(pixmap->width, pixmap->height, 1, flags);
    image->frames[0] = Driver().CreateFrameFromPixmap(pixmap, flags);
    image->pixmaps[0] = pixmap;
    return image;
}

Ref<TImage> TImage::LoadAnim(const Ref<Object>& source, int32_t cellWidth, int32_t cellHeight, int32_t first,
                             int32_t count, int32_t r, int32_t g, int32_t b, int32_t flags) {
    // Cell sizes below 1 would divide by zero; a negative first or count
    // would index outside the sheet.
    if (cellWidth < 1 || cellHeight < 1 || first < 0 || count < 0) return nullptr;
    Ref<TPixmap> pixmap = SourcePixmap(source, r, g, b, flags);
    if (!pixmap) return nullptr;
    const int32_t across = pixmap->width / cellWidth;
    const int32_t down = pixmap->height / cellHeight;
    if (int64_t{first} + count > int64_t{across} * down) return nullptr;
    Ref<TImage> image = Create(cellWidth, cellHeight, count, flags);
    for (int32_t i = first; i < first + count; ++i) {
        Ref<TPixmap> cell =
            pixmap->Window(cellWidth * (i % across), cellHeight * (i / across), cellWidth, cellHeight)->Copy();
        image->frames[static_cast<size_t>(i - first)] = Driver().CreateFrameFromPixmap(cell, flags);
        image->pixmaps[static_cast<size_t>(i - first)] = cell;
    }
    return image;
}

// The image functions of the 2D layer: they take the mask colour, the auto
// image flags and the auto mid-handle from the drawing state.
namespace {

using detail::drawState;

// The auto image flags stand for -1.
int32_t ImageFlags(int32_t flags) { return flags == -1 ? drawState.autoImageFlags : flags; }

Ref<TImage> AutoHandle(Ref<TImage> image) {
    if (image && drawState.autoMidHandle != 0) CentreImageAnchor(image);
    return image;
}

}  // namespace

Ref<TImage> LoadImageFile(const Ref<Object>& source, int32_t flags) {
    const detail::DrawState& s = drawState;
    return AutoHandle(TImage::Load(source, s.maskRed, s.maskGreen, s.maskBlue, ImageFlags(flags)));
}

Ref<TImage> LoadImageFile(const String& url, int32_t flags) { return LoadImageFile(BoxString(url), flags); }

Ref<TImage> LoadAnimImageFile(const Ref<Object>& source, int32_t cellWidth, int32_t cellHeight, int32_t first,
                              int32_t count, int32_t flags) {
    const detail::DrawState& s = drawState;
    return AutoHandle(TImage::LoadAnim(source, cellWidth, cellHeight, first, count, s.maskRed, s.maskGreen,
                                       s.maskBlue, ImageFlags(flags)));
}

Ref<TImage> LoadAnimImageFile(const String& url, int32_t cellWidth, int32_t cellHeight, int32_t first,
                              int32_t count, int32_t flags) {
    return LoadAnimImageFile(BoxString(url), cellWidth, cellHeight, first, count, flags);
}

Ref<TImage> NewImage(int32_t width, int32_t height, int32_t frameCount, int32_t flags) {
    return AutoHandle(TImage::CreateDynamic(width, height, frameCount, ImageFlags(flags) | IMAGE_DYNAMIC));
}

void CaptureImage(const Ref<TImage>& image, int32_t x, int32_t y, int32_t frame) {
    TImage& i = *image;
    if (frame < 0 || static_cast<size_t>(frame) >= i.frames.size()) RaiseArrayIndexFault();
    Ref<TPixmap> pixmap = Driver().ReadScreenPixmap(x, y, i.width, i.height);
    if (!pixmap) return;  // no display to grab from
    if (i.flags & IMAGE_MASKED) {
        pixmap = ApplyMaskColour(pixmap, drawState.maskRed, drawState.maskGreen, drawState.maskBlue);
    }
    i.frames[static_cast<size_t>(frame)] = Driver().CreateFrameFromPixmap(pixmap, i.flags);
    i.pixmaps[static_cast<size_t>(frame)] = pixmap;
}

Ref<TPixmap> LockImagePixels(const Ref<TImage>& image, int32_t frame, int32_t read, int32_t write) {
    return image->Frame(frame).Lock(read, write);
}

void UnlockImagePixels(const Ref<TImage>& image, int32_t frame) { image->Frame(frame).Unlock(); }

void SetImageAnchor(const Ref<TImage>& image, float x, float y) {
    image->handleX = x;
    image->handleY = y;
}

void CentreImageAnchor(const Ref<TImage>& image) {
    image->handleX = static_cast<float>(image->width) * 0.5f;
    image->handleY = static_cast<float>(image->height) * 0.5f;
}

void SetAutoMidHandle(int32_t enable) { drawState.autoMidHandle = enable; }

void SetAutoImageFlags(int32_t flags) {
    if (flags != -1) drawState.autoImageFlags = flags;
}

int32_t GetImageWidth(const Ref<TImage>& image) { return image->width; }
int32_t GetImageHeight(const Ref<TImage>& image) { return image->height; }

int InitImages() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitDrawDriver();
    detail::NoteModuleStarted("images");
    return 0;
}

}  // namespace korva
