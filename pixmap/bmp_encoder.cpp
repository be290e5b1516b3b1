// The BMP encoder: uncompressed bitmaps, bottom row first. Grey goes out as
// 8 bits with a grey palette, colour without alpha as 24 bits, and every
// format with alpha as 32 bits described by a 108-byte header whose bit-field
// masks place blue, green, red and alpha in bytes 0 to 3.
#include <cstring>
#include <vector>

#include "korvagl/pixmap/pixmap_encoder.h"
#include "pixmap/encoder_io.h"

namespace korva {
namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kV4HeaderBytes = 108;
constexpr uint32_t kBitFields = 3;

class LittleEndianBytes {
public:
    void U16(uint32_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    std::vector<uint8_t> bytes;
};

}  // namespace

int32_t TBMPPixmapEncoder::Accepts(const String& extension) {
    return extension == String("bmp") || extension == String("dib") ? 1 : 0;
}

int32_t TBMPPixmapEncoder::WritePixmap(const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) {
    if (quality != -1) RaiseRuntimeError("BMP takes no quality (only -1)");
    const TPixmap& p = *pixmap;
    const bool grey = p.format == PIX_I8;
    const bool alpha = AlphaBitCount[p.format] != 0;
    const uint32_t bitCount = grey ? 8 : alpha ? 32 : 24;
    const int32_t fileFormat = grey ? PIX_I8 : alpha ? PIX_BGRA32 : PIX_BGR24;
    const uint32_t infoBytes = alpha ? kV4HeaderBytes : kInfoHeaderBytes;
    const uint32_t paletteBytes = grey ? 256 * 4 : 0;
    const uint32_t rowBytes = (static_cast<uint32_t>(p.width) * bitCount + 31) / 32 * 4;
    const uint64_t imageBytes = uint64_t{rowBytes} * static_cast<uint32_t>(p.height);
    const uint32_t dataOffset = kFileHeaderBytes + infoBytes + paletteBytes;
    if (imageBytes + dataOffset > UINT32_MAX) RaiseRuntimeError("the picture is too large for BMP");

    LittleEndianBytes h;
    h.U16('B' | 'M' << 8);
    h.U32(static_cast<uint32_t>(dataOffset + imageBytes));
    h.U32(0);
    h.U32(dataOffset);
    h.U32(infoBytes);
    h.U32(static_cast<uint32_t>(p.width));
    h.U32(static_cast<uint32_t>(p.height));  // positive: bottom row first
    h.U16(1);
    h.U16(bitCount);
    h.U32(alpha ? kBitFields : 0);
    h.U32(static_cast<uint32_t>(imageBytes));
    h.U32(2835);  // 72 dots per inch, in dots per metre
    h.U32(2835);
    h.U32(grey ? 256 : 0);
    h.U32(0);
    if (alpha) {
        for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) h.U32(mask);
        h.U32(0x73524742);  // colour space "sRGB"
        for (int i = 0; i < 12; ++i) h.U32(0);  // end points and gamma, unused with sRGB
    }
    for (uint32_t level = 0; grey && level < 256; ++level) h.U32(level * 0x010101u);
    detail::WriteAll(stream, h.bytes.data(), h.bytes.size());

    detail::RowsAs rows(p, fileFormat);
    std::vector<uint8_t> row(rowBytes, 0);  // padding bytes stay zero
    const size_t pixelBytes = static_cast<size_t>(p.width) * PixelBytes[fileFormat];
    for (int32_t y = p.height - 1; y >= 0; --y) {
        std::memcpy(row.data(), rows.Row(y), pixelBytes);
        detail::WriteAll(stream, row.data(), row.size());
    }
    return 1;
}

}  // namespace korva
