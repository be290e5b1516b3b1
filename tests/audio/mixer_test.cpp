// The mixing library block by block, on a render device that mixes on the
// calling thread: arithmetic, parameters and ramps, voice states, channel
// handles and the recycling of voices and sound data.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "audio/device/audio_library_internal.h"
#include "korvagl/korvagl.h"

namespace korva {
namespace {

constexpr int kFrames = 4096;

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitAudioDriver();
        SetAudioBlockFrames(kFrames);  // the long block the arithmetic below counts in
        auto device = std::make_unique<renderdevice>();
        device_ = device.get();
        ASSERT_EQ(detail::OpenAudioDevice(std::move(device)), 0);
    }
    void TearDown() override {
        for (sounddata* d : data_) FreeSoundData(d);
        CloseAudio();
        SetAudioBlockFrames(kDefaultAudioBlockFrames);
    }

    // One block: 4096 interleaved stereo frames.
    std::vector<int16_t> Block() { return device_->Render(); }

    sounddata* Mono16(std::vector<int16_t> values, int32_t hertz = 44100, int32_t loop = 0) {
        return Keep(CreateSoundData(static_cast<int32_t>(values.size()), 16, 1, hertz, values.data(), loop));
    }
    sounddata* Constant16(int16_t value, int32_t length, int32_t loop = 0) {
        return Mono16(std::vector<int16_t>(static_cast<size_t>(length), value), 44100, loop);
    }
    sounddata* Keep(sounddata* d) {
        if (d) data_.push_back(d);
        return d;
    }

    renderdevice* device_ = nullptr;
    std::vector<sounddata*> data_;
};

TEST_F(MixerTest, HalfRateDataAdvancesHalfAFramePerOutputFrame) {
    std::vector<int16_t> ramp(3000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(3 * i);
    ASSERT_NE(PlaySoundData(0, Mono16(ramp, 22050), 0), 0);
    const auto out = Block();
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(out[2 * i], 3 * (i / 2)) << i;
        ASSERT_EQ(out[2 * i + 1], 3 * (i / 2)) << i;
    }
}

TEST_F(MixerTest, UnityVolumeKeepsTheValue) {
    ASSERT_NE(PlaySoundData(0, Constant16(1000, kFrames), 0), 0);
    const auto out = Block();
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[1], 1000);
    EXPECT_EQ(out[2 * kFrames - 1], 1000);
}

TEST_F(MixerTest, PanAndDepth) {
    sounddata* d = Constant16(1000, 3 * kFrames);
    const int32_t right = AllocChannelHandle();
    const int32_t half = AllocChannelHandle();
    const int32_t inverted = AllocChannelHandle();
    SetHandlePan(right, 4096);
    SetHandlePan(half, -2048);
    SetHandleDepth(inverted, -4096);
    for (int32_t h : {right, half, inverted}) {
        ASSERT_EQ(PlaySoundData(h, d, 1), h);
    }
    PauseHandle(right, 0);
    auto out = Block();
    EXPECT_EQ(out[0], 0);  // pan 1.0 silences the left
    EXPECT_EQ(out[1], 1000);
    StopHandle(right);
    PauseHandle(half, 0);
    out = Block();
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[1], 500);  // pan -0.5 halves the right
    StopHandle(half);
    PauseHandle(inverted, 0);
    out = Block();
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[1], -1000);  // depth -1 negates the right
}

TEST_F(MixerTest, FullScaleVoicesClipInsteadOfWrapping) {
    sounddata* high = Mono16({32767, -32768, 20000});
    ASSERT_NE(PlaySoundData(0, high, 0), 0);
    ASSERT_NE(PlaySoundData(0, high, 0), 0);
    const auto out = Block();
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[2], -32768);
    EXPECT_EQ(out[4], 32767);  // 40000 clips too
    EXPECT_EQ(out[6], 0);
}

