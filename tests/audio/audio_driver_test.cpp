// The silent base driver: everything succeeds and nothing plays.
#include <gtest/gtest.h>

#include "korvagl/audio/sample_decoder.h"
#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

class AudioDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitAudioDriver();
        InitWAVLoader();
    }
};

TEST_F(AudioDriverTest, BaseDriverIsCurrentAndSilent) {
    auto backend = CurrentAudioBackend();
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(DownCast<TSDLAudioBackend>(backend), nullptr);

    test::TempDir dir;
    const std::string path = dir.Write("a.wav", test::WavFile(1, 8000, 8, "abcdef"));
    auto clip = OpenSoundClip(String(path), 0);
    ASSERT_NE(clip, nullptr);
    auto channel = PlayClip(clip, nullptr);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(PlaybackActive(channel), 0);
    EXPECT_NE(PrepareClip(clip, channel), nullptr);

    PausePlayback(channel);
    ResumePlayback(channel);
    SetPlaybackVolume(channel, 0.5f);
    SetPlaybackPan(channel, -1.0f);
    SetPlaybackDepth(channel, -1.0f);
    SetPlaybackRate(channel, 2.0f);
    StopPlayback(channel);
    EXPECT_EQ(PlaybackActive(channel), 0);
    EXPECT_NE(NewPlayback(), nullptr);
}

TEST_F(AudioDriverTest, SourcesThatAreSamplesOrCannotLoad) {
    // A sample in a format no decoder reads is taken as it is.
    auto sample = NewPcmSample(10, 8000, SMP_MONO16BE);
    EXPECT_NE(OpenSoundClip(Ref<Object>(sample), 1), nullptr);
    EXPECT_NE(TAudioClip::Load(Ref<Object>(sample), 0), nullptr);
    EXPECT_EQ(OpenSoundClip(String("/no/such/file.wav"), 0), nullptr);
    EXPECT_EQ(OpenSoundClip(Ref<Object>(), 0), nullptr);
    EXPECT_EQ(OpenSoundClip(Ref<Object>(New<TPlayback>()), 0), nullptr);
    EXPECT_THROW(PlayClip(nullptr), TNullObjectFault);
    EXPECT_THROW(StopPlayback(nullptr), TNullObjectFault);
}

}  // namespace
}  // namespace korva
