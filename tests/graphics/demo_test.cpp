// The demo end to end on a private 800x600 X server: it runs, its screen
// shows the tiled picture with the red multiplied copies at the centre,
// Escape ends it with exit code 0; a missing picture ends it with a message
// and exit code 255.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"

extern char** environ;

namespace korva {
namespace {

// Keeps Mesa mapped in the demo until it ends, for the leak checker.
const std::string kPreload = std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED;

// A 32-bit TrueColor X window dump, as xwd writes it.
struct Dump {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

uint32_t BigEndian(const std::string& data, size_t at) {  // the header's fields
    return uint32_t(uint8_t(data[at])) << 24 | uint32_t(uint8_t(data[at + 1])) << 16 |
           uint32_t(uint8_t(data[at + 2])) << 8 | uint32_t(uint8_t(data[at + 3]));
}

uint32_t Channel(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    while (!(mask & 1)) {
        mask >>= 1;
        value >>= 1;
    }
    return value & mask;
}

bool ParseXwd(const std::string& data, Dump& dump) {
    if (data.size() < 100) return false;
    auto field = [&](int i) { return BigEndian(data, static_cast<size_t>(i) * 4); };
    const uint32_t headerSize = field(0), byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12);
    const uint32_t red = field(14), green = field(15), blue = field(16), colours = field(19);
    dump.width = static_cast<int>(field(4));
    dump.height = static_cast<int>(field(5));
    // Packed 24-bit pixels or 32-bit units.
    if (bitsPerPixel != 24 && bitsPerPixel != 32) return false;
    const size_t pixelBytes = bitsPerPixel / 8;
    const size_t offset = headerSize + 12u * colours;
    if (data.size() < offset + size_t(bytesPerLine) * dump.height) return false;
    dump.pixels.resize(static_cast<size_t>(dump.width * dump.height));
    for (int y = 0; y < dump.height; ++y) {
        for (int x = 0; x < dump.width; ++x) {
            const size_t at = offset + size_t(y) * bytesPerLine + size_t(x) * pixelBytes;
            uint32_t v = 0;
            for (size_t k = 0; k < pixelBytes; ++k) {
                const uint32_t byte = uint8_t(data[at + k]);
                v |= byteOrder == 0 ? byte << (8 * k) : byte << (8 * (pixelBytes - 1 - k));
            }
            dump.pixels[static_cast<size_t>(y * dump.width + x)] =
                Channel(v, red) << 16 | Channel(v, green) << 8 | Channel(v, blue);
        }
    }
    return true;
}

class DemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_FALSE(test::UsePrivateDisplay(&error).empty()) << error;
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    void Start(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {KORVAGL_DEMO};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment = {kPreload};
        for (char** e = environ; *e; ++e) environment.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&pid_, KORVAGL_DEMO, nullptr, nullptr, argv.data(), envp.data()), 0);
    }
    // Waits up to `ms` for the demo to end; its exit code, or -1 when it did not.
    int WaitExit(int ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }
    pid_t pid_ = -1;
};

TEST_F(DemoTest, RunsUntilEscape) {
    Start();
    std::string error;
    const std::string window = test::FindWindow("KorvaGL Application", 10000, &error);
    ASSERT_FALSE(window.empty()) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // some frames

    // Several tries: when the pulse angle is a multiple of 90 degrees both red
    // copies are lines and the centre shows the plain picture; on a loaded
    // machine (or under the sanitizers) the first frame may take seconds.
    bool centreRed = false;
    Dump dump;
    test::TempDir dir;
    for (int attempt = 0; attempt < 60 && !centreRed; ++attempt) {
        const auto shot = test::RunChild("xwd", {"xwd", "-root", "-silent", "-out", dir.File("screen.xwd")});
        ASSERT_EQ(shot.exitCode, 0) << shot.err;
        ASSERT_TRUE(ParseXwd(test::TempDir::Read(dir.File("screen.xwd")), dump));
        ASSERT_EQ(dump.width, 800);
        ASSERT_EQ(dump.height, 600);
        centreRed = dump.At(0, 0) != 0;  // a frame is on screen (the picture has no black)
        for (int y = 298; y <= 302; ++y)
            for (int x = 398; x <= 402; ++x) centreRed = centreRed && (dump.At(x, y) & 0xFFFF) == 0;
        if (!centreRed) std::this_thread::sleep_for(std::chrono::milliseconds(37));
    }
    EXPECT_TRUE(centreRed) << std::hex << dump.At(400, 300);
    // The tiled picture covers the screen: no black (the picture has none),
    // and away from the centre green and blue are there too.
    int coloured = 0, samples = 0;
    for (int y = 0; y < 600; y += 20) {
        for (int x = 0; x < 800; x += 20) {
            const bool nearCentre = std::abs(x - 400) < 200 && std::abs(y - 300) < 200;
            if (nearCentre) continue;
            ++samples;
            EXPECT_NE(dump.At(x, y), 0u) << x << "," << y;
            if (dump.At(x, y) & 0xFFFF) ++coloured;
        }
    }
    EXPECT_GT(coloured, samples * 9 / 10);

    ASSERT_TRUE(test::PressKey(window, "Escape", &error)) << error;
    EXPECT_EQ(WaitExit(2000), 0);
}

TEST_F(DemoTest, MissingPictureEndsWithAMessage) {
    test::TempDir dir;
    test::ChildOptions patient;
    patient.timeoutMs = 10000;
    patient.environment = {kPreload};
    const auto result = test::RunChild(KORVAGL_DEMO, {KORVAGL_DEMO, dir.File("missing.jpg")}, patient);
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_NE(result.err.find("missing.jpg"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("cannot load"), std::string::npos) << result.err;

    // A relative name is taken from where the demo was started.
    patient.workingDirectory = dir.Path();
    const auto relative = test::RunChild(KORVAGL_DEMO, {KORVAGL_DEMO, "other.jpg"}, patient);
    EXPECT_EQ(relative.exitCode, 255);
    EXPECT_NE(relative.err.find(dir.File("other.jpg")), std::string::npos) << relative.err;
}

}  // namespace
}  // namespace korva
