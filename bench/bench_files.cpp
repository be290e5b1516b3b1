// Saving pictures and reading archive entries, each beside its reference,
// measured in the same run:
//   SavePixmap of a 4000x3000 RGB picture as PNG at zlib level 6 against
//   libpng's simplified API (png_image_write_to_file, level 6 by default),
//   and its file size against Pillow's save(optimize=False);
//   SavePixmap as JPEG at quality 90 against cjpeg -quality 90 on the same
//   pixels (a PPM file; the whole process, reading it included);
//   LoadBytes of a 64 MiB entry stored in a zip archive against LoadBytes of
//   the same bytes as a plain file, and of the entry deflated against
//   unzip -p (to /dev/null). The archives are made by Info-ZIP's zip.
// Every figure is the median of several runs after one warm-up run; the
// files live in a temporary directory.
#include <png.h>
#include <sys/stat.h>
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

// Medians of `a` and of `b`, run in turns (a, b, a, b, ...) after one
// warm-up run of each, so that a machine shared with other work slows both
// alike.
std::pair<double, double> MedianPairMs(int runs, const std::function<void()>& a, const std::function<void()>& b) {
    a();
    b();
    std::vector<double> ta, tb;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        a();
        ta.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        start = Clock::now();
        b();
        tb.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ta.begin(), ta.end());
    std::sort(tb.begin(), tb.end());
    return {ta[ta.size() / 2], tb[tb.size() / 2]};
}

long long FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

void Report(const std::string& what, double ms, const std::string& reference, double referenceMs,
            const std::string& target) {
    std::printf("%-46s %9.2f ms   %-44s %9.2f ms   ratio %.3f   (%s)\n", what.c_str(), ms, reference.c_str(),
                referenceMs, ms / referenceMs, target.c_str());
    std::fflush(stdout);
}

// The reference PNG save: libpng's simplified API writing RGB rows to a file.
void WriteWithSimplifiedApi(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr)) std::abort();
}

// The size of Pillow's PNG of the same pixels (Debian's python3-pil); -1
// when Pillow is missing.
long long PillowPngSize(const std::string& dir, const std::string& rawPath, int width, int height) {
    const std::string script =
        "import os, sys\n"
        "from PIL import Image\n"
        "im = Image.frombytes('RGB', (int(sys.argv[2]), int(sys.argv[3])), open(sys.argv[1], 'rb').read())\n"
        "im.save(sys.argv[4], optimize=False)\n"
        "print(os.path.getsize(sys.argv[4]))\n";
    return static_cast<long long>(bench::RunPythonForNumber(
        dir, "save", script, {rawPath, std::to_string(width), std::to_string(height), dir + "/pillow.png"}));
}

void BenchPng(const std::string& dir, const Ref<TPixmap>& pixmap, const std::vector<uint8_t>& rgb);
void BenchJpeg(const std::string& dir, const Ref<TPixmap>& pixmap, const std::vector<uint8_t>& rgb);

void BenchEncoding(const std::string& dir, const std::string& only) {
    if (!only.empty() && only != "png" && only != "jpeg") return;
    constexpr int kWidth = 4000, kHeight = 3000;
    const std::vector<uint8_t> rgb = test::TestPattern(kWidth, kHeight, 3, 7);
    const Ref<TPixmap> pixmap = NewPixmap(kWidth, kHeight, PIX_RGB24, 1);
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(pixmap->PixelAddress(0, y), &rgb[static_cast<size_t>(y) * kWidth * 3],
                    static_cast<size_t>(kWidth) * 3);

    if (only != "jpeg") BenchPng(dir, pixmap, rgb);
    if (only != "png") BenchJpeg(dir, pixmap, rgb);
}