TEST_F(MixerTest, EightBitData) {
    const uint8_t bytes[4] = {128, 192, 0, 255};
    sounddata* d = Keep(CreateSoundData(2, 8, 2, 44100, bytes, 0));
    ASSERT_NE(PlaySoundData(0, d, 0), 0);
    const auto out = Block();
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 64 * 256);
    EXPECT_EQ(out[2], -128 * 256);
    EXPECT_EQ(out[3], 127 * 256);
}

TEST_F(MixerTest, LoopingSoundKeepsPlaying) {
    std::vector<int16_t> cycle = {1, 2, 3, 4, 5, 6, 7};
    const int32_t h = PlaySoundData(0, Mono16(cycle, 44100, -1), 0);
    ASSERT_NE(h, 0);
    for (int block = 0; block < 20; ++block) {
        const auto out = Block();
        const int first = (block * kFrames) % 7;
        EXPECT_EQ(out[0], cycle[first]);
        EXPECT_EQ(out[2 * 100], cycle[(first + 100) % 7]);
        EXPECT_EQ(HandleState(h), 4);
    }
    TSDLPlayback channel(h);
    EXPECT_EQ(channel.Playing(), 1);
}

TEST_F(MixerTest, OneShotOnACallersChannelStops) {
    const int32_t h = AllocChannelHandle();
    ASSERT_EQ(PlaySoundData(h, Constant16(700, 100), 0), h);
    TSDLPlayback channel(h);
    EXPECT_EQ(channel.Playing(), 1);
    const auto out = Block();
    EXPECT_EQ(out[2 * 99], 700);
    EXPECT_EQ(out[2 * 100], 0);  // the rest of the block is silent
    EXPECT_EQ(HandleState(h), 1);
    EXPECT_EQ(channel.Playing(), 0);
    EXPECT_EQ(Block()[0], 0);
}

TEST_F(MixerTest, VolumeRampsAcrossOneBlock) {
    const int32_t h = PlaySoundData(0, Constant16(1000, 4 * kFrames), 0);
    EXPECT_EQ(Block()[0], 1000);
    SetHandleVolume(h, 0);
    auto out = Block();
    EXPECT_EQ(out[0], 1000);
    for (int i = 1; i < kFrames; ++i) ASSERT_LE(out[2 * i], out[2 * i - 2]) << i;  // falls steadily
    EXPECT_NEAR(out[2 * (kFrames / 2)], 500, 1);
    EXPECT_NEAR(out[2 * (kFrames - 1)], 0, 1);
    out = Block();
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2 * kFrames - 1], 0);
    // Silent blocks still advance the position: the sound ends on time.
    SetHandleVolume(h, 4096);
    out = Block();
    EXPECT_EQ(out[0], 0);  // ramping up from 0
    EXPECT_GT(out[2 * (kFrames - 1)], 990);
    EXPECT_EQ(HandleState(h), 0);  // four blocks of data are used up
}

TEST_F(MixerTest, RateRampsAcrossOneBlock) {
    std::vector<int16_t> ramp(30000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i);
    const int32_t h = PlaySoundData(0, Mono16(ramp), 0);
    auto out = Block();
    EXPECT_EQ(out[2 * (kFrames - 1)], kFrames - 1);
    SetHandleRate(h, 2 * 65536);
    out = Block();
    // From one to two data frames per output frame: about 1.5 on average.
    EXPECT_EQ(out[0], kFrames);
    EXPECT_NEAR(out[2 * (kFrames - 1)] - out[0], 1.5 * kFrames, 3);
    EXPECT_LE(out[2] - out[0], 1);
    EXPECT_GE(out[2 * (kFrames - 1)] - out[2 * (kFrames - 2)], 1);
    const int16_t last = out[2 * (kFrames - 1)];
    out = Block();
    for (int i = 1; i < 100; ++i) ASSERT_EQ(out[2 * i] - out[2 * i - 2], 2);
    EXPECT_NEAR(out[0] - last, 2, 1);
}

