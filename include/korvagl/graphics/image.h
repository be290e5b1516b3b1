// KorvaGL: images, the drawable pictures of the 2D layer.
//
// A TImage is a fixed-size picture with one or more frames (an animation
// strip is one image with many frames), a handle (the point that lands on the
// drawing position and about which it rotates) and the flags its frames were
// made with. Next to each frame it keeps the pixmap the frame was made from,
// or the null object.
//
// Image flags: 1 dynamic (frames can be locked and grabbed into), 2 filtered
// (smoothing and mipmaps; otherwise nearest pixel), 4 masked (pixels of the
// mask colour become transparent when a frame is made from a pixmap without
// alpha).
//
// Loading never raises for bad data: a source that cannot be read or decoded
// gives the null object. Frame numbers outside 0 to frame count - 1 raise
// TArrayIndexFault wherever a frame is looked up.
#pragma once

#include <cstdint>
#include <vector>

#include "korvagl/app/object.h"
#include "korvagl/app/string.h"
#include "korvagl/graphics/draw_driver.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

inline constexpr int32_t IMAGE_DYNAMIC = 1;
inline constexpr int32_t IMAGE_FILTERED = 2;
inline constexpr int32_t IMAGE_MASKED = 4;

class TImage : public Object {
public:
    int32_t width = 0;
    int32_t height = 0;
    int32_t flags = 0;
    float handleX = 0;  // pixels from the left edge
    float handleY = 0;  // pixels from the top edge
    std::vector<Ref<TImageFrame>> frames;
    std::vector<Ref<TPixmap>> pixmaps;

    // Frame number `index`; raises TArrayIndexFault outside the frames and
    // TNullObjectFault for a frame never made.
    TImageFrame& Frame(int32_t index) const {
        if (index < 0 || static_cast<size_t>(index) >= frames.size()) RaiseArrayIndexFault();
        return *frames[static_cast<size_t>(index)];
    }

    // An image whose frames and pixmaps are frameCount null objects (a
    // negative count gives none).
    static Ref<TImage> Create(int32_t width, int32_t height, int32_t frameCount, int32_t flags);
    // An image whose every frame is a blank frame of the current draw driver.
    static Ref<TImage> CreateDynamic(int32_t width, int32_t height, int32_t frameCount, int32_t flags);
    // One frame from `source`: a TPixmap (used as it is, or masked into a
    // copy), or anything ReadPixmap takes (a boxed URL, a stream). With flag 4
    // a pixmap without alpha is masked with the colour (r, g, b).
    static Ref<TImage> Load(const Ref<Object>& source, int32_t r, int32_t g, int32_t b, int32_t flags);
    // Cells of cellWidth x cellHeight cut row by row from the source; cells
    // first to first + count - 1 become the frames, each with its own copied
    // pixmap. The null object when the source has fewer cells, when a cell
    // size is below 1, or when `first` or `count` is negative.
    static Ref<TImage> LoadAnim(const Ref<Object>& source, int32_t cellWidth, int32_t cellHeight, int32_t first,
                                int32_t count, int32_t r, int32_t g, int32_t b, int32_t flags);
};

// Image functions. Flags -1 stand for the auto image flags.
// The image from a URL, a stream or a pixmap, or the null object.
Ref<TImage> LoadImageFile(const Ref<Object>& source, int32_t flags = -1);
Ref<TImage> LoadImageFile(const String& url, int32_t flags = -1);
Ref<TImage> LoadAnimImageFile(const Ref<Object>& source, int32_t cellWidth, int32_t cellHeight, int32_t first,
                              int32_t count, int32_t flags = -1);
Ref<TImage> LoadAnimImageFile(const String& url, int32_t cellWidth, int32_t cellHeight, int32_t first,
                              int32_t count, int32_t flags = -1);
// A blank image whose frames can be locked and grabbed into (flag 1 is added).
Ref<TImage> NewImage(int32_t width, int32_t height, int32_t frameCount = 1, int32_t flags = -1);
// Copies the screen rectangle at (x, y) of the image's size into a frame.
void CaptureImage(const Ref<TImage>& image, int32_t x, int32_t y, int32_t frame = 0);
Ref<TPixmap> LockImagePixels(const Ref<TImage>& image, int32_t frame = 0, int32_t read = 1, int32_t write = 1);
void UnlockImagePixels(const Ref<TImage>& image, int32_t frame = 0);
void SetImageAnchor(const Ref<TImage>& image, float x, float y);
void CentreImageAnchor(const Ref<TImage>& image);
// Not 0: images loaded or made from now on get their handle at their centre.
void SetAutoMidHandle(int32_t enable);
// -1 leaves the flags as they are.
void SetAutoImageFlags(int32_t flags);
int32_t GetImageWidth(const Ref<TImage>& image);
int32_t GetImageHeight(const Ref<TImage>& image);

// The module "images". Run-once; returns 0.
int InitImages();

}  // namespace korva
