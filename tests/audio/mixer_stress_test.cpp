// The program thread starts, stops, pauses and re-parameters thousands of
// voices, and plays, seeks, loops, fades and closes musics whose workers
// decode beside it, while SDL's audio thread mixes as fast as it can (the
// disk driver writing to /dev/null without delay). Run under
// ThreadSanitizer by scripts/tsan; everywhere else it still checks that no
// voice is lost or recycled twice: every sound data record ends with only
// the test's own reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/device/audio_library_internal.h"
#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"

namespace korva {
namespace {

void UseTheFastDiskDriver() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
}

bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(MixerStressTest, ProgramAndMixerThreadsShareNoLockAndLoseNoVoice) {
    UseTheFastDiskDriver();
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

TEST(MixerStressTest, MusicWorkersMixerAndProgramThread) {
    UseTheFastDiskDriver();
    SetAudioBlockFrames(256);  // the mixer comes round four times as often
    InitMemoryStreams();
    InitFLACLoader();
    InitOggLoader();
    InitWAVLoader();
    InitAudioDriver();
    ASSERT_EQ(OpenAudio(), 0);
    std::atomic<int64_t> blocks{0};
    SetMixerCallback([&](int16_t*, int32_t) { blocks.fetch_add(1, std::memory_order_relaxed); });

    const std::vector<int16_t> ramp = test::RampFrames(2, 30000);
    const std::string pcm(reinterpret_cast<const char*>(ramp.data()), ramp.size() * 2);
    std::vector<std::string> files = {test::WavFile(2, 44100, 16, pcm), test::FlacFile(2, 22050, ramp),
                                      test::OggFile(2, 48000, 30000, 0.0f)};
    auto open = [&](size_t i) {
        return OpenMusic(Ref<Object>(NewMemoryStream(files[i].data(), static_cast<int32_t>(files[i].size()), 1, 0)));
    };
    std::vector<Ref<TMusic>> musics;
    for (size_t i = 0; i < files.size(); ++i) musics.push_back(open(i));
    std::mt19937 random(99);
    for (int op = 0; op < 3000; ++op) {
        const size_t i = random() % musics.size();
        const Ref<TMusic>& m = musics[i];
        switch (random() % 9) {
        case 0: PlayMusic(m); break;
        case 1: PauseMusic(m); break;
        case 2: ResumeMusic(m); break;
        case 3: StopMusic(m); break;
        case 4: SeekMusic(m, (random() % 1000) / 1000.0); break;
        case 5: SetMusicLoop(m, static_cast<int32_t>(random() % 4) - 1, random() % 100, 100 + random() % 20000); break;
        case 6: FadeMusic(m, (random() % 100) / 80.0f, static_cast<int32_t>(random() % 300)); break;
        case 7:
            SetMusicRate(m, 0.25f + (random() % 100) / 25.0f);
            SetMusicPan(m, (random() % 200) / 100.0f - 1.0f);
            break;
        case 8:
            CloseMusic(m);
            musics[i] = open(i);
            break;
        }
        ASSERT_GE(MusicPosition(musics[i]), 0.0);
        if (op % 16 == 0) detail::SettleMusic();  // as the fixed clock's device does before each block
        if (op % 64 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (const Ref<TMusic>& m : musics) {
        ASSERT_EQ(SetMusicLoop(m, 0, 0, -1), 1);
        ASSERT_EQ(SeekMusic(m, 0.0), 1);
        ASSERT_EQ(PlayMusic(m), 1);
    }
    // Every music plays to its end, a second and a bit at full speed.
    EXPECT_TRUE(WaitFor([&] {
        return std::none_of(musics.begin(), musics.end(), [](const Ref<TMusic>& m) { return MusicPlaying(m) != 0; });
    }));
    for (const Ref<TMusic>& m : musics) EXPECT_EQ(MusicErrorText(m), String());
    EXPECT_GT(blocks.load(), 1000);
    musics.clear();  // closes them
    SetMixerCallback(nullptr);
    CloseAudio();
}

}  // namespace
}  // namespace korva
