// FreeType calls of the FreeType font: read the font file, open a face over
// it, choose the pixel size, render glyphs into PIX_A8 coverage. The face
// stays open for characters rendered on first use.
#include "graphics/freetype_native.h"

#include <fcntl.h>
#include <ft2build.h>
#include <sys/stat.h>
#include <unistd.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "korvagl/app/last_error.h"

namespace korva::detail {
namespace {

constexpr int32_t kLargestPixelSize = 1024;
constexpr int32_t kFirstChar = 32;
constexpr int32_t kGlyphCount = 224;

// Font files above this are refused rather than read.
constexpr int64_t kLargestFontFile = int64_t{256} << 20;

}  // namespace

struct SharedFace {
    SharedFace() = default;
    SharedFace(const SharedFace&) = delete;
    SharedFace& operator=(const SharedFace&) = delete;
    ~SharedFace() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }

    // The whole font file, which the face reads from memory: changing the
    // file afterwards changes nothing here.
    std::vector<unsigned char> file;
    std::shared_ptr<const std::vector<unsigned char>> bytes;  // instead, for a face over bytes from a URL
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    // The shaper's face over the same bytes; declared last, so it goes first.
    std::shared_ptr<void> shaper;
};

namespace {

// Faces open as long as one of their fonts lives, by the file's identity,
// size and change time.
using FileKey = std::tuple<dev_t, ino_t, off_t, time_t, long>;
std::mutex sharedFacesLock;
std::map<FileKey, std::weak_ptr<SharedFace>> sharedFaces;

// Reads all of `fd` (`size` bytes by fstat) into `bytes`; false on an error.
bool ReadWhole(int fd, std::vector<unsigned char>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;  // cut short since fstat
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return true;
}

// The face of the regular file at `path`, opened over a copy of the file or
// already open for it; the null pointer (with the reason recorded when the
// file cannot be read) otherwise. Opened without blocking, so that a FIFO
// cannot stall the load.
std::shared_ptr<SharedFace> OpenSharedFace(const std::string& path) {
    const String name = Quoted(String(path));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        SetLastErrorText("cannot open " + name + ": " + String(std::strerror(errno)));
        return nullptr;
    }
    struct stat info {};
    std::shared_ptr<SharedFace> shared;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        SetLastErrorText(name + ": not a font file (not a regular file)");
    } else if (info.st_size > kLargestFontFile) {
        SetLastErrorText(name + ": font file too large (" + IntToString(info.st_size) + " bytes)");
    } else {
        const FileKey key{info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
        const std::lock_guard<std::mutex> hold(sharedFacesLock);
        const auto known = sharedFaces.find(key);
        shared = known != sharedFaces.end() ? known->second.lock() : nullptr;
        if (!shared) {
            shared = std::make_shared<SharedFace>();
            shared->file.resize(static_cast<size_t>(info.st_size));
            if (!ReadWhole(fd, shared->file)) {
                SetLastErrorText("cannot read " + name + ": " + String(std::strerror(errno)));
                shared = nullptr;
            } else if (FT_Init_FreeType(&shared->library) != 0) {
                shared->library = nullptr;
                shared = nullptr;
            } else if (FT_New_Memory_Face(shared->library, shared->file.data(),
                                          static_cast<FT_Long>(shared->file.size()), 0, &shared->face) != 0) {
                shared->face = nullptr;
                shared = nullptr;
            } else {
                std::erase_if(sharedFaces, [](const auto& entry) { return entry.second.expired(); });
                sharedFaces[key] = shared;
            }
        }
    }
    close(fd);
    return shared;
}

struct GreyBitmap {
    FT_Library library;
    FT_Bitmap bitmap;
    explicit GreyBitmap(FT_Library library) : library(library) { FT_Bitmap_Init(&bitmap); }
    ~GreyBitmap() { FT_Bitmap_Done(library, &bitmap); }
};

int32_t ToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// 26.6 fixed point to whole pixels, as FreeType's own metrics round.
int32_t WholePixels(FT_Pos value) { return ToInt32(static_cast<int64_t>(value) >> 6); }

// The requested size, or the largest below it the face accepts (a bitmap
// font accepts only its strikes); 0 when none fits. Sizes above the largest
// are cut first, so a huge request cannot mean billions of attempts.
int32_t ChoosePixelSize(FT_Face face, int32_t size) {
    for (int32_t s = std::min(size, kLargestPixelSize); s >= 1; --s) {
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(s)) == 0) return s;
    }
    return 0;
}

