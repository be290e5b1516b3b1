// Test support: image files made in memory, for decoder tests, benchmarks and
// fuzz seeds. PNG and JPEG are written with libpng and libjpeg; BMP and TGA
// are laid out byte by byte. Every Encode function returns the file's bytes;
// DecodeWithPIL runs Pillow on files as a reference decoding.
// Nothing here uses the framework, so it also builds into benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korva::test {

// Little-endian byte writer for hand-made headers.
class ByteWriter {
public:
    ByteWriter& U8(uint32_t v);
    ByteWriter& U16(uint32_t v);
    ByteWriter& U32(uint32_t v);
    ByteWriter& Bytes(const std::vector<uint8_t>& bytes);
    ByteWriter& Text(const std::string& text);
    ByteWriter& Zeros(size_t count);
    const std::string& Data() const { return data_; }

private:
    std::string data_;
};

// A smooth colour pattern with a little noise (something like a photograph,
// so that it compresses like one): `channels` bytes per pixel, rows packed.
std::vector<uint8_t> TestPattern(int width, int height, int channels, uint32_t seed = 1);

struct PngOptions {
    int colourType = 2;                // PNG_COLOR_TYPE_*: 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<uint8_t> palette;      // RGB triples, for colour type 3
    std::vector<uint8_t> transparency; // the tRNS chunk's bytes, when not empty
    int compressionLevel = 6;
};

// A PNG of `rows`: height rows of packed samples as libpng takes them
// (16-bit samples big-endian, sub-byte depths packed high bits first).
std::string EncodePNG(int width, int height, const std::vector<uint8_t>& rows, const PngOptions& options = {});

// A JPEG of `pixels` (packed rows of 1, 3 or 4 components: grey, RGB, or
// CMYK values as libjpeg gives them back, stored as YCCK when `ycck`).
std::string EncodeJPEG(int width, int height, int components, const std::vector<uint8_t>& pixels,
                       int quality = 90, bool progressive = false, bool ycck = false);

// An image file as Pillow (Debian's python3-pil) decodes it: RGBA when it
// has alpha (an alpha channel or a transparency entry), else RGB; 16-bit
// grey keeps the high byte of each level. One python3 run decodes them all.
struct PilImage {
    int width = 0, height = 0;
    bool alpha = false;
    std::vector<uint8_t> pixels;  // packed rows
};
std::vector<PilImage> DecodeWithPIL(const std::vector<std::string>& files);

// An uncompressed BMP (40-byte information header, bottom row first unless
// topDown). bitCount 1, 4, 8 take `pixels` as palette indices, one byte per
// pixel, and `palette` as BGRX entries; 24 takes packed BGR rows.
std::string EncodeBMP(int width, int height, int bitCount, const std::vector<uint8_t>& pixels,
                      const std::vector<uint8_t>& palette = {}, bool topDown = false);

// An uncompressed (type 2) or run-length (type 10) true-colour TGA of
// `pixels`: packed rows top row first, each pixel as the file stores it (2
// bytes little-endian for 15/16 bits, BGR for 24, BGRA for 32). Rows are
// written bottom row first unless topLeft, which also sets descriptor bit 5.
std::string EncodeTGA(int width, int height, int depth, const std::vector<uint8_t>& pixels, bool rle = false,
                      bool topLeft = false, const std::string& id = "");

}  // namespace korva::test