TEST_F(MixerTest, PauseKeepsThePosition) {
    std::vector<int16_t> ramp(3 * kFrames);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i);
    const int32_t h = PlaySoundData(0, Mono16(ramp), 1);
    EXPECT_EQ(HandleState(h), 2 | 16);
    TSDLPlayback channel(h);
    EXPECT_EQ(channel.Playing(), 1);  // paused counts as playing
    EXPECT_EQ(Block()[200], 0);
    PauseHandle(h, 0);
    EXPECT_EQ(Block()[200], 100);
    PauseHandle(h, 1);
    EXPECT_EQ(Block()[200], 0);
    PauseHandle(h, 0);
    EXPECT_EQ(Block()[200], kFrames + 100);
}

TEST_F(MixerTest, PausingAStoppedSoundDoesNotRevivePlaying) {
    const int32_t h = AllocChannelHandle();
    PlaySoundData(h, Constant16(1, 10), 0);
    StopHandle(h);
    PauseHandle(h, 1);
    EXPECT_EQ(HandleState(h), 1);
    TSDLPlayback channel(h);
    EXPECT_EQ(channel.Playing(), 0);
    Block();
    EXPECT_EQ(HandleState(h), 1);
}

TEST_F(MixerTest, ParametersSetBeforePlayingAreKept) {
    const int32_t h = AllocChannelHandle();
    SetHandleVolume(h, 2048);
    SetHandlePan(h, -4096);
    EXPECT_EQ(HandleState(h), 1);
    ASSERT_EQ(PlaySoundData(h, Constant16(1000, 10), 0), h);
    auto out = Block();
    EXPECT_EQ(out[0], 500);
    EXPECT_EQ(out[1], 0);
    // The next sound on the channel inherits them too.
    ASSERT_EQ(PlaySoundData(h, Constant16(1000, 10), 0), h);
    out = Block();
    EXPECT_EQ(out[0], 500);
}

TEST_F(MixerTest, OutOfRangeParametersStaySafe) {
    const int32_t h = AllocChannelHandle();
    SetHandleRate(h, -65536);  // a negative rate holds the position
    SetHandlePan(h, 32767);    // pan beyond full right is full right
    ASSERT_EQ(PlaySoundData(h, Constant16(1000, 10), 0), h);
    auto out = Block();
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2 * kFrames - 1], 1000);
    EXPECT_EQ(HandleState(h), 2);
    SetHandleRate(h, 0x7FFFFFFF);  // the fastest rate runs through the data at once
    Block();
    EXPECT_EQ(HandleState(h), 1);

    // A looping sound far faster than its length wraps around.
    const int32_t fast = PlaySoundData(0, Mono16({5, 6, 7}, 44100, -1), 0);
    SetHandleRate(fast, 0x7FFFFFFF);
    Block();
    Block();
    EXPECT_EQ(HandleState(fast), 4);
    StopHandle(fast);
    // Zero-length data: a one-shot ends, a loop plays silence.
    const int32_t empty = PlaySoundData(0, Keep(CreateSoundData(0, 16, 2, 44100, nullptr, 0)), 0);
    const int32_t emptyLoop = PlaySoundData(0, Keep(CreateSoundData(0, 16, 2, 44100, nullptr, -1)), 0);
    EXPECT_EQ(Block()[0], 0);
    EXPECT_EQ(HandleState(empty), 0);
    EXPECT_EQ(HandleState(emptyLoop), 4);
}

TEST_F(MixerTest, SoundDataChecksItsArguments) {
    const int16_t v[2] = {1, 2};
    EXPECT_EQ(CreateSoundData(-1, 16, 1, 44100, v, 0), nullptr);
    EXPECT_EQ(CreateSoundData(2, 24, 1, 44100, v, 0), nullptr);
    EXPECT_EQ(CreateSoundData(2, 16, 3, 44100, v, 0), nullptr);
    EXPECT_EQ(CreateSoundData(2, 16, 1, 0, v, 0), nullptr);
    EXPECT_EQ(CreateSoundData(2, 16, 1, 44100, nullptr, 0), nullptr);
    EXPECT_EQ(PlaySoundData(0, nullptr, 0), 0);
    FreeSoundData(nullptr);
}

