// Test support: image files made in memory.
#include "tests/support/image_fixtures.h"

#include <png.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>

#include <jpeglib.h>

namespace korva::test {

ByteWriter& ByteWriter::U8(uint32_t v) {
    data_.push_back(static_cast<char>(v & 0xFF));
    return *this;
}

ByteWriter& ByteWriter::U16(uint32_t v) { return U8(v).U8(v >> 8); }
ByteWriter& ByteWriter::U32(uint32_t v) { return U16(v).U16(v >> 16); }

ByteWriter& ByteWriter::Bytes(const std::vector<uint8_t>& bytes) {
    data_.append(bytes.begin(), bytes.end());
    return *this;
}

ByteWriter& ByteWriter::Text(const std::string& text) {
    data_ += text;
    return *this;
}

ByteWriter& ByteWriter::Zeros(size_t count) {
    data_.append(count, '\0');
    return *this;
}

std::vector<uint8_t> TestPattern(int width, int height, int channels, uint32_t seed) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * channels);
    std::mt19937 random(seed);
    size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
            for (int c = 0; c < channels; ++c) {
                const double wave = std::sin((u * (1 + c) + v * (2 - c / 2.0)) * 6.2832) * 60.0;
                const double ramp = (c % 2 ? u : v) * 120.0;
                const int noise = static_cast<int>(random() % 9) - 4;
                const int value = static_cast<int>(70.0 + wave + ramp) + noise;
                out[i++] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
            }
        }
    }
    return out;
}

// ---- PNG --------------------------------------------------------------------

namespace {

void AppendPng(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void FlushPng(png_structp) {}

void PngFailed(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void PngWarning(png_structp, png_const_charp) {}

int PngChannels(int colourType) {
    switch (colourType) {
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_RGBA: return 4;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        default: return 1;
    }
}

}  // namespace

std::string EncodePNG(int width, int height, const std::vector<uint8_t>& rows, const PngOptions& options) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFailed, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) throw std::runtime_error("png_create_write_struct failed");
    const size_t rowBytes = (static_cast<size_t>(width) * PngChannels(options.colourType) * options.bitDepth + 7) / 8;
    std::vector<png_bytep> pointers(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) pointers[y] = const_cast<png_bytep>(rows.data() + y * rowBytes);
    if (rows.size() < rowBytes * height) throw std::runtime_error("EncodePNG: too few bytes");

    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < options.palette.size(); i += 3) {
        palette.push_back({options.palette[i], options.palette[i + 1], options.palette[i + 2]});
    }
    // Nothing with a destructor may begin its life after this point: an error
    // jumps back here.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("EncodePNG failed");
    }
    png_set_write_fn(png, &out, AppendPng, FlushPng);
    png_set_compression_level(png, options.compressionLevel);
    png_set_IHDR(png, info, width, height, options.bitDepth, options.colourType,
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!options.transparency.empty()) {
        const auto& t = options.transparency;
        if (options.colourType == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, const_cast<png_bytep>(t.data()), static_cast<int>(t.size()), nullptr);
        } else {
            // Grey: one 16-bit value; RGB: three 16-bit values, big-endian.
            png_color_16 colour{};
            const auto at = [&](size_t i) { return static_cast<png_uint_16>(t[i] << 8 | t[i + 1]); };
            if (options.colourType == PNG_COLOR_TYPE_GRAY) {
                colour.gray = at(0);
            } else {
                colour.red = at(0), colour.green = at(2), colour.blue = at(4);
            }
            png_set_tRNS(png, info, nullptr, 1, &colour);
        }
    }
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// ---- JPEG -------------------------------------------------------------------

namespace {

struct JpegFailure {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void JpegFailed(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegFailure*>(cinfo->err)->jump, 1); }

void JpegQuiet(j_common_ptr) {}

}  // namespace

