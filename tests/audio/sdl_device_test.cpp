// The SDL audio device: opening quietly or not at all, and the whole path
// from a clip to the bytes SDL's disk driver writes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

using test::RunChild;

test::ChildOptions WithEnvironment(const std::string& entry) {
    test::ChildOptions options;
    options.environment = {entry};
    return options;
}

TEST(SdlDeviceTest, NoDeviceLeavesTheBaseDriverWithoutAWord) {
    const auto result = RunChild(KORVAGL_AUDIO_PROBE, {"audio_probe"}, WithEnvironment("SDL_AUDIODRIVER=nosuchdriver"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST(SdlDeviceTest, ProbingTheMachinesOwnDevicesPrintsNothing) {
    // Whatever this machine has (in CI: no sound card and no sound server).
    const auto result = RunChild(KORVAGL_AUDIO_PROBE, {"audio_probe"});
    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.exitCode;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST(SdlDeviceTest, DummyDriverInstallsTheSdlBackend) {
    const auto result = RunChild(KORVAGL_AUDIO_PROBE, {"audio_probe"}, WithEnvironment("SDL_AUDIODRIVER=dummy"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
}

// Plays a known sound through SDL's disk driver and compares the bytes it
// wrote with the mix the documented arithmetic gives.
TEST(SdlDeviceTest, DiskDriverReceivesTheExactMix) {
    test::TempDir dir;
    const std::string file = dir.File("out.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "2", 1);  // ms between blocks, instead of real time
    InitSDLAudioDriver();
    ASSERT_NE(DownCast<TSDLAudioBackend>(CurrentAudioBackend()), nullptr);

    // A WAV of 6000 stereo frames of a known pattern, played at pan -0.5.
    InitWAVLoader();
    constexpr int kLength = 6000;
    std::vector<int16_t> values(2 * kLength);
    std::string pcm;
    for (int i = 0; i < kLength; ++i) {
        values[2 * i] = static_cast<int16_t>((i * 97) % 20000 - 10000);
        values[2 * i + 1] = static_cast<int16_t>((i * 13) % 30000 - 15000);
        pcm += test::U16(static_cast<uint16_t>(values[2 * i])) + test::U16(static_cast<uint16_t>(values[2 * i + 1]));
    }
    auto clip = OpenSoundClip(String(dir.Write("known.wav", test::WavFile(2, 44100, 16, pcm))), 0);
    ASSERT_NE(clip, nullptr);
    auto channel = NewPlayback();
    SetPlaybackPan(channel, -0.5f);
    ASSERT_EQ(PlayClip(clip, channel), channel);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (PlaybackActive(channel) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(PlaybackActive(channel), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CloseAudio();

    const std::string bytes = test::TempDir::Read(file);
    constexpr size_t kBlock = 4 * kDefaultAudioBlockFrames;  // bytes
    ASSERT_EQ(bytes.size() % kBlock, 0u);
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), bytes.size());
    // The sound starts at the beginning of a block and ends inside one.
    size_t start = 0;
    while (start < out.size() && out[start] == 0 && out[start + 1] == 0) start += 2;
    ASSERT_EQ(start % (kBlock / 2), 0u);
    constexpr int kCompared = (kLength / kDefaultAudioBlockFrames + 1) * kDefaultAudioBlockFrames;
    ASSERT_GE(out.size(), start + 2 * kCompared);
    for (int i = 0; i < kCompared; ++i) {
        const int32_t left = i < kLength ? values[2 * i] : 0;
        const int32_t right = i < kLength ? values[2 * i + 1] : 0;
        // Unity volume, pan -0.5: the right gain is 4096 * 2048 >> 12.
        ASSERT_EQ(out[start + 2 * i], (left * 4096 >> 8) >> 4) << i;
        ASSERT_EQ(out[start + 2 * i + 1], (right * 2048 >> 8) >> 4) << i;
    }
    for (size_t i = start + 2 * kCompared; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
}

}  // namespace
}  // namespace korva
