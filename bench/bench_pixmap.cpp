// Pixmap benchmarks, each beside its reference, measured in the same run:
//   ConvertPixelRun BGR24 -> RGBA32 and RGBA32 -> BGRA32 on 16 Mpixel;
//   ScalePixmap 2048x2048 RGBA -> 1024x1024 against Pillow's bilinear resize;
//   ReadPixmap of a 4000x3000 baseline JPEG against djpeg;
//   ReadPixmap of a 4000x3000 RGB PNG and of a greyscale one against libpng's
//   simplified API reading the same file to RGB.
// Every figure is the median of several runs after one warm-up run. The input
// images are generated here and written to a temporary directory.
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_process.h"
#include "korvagl/korvagl.h"
#include "tests/support/image_fixtures.h"

namespace korva {
namespace {

using bench::Run;
using bench::WriteFile;

using Clock = std::chrono::steady_clock;

double MedianMs(int runs, const std::function<void()>& work) {
    work();  // warm-up
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Row {
    std::string what;
    double ms;
    std::string reference;
    double referenceMs;
    std::string target;
};

std::vector<Row> rows;

void Report(const Row& row) {
    rows.push_back(row);
    std::printf("%-46s %9.2f ms", row.what.c_str(), row.ms);
    if (row.referenceMs > 0) {
        std::printf("   %-40s %9.2f ms   ratio %.3f", row.reference.c_str(), row.referenceMs,
                    row.ms / row.referenceMs);
    }
    std::printf("   (%s)\n", row.target.c_str());
    std::fflush(stdout);
}

void BenchConversion() {
    constexpr int32_t kPixels = 16 * 1024 * 1024;
    const std::vector<uint8_t> pattern = test::TestPattern(4096, 4096, 4, 3);
    std::vector<uint8_t> bgr(static_cast<size_t>(kPixels) * 3), rgba(static_cast<size_t>(kPixels) * 4),
        out(static_cast<size_t>(kPixels) * 4);
    ConvertPixelRun(pattern.data(), PIX_RGBA32, bgr.data(), PIX_BGR24, kPixels);
    std::memcpy(rgba.data(), pattern.data(), rgba.size());

    const double a = MedianMs(9, [&] { ConvertPixelRun(bgr.data(), PIX_BGR24, out.data(), PIX_RGBA32, kPixels); });
    Report({"ConvertPixelRun BGR24->RGBA32, 16 Mpixel", a, "", 0,
            std::to_string(kPixels / a / 1e6).substr(0, 4) + " Gpixel/s; goal >= 1"});
    const double b = MedianMs(9, [&] { ConvertPixelRun(rgba.data(), PIX_RGBA32, out.data(), PIX_BGRA32, kPixels); });
    Report({"ConvertPixelRun RGBA32->BGRA32, 16 Mpixel", b, "", 0,
            std::to_string(kPixels / b / 1e6).substr(0, 4) + " Gpixel/s; goal >= 1"});
}

// Pillow's time for the same resize, from a child python3 that loads the
// same pixels; the median of its own timed runs. -1 when Pillow is missing.
double PillowResizeMs(const std::string& dir, const std::string& mode) {
    const std::string script =
        "import sys, time\n"
        "from PIL import Image\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "im = Image.frombytes(sys.argv[2], (2048, 2048), data)\n"
        "im.resize((1024, 1024), Image.BILINEAR)\n"
        "times = []\n"
        "for i in range(15):\n"
        "    t = time.perf_counter(); im.resize((1024, 1024), Image.BILINEAR)\n"
        "    times.append((time.perf_counter() - t) * 1000)\n"
        "times.sort(); print(times[len(times) // 2])\n";
    return bench::RunPythonForNumber(dir, "resize", script, {dir + "/image.rgba", mode});
}

void BenchScale(const std::string& dir) {
    const std::vector<uint8_t> pattern = test::TestPattern(2048, 2048, 4, 5);
    WriteFile(dir + "/image.rgba", pattern.data(), pattern.size());
    const Ref<TPixmap> source = NewPixmap(2048, 2048, PIX_RGBA32, 4);
    std::memcpy(source->pixels, pattern.data(), pattern.size());
    const double ours = MedianMs(15, [&] { ScalePixmap(source, 1024, 1024); });
    const double pillow = PillowResizeMs(dir, "RGBA");
    Report({"ScalePixmap 2048x2048 RGBA -> 1024x1024", ours, "Pillow resize BILINEAR, mode RGBA", pillow,
            "goal: ratio <= 1"});
    const double pillowPremultiplied = PillowResizeMs(dir, "RGBa");
    Report({"ScalePixmap 2048x2048 RGBA -> 1024x1024", ours, "Pillow resize BILINEAR, mode RGBa", pillowPremultiplied,
            "Pillow without its alpha conversions"});
}

// The reference PNG load: libpng's simplified API reading a file to RGB.
void ReadWithSimplifiedApi(const std::string& path) {
    png_image decoded;
    std::memset(&decoded, 0, sizeof decoded);
    decoded.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&decoded, path.c_str())) std::abort();
    decoded.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(decoded));
    if (!png_image_finish_read(&decoded, nullptr, pixels.data(), 0, nullptr)) std::abort();
}

