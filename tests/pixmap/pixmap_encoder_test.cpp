// Saving pixmaps: lossless round trips of every pixel format through PNG,
// BMP and TGA, JPEG within a small error, files other readers agree with,
// the choice of format, and saves that fail without leaving a partial file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "korvagl/korvagl.h"
#include "tests/pixmap/decoder_test_support.h"
#include "tests/support/image_fixtures.h"
#include "tests/support/temp_dir.h"

namespace korva {
namespace {

// A pixmap of `format` whose every channel varies, alpha included, with row
// padding (odd widths) so that pitch is honoured.
Ref<TPixmap> Pattern(int32_t width, int32_t height, int32_t format, uint32_t seed = 1) {
    const std::vector<uint8_t> rgba = test::TestPattern(width, height, 4, seed);
    Ref<TPixmap> p = NewPixmap(width, height, format, 4);
    for (int32_t y = 0; y < height; ++y) {
        ConvertPixelRun(rgba.data() + static_cast<size_t>(y) * width * 4, PIX_RGBA32, p->PixelAddress(0, y), format,
                        width);
    }
    return p;
}

// Every pixel of `loaded` reads as the same ARGB value as in `source`.
::testing::AssertionResult SamePixels(const Ref<TPixmap>& source, const Ref<TPixmap>& loaded) {
    if (!loaded) return ::testing::AssertionFailure() << "not loaded: " << LastErrorText().ToBytes();
    if (loaded->width != source->width || loaded->height != source->height) {
        return ::testing::AssertionFailure() << "size " << loaded->width << "x" << loaded->height;
    }
    for (int32_t y = 0; y < source->height; ++y) {
        for (int32_t x = 0; x < source->width; ++x) {
            if (loaded->ReadPixel(x, y) != source->ReadPixel(x, y)) {
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << ": " << std::hex
                                                     << loaded->ReadPixel(x, y) << " != " << source->ReadPixel(x, y);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    return names;
}

class PixmapEncoderTest : public ::testing::Test {
protected:
    void SetUp() override { InitKorvaGL(); }
    test::TempDir dir;
};

TEST_F(PixmapEncoderTest, LosslessFormatsRoundTripEveryPixelFormat) {
    for (const char* ext : {"png", "bmp", "tga"}) {
        for (int32_t format = PIX_I8; format <= PIX_RGBA32; ++format) {
            for (auto [w, h] : {std::pair{1, 1}, std::pair{7, 5}, std::pair{33, 2}}) {
                const Ref<TPixmap> source = Pattern(w, h, format);
                const String path(dir.File("p." + std::string(ext)));
                ASSERT_EQ(SavePixmap(source, path), 1) << ext << " " << format << ": " << LastErrorText().ToBytes();
                EXPECT_TRUE(LastErrorText().IsEmpty());
                EXPECT_TRUE(SamePixels(source, ReadPixmap(path))) << ext << " format " << format << " " << w << "x" << h;
            }
        }
    }
    // A window into a larger pixmap is saved as its own rectangle.
    const Ref<TPixmap> window = PixmapSubRegion(Pattern(20, 10, PIX_BGRA32), 3, 2, 9, 5);
    for (const char* ext : {"png", "bmp", "tga"}) {
        const String path(dir.File("w." + std::string(ext)));
        ASSERT_EQ(SavePixmap(window, path), 1);
        EXPECT_TRUE(SamePixels(window, ReadPixmap(path))) << ext;
    }
}

// 16384 pixels wide; TGA is left out, its loader reads at most 4096 each way.
TEST_F(PixmapEncoderTest, WidePicturesRoundTrip) {
    const Ref<TPixmap> rgb = Pattern(16384, 2, PIX_RGB24);
    const Ref<TPixmap> rgba = Pattern(16384, 2, PIX_RGBA32);
    for (const char* ext : {"png", "bmp"}) {
        for (const Ref<TPixmap>& source : {rgb, rgba}) {
            const String path(dir.File("wide." + std::string(ext)));
            ASSERT_EQ(SavePixmap(source, path), 1);
            EXPECT_TRUE(SamePixels(source, ReadPixmap(path))) << ext;
        }
    }
}

TEST_F(PixmapEncoderTest, JpegStaysCloseToTheSourceAndQualityCounts) {
    const Ref<TPixmap> source = Pattern(64, 48, PIX_BGRA32);
    const String best(dir.File("q90.jpg")), small(dir.File("q10.JPEG"));
    ASSERT_EQ(SavePixmap(source, best, 90), 1);
    ASSERT_EQ(SavePixmap(source, small, 10), 1);
    const Ref<TPixmap> loaded = ReadPixmap(best);
    ASSERT_TRUE(loaded);
    double total = 0;
    int worst = 0;
    for (int32_t y = 0; y < 48; ++y) {
        for (int32_t x = 0; x < 64; ++x) {
            const ARGB a = source->ReadPixel(x, y), b = loaded->ReadPixel(x, y);
            for (int shift : {0, 8, 16}) {
                const int d = std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255));
                total += d;
                worst = std::max(worst, d);
            }
        }
    }
    EXPECT_LT(total / (64 * 48 * 3), 4.0);
    EXPECT_LT(worst, 48);
    EXPECT_LT(FileByteSize(small), FileByteSize(best));
    // Grey stays grey: every loaded pixel has equal channels near the source level.
    const Ref<TPixmap> grey = Pattern(16, 16, PIX_I8);
    ASSERT_EQ(SavePixmap(grey, String(dir.File("g.jpg"))), 1);
    const Ref<TPixmap> greyLoaded = ReadPixmap(String(dir.File("g.jpg")));
    ASSERT_TRUE(greyLoaded);
    const ARGB p = greyLoaded->ReadPixel(5, 5);
    EXPECT_EQ(p & 255, (p >> 8) & 255);
    EXPECT_EQ(p & 255, (p >> 16) & 255);
    EXPECT_NEAR(static_cast<int>(p & 255), static_cast<int>(grey->ReadPixel(5, 5) & 255), 8);
}

// Another decoder reads the files as ours does.
TEST_F(PixmapEncoderTest, PillowReadsTheSavedFilesAlike) {
    const Ref<TPixmap> source = Pattern(13, 7, PIX_RGBA32);
    std::vector<std::string> files;
    for (const char* ext : {"png", "bmp", "tga"}) {
        const std::string path = dir.File("pil." + std::string(ext));
        ASSERT_EQ(SavePixmap(source, String(path)), 1);
        files.push_back(test::TempDir::Read(path));
    }
    const std::vector<test::PilImage> images = test::DecodeWithPIL(files);
    ASSERT_EQ(images.size(), files.size());
    for (size_t i = 0; i < images.size(); ++i) {
        ASSERT_TRUE(images[i].alpha) << i;
        ASSERT_EQ(images[i].width, 13);
        for (int32_t y = 0; y < 7; ++y) {
            for (int32_t x = 0; x < 13; ++x) {
                const uint8_t* q = &images[i].pixels[(static_cast<size_t>(y) * 13 + x) * 4];
                const ARGB pil = ARGB(q[3]) << 24 | ARGB(q[0]) << 16 | ARGB(q[1]) << 8 | q[2];
                ASSERT_EQ(pil, source->ReadPixel(x, y)) << i << " " << x << "," << y;
            }
        }
    }
}

TEST_F(PixmapEncoderTest, RefusalsSayWhyAndWriteNothing) {
    const Ref<TPixmap> p = Pattern(4, 4, PIX_RGB24);
    const auto refused = [&](const Ref<TPixmap>& pixmap, const std::string& name, int32_t quality,
                             const std::string& reason) {
        EXPECT_EQ(SavePixmap(pixmap, String(dir.File(name)), quality), 0) << name;
        EXPECT_EQ(LastErrorText().ToBytes(), "cannot save \"" + dir.File(name) + "\": " + reason);
    };
    refused(p, "x.gif", -1, "no image encoder for \".gif\"");
    refused(p, "noextension", -1, "no file extension names an image format");
    refused(p, "x.jpg", 101, "JPEG quality must be 1 to 100, or -1");
    refused(p, "x.png", 10, "PNG quality is a zlib level 0 to 9, or -1");
    refused(p, "x.bmp", 50, "BMP takes no quality (only -1)");
    refused(NewPixmap(0, 3, PIX_RGB24), "x.png", -1, "the pixmap is empty");
    refused(Pattern(70000, 1, PIX_I8), "x.tga", -1, "TGA holds at most 65535 pixels each way");
    EXPECT_TRUE(Entries(dir.Path()).empty());
    EXPECT_EQ(SavePixmap(p, String(dir.File("missing/x.png"))), 0);
    EXPECT_NE(LastErrorText().ToBytes().find("No such file or directory"), std::string::npos);
    EXPECT_THROW(SavePixmap(nullptr, "x.png"), TNullObjectFault);
    // Extensions in any case, and the last dot of the last name counts.
    EXPECT_EQ(SavePixmap(p, String(dir.File("a.b.PnG"))), 1);
    EXPECT_TRUE(SamePixels(p, ReadPixmap(String(dir.File("a.b.PnG")))));
}

// A write that fails part-way leaves the old file as it was and no
// temporary file; a device takes the bytes in place and reports its error.
TEST_F(PixmapEncoderTest, AFailedWriteLeavesNoPartialFile) {
    const std::string target = dir.File("keep.png");
    ASSERT_EQ(SavePixmap(Pattern(2, 2, PIX_RGB24), String(target)), 1);
    const std::string before = test::TempDir::Read(target);

    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const int32_t saved1 = SavePixmap(Pattern(300, 300, PIX_RGBA32, 7), String(target), 0);
    const int32_t saved2 = SavePixmap(Pattern(300, 300, PIX_RGB24), String(dir.File("new.bmp")));
    const String reason = LastErrorText();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(saved1, 0);
    EXPECT_EQ(saved2, 0);
    EXPECT_EQ(reason.ToBytes(), "cannot save \"" + dir.File("new.bmp") + "\": File too large");
    EXPECT_EQ(test::TempDir::Read(target), before);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"keep.png"});

