// The TGA decoder. Header fields are little-endian; the stream is read
// through its little-endian view.
#include "korvagl/pixmap/tga_decoder.h"

#include <cstring>
#include <vector>

#include "korvagl/app/modules.h"
#include "korvagl/stream/endian_stream.h"
#include "pixmap/decode_limits.h"
#include "pixmap/decoder_io.h"

namespace korva {
namespace {

constexpr int32_t kMaxSide = 4096;
constexpr int32_t kTrueColour = 2;
constexpr int32_t kRunLengthTrueColour = 10;

// One stored pixel as ARGB.
ARGB PixelValue(const uint8_t* p, int32_t depth) {
    switch (depth) {
        case 15:
        case 16: {
            const uint32_t c = p[0] | p[1] << 8;
            const ARGB alpha = depth == 16 && (c & 0x8000) ? 0 : 0xFF000000u;
            return alpha | ((c >> 7) & 0xF8) << 16 | ((c >> 2) & 0xF8) << 8 | ((c << 3) & 0xF8);
        }
        case 24: return 0xFF000000u | ARGB(p[2]) << 16 | ARGB(p[1]) << 8 | p[0];
        default: return ARGB(p[3]) << 24 | ARGB(p[2]) << 16 | ARGB(p[1]) << 8 | p[0];
    }
}

// Bytes of the stream, a block at a time; past the end they read as zero.
class BufferedBytes {
public:
    explicit BufferedBytes(TByteStream& stream) : stream_(stream) {}

    // True once the stream has ended and every byte left reads as zero.
    bool Ended() const { return ended_; }

    void Take(uint8_t* out, int32_t count) {
        while (count > 0) {
            if (pos_ == size_) Refill();
            const int32_t n = count < size_ - pos_ ? count : size_ - pos_;
            std::memcpy(out, buffer_ + pos_, static_cast<size_t>(n));
            pos_ += n, out += n, count -= n;
        }
    }

private:
    void Refill() {
        pos_ = 0;
        size_ = detail::ReadAvailable(stream_, buffer_, sizeof buffer_);
        if (size_ == 0) {
            std::memset(buffer_, 0, sizeof buffer_);
            size_ = sizeof buffer_;
            ended_ = true;
        }
    }

    TByteStream& stream_;
    uint8_t buffer_[16384];
    int32_t pos_ = 0;
    int32_t size_ = 0;
    bool ended_ = false;
};

// Run-length packets: a count byte (bit 7: run, low 7 bits: pixels - 1),
// then one pixel for a run or that many pixels for a raw packet. Packets may
// run on from one row into the next.
class RunLengthPixels {
public:
    RunLengthPixels(TByteStream& stream, int32_t bytesPerPixel) : bytes_(stream), pixelBytes_(bytesPerPixel) {}

    // True when every pixel from here on is zero: the data has ended and no
    // run of another value is still going.
    bool Ended() const {
        const bool zeroRun = value_[0] == 0 && value_[1] == 0 && value_[2] == 0 && value_[3] == 0;
        return bytes_.Ended() && (left_ == 0 || !run_ || zeroRun);
    }

    void Row(uint8_t* out, int32_t width) {
        while (width > 0) {
            if (left_ == 0) StartPacket();
            const int32_t n = width < left_ ? width : left_;
            if (run_) {
                for (int32_t i = 0; i < n; ++i) std::memcpy(out + i * pixelBytes_, value_, pixelBytes_);
            } else {
                bytes_.Take(out, n * pixelBytes_);
            }
            out += n * pixelBytes_, width -= n, left_ -= n;
        }
    }

private:
    void StartPacket() {
        uint8_t header = 0;
        bytes_.Take(&header, 1);
        run_ = (header & 0x80) != 0;
        left_ = (header & 0x7F) + 1;
        if (run_) bytes_.Take(value_, pixelBytes_);
    }