// Row `row` (0 the top) of a bitmap stored in either direction.
const uint8_t* RowOf(const FT_Bitmap& bitmap, int32_t row) {
    const size_t stride = static_cast<size_t>(std::abs(static_cast<int64_t>(bitmap.pitch)));
    const size_t index = bitmap.pitch >= 0 ? static_cast<size_t>(row) : bitmap.rows - 1 - static_cast<size_t>(row);
    return bitmap.buffer + index * stride;
}

// The bitmap as coverage from 0 to 255; the null object when its rows are
// shorter than its width says.
Ref<TPixmap> Coverage(FT_Library library, const FT_Bitmap& bitmap) {
    const int32_t width = static_cast<int32_t>(bitmap.width);
    const int32_t rows = static_cast<int32_t>(bitmap.rows);
    const int64_t rowBytes = std::abs(static_cast<int64_t>(bitmap.pitch));
    if (!bitmap.buffer) return nullptr;
    Ref<TPixmap> pixels = NewPixmap(width, rows, PIX_A8, 4);

    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.num_grays == 256) {
        if (rowBytes < width) return nullptr;
        for (int32_t r = 0; r < rows; ++r) std::memcpy(pixels->PixelAddress(0, r), RowOf(bitmap, r), width);
        return pixels;
    }
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        if (rowBytes < (int64_t{width} + 7) / 8) return nullptr;
        for (int32_t r = 0; r < rows; ++r) {
            const uint8_t* in = RowOf(bitmap, r);
            uint8_t* out = pixels->PixelAddress(0, r);
            for (int32_t x = 0; x < width; ++x) out[x] = (in[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
        }
        return pixels;
    }
    // Other depths (two or four bits, other level counts, colour) through
    // FreeType's conversion to one byte per pixel, then scaled to 0-255.
    GreyBitmap grey(library);
    if (FT_Bitmap_Convert(library, &bitmap, &grey.bitmap, 1) != 0) return nullptr;
    const FT_Bitmap& g = grey.bitmap;
    if (g.width != bitmap.width || g.rows != bitmap.rows || g.num_grays < 2 || !g.buffer ||
        std::abs(static_cast<int64_t>(g.pitch)) < width) {
        return nullptr;
    }
    const int32_t top = g.num_grays - 1;
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* in = RowOf(g, r);
        uint8_t* out = pixels->PixelAddress(0, r);
        for (int32_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(std::min(255, in[x] * 255 / top));
    }
    return pixels;
}

bool Exceeds(int64_t extent, int64_t limit) { return extent > limit; }

// Loads and renders glyph `index` into `glyph`; what fails leaves the glyph
// without pixels (and without an advance when the glyph does not load).
void RenderGlyph(FreeTypeSource& source, FT_UInt index, TFreeTypeGlyph& glyph) {
    source.Activate();
    FT_Face face = source.face;
    FT_GlyphSlot slot = face->glyph;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) return;
    glyph.advance = static_cast<float>(static_cast<double>(slot->advance.x) / 64.0);
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        // Measured before rendering, so that FreeType never allocates it.
        FT_BBox box;
        FT_Outline_Get_CBox(&slot->outline, &box);
        const int64_t largest = source.largest;
        if (Exceeds((box.xMax - box.xMin) >> 6, largest) || Exceeds((box.yMax - box.yMin) >> 6, largest)) return;
    }
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (Exceeds(bitmap.width, source.largest) || Exceeds(bitmap.rows, source.largest)) return;
    glyph.x = slot->bitmap_left;
    glyph.y = ToInt32(int64_t{source.ascender} - slot->bitmap_top);
    glyph.width = static_cast<int32_t>(bitmap.width);
    glyph.height = static_cast<int32_t>(bitmap.rows);
    if (glyph.width == 0 || glyph.height == 0) return;
    glyph.pixels = Coverage(source.shared->library, bitmap);
}

}  // namespace

FreeTypeSource::~FreeTypeSource() {
    // Before the face can go with the last of its fonts.
    if (size) FT_Done_Size(size);
}

namespace {

// A face of its own over bytes read some other way (a URL): not shared by
// file identity, since there is none.
std::shared_ptr<SharedFace> OpenFaceOverBytes(std::shared_ptr<const std::vector<unsigned char>> bytes) {
    if (!bytes) return nullptr;
    auto shared = std::make_shared<SharedFace>();
    shared->bytes = std::move(bytes);
    if (FT_Init_FreeType(&shared->library) != 0) {
        shared->library = nullptr;
        return nullptr;
    }
    if (FT_New_Memory_Face(shared->library, shared->bytes->data(), static_cast<FT_Long>(shared->bytes->size()), 0,
                           &shared->face) != 0) {
        shared->face = nullptr;
        return nullptr;
    }
    return shared;
}

}  // namespace

