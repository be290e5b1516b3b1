// The TGA encoder: uncompressed true colour (image type 2), top row first
// (descriptor bit 5), 24 bits for pixels without alpha and 32 bits with 8
// alpha bits otherwise, followed by the 26-byte footer that marks the newer
// layout of the format.
#include <cstring>
#include <vector>

#include "korvagl/pixmap/pixmap_encoder.h"
#include "pixmap/encoder_io.h"

namespace korva {

int32_t TTGAPixmapEncoder::Accepts(const String& extension) {
    return extension == String("tga") || extension == String("targa") ? 1 : 0;
}

int32_t TTGAPixmapEncoder::WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) {
    if (quality != -1) RaiseRuntimeError("TGA takes no quality (only -1)");
    const TPixmap& p = *pixmap;
    if (p.width > 65535 || p.height > 65535) RaiseRuntimeError("TGA holds at most 65535 pixels each way");
    const bool alpha = AlphaBitCount[p.format] != 0;
    const int32_t fileFormat = alpha ? PIX_BGRA32 : PIX_BGR24;
    const uint8_t header[18] = {
        0, 0, 2,           // no id, no colour map, uncompressed true colour
        0, 0, 0, 0, 0,     // colour map specification
        0, 0, 0, 0,        // x and y origin
        static_cast<uint8_t>(p.width), static_cast<uint8_t>(p.width >> 8),
        static_cast<uint8_t>(p.height), static_cast<uint8_t>(p.height >> 8),
        static_cast<uint8_t>(alpha ? 32 : 24),
        static_cast<uint8_t>(0x20 | (alpha ? 8 : 0)),  // top-left origin, alpha bits
    };
    detail::WriteAll(stream, header, sizeof header);
    detail::RowsAs rows(p, fileFormat);
    const size_t rowBytes = static_cast<size_t>(p.width) * PixelBytes[fileFormat];
    if (p.format == fileFormat && p.pitch == static_cast<int32_t>(rowBytes)) {
        detail::WriteAll(stream, p.pixels, rowBytes * static_cast<size_t>(p.height));
    } else {
        for (int32_t y = 0; y < p.height; ++y) detail::WriteAll(stream, rows.Row(y), rowBytes);
    }
    static const char kFooter[26] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";
    detail::WriteAll(stream, kFooter, sizeof kFooter);
    return 1;
}

}  // namespace korva