TEST_F(MixerTest, ChannelTableHolds4095AndReusesSlotsUnderNewHandles) {
    std::vector<int32_t> handles;
    for (int i = 0; i < 4094; ++i) handles.push_back(AllocChannelHandle());
    for (int32_t h : handles) ASSERT_NE(h, 0);
    EXPECT_EQ(handles[0], 1 | 8192);
    // The 4095th slot goes to a sound started without a channel.
    const int32_t owned = PlaySoundData(0, Constant16(1, 10), 0);
    ASSERT_NE(owned, 0);
    EXPECT_EQ(AllocChannelHandle(), 0);
    EXPECT_EQ(TSDLAudioBackend().NewPlayback(), nullptr);

    // The sound ends; its slot is given back when its voice is next used.
    Block();
    Block();
    EXPECT_EQ(HandleState(owned), 0);
    ASSERT_EQ(PlaySoundData(handles[0], Constant16(1, 10), 0), handles[0]);
    const int32_t again = AllocChannelHandle();
    ASSERT_NE(again, 0);
    EXPECT_EQ(again & 4095, owned & 4095);
    EXPECT_NE(again, owned);

    // The old handle is stale: it reaches nothing.
    EXPECT_EQ(PlaySoundData(owned, Constant16(1, 10), 0), 0);
    SetHandleVolume(owned, 0);
    EXPECT_EQ(HandleState(owned), 0);
    EXPECT_EQ(HandleState(again), 1);
    EXPECT_EQ(HandleState(0), 0);
    EXPECT_EQ(HandleState(12345678), 0);
}

TEST_F(MixerTest, FullStartRingRefusesInsteadOfOverwriting) {
    sounddata* d = Constant16(1, 10);
    const int32_t h = AllocChannelHandle();
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(PlaySoundData(h, d, 0), h) << i;
    EXPECT_EQ(PlaySoundData(h, d, 0), 0);
    EXPECT_EQ(PlaySoundData(0, d, 0), 0);
    EXPECT_EQ(detail::TakeAudioCensus().slotsInUse, 1);  // the refused request took no handle
    EXPECT_EQ(detail::SoundDataRefs(d), 1 + 4096);
    Block();
    EXPECT_EQ(PlaySoundData(h, d, 0), h);
    Block();
    Block();
    // Every voice came back but the stopped one still on the channel.
    EXPECT_EQ(detail::SoundDataRefs(d), 2);
    EXPECT_EQ(detail::TakeAudioCensus().activeVoices, 1);
    PlaySoundData(h, Constant16(1, 10), 0);
    Block();
    EXPECT_EQ(detail::SoundDataRefs(d), 1);
}

TEST_F(MixerTest, StoppedVoicesAreRecycledOnceNoChannelRefersToThem) {
    sounddata* first = Constant16(1, 10 * kFrames);
    sounddata* second = Constant16(1, 10 * kFrames);
    const int32_t h = AllocChannelHandle();
    PlaySoundData(h, first, 0);
    Block();
    StopHandle(h);
    Block();
    // Still the channel's voice: kept, so its parameters stay.
    EXPECT_EQ(detail::SoundDataRefs(first), 2);
    PlaySoundData(h, second, 0);
    Block();
    EXPECT_EQ(detail::SoundDataRefs(first), 1);
    EXPECT_EQ(detail::SoundDataRefs(second), 2);

    // A voice that owns its handle is recycled when stopped, and its handle
    // returns when the voice object is used again.
    const int32_t owned = PlaySoundData(0, first, 0);
    StopHandle(owned);
    Block();
    EXPECT_EQ(detail::SoundDataRefs(first), 1);
    const int32_t before = detail::TakeAudioCensus().slotsInUse;
    PlaySoundData(h, second, 0);
    EXPECT_EQ(detail::TakeAudioCensus().slotsInUse, before - 1);
}

