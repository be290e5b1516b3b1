// The MP3 decoder: gapless samples close to what was encoded, MPEG 2, tags,
// streams that cannot seek, and data that only looks like MPEG audio.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"
#include "support/sound_decoders.h"

namespace korva {
namespace {

// A stream that cannot seek (like a network one) over bytes.
class OneWayStream : public TByteStream {
public:
    explicit OneWayStream(std::string bytes) : bytes_(std::move(bytes)) {}
    int32_t Eof() override { return at_ == bytes_.size(); }
    int32_t Read(void* buf, int32_t count) override {
        const size_t n = std::min(bytes_.size() - at_, static_cast<size_t>(std::min(count, 1000)));
        std::memcpy(buf, bytes_.data() + at_, n);
        at_ += n;
        return static_cast<int32_t>(n);
    }

private:
    std::string bytes_;
    size_t at_ = 0;
};

class Mp3Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::InitSoundDecoders(); }
    static Ref<TPcmSample> Load(std::string bytes) { return test::LoadSample(std::move(bytes)); }
    // The root mean square of the difference, against the signal's own.
    static double RelativeError(const Ref<TPcmSample>& sample, const std::vector<int16_t>& expected) {
        const auto* v = reinterpret_cast<const int16_t*>(sample->samples);
        double error = 0, signal = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            error += std::pow(v[i] - expected[i], 2);
            signal += std::pow(expected[i], 2);
        }
        return std::sqrt(error / signal);
    }
};

TEST_F(Mp3Test, GaplessAndCloseToTheSource) {
    const std::vector<int16_t> stereo = test::ToneFrames(2, 44100, 20000);
    Ref<TPcmSample> sample = Load(test::Mp3File(2, 44100, stereo, 192));
    ASSERT_TRUE(sample) << LastErrorText();
    EXPECT_EQ(sample->format, SMP_STEREO16LE);
    EXPECT_EQ(sample->hertz, 44100);
    EXPECT_EQ(sample->length, 20000);  // the encoder's delay and padding are cut off
    EXPECT_LT(RelativeError(sample, stereo), 0.1);

    const std::vector<int16_t> mono = test::ToneFrames(1, 22050, 9000);  // MPEG 2
    sample = Load(test::Mp3File(1, 22050, mono, 64));
    ASSERT_TRUE(sample) << LastErrorText();
    EXPECT_EQ(sample->format, SMP_MONO16LE);
    EXPECT_EQ(sample->hertz, 22050);
    EXPECT_EQ(sample->length, 9000);
    EXPECT_LT(RelativeError(sample, mono), 0.15);
}

TEST_F(Mp3Test, ATagOfAnySizeAndAStreamThatCannotSeek) {
    const std::vector<int16_t> tone = test::ToneFrames(2, 44100, 10000);
    // An ID3v2 tag of 300 000 bytes (a cover picture), sizes in 7-bit bytes.
    const int size = 300000;
    std::string tag("ID3\x04\x00\x00", 6);
    for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((size >> shift) & 0x7F);
    const std::string file = tag + std::string(size, '\0') + test::Mp3File(2, 44100, tone);
    ASSERT_TRUE(Load(file)) << LastErrorText();
    Ref<TPcmReader> reader = OpenPcmReader(New<OneWayStream>(file), "x");
    ASSERT_TRUE(reader) << LastErrorText();
    EXPECT_EQ(reader->seekable, 0);
    EXPECT_EQ(reader->Seek(0), 0);
    std::vector<int16_t> frames(2 * 12000);
    int64_t total = 0;
    for (int32_t n; (n = reader->Read(frames.data(), 4096)) > 0;) total += n;
    EXPECT_EQ(total, 10000);
}

TEST_F(Mp3Test, DataThatOnlyLooksLikeMpegAudio) {
    const std::string mp3 = test::Mp3File(2, 44100, test::ToneFrames(2, 44100, 5000));
    // One good frame header, then junk where the next one should be.
    std::string lone = mp3.substr(0, 4) + std::string(4000, '\x33');
    EXPECT_FALSE(Load(lone));
    EXPECT_EQ(LastErrorText(), "stream: no sound decoder accepts this data");
    EXPECT_FALSE(Load(std::string("ID3\x03\x00\x00\x00\x00\x00\x10", 10) + std::string(16, '\0') + std::string(3000, '\x44')));
    EXPECT_EQ(LastErrorText(), "stream: no MPEG audio frame after the ID3v2 tag");
    EXPECT_FALSE(Load(std::string(3000, '\xFF')));  // sync bits everywhere, no valid header
    // Junk before the first frame is not taken either.
    EXPECT_FALSE(Load(std::string(100, '\0') + mp3));
}

}  // namespace
}  // namespace korva