void BenchPng(const std::string& dir, const Ref<TPixmap>& pixmap, const std::vector<uint8_t>& rgb) {
    constexpr int kWidth = 4000, kHeight = 3000;
    const std::string ours = dir + "/ours.png", theirs = dir + "/libpng.png";
    const auto [save, simplified] = MedianPairMs(
        5, [&] { if (!SavePixmap(pixmap, String(ours), 6)) std::abort(); },
        [&] { WriteWithSimplifiedApi(theirs, rgb, kWidth, kHeight); });
    Report("SavePixmap 4000x3000 RGB PNG, level 6", save, "png_image_write_to_file, same pixels", simplified,
           "goal: ratio <= 1.0");
    const std::string rawPath = dir + "/image.rgb";
    WriteFile(rawPath, rgb.data(), rgb.size());
    const long long pillow = PillowPngSize(dir, rawPath, kWidth, kHeight);
    std::printf("  PNG sizes: SavePixmap %lld bytes, libpng simplified %lld bytes, Pillow optimize=False %lld "
                "bytes (ratio to Pillow %.4f; goal <= 1)\n",
                FileSize(ours), FileSize(theirs), pillow, double(FileSize(ours)) / double(pillow));
}

void BenchJpeg(const std::string& dir, const Ref<TPixmap>& pixmap, const std::vector<uint8_t>& rgb) {
    constexpr int kWidth = 4000, kHeight = 3000;
    // cjpeg reads binary PPM.
    const std::string ppm = dir + "/image.ppm";
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << kWidth << " " << kHeight << "\n255\n";
        out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    }
    const std::string jpeg = dir + "/ours.jpg", cjpegOut = dir + "/cjpeg.jpg";
    const auto [saveJpeg, cjpeg] = MedianPairMs(
        7, [&] { if (!SavePixmap(pixmap, String(jpeg), 90)) std::abort(); },
        [&] { if (Run({"cjpeg", "-quality", "90", "-outfile", cjpegOut, ppm}) != 0) std::abort(); });
    Report("SavePixmap 4000x3000 RGB JPEG, quality 90", saveJpeg, "cjpeg -quality 90 (whole process, PPM in)",
           cjpeg, "goal: ratio <= 1.05");
    std::printf("  JPEG sizes: SavePixmap %lld bytes, cjpeg %lld bytes\n", FileSize(jpeg), FileSize(cjpegOut));
}

void BenchArchives(const std::string& dir) {
    // 64 MiB that deflates like pictures do (a smooth pattern with noise).
    const std::vector<uint8_t> data = test::TestPattern(4096, 4096, 4, 11);
    const std::string plain = dir + "/data.bin";
    WriteFile(plain, data.data(), data.size());
    // zip -j: the entry is named "data.bin"; -0 stores, -6 deflates.
    if (Run({"zip", "-q", "-j", "-0", dir + "/stored.zip", plain}) != 0 ||
        Run({"zip", "-q", "-j", "-6", dir + "/deflated.zip", plain}) != 0) {
        std::printf("bench_files: zip failed; archive figures skipped\n");
        return;
    }
    std::printf("(entry of %zu bytes; deflated archive %lld bytes)\n", data.size(), FileSize(dir + "/deflated.zip"));
    const String storedUrl("zip::" + dir + "/stored.zip|data.bin");
    const String deflatedUrl("zip::" + dir + "/deflated.zip|data.bin");
    const auto load = [](const String& url, size_t size) {
        if (LoadBytes(url).size() != size) std::abort();
    };
    const auto [stored, file] =
        MedianPairMs(9, [&] { load(storedUrl, data.size()); }, [&] { load(String(plain), data.size()); });
    Report("LoadBytes of a 64 MiB stored zip entry", stored, "LoadBytes of the plain file", file,
           "goal: ratio <= 1.3");
    const auto [deflated, unzip] = MedianPairMs(
        7, [&] { load(deflatedUrl, data.size()); },
        [&] { if (Run({"unzip", "-p", dir + "/deflated.zip", "data.bin"}) != 0) std::abort(); });
    Report("LoadBytes of a 64 MiB deflated zip entry", deflated, "unzip -p to /dev/null (whole process)", unzip,
           "goal: ratio <= 1.2");
}

}  // namespace
}  // namespace korva

// bench_files [png|jpeg|zip]: every part, or the one named.
int main(int argc, char** argv) {
    using namespace korva;
    const std::string only = argc > 1 ? argv[1] : "";
    InitKorvaGL();
    char pattern[] = "/tmp/korvagl-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) return 1;
    const std::string dir = made;
    std::printf("bench_files: median of several runs each\n");
    BenchEncoding(dir, only);
    if (only.empty() || only == "zip") BenchArchives(dir);
    std::filesystem::remove_all(dir);
    return 0;
}
