// The PNG native layer over libpng.
//
// libpng reports fatal errors through our error function, which jumps back to
// the recovery point in PngReader::Decode instead of printing and ending.
// Nothing in Decode begins a C++ object's life after that point, and the
// reader's destructor releases the libpng structures whichever way Decode
// leaves. Rows are decoded straight into the pixmap.
#include "pixmap/png_native.h"

#include <png.h>

#include <vector>

#include "pixmap/decode_limits.h"

namespace korva {
namespace {

[[noreturn]] void PngFatal(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void PngWarning(png_structp, png_const_charp) {}

class PngReader {
public:
    PngReader(void* handle, PNGReadFunction read) : handle_(handle), read_(read) {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFatal, PngWarning);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngReader() {
        if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    // The decoded pixmap, or the null object.
    Ref<TPixmap> Decode() {
        if (!png_ || !info_) return nullptr;
        if (!DecodeProtected()) pixmap_ = nullptr;
        return pixmap_;
    }

private:
    static void ReadData(png_structp png, png_bytep data, png_size_t length) {
        auto* self = static_cast<PngReader*>(png_get_io_ptr(png));
        if (self->read_(data, length, self->handle_) != length) png_error(png, "Read Error");
    }

    // False when libpng failed or the image is not one we load.
    bool DecodeProtected() {
        if (setjmp(png_jmpbuf(png_))) return false;
        png_set_sig_bytes(png_, 8);
        png_set_read_fn(png_, this, ReadData);
        const int64_t side = detail::CurrentDecodeLimits().side;
        png_set_user_limits(png_, static_cast<png_uint_32>(side), static_cast<png_uint_32>(side));
        png_read_info(png_, info_);
        png_set_expand(png_);
        png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);

        // The header as the expansion leaves it.
        const png_uint_32 width = png_get_image_width(png_, info_);
        const png_uint_32 height = png_get_image_height(png_, info_);
        const int depth = png_get_bit_depth(png_, info_);
        const int colourType = png_get_color_type(png_, info_);
        int32_t format = PIX_NONE;
        if (depth == 8 && colourType == PNG_COLOR_TYPE_RGB) format = PIX_RGB24;
        if (depth == 8 && colourType == PNG_COLOR_TYPE_RGB_ALPHA) format = PIX_RGBA32;
        if (format == PIX_NONE) return false;
        if (!detail::DecodedSizeAllowed(width, height, PixelBytes[format])) return false;
        if (png_get_rowbytes(png_, info_) != static_cast<size_t>(width) * PixelBytes[format]) return false;

        pixmap_ = NewPixmap(static_cast<int32_t>(width), static_cast<int32_t>(height), format, 4);
        rows_.resize(height);
        for (png_uint_32 y = 0; y < height; ++y) rows_[y] = pixmap_->PixelAddress(0, static_cast<int32_t>(y));
        png_read_image(png_, rows_.data());
        png_read_end(png_, nullptr);
        return true;
    }

    void* handle_;
    PNGReadFunction read_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    Ref<TPixmap> pixmap_;
    std::vector<png_bytep> rows_;
};

}  // namespace

Ref<TPixmap> DecodePNG(void* handle, PNGReadFunction read) {
    png_byte signature[8] = {};
    if (read(signature, 8, handle) != 8 || png_sig_cmp(signature, 0, 8) != 0) return nullptr;
    PngReader reader(handle, read);
    return reader.Decode();
}

}  // namespace korva
