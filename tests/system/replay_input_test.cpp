// Input recorded from a real X server (typed text, shift, clicks, the wheel,
// mouse motion, Escape) and replayed headless: every polled query answers
// the same at the same frame, and the random seed the run set comes back.
// The fixed clock moves by exactly its step each frame, and music with it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "support/audio_fixtures.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"

namespace korva {
namespace {

TEST(ReplayInputTest, APlayedSessionReplaysToTheSamePolledState) {
    test::TempDir dir;
    const std::string recording = dir.File("probe.txt");
    std::string error;
    ASSERT_FALSE(test::UsePrivateDisplay(&error).empty()) << error;
    bool played = false;
    std::thread player([&] {
        const std::string window = test::FindWindow("KorvaGL Replay Probe", 10000, &error);
        if (window.empty()) return;
        // xdotool's type takes the rest of its command line as text: two runs.
        const auto typed = test::RunChild(
            "xdotool", {"xdotool", "windowfocus", "--sync", window, "sleep", "0.2", "type", "--delay", "60", "Hi!"});
        const auto run = test::RunChild(
            "xdotool", {"xdotool", "mousemove", "--window", window, "50", "60", "sleep", "0.1", "click", "1", "click",
                        "3", "click", "4", "click", "4", "click", "5", "mousemove", "--window", window, "120", "90",
                        "sleep", "0.2", "key", "Escape"});
        error = typed.err + run.err;
        played = typed.exitCode == 0 && run.exitCode == 0;
    });
    test::ChildOptions options;
    const std::string keepMesa = std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED;  // for the leak checker
    options.environment = {"KORVAGL_RECORD=" + recording, keepMesa};
    const auto recorded = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe"}, options);
    player.join();
    ASSERT_TRUE(played) << error;
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    EXPECT_EQ(recorded.out.rfind("drawn ", 0), 0u) << recorded.out;
    for (const char* seen : {" key160x1 char72 ", " char105 ", " char33 ", " key1x1 ", " key2x1 ", " wheel2 ",
                             " at120,90 "}) {
        EXPECT_NE(recorded.out.find(seen), std::string::npos) << seen << " in\n" << recorded.out;
    }

    // Headless: the replay needs no X server.
    test::ChildOptions replay;
    replay.environment = {"KORVAGL_REPLAY=" + recording, keepMesa};
    unsetenv("DISPLAY");
    const auto replayed = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe"}, replay);
    EXPECT_EQ(replayed.exitCode, 0) << replayed.err;
    EXPECT_EQ(replayed.out, recorded.out) << test::TempDir::Read(recording);
}

TEST(ReplayInputTest, TheFixedClockMovesByItsStepEachFrameWithoutSleeping) {
    unsetenv("DISPLAY");
    test::ChildOptions options;
    options.environment = {"KORVAGL_FIXED_FRAME_MS=20", "KORVAGL_OFFSCREEN=1",
                           std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED};
    const auto run = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe", "--clock"}, options);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The 20 ms timer ticks once a frame, the 10 ms one twice once it has
    // caught up: a wait that finds no tick due returns one without sleeping,
    // so the first waits run ahead of the clock.
    std::string expected = "0: 0 ms, ticks 1 1\n1: 20 ms, ticks 1 1\n";
    for (int frame = 2; frame < 10; ++frame)
        expected += std::to_string(frame) + ": " + std::to_string(frame * 20) + " ms, ticks 1 2\n";
    EXPECT_EQ(run.out, expected + "frames 10, fixed 20 ms, replay 0, recording 0\n");

    options.environment[0] = "KORVAGL_FIXED_FRAME_MS=0";
    const auto refused = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe", "--clock"}, options);
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("KORVAGL_FIXED_FRAME_MS must be a whole number of 1 to 1000 ms"), std::string::npos)
        << refused.err;
}

// A pad recorded through the gamepad state replays without the device: it
// arrives with its name and type, is pressed, pushed and leaves at the same
// frames. An older recording with only button lines gets a generic pad.
TEST(ReplayInputTest, APadReplaysWithoutTheDevice) {
    unsetenv("DISPLAY");
    test::TempDir dir;
    const std::string recording = dir.File("pad.txt");
    test::ChildOptions options;
    options.environment = {"KORVAGL_RECORD=" + recording, "KORVAGL_OFFSCREEN=1",
                           std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED};
    const auto recorded = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe", "--pad", "attach"}, options);
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    for (const char* seen : {"\n5: count 1 changed 0 Test Pad type 2 a 11 x 0.000\n", "\n10: count 1 changed 0 Test Pad type 2 a 00 x 0.513\n",
                             "\n15: count 0 changed 1  type 0 a 00"})
        EXPECT_NE(recorded.out.find(seen), std::string::npos) << seen << " in\n" << recorded.out;
    options.environment[0] = "KORVAGL_REPLAY=" + recording;
    const auto replayed = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe", "--pad"}, options);
    EXPECT_EQ(replayed.exitCode, 0) << replayed.err;
    EXPECT_EQ(replayed.out, recorded.out) << test::TempDir::Read(recording);

    options.environment[0] = "KORVAGL_REPLAY=" + dir.Write("old.txt",
        "korvagl-input 1\nframe-ms 16\nseed 1\n3 pad button down 7 0\n4 pad button up 7 0\n40 end\n");
    const auto old = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe", "--pad"}, options);
    EXPECT_NE(old.out.find("\n3: count 1 changed 1 Recorded pad type 2 a 11 x 0.000\n4: count 1 changed 0 Recorded pad type 2 a 00"),
              std::string::npos) << old.out;
}

// On the fixed clock the mixer follows the frames shown: a music moves by
// 20 ms (882 frames) a frame, a seek lands where it was asked, and every
// mixed sample is the same whether or not the machine has an audio device.
TEST(ReplayInputTest, MusicMovesWithTheFixedClockWithOrWithoutADevice) {
    unsetenv("DISPLAY");
    test::TempDir dir;
    const auto frames = test::RampFrames(2, 44100 * 2);
    const std::string music = dir.Write("music.wav", test::WavFile(2, 44100, 16,
        std::string(reinterpret_cast<const char*>(frames.data()), frames.size() * sizeof(int16_t))));
    std::string expected;
    for (int frame = 0; frame < 30; ++frame)
        expected += std::to_string(frame) + ": " + std::to_string(frame < 10 ? 882 * frame : 22050 + 882 * (frame - 10)) + "\n";
    std::string outputs[2];
    int run = 0;
    for (const char* driver : {"SDL_AUDIODRIVER=dummy", "SDL_AUDIODRIVER=nosuchdriver"}) {
        test::ChildOptions options;
        options.environment = {"KORVAGL_FIXED_FRAME_MS=20", "KORVAGL_OFFSCREEN=1", driver,
                               std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED};
        const auto played = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe", "--music", music}, options);
        EXPECT_EQ(played.exitCode, 0) << played.err;
        EXPECT_EQ(played.out.substr(0, expected.size()), expected) << driver;
        EXPECT_NE(played.out.find("mixed 26460, sum "), std::string::npos) << played.out;
        outputs[run++] = played.out;
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

// Joystick readings of an SDL virtual joystick, plugged in, moved (once
// between two readings of one frame) and unplugged, replay the same frame by
// frame with no device and without starting SDL's joystick part. Only
// changes are written, and a frame before the first one reads no joystick.
TEST(ReplayInputTest, JoystickReadingsReplayWithoutTheDevice) {
    unsetenv("DISPLAY");
    test::TempDir dir;
    const std::string recording = dir.File("joystick.txt");
    const std::string keepMesa = std::string("LD_PRELOAD=") + KORVAGL_GL_KEEP_LOADED;
    test::ChildOptions options;
    options.environment = {"KORVAGL_RECORD=" + recording, "KORVAGL_OFFSCREEN=1", keepMesa};
    const auto recorded = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe", "--joystick"}, options);
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    for (const char* seen : {"0: count 0 [] 0 0 x0 y0 hat0 held0000\n", "3: count 1 [Virtual Joystick] 15 63 x1 ",
                             " hat0.25 held0010\n", "6: before x1 count 1 [Virtual Joystick] 15 63 x-1 y-1 ",
                             "10: count 0 [] 0 0 x-1 y-1 hat-1 held0000\n"}) {
        EXPECT_NE(recorded.out.find(seen), std::string::npos) << seen << " in\n" << recorded.out;
    }
    const std::string file = test::TempDir::Read(recording);
    size_t lines = 0;
    for (size_t at = file.find(" joy "); at != std::string::npos; at = file.find(" joy ", at + 1)) ++lines;
    EXPECT_EQ(lines, 8u) << file;  // the count twice, port 0 at six changes
    EXPECT_NE(file.find("\n6 joy 0 \"Virtual Joystick\" buttons=15 axes=63 held=4 x=0 y=0 "), std::string::npos)
        << file;

    test::ChildOptions replay;
    replay.environment = {"KORVAGL_REPLAY=" + recording, keepMesa};
    const auto replayed = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe", "--joystick"}, replay);
    EXPECT_EQ(replayed.exitCode, 0) << replayed.err;
    EXPECT_EQ(replayed.out, recorded.out) << file;
    EXPECT_NE(replayed.err.find("joystick part running: 0"), std::string::npos) << replayed.err;
}

// A hand-written recording: the waits take its events whatever frame they
// name, and a wait past the last one fails instead of waiting for ever.
TEST(ReplayInputTest, WaitsTakeTheNextRecordedInputAndFailPastTheLast) {
    unsetenv("DISPLAY");
    test::TempDir dir;
    const std::string recording = dir.Write("waits.txt",
        "korvagl-input 1\nframe-ms 16\nseed 4660\n5 key down 4 mod=0  # A\n5 key up 4 mod=0\n"
        "9 text \"z\"\n20 end\n");
    test::ChildOptions options;
    options.environment = {"KORVAGL_REPLAY=" + recording};
    const auto run = test::RunChild(KORVAGL_REPLAY_PROBE, {"replay_probe", "--wait"}, options);
    EXPECT_EQ(run.out, "key 65\nchar 122\n");
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_NE(run.err.find("replay: the program waits for input the recording does not hold"), std::string::npos)
        << run.err;
}

}  // namespace
}  // namespace korva