bool FreeTypeSource::Open(const std::string& path) { return OpenShared(OpenSharedFace(path)); }

bool FreeTypeSource::OpenBytes(std::shared_ptr<const std::vector<unsigned char>> bytes) {
    return OpenShared(OpenFaceOverBytes(std::move(bytes)));
}

bool FreeTypeSource::OpenShared(std::shared_ptr<SharedFace> opened) {
    shared = std::move(opened);
    if (!shared) return false;
    face = shared->face;
    if (FT_New_Size(face, &size) != 0) {
        size = nullptr;
        return false;
    }
    Activate();
    return true;
}

namespace {
Ref<TFreeTypeFont> RenderOpenedFont(std::shared_ptr<FreeTypeSource> source, int32_t size, int32_t style);
}  // namespace

void FreeTypeSource::Activate() {
    if (face->size != size) FT_Activate_Size(size);
}

Ref<TFreeTypeFont> RenderFreeTypeFont(const std::string& path, int32_t size, int32_t style) {
    auto source = std::make_shared<FreeTypeSource>();
    if (!source->Open(path)) return nullptr;
    return RenderOpenedFont(std::move(source), size, style);
}

Ref<TFreeTypeFont> RenderFreeTypeFont(std::shared_ptr<const std::vector<unsigned char>> bytes, int32_t size,
                                      int32_t style) {
    auto source = std::make_shared<FreeTypeSource>();
    if (!source->OpenBytes(std::move(bytes))) return nullptr;
    return RenderOpenedFont(std::move(source), size, style);
}

namespace {
Ref<TFreeTypeFont> RenderOpenedFont(std::shared_ptr<FreeTypeSource> source, int32_t size, int32_t style) {
    FT_Face face = source->face;
    const int32_t pixelSize = ChoosePixelSize(face, size);
    if (pixelSize == 0) return nullptr;

    const FT_Size_Metrics& metrics = face->size->metrics;
    Ref<TFreeTypeFont> font = New<TFreeTypeFont>();
    font->style = style;
    font->height = WholePixels(metrics.height);
    font->ascender = WholePixels(metrics.ascender);
    font->descender = WholePixels(metrics.descender);
    font->firstChar = kFirstChar;
    font->glyphs.resize(kGlyphCount);
    source->ascender = font->ascender;
    source->pixelSize = pixelSize;
    // No real glyph comes near this; broken files can ask for gigabytes.
    source->largest = 4 * int64_t{pixelSize} + 64;
    // Every code of the range keeps its place; one the character map lacks
    // gets the face's glyph 0 (its "missing character" box).
    for (int32_t c = kFirstChar; c < kFirstChar + kGlyphCount; ++c) {
        Ref<TFreeTypeGlyph> glyph = New<TFreeTypeGlyph>();
        font->glyphs[static_cast<size_t>(c - kFirstChar)] = glyph;
        RenderGlyph(*source, FT_Get_Char_Index(face, static_cast<FT_ULong>(c)), *glyph);
    }
    font->source = std::move(source);
    return font;
}
}  // namespace

const std::vector<unsigned char>& FaceBytes(const SharedFace& shared) {
    return shared.bytes ? *shared.bytes : shared.file;
}

std::shared_ptr<void>& ShaperFace(SharedFace& shared) { return shared.shaper; }

Ref<TFreeTypeGlyph> RenderFreeTypeGlyphIndex(FreeTypeSource& source, uint32_t index) {
    if (index >= static_cast<uint32_t>(std::max<FT_Long>(source.face->num_glyphs, 0))) return nullptr;
    Ref<TFreeTypeGlyph> glyph = New<TFreeTypeGlyph>();
    RenderGlyph(source, index, *glyph);
    return glyph;
}

uint32_t FreeTypeCharIndex(FreeTypeSource& source, int32_t code) {
    if (code < 0 || code > 0x10FFFF) return 0;
    return FT_Get_Char_Index(source.face, static_cast<FT_ULong>(code));
}

Ref<TFreeTypeGlyph> RenderFreeTypeChar(FreeTypeSource& source, int32_t code) {
    const FT_UInt index = FT_Get_Char_Index(source.face, static_cast<FT_ULong>(code));
    if (index == 0) return nullptr;
    Ref<TFreeTypeGlyph> glyph = New<TFreeTypeGlyph>();
    RenderGlyph(source, index, *glyph);
    return glyph;
}

}  // namespace korva::detail