void BenchDecoding(const std::string& dir) {
    const std::vector<uint8_t> image = test::TestPattern(4000, 3000, 3, 7);
    const std::string jpeg = test::EncodeJPEG(4000, 3000, 3, image, 90);
    const std::string png = test::EncodePNG(4000, 3000, image);
    const std::string jpegPath = dir + "/photo.jpg", pngPath = dir + "/photo.png";
    WriteFile(jpegPath, jpeg.data(), jpeg.size());
    WriteFile(pngPath, png.data(), png.size());
    std::printf("(JPEG %zu bytes, quality 90, 4:2:0; PNG %zu bytes, level 6)\n", jpeg.size(), png.size());

    const double ours = MedianMs(9, [&] {
        if (!ReadPixmap(String(jpegPath))) std::abort();
    });
    const double djpeg = MedianMs(9, [&] {
        if (Run({"djpeg", "-outfile", "/dev/null", jpegPath}) != 0) std::abort();
    });
    Report({"ReadPixmap 4000x3000 baseline JPEG", ours, "djpeg -outfile /dev/null (whole process)", djpeg,
            "goal: ratio <= 1.10"});

    const double oursPng = MedianMs(7, [&] {
        if (!ReadPixmap(String(pngPath))) std::abort();
    });
    const double simplified = MedianMs(7, [&] { ReadWithSimplifiedApi(pngPath); });
    Report({"ReadPixmap 4000x3000 RGB PNG", oursPng, "libpng simplified API, same file", simplified,
            "goal: ratio <= 1.15"});

    // Greyscale: ReadPixmap spreads each level to RGB, as the simplified API
    // does when asked for RGB.
    const std::string grey = test::EncodePNG(4000, 3000, test::TestPattern(4000, 3000, 1, 8), [] {
        test::PngOptions options;
        options.colourType = 0;
        return options;
    }());
    const std::string greyPath = dir + "/grey.png";
    WriteFile(greyPath, grey.data(), grey.size());
    std::printf("(grey PNG %zu bytes, level 6)\n", grey.size());
    const double oursGrey = MedianMs(7, [&] {
        if (!ReadPixmap(String(greyPath))) std::abort();
    });
    const double simplifiedGrey = MedianMs(7, [&] { ReadWithSimplifiedApi(greyPath); });
    Report({"ReadPixmap 4000x3000 greyscale PNG (to RGB)", oursGrey, "libpng simplified API to RGB, same file",
            simplifiedGrey, "goal: ratio <= 1.15"});
}

}  // namespace
}  // namespace korva

int main() {
    using namespace korva;
    InitKorvaGL();
    char pattern[] = "/tmp/korvagl-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) return 1;
    const std::string dir = made;
    std::printf("bench_pixmap: median of several runs each\n");
    BenchConversion();
    BenchScale(dir);
    BenchDecoding(dir);
    std::filesystem::remove_all(dir);
    return 0;
}
