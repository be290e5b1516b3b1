// KorvaGL: pixel-accurate collisions of images on screen.
//
// An image placed at (x, y) covers the screen pixels it would cover if drawn
// there with DrawImageAt: the current origin, the image's handle and the
// current rotation and scale apply, and a pixel counts when its centre lies
// inside the placed image (as GL rasterises). Two placements collide when
// some screen pixel is covered by a solid pixel of both. Solid means alpha
// 128 or more in the frame's source pixmap, read in its own format; pixmaps
// without alpha, and frames without a pixmap (NewImage), are solid all over.
// Nothing is read back from the display, and no display needs to be open
// (but the rotation and scale are 0 until OpenGraphics or SetDrawTransform).
//
// Placements are kept in 32 collision layers, selected by bit masks (bit j,
// 1 << j, is layer j). A typical frame clears the layers it uses, writes one
// group of objects into them and tests another group against them. Layer 31
// is the scratch layer of ImagesOverlap and ImagesOverlapTransformed.
//
// Pixel centres decide where the two placements' overlap covers no more
// screen pixels than the two images have texels within it: wherever their
// texel densities add up to at least one texel per pixel (either image at
// scale 1 or less, for instance). Beyond that, collisions are decided at the texel
// centres of the image whose texels are smaller on screen: a solid texel
// whose centre lies on a solid texel of the other image is a collision. The
// two ways differ only at edges, by less than a texel. A frame without a
// pixmap, or a rectangle, is solid with one texel per unit of its size. So
// the work of a test is bounded by the images' texels, whatever the scale;
// placements whose bounding boxes are apart cost a few comparisons, and
// coordinates that are not finite never collide. Main thread only.
#pragma once

#include <array>
#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/graphics/image.h"
#include "korvagl/pixmap/pixmap.h"

namespace korva {

// One placement: a quadrilateral on screen with texture coordinates.
class TQuad : public Object {
public:
    Ref<TQuad> next;       // next record of the same layer or of the free list
    Ref<Object> id;        // the caller's identifier, returned by tests that hit it
    Ref<TPixmap> pixmap;   // the frame's source pixmap; null: a solid rectangle
    float minX = 0, minY = 0, maxX = 0, maxY = 0;  // bounding box of the corners
    // Four vertices of x, y, u, v: u runs from 0 at the image's left edge to
    // 1 at its right, v from 0 at the top to 1 at the bottom.
    std::array<float, 16> verts{};
    // The placement's size in its own pixels (the image's or the
    // rectangle's), set by the collision functions: a quad without a pixmap
    // has that many solid texels.
    float width = 0, height = 0;

    TQuad() = default;
    // Releases a long chain of successors without deep recursion.
    ~TQuad() override;

    // The corners in the order top-left, top-right, bottom-right,
    // bottom-left of the image; sets the texture coordinates and the box.
    void SetQuad(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3);
};

// Empties every layer whose bit is set; mask 0 empties all 32.
void ClearCollisionLayers(uint32_t mask);
// Tests the placement of the image's frame at (x, y) against the layers of
// collideMask, then writes it with `id` into the layers of writeMask; returns
// the ids of every record hit, once per hit (the null object included).
// Raises TArrayIndexFault for a frame outside the image.
ObjectArray CollideImageLayers(const Ref<TImage>& image, float x, float y, int32_t frame, uint32_t collideMask,
                               uint32_t writeMask, const Ref<Object>& id);
// The same for a solid rectangle at (x, y) (the origin, rotation and scale
// apply; it turns about its top-left corner).
ObjectArray CollideRectLayers(float x, float y, float width, float height, uint32_t collideMask,
                              uint32_t writeMask, const Ref<Object>& id);
// 1 when the two placements overlap in solid pixels, else 0. Uses layer 31.
int32_t ImagesOverlap(const Ref<TImage>& image1, float x1, float y1, int32_t frame1, const Ref<TImage>& image2,
                      float x2, float y2, int32_t frame2);
// The same with a rotation (degrees) and scale of each image's own in place
// of the current ones, which it leaves as they were.
int32_t ImagesOverlapTransformed(const Ref<TImage>& image1, float x1, float y1, int32_t frame1, float rotation1,
                                 float scaleX1, float scaleY1, const Ref<TImage>& image2, float x2, float y2,
                                 int32_t frame2, float rotation2, float scaleX2, float scaleY2);

}  // namespace korva