TEST_F(MixerTest, ASoundOnAnOwnedChannelTakesTheHandleOver) {
    sounddata* d = Constant16(1000, 100);
    const int32_t owned = PlaySoundData(0, d, 0);
    ASSERT_NE(owned, 0);
    // Playing again on that channel before the first sound is recycled.
    EXPECT_EQ(PlaySoundData(owned, d, 0), owned);
    Block();
    Block();
    // The new sound, which now owns the handle, ended: the handle goes back
    // when its voice is reused, and nothing stopped it early.
    EXPECT_EQ(HandleState(owned), 0);
    EXPECT_EQ(detail::SoundDataRefs(d), 1);
    const int32_t h = AllocChannelHandle();
    PlaySoundData(h, d, 0);
    PlaySoundData(h, d, 0);
    EXPECT_EQ(HandleState(owned), 0);
    EXPECT_EQ(detail::TakeAudioCensus().slotsInUse, 1);
}

TEST_F(MixerTest, AnOwnedChannelPlaysAgainAfterItsSoundEnded) {
    sounddata* d = Constant16(1000, 100);
    const int32_t owned = PlaySoundData(0, d, 0);
    SetHandleVolume(owned, 2048);
    Block();
    Block();
    EXPECT_EQ(HandleState(owned), 0);
    // The finished voice is the one reused for the new sound: the handle,
    // still live, goes over to it instead of being given back.
    ASSERT_EQ(PlaySoundData(owned, d, 0), owned);
    EXPECT_EQ(HandleState(owned), 2);
    EXPECT_EQ(Block()[0], 500);
    EXPECT_EQ(detail::TakeAudioCensus().slotsInUse, 1);
}

TEST_F(MixerTest, SoundsWithoutAFreeHandleStillPlayAndAreRecycled) {
    for (int i = 0; i < 4095; ++i) ASSERT_NE(AllocChannelHandle(), 0);
    sounddata* d = Constant16(1000, 10);
    EXPECT_EQ(PlaySoundData(0, d, 0), 0);
    EXPECT_EQ(Block()[0], 1000);
    Block();
    EXPECT_EQ(detail::SoundDataRefs(d), 1);
    // A loop or a paused sound could never be stopped or resumed: refused.
    EXPECT_EQ(PlaySoundData(0, Mono16({1, 2}, 44100, -1), 0), 0);
    EXPECT_EQ(PlaySoundData(0, d, 1), 0);
    EXPECT_EQ(detail::SoundDataRefs(d), 1);
    EXPECT_EQ(detail::TakeAudioCensus().activeVoices, 0);
}

