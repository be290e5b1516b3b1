// The PNG encoder over libpng.
//
// libpng reports fatal errors through our error function, which keeps the
// message and jumps back to the recovery point in PngWriter::WriteProtected;
// nothing there begins a C++ object's life after that point, and the
// writer's destructor releases the libpng structures whichever way it
// leaves. Rows go to libpng straight from the pixmap when its layout is the
// file's (libpng swaps BGR itself); only A8 is converted, a row at a time.
// Filters and strategy are libpng's defaults (adaptive filtering per row).
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "korvagl/pixmap/pixmap_encoder.h"
#include "pixmap/encoder_io.h"

namespace korva {
namespace {

constexpr int kDefaultLevel = 6;

class PngWriter {
public:
    explicit PngWriter(TByteStream& stream) : sink_(stream) {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, Fatal, Warning);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngWriter() {
        if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
    }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    void Write(const TPixmap& pixmap, int level) {
        if (!png_ || !info_) RaiseRuntimeError("out of memory");
        if (pixmap.format == PIX_A8) greyAlpha_.resize(static_cast<size_t>(pixmap.width) * 2);
        const bool written = WriteProtected(pixmap, level);
        sink_.RethrowFault();  // a stream's fault says more than libpng's message
        if (!written) RaiseRuntimeError(String(std::string("PNG encoding failed: ") + message_));
    }

private:
    [[noreturn]] static void Fatal(png_structp png, png_const_charp message) {
        auto* self = static_cast<PngWriter*>(png_get_error_ptr(png));
        std::snprintf(self->message_, sizeof self->message_, "%s", message ? message : "error");
        png_longjmp(png, 1);
    }

    static void Warning(png_structp, png_const_charp) {}

    static void WriteData(png_structp png, png_bytep data, png_size_t length) {
        auto* self = static_cast<PngWriter*>(png_get_io_ptr(png));
        if (!self->sink_.Write(data, length)) png_error(png, "write failed");
    }

    static void FlushData(png_structp) {}

    bool WriteProtected(const TPixmap& pixmap, int level) {
        if (setjmp(png_jmpbuf(png_))) return false;
        png_set_write_fn(png_, this, WriteData, FlushData);
        png_set_compression_level(png_, level);
        // Fewer, larger IDAT chunks: fewer stream writes and chunk headers.
        png_set_compression_buffer_size(png_, 1 << 16);
        int colourType = PNG_COLOR_TYPE_RGB;
        switch (pixmap.format) {
            case PIX_I8: colourType = PNG_COLOR_TYPE_GRAY; break;
            case PIX_A8: colourType = PNG_COLOR_TYPE_GRAY_ALPHA; break;
            case PIX_BGRA32:
            case PIX_RGBA32: colourType = PNG_COLOR_TYPE_RGB_ALPHA; break;
            default: break;
        }
        png_set_IHDR(png_, info_, static_cast<png_uint_32>(pixmap.width), static_cast<png_uint_32>(pixmap.height), 8,
                     colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png_, info_);
        if (pixmap.format == PIX_BGR24 || pixmap.format == PIX_BGRA32) png_set_bgr(png_);
        for (int32_t y = 0; y < pixmap.height; ++y) {
            png_bytep row = pixmap.PixelAddress(0, y);
            if (pixmap.format == PIX_A8) {
                // A8 is white with that alpha: grey 255 beside each level.
                for (int32_t x = 0; x < pixmap.width; ++x) {
                    greyAlpha_[2 * x] = 255;
                    greyAlpha_[2 * x + 1] = row[x];
                }
                row = greyAlpha_.data();
            }
            png_write_row(png_, row);
        }
        png_write_end(png_, info_);
        return true;
    }

    detail::StreamSink sink_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::vector<png_byte> greyAlpha_;
    char message_[200] = {};
};

}  // namespace

int32_t TPNGPixmapEncoder::Accepts(const String& extension) { return extension == String("png") ? 1 : 0; }

int32_t TPNGPixmapEncoder::WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) {
    if (quality < -1 || quality > 9) RaiseRuntimeError("PNG quality is a zlib level 0 to 9, or -1");
    PngWriter writer(stream);
    writer.Write(*pixmap, quality == -1 ? kDefaultLevel : quality);
    return 1;
}

}  // namespace korva