    EXPECT_EQ(SavePixmapAs(Pattern(64, 64, PIX_RGB24), New<TStringObject>("/dev/full"), "tga"), 0);
    EXPECT_EQ(LastErrorText().ToBytes(), "cannot save \"/dev/full\": No space left on device");
}

TEST_F(PixmapEncoderTest, PermissionsFollowTheUmaskOrTheReplacedFile) {
    const std::string fresh = dir.File("fresh.png"), kept = dir.File("kept.png");
    const mode_t mask = umask(027);
    ASSERT_EQ(SavePixmap(Pattern(2, 2, PIX_I8), String(fresh)), 1);
    umask(mask);
    struct stat info;
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    dir.Write("kept.png", "old");
    chmod(kept.c_str(), 0604);
    ASSERT_EQ(SavePixmap(Pattern(2, 2, PIX_I8), String(kept)), 1);
    ASSERT_EQ(stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0604u);
}

TEST_F(PixmapEncoderTest, StreamsAndOtherUrlsAreWrittenDirectly) {
    const Ref<TPixmap> p = Pattern(9, 4, PIX_RGBA32);
    const Ref<TMemBlockStream> memory = NewMemBlockStream();
    memory->WriteByte(0x55);  // written from where the stream stands
    ASSERT_EQ(SavePixmapAs(p, memory, ".PNG"), 1);
    EXPECT_TRUE(LastErrorText().IsEmpty());
    memory->Seek(1);
    EXPECT_TRUE(SamePixels(p, ReadPixmap(Ref<Object>(memory))));
    EXPECT_EQ(SavePixmapAs(p, memory, "gif"), 0);
    EXPECT_EQ(LastErrorText(), String("cannot save the stream: no image encoder for \".gif\""));

    const String viaProtocol("littleendian::" + String(dir.File("le.tga")));
    ASSERT_EQ(SavePixmap(p, viaProtocol), 1);
    EXPECT_TRUE(SamePixels(p, ReadPixmap(String(dir.File("le.tga")))));
    EXPECT_EQ(SavePixmap(p, "nosuchprotocol::x.png"), 0);
    EXPECT_NE(LastErrorText().ToBytes().find("unknown protocol"), std::string::npos);
}

TEST_F(PixmapEncoderTest, ProgramsAddFormatsNewestFirst) {
    int calls = 0;
    RegisterPixmapEncoder("PPM .pnm", [&](const Ref<TPixmap>& pixmap, TByteStream& stream, int32_t quality) {
        ++calls;
        if (quality == 5) RaiseRuntimeError("no fives");
        const std::string header = "P6 " + std::to_string(pixmap->width) + " " + std::to_string(pixmap->height) + " 255\n";
        stream.WriteFully(header.data(), static_cast<int32_t>(header.size()));
        for (int32_t y = 0; y < pixmap->height; ++y) {
            for (int32_t x = 0; x < pixmap->width; ++x) {
                const ARGB c = pixmap->ReadPixel(x, y);
                const uint8_t rgb[3] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
                stream.WriteFully(rgb, 3);
            }
        }
    });
    EXPECT_EQ(FindPixmapEncoder(".pnm"), FirstPixmapEncoder());
    EXPECT_TRUE(DownCast<TPNGPixmapEncoder>(FindPixmapEncoder("PNG")));
    EXPECT_FALSE(FindPixmapEncoder("gif"));
    const Ref<TPixmap> p = Pattern(2, 1, PIX_RGB24);
    ASSERT_EQ(SavePixmap(p, String(dir.File("a.ppm"))), 1);
    ASSERT_EQ(SavePixmap(p, String(dir.File("b.PNM"))), 1);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(test::TempDir::Read(dir.File("a.ppm")).substr(0, 11), "P6 2 1 255\n");
    EXPECT_EQ(SavePixmap(p, String(dir.File("c.ppm")), 5), 0);
    EXPECT_EQ(LastErrorText().ToBytes(), "cannot save \"" + dir.File("c.ppm") + "\": no fives");
    EXPECT_EQ(Entries(dir.Path()).size(), 2u);
}

}  // namespace
}  // namespace korva
