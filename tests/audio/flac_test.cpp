// The FLAC decoder: samples of every depth, FLAC in Ogg, exact seeking of
// its reader, the registry's order, and the data it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"
#include "support/sound_decoders.h"

namespace korva {
namespace {

class FlacTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::InitSoundDecoders(); }
    static Ref<TPcmSample> Load(std::string bytes) { return test::LoadSample(std::move(bytes)); }
    static std::vector<int16_t> Values(const Ref<TPcmSample>& sample) {
        const auto* v = reinterpret_cast<const int16_t*>(sample->samples);
        return std::vector<int16_t>(v, v + sample->capacity / 2);
    }
};

TEST_F(FlacTest, DecodersAreTriedWavOggFlacMp3) {
    std::vector<std::string> order;
    for (auto d = PcmSampleDecoders(); d; d = d->next) {
        if (DownCast<TWAVSampleDecoder>(d)) order.push_back("WAV");
        if (DownCast<TOggSampleDecoder>(d)) order.push_back("Ogg");
        if (DownCast<TFLACSampleDecoder>(d)) order.push_back("FLAC");
        if (DownCast<TMP3SampleDecoder>(d)) order.push_back("MP3");
    }
    EXPECT_EQ(order, (std::vector<std::string>{"WAV", "Ogg", "FLAC", "MP3"}));
}

TEST_F(FlacTest, EveryDepthBecomesSixteenBits) {
    const std::vector<int16_t> ramp = test::RampFrames(2, 10000);
    Ref<TPcmSample> sample = Load(test::FlacFile(2, 48000, ramp));
    ASSERT_TRUE(sample) << LastErrorText();
    EXPECT_EQ(sample->format, SMP_STEREO16LE);
    EXPECT_EQ(sample->hertz, 48000);
    EXPECT_EQ(sample->length, 10000);
    EXPECT_EQ(Values(sample), ramp);

    // 24 bits keep their top 16, 8 bits are scaled up; mono stays mono; Ogg FLAC.
    const std::vector<int32_t> deep = {0x123456, -0x123456, 0x7FFFFF, -0x800000};
    sample = Load(test::FlacFile(1, 96000, deep, {.bits = 24, .blockFrames = 4096, .ogg = true}));
    ASSERT_TRUE(sample) << LastErrorText();
    EXPECT_EQ(sample->format, SMP_MONO16LE);
    EXPECT_EQ(Values(sample), (std::vector<int16_t>{0x1234, -0x1235, 0x7FFF, -0x8000}));
    sample = Load(test::FlacFile(1, 8000, std::vector<int32_t>{1, -128, 127}, {.bits = 8}));
    ASSERT_TRUE(sample);
    EXPECT_EQ(Values(sample), (std::vector<int16_t>{256, -32768, 32512}));
}

TEST_F(FlacTest, TheReaderSeeksToTheFrame) {
    const std::vector<int16_t> ramp = test::RampFrames(2, 50000);
    std::string file = test::FlacFile(2, 44100, ramp);
    auto stream = NewMemoryStream(file.data(), static_cast<int32_t>(file.size()), 1, 0);
    Ref<TPcmReader> reader = OpenPcmReader(stream, "x");
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->length, 50000);
    EXPECT_EQ(reader->seekable, 1);
    for (int64_t frame : {31234, 7, 49999, 0}) {
        ASSERT_EQ(reader->Seek(frame), 1);
        int16_t got[4];
        ASSERT_EQ(reader->Read(got, 2), frame == 49999 ? 1 : 2);
        EXPECT_EQ(got[0], ramp[2 * frame]);
        EXPECT_EQ(got[1], ramp[2 * frame + 1]);
    }
    ASSERT_EQ(reader->Seek(50000), 1);  // the very end
    int16_t none[2];
    EXPECT_EQ(reader->Read(none, 1), 0);
    EXPECT_EQ(reader->Seek(50001), 0);
}

TEST_F(FlacTest, WhatItRefuses) {
    const std::vector<int16_t> ramp = test::RampFrames(2, 40000);
    EXPECT_FALSE(Load(test::FlacFile(6, 44100, std::vector<int32_t>(600, 1))));
    EXPECT_EQ(LastErrorText(), "stream: 6 channels (at most 2)");
    EXPECT_FALSE(Load(test::FlacFile(2, 44100, std::vector<int32_t>(ramp.begin(), ramp.end()), {.blockFrames = 32768})));
    EXPECT_EQ(LastErrorText(), "stream: FLAC blocks of 32768 frames (at most 16384)");
    EXPECT_FALSE(Load("fLaC" + std::string(200, '\x11')));
    EXPECT_NE(LastErrorText().Find("FLAC"), -1) << LastErrorText();

    // Cut short: what came plays; damaged blocks are stepped over.
    const std::string file = test::FlacFile(2, 44100, ramp);
    Ref<TPcmSample> cut = Load(file.substr(0, file.size() / 2));
    ASSERT_TRUE(cut);
    EXPECT_GT(cut->length, 10000);
    EXPECT_LT(cut->length, 30000);
    std::string damaged = file;
    for (size_t i = file.size() / 3; i < file.size() / 3 + 64; ++i) damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    Ref<TPcmSample> mended = Load(damaged);
    ASSERT_TRUE(mended);
    EXPECT_GT(mended->length, 30000);
    EXPECT_LE(mended->length, 40000);
}

}  // namespace
}  // namespace korva
