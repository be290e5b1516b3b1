// The BMP decoder. Every header field is little-endian; the stream is read
// through its little-endian view.
#include "korvagl/pixmap/bmp_decoder.h"

#include <cstring>
#include <vector>

#include "korvagl/app/modules.h"
#include "korvagl/stream/endian_stream.h"
#include "pixmap/decode_limits.h"
#include "pixmap/decoder_io.h"

namespace korva {
namespace {

constexpr int64_t kFileHeaderBytes = 14;
constexpr int64_t kInfoHeaderBytes = 40;
constexpr int32_t kBitFields = 3;

// The information header sizes of the later bitmap versions, whose extra
// fields follow the 40 bytes we read.
bool IsLongerInfoHeader(uint32_t size) { return size == 52 || size == 56 || size == 108 || size == 124; }

int32_t RowBytes(int32_t width, int32_t bitCount) {
    const int64_t bits = int64_t{width} * bitCount;
    return static_cast<int32_t>((bits + 31) / 32 * 4);
}

Ref<TPixmap> DecodeBMP(TByteStream& source);

}  // namespace

Ref<TPixmap> TBMPPixmapDecoder::ReadPixmap(const Ref<TByteStream>& stream) {
    const Ref<TByteStream> in = AsLittleEndian(stream);
    uint8_t magic[2] = {};
    if (in->ReadFully(magic, 2) != 2 || magic[0] != 'B' || magic[1] != 'M') return nullptr;
    // A BMP from here on: data that cannot be read is its fault.
    try {
        return DecodeBMP(*in);
    } catch (const TStreamError&) {
        detail::RefuseImageData("BMP data cannot be read");
        throw;
    }
}

namespace {

// Everything after the signature, read through the little-endian view.
Ref<TPixmap> DecodeBMP(TByteStream& source) {
    TByteStream* const in = &source;
    const int32_t headerStart = in->Pos();  // the signature's 2 bytes are read
    in->ReadInt();  // file size
    in->ReadInt();  // reserved
    const auto dataOffset = static_cast<uint32_t>(in->ReadInt());
    const auto infoSize = static_cast<uint32_t>(in->ReadInt());
    const int32_t width = in->ReadInt();
    const int32_t height = in->ReadInt();
    in->ReadShort();  // planes
    const int32_t bitCount = in->ReadShort();
    const int32_t compression = in->ReadInt();
    in->ReadInt();  // image size
    in->ReadInt();  // horizontal resolution
    in->ReadInt();  // vertical resolution
    const auto coloursUsed = static_cast<uint32_t>(in->ReadInt());
    in->ReadInt();  // colours important
    int64_t consumed = kFileHeaderBytes + kInfoHeaderBytes;
    // Reads at the end of the data read zeros; a header that ended early
    // holds nothing to go by.
    if (headerStart >= 0 && in->Pos() - headerStart < consumed - 2) {
        detail::RefuseImageData("BMP header is cut short");
        return nullptr;
    }

    // A pixmap of the wrong content would be a failure reported as success.
    const bool bitFields = compression == kBitFields && bitCount == 32;
    if (compression != 0 && !bitFields) {
        detail::RefuseImageData("compressed BMP (method " + IntToString(compression) + ") is not supported");
        return nullptr;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
        detail::RefuseImageData(IntToString(bitCount) + "-bit BMP is not supported");
        return nullptr;
    }

    // Bit-field masks: inside the longer headers, else right after the 40 bytes.
    uint32_t masks[4] = {};  // red, green, blue, alpha
    int64_t headerLeft = 0;
    if (IsLongerInfoHeader(infoSize)) {
        headerLeft = infoSize - kInfoHeaderBytes;
        consumed += headerLeft;
    }
    if (bitFields) {
        const int count = infoSize >= 56 ? 4 : 3;
        for (int i = 0; i < count; ++i) masks[i] = static_cast<uint32_t>(in->ReadInt());
        if (headerLeft >= 4 * count) headerLeft -= 4 * count;
        else consumed += 4 * count;
        // Only the byte layout of 32-bit BGRA is taken; other masks would need
        // scaling that no writer of 32-bit files uses.
        if (masks[0] != 0x00FF0000u || masks[1] != 0x0000FF00u || masks[2] != 0x000000FFu ||
            (masks[3] != 0 && masks[3] != 0xFF000000u)) {
            detail::RefuseImageData("BMP bit-field masks other than 8-bit blue, green, red, alpha are not supported");
            return nullptr;
        }
    }
    // With masks, the fourth byte is alpha when its mask says so; without,
    // it is reserved and dropped.
    const int32_t format = masks[3] ? PIX_RGBA32 : PIX_RGB24;
    // A negative height means the rows are stored top row first.
    const bool topDown = height < 0;
    const int64_t rows = topDown ? -int64_t{height} : height;
    if (!detail::DecodedSizeAllowed(width, rows, PixelBytes[format])) {
        detail::RefuseImageSize("BMP", width, rows);
        return nullptr;
    }

    if (headerLeft > 0) in->Skip(static_cast<int32_t>(headerLeft));

    // The colour table, as 32-bit blue, green, red, reserved entries. Entries
    // the file does not supply stay zero, so their indices read as black.
    uint8_t table[256 * 4] = {};
    if (bitCount == 1) {
        for (int i = 0; i < 2; ++i) {
            const auto entry = static_cast<uint32_t>(in->ReadInt());
            std::memcpy(table + 4 * i, &entry, 4);
        }
        consumed += 8;
    } else if (bitCount <= 8) {
        const uint32_t capacity = 1u << bitCount;
        const uint32_t entries = coloursUsed == 0 || coloursUsed > capacity ? capacity : coloursUsed;
        in->ReadFully(table, static_cast<int32_t>(entries * 4));
        consumed += entries * 4;
    }
    if (dataOffset > consumed && dataOffset <= INT32_MAX) {
        in->Skip(static_cast<int32_t>(dataOffset - consumed));
    }

    Ref<TPixmap> pixmap = NewPixmap(width, static_cast<int32_t>(rows), format, 4);
    const int32_t rowBytes = RowBytes(width, bitCount);
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    std::vector<uint32_t> colours(bitCount <= 8 ? static_cast<size_t>(width) : 0);
    const auto entry = [&](uint32_t index) {
        uint32_t value;
        std::memcpy(&value, table + 4 * index, 4);
        return value;
    };
    const size_t outBytes = static_cast<size_t>(width) * PixelBytes[format];
    const uint8_t* blankRow = nullptr;  // a row decoded after the data ended
    for (int64_t k = 0; k < rows; ++k) {
        uint8_t* out = pixmap->PixelAddress(0, static_cast<int32_t>(topDown ? k : rows - 1 - k));
        // Once the data has ended every row decodes alike: a tiny file that
        // claims a huge image costs a copy per row, not a decode.
        if (blankRow) {
            std::memcpy(out, blankRow, outBytes);
            continue;
        }
        // Zero first: a file that ends early leaves the rest of its rows black.
        std::memset(row.data(), 0, row.size());
        if (detail::ReadAvailable(*in, row.data(), rowBytes) == 0) blankRow = out;
        switch (bitCount) {
            case 1:
                for (int32_t i = 0; i < width; ++i) colours[i] = entry((row[i >> 3] >> (7 - (i & 7))) & 1);
                break;
            case 4:
                for (int32_t i = 0; i < width; ++i) colours[i] = entry(i & 1 ? row[i >> 1] & 15 : row[i >> 1] >> 4);
                break;
            case 8:
                for (int32_t i = 0; i < width; ++i) colours[i] = entry(row[i]);
                break;
            case 24:
                ConvertPixelRun(row.data(), PIX_BGR24, out, PIX_RGB24, width);
                continue;
            default:
                ConvertPixelRun(row.data(), PIX_BGRA32, out, format, width);
                continue;
        }
        // The reserved byte of each entry sits where BGRA keeps alpha; it is dropped.
        ConvertPixelRun(colours.data(), PIX_BGRA32, out, PIX_RGB24, width);
    }
    return pixmap;
}

}  // namespace

int InitBMPLoader() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPixmaps();
    InitEndianStreams();
    detail::NoteModuleStarted("BMP loader");
    New<TBMPPixmapDecoder>();
    return 0;
}

}  // namespace korva
