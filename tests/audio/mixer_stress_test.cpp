// The program thread starts, stops, pauses and re-parameters thousands of
// voices while SDL's audio thread mixes as fast as it can (the disk driver
// writing to /dev/null without delay). Run under ThreadSanitizer by
// scripts/tsan; everywhere else it still checks that no voice is lost or
// recycled twice: every sound data record ends with only the test's own
// reference.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "audio/device/audio_library_internal.h"
#include "korvagl/korvagl.h"

namespace korva {
namespace {

bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(MixerStressTest, ProgramAndMixerThreadsShareNoLockAndLoseNoVoice) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    InitSDLAudioDriver();
    ASSERT_NE(DownCast<TSDLAudioBackend>(CurrentAudioBackend()), nullptr);

    std::vector<int16_t> frames(2 * 20000);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i * 31);
    std::vector<sounddata*> data = {
        CreateSoundData(300, 16, 1, 22050, frames.data(), 0),
        CreateSoundData(20000, 16, 2, 44100, frames.data(), 0),
        CreateSoundData(1000, 8, 2, 11025, frames.data(), -1),
        CreateSoundData(5000, 16, 2, 48000, frames.data(), -1),
    };
    sounddata* last = CreateSoundData(1, 16, 1, 44100, frames.data(), 0);

    std::vector<int32_t> channels;
    for (int i = 0; i < 64; ++i) channels.push_back(AllocChannelHandle());
    std::vector<int32_t> owned;
    std::mt19937 random(1234);
    auto pick = [&](const std::vector<int32_t>& from) { return from[random() % from.size()]; };
    auto anyHandle = [&] { return owned.empty() || random() % 2 ? pick(channels) : pick(owned); };

    int32_t started = 0;
    for (int op = 0; op < 40000; ++op) {
        switch (random() % 10) {
        case 0:
        case 1: {
            const int32_t h = PlaySoundData(0, data[random() % data.size()], random() % 4 == 0);
            if (h) owned.push_back(h);
            started += h != 0;
            break;
        }
        case 2:
        case 3: started += PlaySoundData(pick(channels), data[random() % data.size()], random() % 4 == 0) != 0; break;
        case 4: StopHandle(anyHandle()); break;
        case 5: PauseHandle(anyHandle(), random() % 2); break;
        case 6: SetHandleVolume(anyHandle(), static_cast<int16_t>(random() % 8192)); break;
        case 7: SetHandlePan(anyHandle(), static_cast<int16_t>(random() % 8193 - 4096)); break;
        case 8: SetHandleRate(anyHandle(), static_cast<int32_t>(random() % 200000)); break;
        case 9: {
            const int32_t state = HandleState(anyHandle());
            ASSERT_TRUE(state == 0 || state == 1 || state == 2 || state == 4 || state == 0x12 || state == 0x14)
                << state;
            SetHandleDepth(anyHandle(), static_cast<int16_t>(random() % 8192 - 4096));
            break;
        }
        }
        if (op % 512 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_GT(started, 2000);  // the rest were refused while the mixer lagged behind

    // Everything stops; each channel's last voice plays the tiny last sound.
    for (int32_t h : owned) StopHandle(h);
    for (int32_t h : channels) {
        StopHandle(h);
        ASSERT_TRUE(WaitFor([&] { return PlaySoundData(h, last, 0) == h; }));
    }
    for (sounddata* d : data) {
        EXPECT_TRUE(WaitFor([&] { return detail::SoundDataRefs(d) == 1; })) << detail::SoundDataRefs(d);
    }
    // Every voice object is in exactly one place. Finished voices beyond what
    // the free ring holds wait in the active list, dead.
    const auto census = detail::TakeAudioCensus();
    EXPECT_EQ(census.voicesMade,
              census.activeVoices + census.spareVoices + census.startingVoices + census.finishedVoices);
    EXPECT_GE(census.activeVoices, 64);
    EXPECT_EQ(detail::SoundDataRefs(last), 1 + 64);

    CloseAudio();
    for (sounddata* d : data) {
        EXPECT_EQ(detail::SoundDataRefs(d), 1);
        FreeSoundData(d);
    }
    EXPECT_EQ(detail::SoundDataRefs(last), 1);
    FreeSoundData(last);
}

}  // namespace
}  // namespace korva