std::string EncodeJPEG(int width, int height, int components, const std::vector<uint8_t>& pixels, int quality,
                       bool progressive, bool ycck) {
    jpeg_compress_struct cinfo{};
    JpegFailure failure{};
    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = JpegFailed;
    failure.manager.output_message = JpegQuiet;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(failure.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        throw std::runtime_error("EncodeJPEG failed");
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (ycck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t rowBytes = static_cast<size_t>(width) * components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + cinfo.next_scanline * rowBytes);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

// ---- Pillow's decoding -----------------------------------------------------

std::vector<PilImage> DecodeWithPIL(const std::vector<std::string>& files) {
    char pattern[] = "/tmp/korvagl-pil-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("DecodeWithPIL: no temporary directory");
    const std::string dir = pattern;
    const std::string script = dir + "/decode.py";
    std::string command = "/usr/bin/python3 " + script;
    const auto write = [](const std::string& path, const std::string& bytes) {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) throw std::runtime_error(path);
        std::fclose(f);
    };
    write(script,
          "import sys\n"
          "from PIL import Image\n"
          "out = sys.stdout.buffer\n"
          "for path in sys.argv[1:]:\n"
          "    im = Image.open(path)\n"
          "    im.load()\n"
          "    alpha = im.mode in ('RGBA', 'LA', 'PA') or 'transparency' in im.info\n"
          "    if im.mode.startswith('I'):\n"
          "        im = Image.frombytes('L', im.size, bytes(v >> 8 for v in im.getdata()))\n"
          "    data = im.convert('RGBA' if alpha else 'RGB').tobytes()\n"
          "    out.write(b'%d %d %d\\n' % (im.size[0], im.size[1], alpha) + data)\n");
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string path = dir + "/" + std::to_string(i);
        write(path, files[i]);
        command += " " + path;
    }
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
        pclose(pipe);
    }
    for (size_t i = 0; i < files.size(); ++i) std::remove((dir + "/" + std::to_string(i)).c_str());
    std::remove(script.c_str());
    rmdir(dir.c_str());

    std::vector<PilImage> images;
    size_t at = 0;
    while (images.size() < files.size()) {
        PilImage image;
        int alpha = 0;
        const size_t line = output.find('\n', at);
        if (line == std::string::npos ||
            std::sscanf(output.c_str() + at, "%d %d %d", &image.width, &image.height, &alpha) != 3) {
            throw std::runtime_error("DecodeWithPIL: python3 with PIL gave no image");
        }
        image.alpha = alpha != 0;
        const size_t bytes = static_cast<size_t>(image.width) * image.height * (image.alpha ? 4 : 3);
        if (output.size() < line + 1 + bytes) throw std::runtime_error("DecodeWithPIL: short output");
        image.pixels.assign(output.begin() + static_cast<std::ptrdiff_t>(line + 1),
                            output.begin() + static_cast<std::ptrdiff_t>(line + 1 + bytes));
        at = line + 1 + bytes;
        images.push_back(std::move(image));
    }
    return images;
}

// ---- BMP --------------------------------------------------------------------

std::string EncodeBMP(int width, int height, int bitCount, const std::vector<uint8_t>& pixels,
                      const std::vector<uint8_t>& palette, bool topDown) {
    const size_t rowBytes = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    const uint32_t tableBytes = static_cast<uint32_t>(palette.size());
    const uint32_t offset = 54 + tableBytes;
    ByteWriter w;
    w.Text("BM").U32(offset + static_cast<uint32_t>(rowBytes * height)).U32(0).U32(offset);
    w.U32(40).U32(static_cast<uint32_t>(width)).U32(static_cast<uint32_t>(topDown ? -height : height));
    w.U16(1).U16(static_cast<uint32_t>(bitCount)).U32(0).U32(static_cast<uint32_t>(rowBytes * height));
    w.U32(2835).U32(2835).U32(bitCount <= 8 ? tableBytes / 4 : 0).U32(0);
    w.Bytes(palette);
    for (int k = 0; k < height; ++k) {
        const int y = topDown ? k : height - 1 - k;
        std::vector<uint8_t> row(rowBytes, 0);
        for (int x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            switch (bitCount) {
                case 1: row[x / 8] |= static_cast<uint8_t>((pixels[i] & 1) << (7 - x % 8)); break;
                case 4: row[x / 2] |= static_cast<uint8_t>((pixels[i] & 15) << (x % 2 ? 0 : 4)); break;
                case 8: row[x] = pixels[i]; break;
                default: std::memcpy(&row[x * 3], &pixels[i * 3], 3); break;
            }
        }
        w.Bytes(row);
    }
    return w.Data();
}

// ---- TGA --------------------------------------------------------------------

std::string EncodeTGA(int width, int height, int depth, const std::vector<uint8_t>& pixels, bool rle, bool topLeft,
                      const std::string& id) {
    const int bytes = (depth + 7) / 8;
    ByteWriter w;
    w.U8(static_cast<uint32_t>(id.size())).U8(0).U8(rle ? 10 : 2).U16(0).U16(0).U8(0);
    w.U16(0).U16(0).U16(static_cast<uint32_t>(width)).U16(static_cast<uint32_t>(height));
    w.U8(static_cast<uint32_t>(depth)).U8((depth == 32 ? 8 : depth == 16 ? 1 : 0) | (topLeft ? 0x20 : 0));
    w.Text(id);
    for (int k = 0; k < height; ++k) {
        const int y = topLeft ? k : height - 1 - k;
        const uint8_t* row = pixels.data() + static_cast<size_t>(y) * width * bytes;
        if (!rle) {
            w.Bytes(std::vector<uint8_t>(row, row + static_cast<size_t>(width) * bytes));
            continue;
        }
        // Runs of two or more equal pixels become run packets; the rest raw.
        int x = 0;
        const auto same = [&](int a, int b) { return std::memcmp(row + a * bytes, row + b * bytes, bytes) == 0; };
        while (x < width) {
            int run = 1;
            while (x + run < width && run < 128 && same(x, x + run)) ++run;
            if (run >= 2) {
                w.U8(0x80 | (run - 1)).Bytes(std::vector<uint8_t>(row + x * bytes, row + (x + 1) * bytes));
                x += run;
                continue;
            }
            int raw = 1;
            while (x + raw < width && raw < 128 && !(x + raw + 1 < width && same(x + raw, x + raw + 1))) ++raw;
            w.U8(raw - 1).Bytes(std::vector<uint8_t>(row + x * bytes, row + (x + raw) * bytes));
            x += raw;
        }
    }
    return w.Data();
}

}  // namespace korva::test