    BufferedBytes bytes_;
    int32_t pixelBytes_;
    int32_t left_ = 0;
    bool run_ = false;
    uint8_t value_[4] = {};
};

// TGA has no signature. A header whose fields all hold values TGA defines
// is taken as one, so that refusing it can say why; anything else is simply
// not this decoder's data.
bool LooksLikeTGA(const TTGAHeader& h) {
    const bool mapped = h.imageType == 1 || h.imageType == 9;
    const bool known = mapped || h.imageType == 2 || h.imageType == 3 || h.imageType == 10 || h.imageType == 11;
    const bool depth = h.pixelDepth == 8 || h.pixelDepth == 15 || h.pixelDepth == 16 || h.pixelDepth == 24 ||
                       h.pixelDepth == 32;
    return known && depth && h.colourMapType == (mapped ? 1 : 0);
}

// Why a header that looks like a TGA is refused.
void RefuseTGA(const TTGAHeader& h) {
    if (h.width < 1 || h.height < 1 || h.width > kMaxSide || h.height > kMaxSide) {
        detail::RefuseImageSize("TGA", h.width, h.height);
    } else if (h.imageType == 1 || h.imageType == 9) {
        detail::RefuseImageData("colour-mapped TGA is not supported");
    } else if (h.imageType == 3 || h.imageType == 11) {
        detail::RefuseImageData("greyscale TGA is not supported");
    } else {
        detail::RefuseImageData(IntToString(h.pixelDepth) + "-bit true-colour TGA is not supported");
    }
}

}  // namespace

bool TTGAHeader::Read(TByteStream& stream) {
    uint8_t first[8] = {};
    if (detail::ReadAvailable(stream, first, 8) != 8) return false;
    idLength = first[0];
    colourMapType = first[1];
    imageType = first[2];
    colourMapFirstEntry = first[3] | first[4] << 8;
    colourMapLength = first[5] | first[6] << 8;
    colourMapEntrySize = first[7];
    xOrigin = stream.ReadShort();
    yOrigin = stream.ReadShort();
    width = stream.ReadShort();
    height = stream.ReadShort();
    pixelDepth = stream.ReadByte();
    imageDescriptor = stream.ReadByte();
    return true;
}

bool TTGAHeader::Supported() const {
    // Type 1 (colour-mapped) needs a colour map, which is refused here.
    return colourMapType == 0 && (imageType == kTrueColour || imageType == kRunLengthTrueColour) &&
           (pixelDepth == 15 || pixelDepth == 16 || pixelDepth == 24 || pixelDepth == 32) && width >= 1 &&
           width <= kMaxSide && height >= 1 && height <= kMaxSide;
}

Ref<TPixmap> TTGAPixmapDecoder::ReadPixmap(const Ref<TByteStream>& stream) {
    const Ref<TByteStream> in = AsLittleEndian(stream);
    const Ref<TTGAHeader> header = New<TTGAHeader>();
    if (!header->Read(*in)) return nullptr;
    if (!header->Supported()) {
        if (LooksLikeTGA(*header)) RefuseTGA(*header);
        return nullptr;
    }
    const int32_t width = header->width, height = header->height, depth = header->pixelDepth;
    const int32_t format = depth == 16 || depth == 32 ? PIX_RGBA32 : PIX_RGB24;
    if (!detail::DecodedSizeAllowed(width, height, PixelBytes[format])) return nullptr;
    Ref<TPixmap> pixmap = NewPixmap(width, height, format, 4);
    in->Skip(header->idLength);

    const int32_t pixelBytes = (depth + 7) / 8;
    std::vector<uint8_t> stored(static_cast<size_t>(width) * pixelBytes);
    std::vector<ARGB> row(static_cast<size_t>(width));
    RunLengthPixels packets(*in, pixelBytes);
    const bool runLength = header->imageType == kRunLengthTrueColour;
    const size_t outBytes = static_cast<size_t>(width) * PixelBytes[format];
    const uint8_t* blankRow = nullptr;  // a row decoded after the data ended
    // Descriptor bit 5 marks files stored top row first; all others are
    // stored bottom row first.
    const bool topRowFirst = (header->imageDescriptor & 0x20) != 0;
    for (int32_t k = 0; k < height; ++k) {
        uint8_t* out = pixmap->PixelAddress(0, topRowFirst ? k : height - 1 - k);
        // Once the data has ended every row decodes alike: a tiny file that
        // claims a large image costs a copy per row, not a decode.
        if (blankRow) {
            std::memcpy(out, blankRow, outBytes);
            continue;
        }
        if (runLength) {
            if (packets.Ended()) blankRow = out;
            packets.Row(stored.data(), width);
        } else {
            // Zero first: a file that ends early leaves the rest zero.
            std::memset(stored.data(), 0, stored.size());
            if (detail::ReadAvailable(*in, stored.data(), static_cast<int32_t>(stored.size())) == 0) blankRow = out;
        }
        for (int32_t i = 0; i < width; ++i) row[i] = PixelValue(stored.data() + i * pixelBytes, depth);
        ConvertPixelRun(row.data(), PIX_BGRA32, out, format, width);
    }
    return pixmap;
}

int InitTGALoader() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPixmaps();
    InitEndianStreams();
    detail::NoteModuleStarted("TGA loader");
    New<TTGAPixmapDecoder>();
    return 0;
}

}  // namespace korva