TEST_F(MixerTest, DriverClassesOverTheLibrary) {
    EXPECT_NE(DownCast<TSDLAudioBackend>(CurrentAudioBackend()), nullptr);
    const uint8_t mono8[3] = {128, 255, 0};
    auto sample = NewPcmSampleOver(const_cast<uint8_t*>(mono8), 3, 44100, SMP_MONO8);
    auto clip = OpenSoundClip(sample, 0);
    ASSERT_NE(clip, nullptr);
    auto channel = PlayClip(clip);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(PlaybackActive(channel), 1);
    SetPlaybackVolume(channel, 10.0f);  // saturates at the largest gain instead of wrapping
    auto out = Block();
    EXPECT_EQ(out[0], 128);  // 8-bit 128 is the 16-bit value 128; the volume ramps from 1.0
    EXPECT_EQ(out[2], 32767);
    EXPECT_EQ(out[4], -32768);
    EXPECT_EQ(PlaybackActive(channel), 0);

    // A channel of our own: the same object comes back.
    auto mine = NewPlayback();
    ASSERT_NE(mine, nullptr);
    SetPlaybackPan(mine, 1.0f);
    SetPlaybackDepth(mine, -1.0f);
    EXPECT_EQ(PrepareClip(clip, mine), mine);
    EXPECT_EQ(PlaybackActive(mine), 1);
    EXPECT_EQ(Block()[3], 0);
    ResumePlayback(mine);
    out = Block();
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], -32767);
    PausePlayback(mine);
    StopPlayback(mine);
    EXPECT_EQ(PlaybackActive(mine), 0);

    // Rates: 2.0 plays every other frame.
    auto looping = OpenSoundClip(sample, 1);
    auto loop = PlayClip(looping, mine);
    SetPlaybackPan(mine, 0.0f);
    SetPlaybackDepth(mine, 0.0f);
    SetPlaybackRate(loop, 2.0f);
    Block();
    out = Block();
    EXPECT_EQ(out[0], out[6]);
    SetPlaybackRate(loop, NAN);
    Block();
    EXPECT_EQ(PlaybackActive(loop), 1);

    // A channel of another driver is refused.
    EXPECT_EQ(PlayClip(clip, New<TPlayback>()), nullptr);
}

TEST_F(MixerTest, ClosingLeavesTheSilentDriver) {
    const int32_t h = PlaySoundData(0, Constant16(5, 100000), 0);
    auto clip = OpenSoundClip(NewPcmSample(10, 8000, SMP_MONO8), 0);
    CloseAudio();
    EXPECT_EQ(DownCast<TSDLAudioBackend>(CurrentAudioBackend()), nullptr);
    EXPECT_EQ(HandleState(h), 0);
    EXPECT_EQ(PlaySoundData(0, data_[0], 0), 0);
    EXPECT_EQ(AllocChannelHandle(), 0);
    EXPECT_EQ(PlayClip(clip), nullptr);
    EXPECT_EQ(detail::SoundDataRefs(data_[0]), 1);
}

// The block length chosen before the device opens, and a callback that sees
// (and may change) each mixed block on the mixer thread.
TEST(MixerBlockTest, ShortBlocksAndTheBlockCallback) {
    InitAudioDriver();
    EXPECT_EQ(AudioBlockFrames(), kDefaultAudioBlockFrames);
    EXPECT_EQ(SetAudioBlockFrames(255), -1);
    EXPECT_EQ(SetAudioBlockFrames(8193), -1);
    ASSERT_EQ(SetAudioBlockFrames(256), 0);
    int32_t seen = 0;
    SetMixerCallback([&](int16_t* samples, int32_t frames) {
        seen = frames;
        for (int32_t i = 0; i < 2 * frames; ++i) samples[i] = static_cast<int16_t>(-samples[i]);
    });
    auto device = std::make_unique<renderdevice>();
    renderdevice* render = device.get();
    ASSERT_EQ(detail::OpenAudioDevice(std::move(device)), 0);
    EXPECT_EQ(AudioBlockFrames(), 256);
    const std::vector<int16_t> values(300, 1000);
    sounddata* data = CreateSoundData(300, 16, 1, 44100, values.data(), 0);
    ASSERT_NE(PlaySoundData(0, data, 0), 0);  // sounds at the next block
    std::vector<int16_t> out = render->Render();
    EXPECT_EQ(out.size(), 512u);
    EXPECT_EQ(seen, 256);
    EXPECT_EQ(out[0], -1000);
    SetMixerCallback([](int16_t*, int32_t) { throw std::runtime_error("a broken effect"); });
    out = render->Render();  // the callback is dropped, the block goes out as mixed
    EXPECT_EQ(out[2 * 43], 1000);
    EXPECT_EQ(out[2 * 44], 0);
    SetMixerCallback(nullptr);
    CloseAudio();
    FreeSoundData(data);
    SetAudioBlockFrames(kDefaultAudioBlockFrames);
}

}  // namespace
}  // namespace korva
