// The PNG native layer over libpng.
//
// libpng reports fatal errors through our error function, which keeps the
// message and jumps back to the recovery point in PngReader::Decode instead
// of printing and ending. Nothing in Decode begins a C++ object's life after
// that point, and the reader's destructor releases the libpng structures
// whichever way Decode leaves. libpng's transformations turn every colour
// type and depth into 8-bit RGB or RGBA, and rows are decoded straight into
// the pixmap.
#include "pixmap/png_native.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "pixmap/decode_limits.h"

namespace korva {
namespace {

class PngReader {
public:
    PngReader(void* handle, PNGReadFunction read) : handle_(handle), read_(read) {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, Fatal, Warning);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngReader() {
        if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    // The decoded pixmap, or the null object with the reason in `failure`.
    Ref<TPixmap> Decode(std::string& failure) {
        if (!png_ || !info_) {
            failure = "out of memory";
            return nullptr;
        }
        if (!DecodeProtected()) {
            pixmap_ = nullptr;
            failure = message_[0] ? std::string("corrupt PNG data: ") + message_ : tooLarge_;
        }
        return pixmap_;
    }

private:
    [[noreturn]] static void Fatal(png_structp png, png_const_charp message) {
        auto* self = static_cast<PngReader*>(png_get_error_ptr(png));
        std::snprintf(self->message_, sizeof self->message_, "%s", message ? message : "error");
        png_longjmp(png, 1);
    }

    static void Warning(png_structp, png_const_charp) {}

    static void ReadData(png_structp png, png_bytep data, png_size_t length) {
        auto* self = static_cast<PngReader*>(png_get_io_ptr(png));
        if (self->read_(data, length, self->handle_) != length) png_error(png, "the data ends early");
    }

    // False when libpng failed or the image is too large.
    bool DecodeProtected() {
        if (setjmp(png_jmpbuf(png_))) return false;
        png_set_sig_bytes(png_, 8);
        png_set_read_fn(png_, this, ReadData);
        // The size check below names the size; libpng's own would not.
        png_set_user_limits(png_, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
        png_read_info(png_, info_);

        const png_uint_32 width = png_get_image_width(png_, info_);
        const png_uint_32 height = png_get_image_height(png_, info_);
        const bool alpha = (png_get_color_type(png_, info_) & PNG_COLOR_MASK_ALPHA) != 0 ||
                           png_get_valid(png_, info_, PNG_INFO_tRNS) != 0;
        const int32_t format = alpha ? PIX_RGBA32 : PIX_RGB24;
        if (!detail::DecodedSizeAllowed(width, height, PixelBytes[format])) {
            std::snprintf(tooLarge_, sizeof tooLarge_, "image too large (%u x %u)", static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
            return false;
        }
        png_set_expand(png_);       // palette to RGB, grey to 8 bits, transparency to alpha
        png_set_strip_16(png_);     // 16-bit samples keep their high byte
        png_set_gray_to_rgb(png_);
        png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);
        const int expected = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        if (png_get_bit_depth(png_, info_) != 8 || png_get_color_type(png_, info_) != expected ||
            png_get_rowbytes(png_, info_) != static_cast<size_t>(width) * PixelBytes[format]) {
            png_error(png_, "unexpected pixel layout");
        }

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
    char message_[200] = {};   // libpng's last fatal message
    char tooLarge_[64] = {};
};

}  // namespace

Ref<TPixmap> DecodePNG(void* handle, PNGReadFunction read, std::string* failure) {
    png_byte signature[8] = {};
    if (read(signature, 8, handle) != 8 || png_sig_cmp(signature, 0, 8) != 0) return nullptr;
    PngReader reader(handle, read);
    std::string reason;
    Ref<TPixmap> pixmap = reader.Decode(reason);
    if (failure) *failure = reason;
    return pixmap;
}

}  // namespace korva
