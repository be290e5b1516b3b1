// Sample formats, conversion through the hub format, and TPcmSample.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "korvagl/korvagl.h"

namespace korva {
namespace {

class SampleTest : public ::testing::Test {
protected:
    void SetUp() override { InitSamples(); }
};

// Converts `bytes` from one format to another and returns the result.
std::vector<uint8_t> Convert(std::vector<uint8_t> bytes, int32_t from, int32_t to) {
    const int32_t count = static_cast<int32_t>(bytes.size()) / SampleBytes[from];
    std::vector<uint8_t> out(static_cast<size_t>(count) * SampleBytes[to], 0xEE);
    ConvertSampleRun(bytes.data(), from, out.data(), to, count);
    return out;
}

int16_t LE(const std::vector<uint8_t>& b, size_t at) { return static_cast<int16_t>(b[at] | b[at + 1] << 8); }
int16_t BE(const std::vector<uint8_t>& b, size_t at) { return static_cast<int16_t>(b[at] << 8 | b[at + 1]); }

TEST_F(SampleTest, FrameSizes) {
    EXPECT_EQ(std::vector<int32_t>(SampleBytes, SampleBytes + 7), (std::vector<int32_t>{0, 1, 2, 2, 2, 4, 4}));
}

TEST_F(SampleTest, EightBitValuesToTheHub) {
    const auto hub = Convert({0, 128, 255}, SMP_MONO8, SMP_STEREO16BE);
    ASSERT_EQ(hub.size(), 12u);
    EXPECT_EQ(BE(hub, 0), -32768);
    EXPECT_EQ(BE(hub, 2), -32768);
    EXPECT_EQ(BE(hub, 4), 128);
    EXPECT_EQ(hub[4], 0x00);
    EXPECT_EQ(hub[5], 0x80);
    EXPECT_EQ(BE(hub, 8), 32767);
    EXPECT_EQ(BE(hub, 10), 32767);

    const auto stereo = Convert({0, 255}, SMP_STEREO8, SMP_STEREO16BE);
    EXPECT_EQ(BE(stereo, 0), -32768);
    EXPECT_EQ(BE(stereo, 2), 32767);
}

TEST_F(SampleTest, SixteenBitByteOrders) {
    EXPECT_EQ(BE(Convert({0x34, 0x12}, SMP_MONO16LE, SMP_STEREO16BE), 2), 0x1234);
    EXPECT_EQ(BE(Convert({0x12, 0x34}, SMP_MONO16BE, SMP_STEREO16BE), 0), 0x1234);
    const auto le = Convert({0x12, 0x34, 0xFF, 0xFF}, SMP_STEREO16BE, SMP_STEREO16LE);
    EXPECT_EQ(le, (std::vector<uint8_t>{0x34, 0x12, 0xFF, 0xFF}));
    const auto mono = Convert({0x12, 0x34, 0x12, 0x34}, SMP_STEREO16BE, SMP_MONO16BE);
    EXPECT_EQ(mono, (std::vector<uint8_t>{0x12, 0x34}));
}

TEST_F(SampleTest, DownMixTruncatesTowardZero) {
    // left 1000, right -1001: (-1) / 2 is 0.
    const std::vector<uint8_t> a = {0xE8, 0x03, 0x17, 0xFC};
    EXPECT_EQ(LE(Convert(a, SMP_STEREO16LE, SMP_MONO16LE), 0), 0);
    // left 3, right 0 gives 1.
    EXPECT_EQ(LE(Convert({3, 0, 0, 0}, SMP_STEREO16LE, SMP_MONO16LE), 0), 1);
    // left -3, right 0 gives -1, not -2.
    EXPECT_EQ(LE(Convert({0xFD, 0xFF, 0, 0}, SMP_STEREO16LE, SMP_MONO16LE), 0), -1);
}

TEST_F(SampleTest, HubToEightBit) {
    // 0 becomes 127 ((0 + 32768) / 257), 32767 becomes 255, -32768 becomes 0.
    EXPECT_EQ(Convert({0, 0, 0, 0}, SMP_STEREO16BE, SMP_MONO8), (std::vector<uint8_t>{127}));
    EXPECT_EQ(Convert({0x7F, 0xFF, 0x80, 0x00}, SMP_STEREO16BE, SMP_STEREO8), (std::vector<uint8_t>{255, 0}));
    // Through the hub between two other formats: 8-bit 128 comes back as 128.
    EXPECT_EQ(Convert({128, 0, 255}, SMP_MONO8, SMP_STEREO8), (std::vector<uint8_t>{128, 128, 0, 0, 255, 255}));
}

TEST_F(SampleTest, SameFormatCopiesBytesUnchanged) {
    std::vector<uint8_t> any(4000);
    for (size_t i = 0; i < any.size(); ++i) any[i] = static_cast<uint8_t>(i * 37 + 11);
    for (int32_t format = SMP_MONO8; format <= SMP_STEREO16BE; ++format) {
        std::vector<uint8_t> copy = Convert(any, format, format);
        copy.resize(any.size(), 0);
        EXPECT_EQ(copy, any) << format;
    }
}

TEST_F(SampleTest, LongRunsConvertThroughTheHubInSlices) {
    // More frames than one slice of the temporary hub buffer.
    std::vector<uint8_t> stereo8(2 * 10000);
    for (size_t i = 0; i < stereo8.size(); ++i) stereo8[i] = static_cast<uint8_t>(i);
    const auto le = Convert(stereo8, SMP_STEREO8, SMP_STEREO16LE);
    for (size_t frame = 0; frame < 10000; frame += 997) {
        EXPECT_EQ(LE(le, frame * 4), stereo8[frame * 2] * 257 - 32768);
        EXPECT_EQ(LE(le, frame * 4 + 2), stereo8[frame * 2 + 1] * 257 - 32768);
    }
}

TEST_F(SampleTest, UnknownFormatsRaise) {
    uint8_t in[8] = {}, out[8] = {};
    for (const auto& [from, to] : std::vector<std::pair<int, int>>{{0, 1}, {1, 0}, {7, 1}, {1, 7}, {-1, 2}}) {
        try {
            ConvertSampleRun(in, from, out, to, 1);
            ADD_FAILURE() << from << " -> " << to;
        } catch (const TRuntimeError& e) {
            EXPECT_EQ(e.text, String("Unimplemented sample format conversion"));
        }
    }
    auto none = NewPcmSample(4, 8000, SMP_NONE);
    EXPECT_THROW(none->Convert(SMP_MONO8), TRuntimeError);
    EXPECT_EQ(none->Convert(SMP_NONE)->length, 4);
}

TEST_F(SampleTest, CreateCopyAndConvert) {
    auto sample = NewPcmSample(3, 22050, SMP_STEREO16LE);
    EXPECT_EQ(sample->length, 3);
    EXPECT_EQ(sample->hertz, 22050);
    EXPECT_EQ(sample->format, SMP_STEREO16LE);
    EXPECT_EQ(sample->capacity, 12);
    ASSERT_NE(sample->samples, nullptr);
    const int16_t values[6] = {1000, -1001, 3, 0, -32768, 32767};
    std::memcpy(sample->samples, values, sizeof values);

    auto copy = sample->Copy();
    EXPECT_NE(copy->samples, sample->samples);
    EXPECT_EQ(std::memcmp(copy->samples, values, sizeof values), 0);
    EXPECT_EQ(copy->hertz, 22050);

    auto mono = sample->Convert(SMP_MONO16LE);
    EXPECT_EQ(mono->length, 3);
    EXPECT_EQ(mono->hertz, 22050);
    EXPECT_EQ(mono->capacity, 6);
    const auto* m = reinterpret_cast<const int16_t*>(mono->samples);
    EXPECT_EQ(m[0], 0);
    EXPECT_EQ(m[1], 1);
    EXPECT_EQ(m[2], 0);  // (-32768 + 32767) / 2
}

TEST_F(SampleTest, StaticSamplesWrapForeignMemory) {
    uint8_t memory[4] = {1, 2, 3, 4};
    {
        auto sample = NewPcmSampleOver(memory, 4, 8000, SMP_MONO8);
        EXPECT_EQ(sample->capacity, -1);
        EXPECT_EQ(sample->samples, memory);
        auto copy = sample->Copy();
        EXPECT_EQ(copy->capacity, 4);
        EXPECT_EQ(copy->samples[3], 4);
    }
    EXPECT_EQ(memory[0], 1);  // neither freed nor written
}

TEST_F(SampleTest, BadSizesRaiseInsteadOfOverflowing) {
    EXPECT_THROW(NewPcmSample(-1, 8000, SMP_MONO8), TRuntimeError);
    EXPECT_THROW(NewPcmSample(10, 8000, 7), TRuntimeError);
    EXPECT_THROW(NewPcmSample(0x40000000, 8000, SMP_STEREO16LE), TRuntimeError);
    auto empty = NewPcmSample(0, 8000, SMP_STEREO8);
    EXPECT_EQ(empty->samples, nullptr);
    EXPECT_EQ(empty->Copy()->length, 0);
}

}  // namespace
}  // namespace korva
