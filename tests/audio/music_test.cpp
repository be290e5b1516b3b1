// Streaming music, mixed block by block on a render device (the worker
// decodes on its own thread as it would with a sound card): every format
// from files, memory and HTTP, stalls and failing sources, gapless loops,
// seeking, pausing, fades and cross-fades; and one loop end to end through
// SDL's disk driver.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "audio/device/audio_library_internal.h"
#include "korvagl/korvagl.h"
#include "stream/test_server.h"
#include "support/audio_fixtures.h"
#include "support/sound_decoders.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

using Frames = std::vector<int16_t>;
constexpr int kBlock = kDefaultAudioBlockFrames;

std::string Pcm(const Frames& frames) {
    return std::string(reinterpret_cast<const char*>(frames.data()), frames.size() * 2);
}
std::string RampWav(int frames) { return test::WavFile(2, 44100, 16, Pcm(test::RampFrames(2, frames))); }
Frames Constant(int frames, int16_t value) { return Frames(static_cast<size_t>(frames) * 2, value); }

// Serves one file over HTTP with its length: the first `cut` bytes at once,
// the rest after `pause` (or never, when `closeEarly`).
std::unique_ptr<test::TestServer> ServeInParts(const std::string& body, size_t cut, std::chrono::milliseconds pause,
                                               bool closeEarly = false) {
    return std::make_unique<test::TestServer>("127.0.0.1", 0, [=](int s) {
        test::ReceiveUntil(s, "\r\n\r\n");
        const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
        if (!test::SendAll(s, head + body.substr(0, cut)) || closeEarly) return;
        std::this_thread::sleep_for(pause);
        test::SendAll(s, body.substr(cut));
    });
}

class MusicTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitHttpStreams();
        test::InitSoundDecoders();
    }
    void SetUp() override {
        auto device = std::make_unique<renderdevice>();
        device_ = device.get();
        ASSERT_EQ(detail::OpenAudioDevice(std::move(device)), 0);
    }
    void TearDown() override { CloseAudio(); }

    // A music over a memory stream of `bytes`, which the test keeps.
    Ref<TMusic> MusicOf(std::string bytes) {
        std::string& kept = kept_.emplace_back(std::move(bytes));
        return OpenMusic(Ref<Object>(NewMemoryStream(kept.data(), static_cast<int32_t>(kept.size()), 1, 0)));
    }

    // Gives the worker a moment to have `frames` decoded for the mixer.
    static void WaitFor(const Ref<TMusic>& music, int frames, int ms = 50) {
        for (int wait = 0; wait < ms && detail::MusicBufferedFrames(music) < frames; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Mixes `blocks` blocks, each once the worker has decoded its frames,
    // so that no stall comes from the test's speed.
    Frames Render(const Ref<TMusic>& music, int blocks) {
        Frames out;
        for (int i = 0; i < blocks; ++i) {
            WaitFor(music, kBlock);
            const auto& block = device_->Render();
            out.insert(out.end(), block.begin(), block.end());
        }
        return out;
    }
    // The frames of `out` that are not silent, in order.
    static Frames Sounding(const Frames& out) {
        Frames kept;
        for (size_t i = 0; i + 1 < out.size(); i += 2) {
            if (out[i] != 0 || out[i + 1] != 0) kept.insert(kept.end(), {out[i], out[i + 1]});
        }
        return kept;
    }

    renderdevice* device_ = nullptr;
    std::list<std::string> kept_;
};

TEST_F(MusicTest, AFilePlaysFrameForFrameAndEnds) {
    test::TempDir dir;
    const Ref<TMusic> music = OpenMusic(String(dir.Write("ramp.wav", RampWav(3000))));
    ASSERT_TRUE(music) << LastErrorText();
    EXPECT_EQ(MusicHertz(music), 44100);
    EXPECT_DOUBLE_EQ(MusicDuration(music), 3000 / 44100.0);
    EXPECT_EQ(MusicPlaying(music), 0);
    ASSERT_EQ(PlayMusic(music), 1);
    EXPECT_EQ(MusicPlaying(music), 1);
    const Frames out = Render(music, 4);
    const Frames ramp = test::RampFrames(2, 3000);
    ASSERT_EQ(Frames(out.begin(), out.begin() + 6000), ramp);  // from the block after PlayMusic, unchanged
    EXPECT_EQ(Sounding(out).size(), ramp.size());
    EXPECT_EQ(MusicPlaying(music), 0);
    EXPECT_DOUBLE_EQ(MusicPosition(music), MusicDuration(music));
    EXPECT_EQ(MusicErrorText(music), String());
    EXPECT_EQ(detail::MusicStalledFrames(music), 0);
}

TEST_F(MusicTest, EveryFormatStreamsFromMemoryAndEmbeddedData) {
    const Frames tone = test::ToneFrames(2, 44100, 30000);
    const std::string flac = test::FlacFile(2, 44100, test::RampFrames(2, 30000));
    const std::string files[] = {test::WavFile(2, 44100, 16, Pcm(tone)), test::OggFile(2, 44100, 30000), flac,
                                 test::Mp3File(2, 44100, tone)};
    for (const std::string& file : files) {
        const Ref<TMusic> music = MusicOf(file);
        ASSERT_TRUE(music) << LastErrorText();
        EXPECT_DOUBLE_EQ(MusicDuration(music), 30000 / 44100.0);  // MP3 too: its LAME header says
        ASSERT_EQ(PlayMusic(music), 1);
        const Frames out = Render(music, 31);
        EXPECT_NEAR(static_cast<double>(Sounding(out).size()), 60000, 400);
        EXPECT_EQ(MusicPlaying(music), 0);
        EXPECT_DOUBLE_EQ(MusicPosition(music), MusicDuration(music));
    }
    RegisterEmbeddedData("music_test.flac", flac.data(), static_cast<int32_t>(flac.size()));
    const Ref<TMusic> embedded = OpenMusic(String("incbin::music_test.flac"));
    ASSERT_TRUE(embedded) << LastErrorText();
    ASSERT_EQ(PlayMusic(embedded), 1);
    EXPECT_EQ(Sounding(Render(embedded, 30)), test::RampFrames(2, 30000));
}

TEST_F(MusicTest, LoopsAreGaplessToTheFrameAndThenPlayOn) {
    const Frames ramp = test::RampFrames(2, 10000);
    const Ref<TMusic> music = MusicOf(test::FlacFile(2, 44100, ramp));
    ASSERT_TRUE(music);
    EXPECT_EQ(SetMusicLoop(music, 1, 0, 10000), 0);  // beyond the last frame
    EXPECT_EQ(SetMusicLoop(music, 1, 500, 499), 0);
    ASSERT_EQ(SetMusicLoop(music, 2, 2000, 4999), 1);
    ASSERT_EQ(PlayMusic(music), 1);
    const Frames out = Render(music, 22);
    Frames expected(ramp.begin(), ramp.begin() + 2 * 5000);
    for (int pass = 0; pass < 2; ++pass) expected.insert(expected.end(), ramp.begin() + 2 * 2000, ramp.begin() + 2 * 5000);
    expected.insert(expected.end(), ramp.begin() + 2 * 5000, ramp.end());
    ASSERT_EQ(Sounding(out), expected);
    ASSERT_EQ(Frames(out.begin(), out.begin() + static_cast<long>(expected.size())), expected);  // no gap anywhere
    EXPECT_EQ(MusicPlaying(music), 0);
}

TEST_F(MusicTest, SeekPauseStopAndStartAgain) {
    const Frames ramp = test::RampFrames(2, 88200);
    const Ref<TMusic> music = MusicOf(test::WavFile(2, 44100, 16, Pcm(ramp)));
    ASSERT_EQ(SeekMusic(music, 1.0), 1);
    EXPECT_DOUBLE_EQ(MusicPosition(music), 1.0);
    ASSERT_EQ(PlayMusic(music), 1);
    Frames out = Render(music, 1);
    EXPECT_EQ(Frames(out.begin(), out.begin() + 4), Frames(ramp.begin() + 88200, ramp.begin() + 88204));
    EXPECT_DOUBLE_EQ(MusicPosition(music), (44100 + kBlock) / 44100.0);

    PauseMusic(music);
    EXPECT_EQ(MusicPlaying(music), 1);
    EXPECT_EQ(Sounding(Render(music, 2)).size(), 0u);
    EXPECT_DOUBLE_EQ(MusicPosition(music), (44100 + kBlock) / 44100.0);
    ResumeMusic(music);
    out = Render(music, 1);
    EXPECT_EQ(out[0], ramp[2 * (44100 + kBlock)]);  // on from the same frame

    StopMusic(music);
    EXPECT_EQ(MusicPlaying(music), 0);
    EXPECT_DOUBLE_EQ(MusicPosition(music), 0.0);
    EXPECT_EQ(Sounding(Render(music, 1)).size(), 0u);
    ASSERT_EQ(PlayMusic(music), 1);
    out = Render(music, 2);
    EXPECT_EQ(Frames(out.begin(), out.begin() + 4), Frames(ramp.begin(), ramp.begin() + 4));
    ASSERT_EQ(PlayMusic(music), 1);  // playing: from the start again
    EXPECT_EQ(Render(music, 1)[0], ramp[0]);
    ASSERT_EQ(SeekMusic(music, 99.0), 1);  // past the end: the end
    Render(music, 2);
    EXPECT_EQ(MusicPlaying(music), 0);
    CloseMusic(music);
    EXPECT_EQ(PlayMusic(music), 0);
    EXPECT_EQ(MusicPlaying(music), 0);
}

TEST_F(MusicTest, VolumePanAndRateHoldFromTheFirstFrame) {
    const Frames ramp = test::RampFrames(2, 5000);
    const Ref<TMusic> music = MusicOf(test::WavFile(2, 44100, 16, Pcm(ramp)));
    SetMusicRate(music, 0.5f);
    SetMusicPan(music, -1.0f);
    SetMusicVolume(music, 0.5f);
    ASSERT_EQ(PlayMusic(music), 1);
    const Frames out = Render(music, 1);
    for (int i = 0; i < kBlock; ++i) {
        ASSERT_EQ(out[2 * i], ramp[2 * (i / 2)] / 2) << i;  // each frame twice, at half volume
        ASSERT_EQ(out[2 * i + 1], 0) << i;                  // full left
    }
}

TEST_F(MusicTest, CrossFade) {
    const Ref<TMusic> out = MusicOf(test::WavFile(2, 44100, 16, Pcm(Constant(44100, 8000))));
    const Ref<TMusic> in = MusicOf(test::WavFile(2, 44100, 16, Pcm(Constant(44100, 4000))));
    SetMusicVolume(in, 0.0f);
    FadeMusic(in, 1.0f, 100);  // starts with its playing
    ASSERT_EQ(PlayMusic(out), 1);
    ASSERT_EQ(PlayMusic(in), 1);
    FadeMusic(out, 0.0f, 100);
    WaitFor(out, 8 * kBlock, 2000);
    WaitFor(in, 8 * kBlock, 2000);
    const Frames mix = Render(out, 8);
    EXPECT_EQ(mix[0], 8000);
    for (size_t i = 2; i < mix.size(); i += 2) ASSERT_LE(mix[i], mix[i - 2] + 1) << i;
    EXPECT_NEAR(mix[2 * 2205], 6000, 100);  // half way
    // 100 ms (4410 frames) take whole blocks: from the fifth on, only the second music.
    for (size_t i = 2 * 5 * kBlock; i < mix.size(); ++i) ASSERT_EQ(mix[i], 4000) << i;
    EXPECT_EQ(MusicPlaying(out), 1);  // faded out, still playing
}

TEST_F(MusicTest, HttpThroughAStallWithoutLosingAFrame) {
    const Frames ramp = test::RampFrames(2, 20000);
    const std::string body = test::WavFile(2, 44100, 16, Pcm(ramp));
    auto server = ServeInParts(body, body.size() / 2, std::chrono::milliseconds(1000));
    const String url("http::127.0.0.1:" + std::to_string(server->Port()) + "/ramp.wav");
    const Ref<TMusic> music = OpenMusic(url);
    ASSERT_TRUE(music) << LastErrorText();
    EXPECT_DOUBLE_EQ(MusicDuration(music), 20000 / 44100.0);  // the WAV header says
    EXPECT_EQ(SeekMusic(music, 0.1), 0);
    EXPECT_EQ(LastErrorText(), "\"" + url + "\": cannot seek: the source cannot seek");
    EXPECT_EQ(SetMusicLoop(music, -1, 0, -1), 0);
    ASSERT_EQ(PlayMusic(music), 1);
    Frames out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (MusicPlaying(music) && std::chrono::steady_clock::now() < deadline) {
        const auto& block = device_->Render();  // at about the device's pace, whatever arrives
        out.insert(out.end(), block.begin(), block.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GT(detail::MusicStalledFrames(music), 20 * kBlock);  // silence while the server waits
    EXPECT_EQ(Sounding(out), ramp);                          // and then on from the same frame
    EXPECT_EQ(MusicErrorText(music), String());
    EXPECT_EQ(PlayMusic(music), 0);  // once through
}

TEST_F(MusicTest, ASourceThatClosesEarlyEndsWithAReason) {
    const std::string body = test::OggFile(2, 44100, 60000);
    auto server = ServeInParts(body, body.size() / 2, {}, true);
    const Ref<TMusic> music = OpenMusic(String("http::127.0.0.1:" + std::to_string(server->Port()) + "/x.ogg"));
    ASSERT_TRUE(music) << LastErrorText();
    EXPECT_EQ(MusicDuration(music), -1.0);  // an Ogg stream that cannot seek does not say
    ASSERT_EQ(PlayMusic(music), 1);
    for (int i = 0; i < 100 && MusicPlaying(music); ++i) Render(music, 1);
    EXPECT_EQ(MusicPlaying(music), 0);
    EXPECT_NE(MusicErrorText(music).Find("the connection closed"), -1) << MusicErrorText(music);
}

TEST_F(MusicTest, ClosingDoesNotWaitForAStalledServer) {
    const std::string body = RampWav(20000);
    auto server = ServeInParts(body, 2000, std::chrono::milliseconds(1500));
    const Ref<TMusic> music = OpenMusic(String("http::127.0.0.1:" + std::to_string(server->Port()) + "/x.wav"));
    ASSERT_TRUE(music);
    ASSERT_EQ(PlayMusic(music), 1);
    Render(music, 2);
    const auto start = std::chrono::steady_clock::now();
    CloseMusic(music);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

// The fixed clock's device settles the workers before each block: a worker
// stuck on a stalled server is waited for once (2 s), then not again until
// it has caught up, so frames go on.
TEST_F(MusicTest, SettlingWaitsForAStalledServerOnlyOnce) {
    auto server = ServeInParts(RampWav(20000), 2000, std::chrono::milliseconds(3000));
    const Ref<TMusic> music = OpenMusic(String("http::127.0.0.1:" + std::to_string(server->Port()) + "/x.wav"));
    ASSERT_TRUE(music);
    ASSERT_EQ(PlayMusic(music), 1);
    const auto start = std::chrono::steady_clock::now();
    for (int block = 0; block < 5; ++block) {
        detail::SettleMusic();
        device_->Render();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2800));
    EXPECT_GT(detail::MusicStalledFrames(music), 0);
}

TEST_F(MusicTest, SourcesThatDoNotOpen) {
    test::TempDir dir;
    EXPECT_FALSE(OpenMusic(String(dir.File("none.ogg"))));
    EXPECT_NE(LastErrorText().Find("cannot open"), -1);
    EXPECT_FALSE(OpenMusic(String(dir.Write("junk.mp3", std::string(5000, '\x5A')))));
    EXPECT_EQ(LastErrorText(), "\"" + dir.File("junk.mp3") + "\": no sound decoder accepts this data");
    EXPECT_FALSE(MusicOf(test::Riff(test::Chunk("fmt ", test::FmtBody(1, 6, 44100, 16)))));
    EXPECT_EQ(LastErrorText(), "stream: 6 channels (at most 2)");
}

// The whole path on SDL's disk driver: what reaches the device file is the
// loop, frame after frame.
TEST(MusicDiskTest, AGaplessLoopReachesTheDevice) {
    test::TempDir dir;
    const std::string file = dir.File("out.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "23", 1);  // the pace of a sound card with 1024-frame blocks
    InitFLACLoader();
    ASSERT_EQ(OpenAudio(), 0);
    const Frames ramp = test::RampFrames(2, 8000);
    const Ref<TMusic> music = OpenMusic(String(dir.Write("loop.flac", test::FlacFile(2, 44100, ramp))));
    ASSERT_TRUE(music) << LastErrorText();
    ASSERT_EQ(SetMusicLoop(music, -1, 3000, 6999), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // decoded ahead
    ASSERT_EQ(PlayMusic(music), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // 30 blocks
    CloseMusic(music);
    CloseAudio();

    const std::string bytes = test::TempDir::Read(file);
    Frames out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    // Silence before the start, and where the machine held the worker back
    // (the left value of every ramp frame is above 0), is left out: what
    // sounds must follow on frame by frame.
    Frames sounding;
    for (size_t i = 0; i + 1 < out.size(); i += 2) {
        if (out[i] != 0) sounding.insert(sounding.end(), {out[i], out[i + 1]});
    }
    ASSERT_GT(sounding.size(), 2u * 20000);
    for (size_t i = 0; i < 2 * 20000; ++i) {
        const size_t frame = i / 2 < 7000 ? i / 2 : 3000 + (i / 2 - 3000) % 4000;
        ASSERT_EQ(sounding[i], ramp[2 * frame + i % 2]) << "frame " << i / 2;
    }
}

}  // namespace
}  // namespace korva
