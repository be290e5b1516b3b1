// Writes the demo's sample picture: a 512 x 512 JPEG of interfering colour
// waves and rings, made from nothing but arithmetic.
//   make_demo_picture <output.jpg>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kSize = 512;

// Hue (0-1), saturation and value (0-1) to 8-bit RGB.
void HsvToRgb(double h, double s, double v, unsigned char* rgb) {
    h = (h - std::floor(h)) * 6.0;
    const int sector = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r, g, b;
    switch (sector) {
        case 0: r = v; g = t; b = p; break;
        case 1: r = q; g = v; b = p; break;
        case 2: r = p; g = v; b = t; break;
        case 3: r = p; g = q; b = v; break;
        case 4: r = t; g = p; b = v; break;
        default: r = v; g = p; b = q; break;
    }
    rgb[0] = static_cast<unsigned char>(r * 255 + 0.5);
    rgb[1] = static_cast<unsigned char>(g * 255 + 0.5);
    rgb[2] = static_cast<unsigned char>(b * 255 + 0.5);
}

std::vector<unsigned char> Picture() {
    std::vector<unsigned char> pixels(kSize * kSize * 3);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double u = (x - kSize / 2) / 64.0, v = (y - kSize / 2) / 64.0;
            const double r = std::sqrt(u * u + v * v);
            const double angle = std::atan2(v, u);
            const double wave = std::sin(u * 1.7 + std::sin(v * 1.3)) + std::sin(r * 2.5 - angle * 3) +
                                std::cos(v * 2.1 - u * 0.7);
            const double hue = wave / 6.0 + r / 8.0;
            const double ring = 0.5 + 0.5 * std::cos(r * 6.0);
            HsvToRgb(hue, 0.65 + 0.35 * ring, 0.55 + 0.45 * (0.5 + wave / 6.0), &pixels[(y * kSize + x) * 3]);
        }
    }
    return pixels;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_picture <output.jpg>\n");
        return 2;
    }
    FILE* file = std::fopen(argv[1], "wb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<unsigned char> pixels = Picture();
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = kSize;
    info.image_height = kSize;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &pixels[info.next_scanline * kSize * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0 ? 0 : 1;
}
