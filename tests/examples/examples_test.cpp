// The example programs end with exit code 0 and print their telling line:
// sound through SDL's dummy audio driver, sprites and the pad tester on a
// private X server until Escape is pressed, the game (with dummy audio)
// until its window is asked to close, keeping its best time under
// XDG_DATA_HOME.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"

namespace korva {
namespace {

const std::string kDir = KORVAGL_EXAMPLES_DIR;

// Runs an example (with `arguments`); expects exit code 0 and a line of its
// standard output (without the CR of a CR LF end) that matches `line` whole.
// Returns the output.
std::string ExpectRun(const std::string& name, const std::string& line, test::ChildOptions options = {},
                      const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> argv = {name};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const auto result = test::RunChild(kDir + "/" + name, argv, options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::istringstream lines(result.out);
    bool found = false;
    for (std::string l; !found && std::getline(lines, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        found = std::regex_match(l, std::regex(line));
    }
    EXPECT_TRUE(found) << "no line " << line << " in:\n" << result.out;
    return result.out;
}

std::string Quoted(const std::string& text) { return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)"); }

TEST(ExamplesTest, Hello) {
    ExpectRun("hello", "KorvaGL started in " + Quoted(std::filesystem::canonical(kDir).string()));
}

TEST(ExamplesTest, Streams) {
    test::TempDir dir;  // the example writes a file where it was started, and removes it
    test::ChildOptions options;
    options.workingDirectory = dir.Path();
    ExpectRun("streams", Quoted(R"(read back: 2024, 35 tenths, "a line of text")"), options);
}

TEST(ExamplesTest, Script) { ExpectRun("script", Quoted("area(6, 7) = 42")); }

TEST(ExamplesTest, Sound) {
    test::ChildOptions options;
    options.environment = {"SDL_AUDIODRIVER=dummy"};
    ExpectRun("sound", "playing through the SDL audio device", options);
}

TEST(ExamplesTest, MusicLoopsOnTheDiskDriver) {
    test::TempDir dir;
    test::ChildOptions options;
    options.environment = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + dir.File("out.raw")};
    ExpectRun("music", "looping a track of 2.00 s", options);
    // Four seconds of the two-second tune reached the device: it looped.
    EXPECT_GT(test::TempDir::Read(dir.File("out.raw")).size(), 4u * 44100 * 3);
}

// A windowed example on the private X server until Escape is pressed in
// the window of that title. Returns the output.
std::string ExpectRunUntilEscape(const std::string& name, const std::string& line,
                                 const std::vector<std::string>& arguments = {},
                                 const std::string& title = "KorvaGL Window") {
    std::string error;
    if (test::UsePrivateDisplay(&error).empty()) {
        ADD_FAILURE() << error;
        return "";
    }
    bool pressed = false;
    std::thread escape([&] {
        const std::string window = test::FindWindow(title, 10000, &error);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // some frames, as a rule
        pressed = !window.empty() && test::PressKey(window, "Escape", &error);
    });
    test::ChildOptions options;
    options.environment = {std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED};  // Mesa stays mapped for the leak checker
    const std::string out = ExpectRun(name, line, options, arguments);
    escape.join();
    EXPECT_TRUE(pressed) << error;
    return out;
}

TEST(ExamplesTest, SpritesUntilEscape) { ExpectRunUntilEscape("sprites", R"(left after \d+ frames)"); }

// Render targets: a scene through a shader (none on GL 1.1), and a light map.
TEST(ExamplesTest, PostProcessAndLightMapUntilEscape) {
    ExpectRunUntilEscape("postprocess", R"(post-processed \d+ frames on GL driver (33|11), \d+ draw calls a frame)");
    ExpectRunUntilEscape("lightmap", R"(lit \d+ frames)");
}

// Two pages of dialogue, English and Arabic, until Escape; one page saved.
TEST(ExamplesTest, DialogueInTwoScriptsUntilEscape) {
    ExpectRunUntilEscape("dialogue", R"(left after \d+ frames, \d+ pages turned, dialogue in 2 scripts)");
    test::TempDir dir;
    test::ChildOptions options;
    options.environment = {std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED};
    ExpectRun("dialogue", "saved page 1", options, {"--screenshot", dir.File("page.png"), "1"});
    EXPECT_GT(test::TempDir::Read(dir.File("page.png")).size(), 1000u);
}

TEST(ExamplesTest, TextFigures) {
    test::TempDir dir;
    test::ChildOptions options;
    options.environment = {"SDL_VIDEODRIVER=offscreen", std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED};
    ExpectRun("text_figures", "saved 4 pictures", options, {dir.Path()});
    for (const char* name : {"shaping.png", "kerning.png", "fallback.png", "paragraphs.png"}) {
        EXPECT_GT(test::TempDir::Read(dir.File(name)).size(), 1000u) << name;
    }
}

// Without a pad, with a mapping file of one good and one bad line.
TEST(ExamplesTest, PadTesterUntilEscape) {
    test::TempDir dir;
    const std::string mappings = dir.Write("pads.txt",
        "03000000aaaa0000bbbb000000000000,Some Pad,a:b0,b:b1,leftx:a0,platform:Linux,\n"
        "03000000aaaa0000bbbb000000000000,Bad Pad,a:b0,q:b1,\n");
    const std::string out = ExpectRunUntilEscape(
        "pad_tester", R"(left after \d+ frames, 0 pad arrivals and departures, 0 presses)", {mappings}, "KorvaGL Pad Tester");
    EXPECT_NE(out.find("1 mappings added\n"), std::string::npos) << out;
    EXPECT_NE(out.find("line 2: field \"q:b1\" names no button or axis"), std::string::npos) << out;
}

TEST(ExamplesTest, GameUntilTheWindowIsClosed) {
    std::string error;
    ASSERT_FALSE(test::UsePrivateDisplay(&error).empty()) << error;
    bool closed = false;
    std::thread player([&] {
        const std::string window = test::FindWindow("KorvaGL Game", 10000, &error);
        if (window.empty()) return;
        // Steer a little, then close the window as its close button would.
        test::RunChild("xdotool", {"xdotool", "windowfocus", "--sync", window, "keydown", "Left", "sleep", "0.3",
                                   "keyup", "Left"});
        closed = test::RequestWindowClose(window, &error);
    });
    test::TempDir saves;  // the best time goes to the user's data directory
    test::ChildOptions options;
    options.environment = {"SDL_AUDIODRIVER=dummy", std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED,
                           "XDG_DATA_HOME=" + saves.Path()};
    ExpectRun("game", R"(left after \d+ frames, \d+ hits, best \d+\.\d s)", options);
    player.join();
    EXPECT_TRUE(closed) << error;
    const std::string best = test::TempDir::Read(saves.File("korvagl-game/best.txt"));
    EXPECT_TRUE(std::regex_match(best, std::regex("[1-9][0-9]*"))) << best;
}

}  // namespace
}  // namespace korva
