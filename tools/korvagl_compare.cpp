// korvagl-compare: compares PNG frames with golden images.
//
//   korvagl-compare [--tolerance N] [--diff DIR] [--update] GOLDEN ACTUAL
//
// GOLDEN and ACTUAL are two images, or two directories: then every PNG of
// GOLDEN is compared with the file of the same name in ACTUAL. Two pixels
// match when no channel (red, green, blue, alpha) differs by more than N
// (default 0). For every image that differs, DIR (default: ACTUAL's
// directory) gets NAME-diff.png: matching pixels dimmed to a quarter of
// their grey, differing ones in full red. --update copies ACTUAL over GOLDEN
// instead (making GOLDEN if needed). Exit code 0 when all match, 1 when
// any differs or is missing, 2 for wrong arguments or unreadable files.
#include <korvagl/korvagl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace korva;

namespace {

constexpr int kSame = 0, kDiffers = 1, kError = 2;

int Usage() {
    std::fprintf(stderr, "usage: korvagl-compare [--tolerance N] [--diff DIR] [--update] GOLDEN ACTUAL\n");
    return kError;
}

Ref<TPixmap> Load(const fs::path& path) {
    Ref<TPixmap> pixels = ReadPixmap(String(path.string()));
    if (!pixels) return nullptr;
    return pixels->Convert(PIX_RGBA32);
}

int Channel(ARGB c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// Compares one golden image with its run; prints one line.
int CompareOne(const fs::path& golden, const fs::path& actual, int tolerance, const fs::path& diffDir) {
    const std::string name = golden.filename().string();
    if (!fs::exists(actual)) {
        std::printf("%s: missing from the run (%s)\n", name.c_str(), actual.string().c_str());
        return kDiffers;
    }
    const Ref<TPixmap> want = Load(golden), got = Load(actual);
    if (!want || !got) {
        std::printf("%s: cannot read %s: %s\n", name.c_str(), (!want ? golden : actual).string().c_str(),
                    LastErrorText().Utf8().c_str());
        return kError;
    }
    if (want->width != got->width || want->height != got->height) {
        std::printf("%s: differs: size %dx%d, golden %dx%d\n", name.c_str(), got->width, got->height, want->width,
                    want->height);
        return kDiffers;
    }
    Ref<TPixmap> diff = NewPixmap(want->width, want->height, PIX_RGB24);
    int64_t differing = 0;
    int worst = 0;
    for (int32_t y = 0; y < want->height; ++y) {
        for (int32_t x = 0; x < want->width; ++x) {
            const ARGB a = want->ReadPixel(x, y), b = got->ReadPixel(x, y);
            int most = 0;
            for (int shift = 0; shift < 32; shift += 8) most = std::max(most, std::abs(Channel(a, shift) - Channel(b, shift)));
            worst = std::max(worst, most);
            if (most > tolerance) {
                ++differing;
                diff->WritePixel(x, y, 0xFFFF0000u);
            } else {
                const ARGB grey = static_cast<ARGB>((Channel(a, 16) * 3 + Channel(a, 8) * 6 + Channel(a, 0)) / 40);
                diff->WritePixel(x, y, 0xFF000000u | grey * 0x010101u);
            }
        }
    }
    if (differing == 0) {
        std::printf("%s: same (largest difference %d)\n", name.c_str(), worst);
        return kSame;
    }
    const fs::path out = diffDir / (golden.stem().string() + "-diff.png");
    const bool saved = SavePixmap(diff, String(out.string())) != 0;
    std::printf("%s: differs: %lld pixels beyond tolerance %d (largest difference %d); difference image %s\n",
                name.c_str(), static_cast<long long>(differing), tolerance, worst,
                saved ? out.string().c_str() : "not saved");
    return kDiffers;
}

// Golden images and the run's files, by name.
std::vector<std::pair<fs::path, fs::path>> Pairs(const fs::path& golden, const fs::path& actual) {
    std::vector<std::pair<fs::path, fs::path>> pairs;
    if (!fs::is_directory(golden)) {
        pairs.emplace_back(golden, actual);
        return pairs;
    }
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(golden, error)) {
        if (entry.path().extension() == ".png") pairs.emplace_back(entry.path(), actual / entry.path().filename());
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

int Update(const fs::path& golden, const fs::path& actual) {
    std::error_code error;
    if (fs::is_directory(actual)) {
        fs::create_directories(golden, error);
        for (const auto& entry : fs::directory_iterator(actual, error)) {
            const std::string name = entry.path().filename().string();
            if (entry.path().extension() != ".png" || name.ends_with("-diff.png")) continue;
            fs::copy_file(entry.path(), golden / name, fs::copy_options::overwrite_existing, error);
            if (error) break;
            std::printf("%s: golden updated\n", name.c_str());
        }
    } else {
        fs::copy_file(actual, golden, fs::copy_options::overwrite_existing, error);
    }
    if (error) {
        std::fprintf(stderr, "korvagl-compare: %s\n", error.message().c_str());
        return kError;
    }
    return kSame;
}

}  // namespace

int main(int argc, char** argv) {
    InitKorvaGL();
    int tolerance = 0;
    bool update = false;
    fs::path diffDir;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tolerance" && i + 1 < argc) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 0 || n > 255) return Usage();
            tolerance = static_cast<int>(n);
        } else if (arg == "--diff" && i + 1 < argc) {
            diffDir = argv[++i];
        } else if (arg == "--update") {
            update = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage();
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.size() != 2) return Usage();
    const fs::path golden = paths[0], actual = paths[1];
    if (update) return Update(golden, actual);
    if (!fs::exists(golden)) {
        std::fprintf(stderr, "korvagl-compare: no golden images at %s\n", golden.string().c_str());
        return kError;
    }
    if (diffDir.empty()) diffDir = fs::is_directory(actual) ? actual : actual.parent_path();
    if (diffDir.empty()) diffDir = ".";
    std::error_code error;
    fs::create_directories(diffDir, error);
    const auto pairs = Pairs(golden, actual);
    if (pairs.empty()) {
        std::fprintf(stderr, "korvagl-compare: no PNG images in %s\n", golden.string().c_str());
        return kError;
    }
    int result = kSame;
    for (const auto& [g, a] : pairs) result = std::max(result, CompareOne(g, a, tolerance, diffDir));
    return result;
}
