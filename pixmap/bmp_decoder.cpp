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
    if (compression != 0) {
        detail::RefuseImageData("compressed BMP (method " + IntToString(compression) + ") is not supported");
        return nullptr;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) {
        detail::RefuseImageData(IntToString(bitCount) + "-bit BMP is not supported");
        return nullptr;
    }
    // A negative height means the rows are stored top row first.
    const bool topDown = height < 0;
    const int64_t rows = topDown ? -int64_t{height} : height;
    if (!detail::DecodedSizeAllowed(width, rows, 3)) {
        detail::RefuseImageSize("BMP", width, rows);
        return nullptr;
    }

    if (IsLongerInfoHeader(infoSize)) {
        in->Skip(static_cast<int32_t>(infoSize - kInfoHeaderBytes));
        consumed += infoSize - kInfoHeaderBytes;
    }

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

    Ref<TPixmap> pixmap = NewPixmap(width, static_cast<int32_t>(rows), PIX_RGB24, 4);
    const int32_t rowBytes = RowBytes(width, bitCount);
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    std::vector<uint32_t> colours(bitCount <= 8 ? static_cast<size_t>(width) : 0);
    const auto entry = [&](uint32_t index) {
        uint32_t value;
        std::memcpy(&value, table + 4 * index, 4);
        return value;
    };
    const size_t outBytes = static_cast<size_t>(width) * 3;
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
            default:
                ConvertPixelRun(row.data(), PIX_BGR24, out, PIX_RGB24, width);
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
