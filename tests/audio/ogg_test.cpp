// The Ogg Vorbis decoder, on files encoded by the test with libvorbisenc.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "korvagl/audio/ogg_decoder.h"
#include "korvagl/audio/wav_decoder.h"
#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

using namespace test;

class OggTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitOggLoader();
        InitWAVLoader();
        InitMemoryStreams();
    }
    Ref<TPcmSample> Load(std::string bytes) {
        bytes_ = std::move(bytes);
        return ReadPcmSample(Ref<Object>(NewMemoryStream(bytes_.data(), static_cast<int32_t>(bytes_.size()), 1, 0)));
    }
    std::string bytes_;
};

// The decoded frames differ from the encoded ones by a small part of their power.
double RelativeError(const Ref<TPcmSample>& sample, int channels, int frames) {
    const auto expected = ToneFrames(channels, sample->hertz, frames);
    const auto* got = reinterpret_cast<const int16_t*>(sample->samples);
    double signal = 0, noise = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        signal += double(expected[i]) * expected[i];
        noise += double(expected[i] - got[i]) * (expected[i] - got[i]);
    }
    return std::sqrt(noise / signal);
}

TEST_F(OggTest, StereoLoadsWithTheFullFrameCount) {
    auto sample = Load(OggFile(2, 44100, 30000));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->format, SMP_STEREO16LE);
    EXPECT_EQ(sample->length, 30000);
    EXPECT_EQ(sample->hertz, 44100);
    EXPECT_LT(RelativeError(sample, 2, 30000), 0.2);
}

TEST_F(OggTest, MonoLoads) {
    TempDir dir;
    const std::string path = dir.Write("mono.ogg", OggFile(1, 22050, 12345));
    auto sample = ReadPcmSample(String(path));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->format, SMP_MONO16LE);
    EXPECT_EQ(sample->length, 12345);
    EXPECT_EQ(sample->hertz, 22050);
    EXPECT_LT(RelativeError(sample, 1, 12345), 0.2);
}

TEST_F(OggTest, NoFramesGiveAnEmptySample) {
    auto sample = Load(OggFile(2, 8000, 0));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->length, 0);
}

TEST_F(OggTest, CorruptDataIsRefused) {
    std::string ogg = OggFile(2, 22050, 5000);
    std::string broken = ogg;
    for (size_t i = 30; i < 200; ++i) broken[i] = static_cast<char>(broken[i] ^ 0x5A);
    EXPECT_EQ(Load(broken), nullptr);
    EXPECT_EQ(Load("OggS" + std::string(100, '\0')), nullptr);
    EXPECT_EQ(Load(ogg.substr(0, 60)), nullptr);
    EXPECT_EQ(Load(std::string(5000, 'x')), nullptr);
}

TEST_F(OggTest, MoreThanTwoChannelsAreRefused) {
    EXPECT_EQ(Load(OggFile(3, 22050, 4000)), nullptr);
    EXPECT_EQ(Load(OggFile(6, 44100, 4000)), nullptr);
}

// A file that gets shorter while it is read: whole while the decoder looks
// for the last page, cut to `cut` bytes once decoding has gone half way there.
class ShrinkingStream : public TByteStream {
public:
    ShrinkingStream(std::string bytes, int32_t cut) : bytes_(std::move(bytes)), cut_(cut) {}
    int32_t Pos() override { return pos_; }
    int32_t Size() override { return shrunk_ ? cut_ : static_cast<int32_t>(bytes_.size()); }
    int32_t Eof() override { return pos_ >= Size(); }
    int32_t Seek(int32_t pos) override {
        pos_ = std::clamp(pos, 0, Size());
        if (pos_ > cut_) sawTail_ = true;
        return pos_;
    }
    int32_t Read(void* buf, int32_t count) override {
        if (sawTail_ && pos_ >= cut_ / 2 && pos_ < cut_) shrunk_ = true;
        const int32_t n = std::max(0, std::min(count, Size() - pos_));
        std::memcpy(buf, bytes_.data() + pos_, static_cast<size_t>(n));
        pos_ += n;
        return n;
    }

private:
    std::string bytes_;
    int32_t cut_;
    int32_t pos_ = 0;
    bool sawTail_ = false, shrunk_ = false;
};

TEST_F(OggTest, DataEndingEarlyLeavesTheRestSilent) {
    // Long enough that the decoder's search for the last page stays in the
    // part of the file that goes away.
    const int frames = 40 * 44100;
    const std::string ogg = OggFile(2, 44100, frames, 1.0f);
    ASSERT_GT(ogg.size(), 3u * 65536);
    TOggSampleDecoder decoder;
    auto sample = decoder.Load(New<ShrinkingStream>(ogg, static_cast<int32_t>(ogg.size() / 2)));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->length, frames);
    const auto* v = reinterpret_cast<const int16_t*>(sample->samples);
    int loud = 0;
    for (int i = 0; i < 20000; ++i) loud += std::abs(v[i]) > 1000;
    EXPECT_GT(loud, 10000);
    int silentTail = 0;
    while (silentTail < sample->length && v[2 * (sample->length - 1 - silentTail)] == 0) ++silentTail;
    EXPECT_GT(silentTail, frames / 3);
    EXPECT_LT(silentTail, frames * 2 / 3);
}

TEST_F(OggTest, OnlyTheFirstLogicalBitstreamIsRead) {
    // A chained file: a mono link, then a stereo one.
    auto sample = Load(OggFile(1, 22050, 3000, 0.3f, 1) + OggFile(2, 22050, 9000, 0.3f, 2));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->format, SMP_MONO16LE);
    EXPECT_EQ(sample->length, 3000);
    EXPECT_LT(RelativeError(sample, 1, 3000), 0.2);
}

TEST_F(OggTest, WavIsTriedFirstAndOggStillLoads) {
    Ref<TPcmSampleDecoder> head = PcmSampleDecoders();
    ASSERT_NE(DownCast<TWAVSampleDecoder>(head), nullptr);
    ASSERT_NE(DownCast<TOggSampleDecoder>(head->next), nullptr);
    // A WAV the WAV decoder refuses reaches the Ogg decoder, which refuses it too.
    EXPECT_EQ(Load(WavFile(1, 8000, 24, std::string(30, '\0'))), nullptr);
    EXPECT_NE(Load(WavFile(1, 8000, 8, "abc")), nullptr);
    EXPECT_NE(Load(OggFile(1, 8000, 100)), nullptr);
}

}  // namespace
}  // namespace korva
