// The example game replayed from a recorded session, headless (no DISPLAY:
// SDL's offscreen display) on the fixed clock: the frames it shows are the
// same bytes every time and on either GL driver, a key moved by one frame
// changes them and korvagl-compare shows where, and a recording holding a
// kind of event from a later version, or lacking kinds added since (the
// session has no pad events), still replays.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/process.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

const std::string kGame = std::string(KORVAGL_EXAMPLES_DIR) + "/game";
const std::string kCompare = KORVAGL_COMPARE;
const std::string kFixtures = KORVAGL_GAME_REPLAY_DIR;  // session.txt and golden/
const std::string kFrames[] = {"frame-000030.png", "frame-000100.png", "frame-000150.png", "frame-000202.png"};

class ReplayTest : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("DISPLAY");  // headless: the replay picks the offscreen display itself
        unsetenv("WAYLAND_DISPLAY");
    }

    // Replays `recording` into the game, capturing the golden frames into
    // `out`; expects the recorded run's result.
    void Replay(const std::string& recording, const std::string& out, const std::string& result) {
        test::TempDir data;  // the game keeps its best time here: a fresh one each run
        test::ChildOptions options;
        options.environment = {"SDL_AUDIODRIVER=dummy", "XDG_DATA_HOME=" + data.Path(), "KORVAGL_REPLAY=" + recording,
                               "KORVAGL_CAPTURE=" + out + ":30,100,150,202",
                               std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED};  // Mesa stays mapped for the leak checker
        const auto run = test::RunChild(kGame, {"game"}, options);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(result), std::string::npos) << run.out;
    }

    static std::string Session() { return test::TempDir::Read(kFixtures + "/session.txt"); }
};

TEST_F(ReplayTest, ReplaysToTheSameFramesTwiceInARowAndOnEitherDriver) {
    test::TempDir first, second;
    Replay(kFixtures + "/session.txt", first.Path(), "left after 202 frames, 2 hits, best 1.6 s");
    Replay(kFixtures + "/session.txt", second.Path(), "left after 202 frames, 2 hits, best 1.6 s");
    for (const std::string& frame : kFrames) {
        const std::string bytes = test::TempDir::Read(first.File(frame));
        ASSERT_FALSE(bytes.empty()) << frame;
        EXPECT_EQ(bytes, test::TempDir::Read(second.File(frame))) << frame;
        // The goldens were made on the GL 3.3 driver; this test also runs on 1.1.
        EXPECT_EQ(bytes, test::TempDir::Read(kFixtures + "/golden/" + frame)) << frame;
    }
}

TEST_F(ReplayTest, AKeyMovedByAFrameChangesTheFramesAndTheComparisonShowsWhere) {
    test::TempDir dir;
    std::string edited = Session();
    const size_t at = edited.find("\n34 key down 80");
    ASSERT_NE(at, std::string::npos);
    edited.replace(at, 3, "\n35");  // the Left key goes down one frame later
    Replay(dir.Write("edited.txt", edited), dir.File("frames"), "left after 202 frames");

    const auto compared = test::RunChild(kCompare, {"korvagl-compare", kFixtures + "/golden", dir.File("frames")});
    EXPECT_EQ(compared.exitCode, 1) << compared.out << compared.err;
    EXPECT_NE(compared.out.find("frame-000030.png: same"), std::string::npos) << compared.out;
    EXPECT_NE(compared.out.find("frame-000100.png: differs: "), std::string::npos) << compared.out;
    EXPECT_TRUE(std::filesystem::exists(dir.File("frames/frame-000100-diff.png")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("frames/frame-000030-diff.png")));
    // Within a tolerance wider than any channel can differ, everything matches.
    const auto tolerant = test::RunChild(
        kCompare, {"korvagl-compare", "--tolerance", "255", kFixtures + "/golden", dir.File("frames")});
    EXPECT_EQ(tolerant.exitCode, 0) << tolerant.out;
}

TEST_F(ReplayTest, AKindFromALaterVersionIsPassedOverAndDamageIsRefused) {
    test::TempDir dir;
    std::string later = Session();
    later.replace(later.find("\n46 key up"), 1, "\n40 touch 1 200 300 pressure=0.5\n");
    Replay(dir.Write("later.txt", later), dir.File("frames"), "left after 202 frames, 2 hits, best 1.6 s");
    for (const std::string& frame : kFrames) {
        EXPECT_EQ(test::TempDir::Read(dir.File("frames/" + frame)), test::TempDir::Read(kFixtures + "/golden/" + frame))
            << frame;
    }

    std::string damaged = Session();
    damaged.replace(damaged.find("\n54 key down"), 3, "\n20");  // goes back in time
    test::ChildOptions options;
    options.environment = {"SDL_AUDIODRIVER=dummy", "KORVAGL_REPLAY=" + dir.Write("damaged.txt", damaged)};
    const auto run = test::RunChild(kGame, {"game"}, options);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("line 9: events must not go back in time"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace korva
