// The WAV decoder, on files and memory streams written by the test.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "korvagl/audio/ogg_decoder.h"
#include "korvagl/audio/wav_decoder.h"
#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

using namespace test;

// A readable stream that knows neither its position nor its size, like a
// network stream.
class UnsizedStream : public TByteStream {
public:
    explicit UnsizedStream(std::string bytes) : bytes_(std::move(bytes)) {}
    int32_t Pos() override { return -1; }
    int32_t Eof() override { return 0; }
    int32_t Read(void* buf, int32_t count) override {
        const auto n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(count), bytes_.size() - at_));
        std::memcpy(buf, bytes_.data() + at_, static_cast<size_t>(n));
        at_ += static_cast<size_t>(n);
        return n;
    }

private:
    std::string bytes_;
    size_t at_ = 0;
};

class WavTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitWAVLoader();
        InitMemoryStreams();
    }
    // Loads through ReadPcmSample on a memory stream over `bytes`.
    Ref<TPcmSample> Load(std::string bytes) {
        bytes_ = std::move(bytes);
        return ReadPcmSample(Ref<Object>(NewMemoryStream(bytes_.data(), static_cast<int32_t>(bytes_.size()), 1, 0)));
    }
    std::string bytes_;
};

std::string Samples16(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += U16(static_cast<uint32_t>(v) & 0xFFFF);
    return out;
}

TEST_F(WavTest, Mono8Bit) {
    auto sample = Load(WavFile(1, 8000, 8, std::string("\x80\x00\xFF\x7F\x01", 5)));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->format, SMP_MONO8);
    EXPECT_EQ(sample->length, 5);
    EXPECT_EQ(sample->hertz, 8000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sample->samples), 5), std::string("\x80\x00\xFF\x7F\x01", 5));
}

TEST_F(WavTest, Stereo16BitWithAListChunk) {
    const std::string data = Samples16({1000, -1000, 32767, -32768});
    auto sample = Load(Riff(Chunk("fmt ", FmtBody(1, 2, 22050, 16)) + Chunk("LIST", "INFOISFT\x05\0\0\0kvgl!") +
                            Chunk("data", data)));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->format, SMP_STEREO16LE);
    EXPECT_EQ(sample->length, 2);
    EXPECT_EQ(sample->hertz, 22050);
    const auto* v = reinterpret_cast<const int16_t*>(sample->samples);
    EXPECT_EQ(v[0], 1000);
    EXPECT_EQ(v[1], -1000);
    EXPECT_EQ(v[2], 32767);
    EXPECT_EQ(v[3], -32768);
}

TEST_F(WavTest, OddChunkIsSkippedWithItsPadByte) {
    const std::string odd = Chunk("junk", "abc");
    ASSERT_EQ(odd.size(), 12u);  // tag, size, three bytes and the pad byte
    auto sample = Load(Riff(Chunk("fmt ", FmtBody(1, 1, 11025, 16)) + odd + Chunk("data", Samples16({7, 8}))));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->length, 2);
    EXPECT_EQ(reinterpret_cast<const int16_t*>(sample->samples)[1], 8);
}

TEST_F(WavTest, FmtChunkOf18Bytes) {
    auto sample = Load(Riff(Chunk("fmt ", FmtBody(1, 1, 44100, 16, std::string(2, '\0'))) +
                            Chunk("data", Samples16({-5, 6, 7}))));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->format, SMP_MONO16LE);
    EXPECT_EQ(sample->length, 3);
    EXPECT_EQ(reinterpret_cast<const int16_t*>(sample->samples)[0], -5);
}

TEST_F(WavTest, RefusedLayoutsSayWhy) {
    const std::string data = Chunk("data", Samples16({1, 2}));
    const std::vector<std::pair<std::string, std::string>> refused = {
        // "fmt " must come right after "WAVE".
        {Riff(Chunk("LIST", "INFO") + Chunk("fmt ", FmtBody(1, 1, 8000, 16)) + data),
         "unsupported WAV layout: \"fmt \" is not the first chunk"},
        {Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 12)) + data), "unsupported WAV sample size (12-bit integer)"},
        {Riff(Chunk("fmt ", FmtBody(3, 1, 8000, 64)) + data), "unsupported WAV sample size (64-bit float)"},
        {Riff(Chunk("fmt ", FmtBody(2, 1, 8000, 4)) + data), "unsupported WAV encoding (format 0x0002)"},
        {Riff(Chunk("fmt ", FmtBody(1, 3, 8000, 16)) + data), "3 channels (at most 2)"},
        {Riff(Chunk("fmt ", FmtBody(1, 0, 8000, 16)) + data), "corrupt WAV data: no channels"},
        {Riff(Chunk("fmt ", FmtBody(1, 1, 0, 16)) + data), "corrupt WAV data: sample rate 0"},
        {Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 16).substr(0, 14)) + data),
         "corrupt WAV data: \"fmt \" chunk of 14 bytes"},
        {Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 16))), "corrupt WAV data: no \"data\" chunk"},
        {"RIFX" + WavFile(1, 8000, 8, "a").substr(4), "no sound decoder accepts this data"},
        {"", "no sound decoder accepts this data"},
        {"RIFF", "no sound decoder accepts this data"},
    };
    for (const auto& [file, reason] : refused) {
        EXPECT_EQ(Load(file), nullptr) << reason;
        EXPECT_EQ(LastErrorText().ToUtf8(), "stream: " + reason);
    }
    const std::string whole = WavFile(2, 8000, 16, Samples16({1, 2, 3, 4}));
    for (size_t cut = 0; cut < 40; ++cut) EXPECT_EQ(Load(whole.substr(0, cut)), nullptr) << cut;
    // Cut inside the data chunk's size: the size reads short, the sample is empty.
    for (size_t cut = 40; cut < 44; ++cut) EXPECT_EQ(Load(whole.substr(0, cut))->length, 0) << cut;

    // Through a file, the reason names it.
    TempDir dir;
    const String path(dir.Write("x.wav", Riff(Chunk("fmt ", FmtBody(1, 6, 8000, 16)) + data)));
    EXPECT_EQ(ReadPcmSample(path), nullptr);
    EXPECT_EQ(LastErrorText().ToUtf8(), ("\"" + path + "\": 6 channels (at most 2)").ToUtf8());
}

std::vector<int16_t> Values16(const Ref<TPcmSample>& sample) {
    const auto* v = reinterpret_cast<const int16_t*>(sample->samples);
    return std::vector<int16_t>(v, v + sample->length * (sample->format == SMP_STEREO16LE ? 2 : 1));
}

TEST_F(WavTest, WiderIntegerSamplesKeepTheirTop16Bits) {
    auto s24 = Load(WavFile(2, 48000, 24, PcmBytes(24, {0x7FFFFF, -0x800000, 0x123456, -1, 0xFF, -0x100})));
    ASSERT_NE(s24, nullptr);
    EXPECT_EQ(s24->format, SMP_STEREO16LE);
    EXPECT_EQ(s24->hertz, 48000);
    EXPECT_EQ(Values16(s24), (std::vector<int16_t>{32767, -32768, 0x1234, -1, 0, -1}));
    auto s32 = Load(WavFile(1, 8000, 32, PcmBytes(32, {0x7FFFFFFF, INT32_MIN, 0x12345678, -65536, 65535})));
    ASSERT_NE(s32, nullptr);
    EXPECT_EQ(s32->format, SMP_MONO16LE);
    EXPECT_EQ(Values16(s32), (std::vector<int16_t>{32767, -32768, 0x1234, -1, 0}));
    // A partial frame at the end is dropped, as with 16-bit data.
    auto cut = Load(WavFile(2, 8000, 24, PcmBytes(24, {0x000100, 0x000200, 0x000300})));
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(Values16(cut), (std::vector<int16_t>{1, 2}));
}

TEST_F(WavTest, FloatSamplesRoundAndClip) {
    const float inf = std::numeric_limits<float>::infinity();
    auto sample = Load(Riff(Chunk("fmt ", FmtBody(3, 1, 44100, 32)) +
                            Chunk("data", FloatBytes({0.0f, 1.0f, -1.0f, 1.5f, -1.5f, 0.5f, -0.25f, 1 / 65536.0f,
                                                      3 / 65536.0f, -1 / 65536.0f, 65533 / 65536.0f, 0.99999f,
                                                      -0.99999f, inf, -inf, std::nanf(""), 3e38f}))));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->format, SMP_MONO16LE);
    // x 32768, to the nearest (halves to even), into -32768..32767.
    EXPECT_EQ(Values16(sample), (std::vector<int16_t>{0, 32767, -32768, 32767, -32768, 16384, -8192, 0, 2, 0, 32766,
                                                      32767, -32768, 32767, -32768, 0, 32767}));
}

TEST_F(WavTest, ExtensibleFormatsLoadLikeThePlainOnes) {
    const auto load = [&](int sub, int channels, int bits, const std::string& data) {
        return Load(Riff(Chunk("fmt ", ExtensibleFmtBody(sub, channels, 22050, bits)) + Chunk("data", data)));
    };
    auto u8 = load(1, 1, 8, "\x80\x01\xFF");
    ASSERT_NE(u8, nullptr);
    EXPECT_EQ(u8->format, SMP_MONO8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(u8->samples), 3), "\x80\x01\xFF");
    auto s16 = load(1, 2, 16, Samples16({-7, 9}));
    ASSERT_NE(s16, nullptr);
    EXPECT_EQ(Values16(s16), (std::vector<int16_t>{-7, 9}));
    auto s24 = load(1, 2, 24, PcmBytes(24, {0x7FFFFF, -0x800000}));
    ASSERT_NE(s24, nullptr);
    EXPECT_EQ(Values16(s24), (std::vector<int16_t>{32767, -32768}));
    auto s32 = load(1, 1, 32, PcmBytes(32, {0x00050000}));
    ASSERT_NE(s32, nullptr);
    EXPECT_EQ(Values16(s32), (std::vector<int16_t>{5}));
    auto f32 = load(3, 2, 32, FloatBytes({0.5f, -2.0f}));
    ASSERT_NE(f32, nullptr);
    EXPECT_EQ(f32->hertz, 22050);
    EXPECT_EQ(Values16(f32), (std::vector<int16_t>{16384, -32768}));

    std::string unknown = ExtensibleFmtBody(1, 1, 22050, 16);
    unknown[30] = 'x';  // inside the GUID's fixed tail
    EXPECT_EQ(Load(Riff(Chunk("fmt ", unknown) + Chunk("data", Samples16({1})))), nullptr);
    EXPECT_EQ(LastErrorText().ToUtf8(), "stream: unsupported WAV encoding (extensible format without a known sub-format)");
}

TEST_F(WavTest, DataLargerThanTheStreamIsCut) {
    // The header claims 4 GB; the stream holds 5 bytes, so two stereo 8-bit frames.
    std::string file = Riff(Chunk("fmt ", FmtBody(1, 2, 8000, 8))) + "data" + U32(0xFFFFFFFF) + "abcde";
    auto sample = Load(file);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->length, 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sample->samples), 4), "abcd");

    // A chunk before "data" that claims more than the stream holds ends the search.
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 8))) + "LIST" + U32(0x7FFFFFF0) + "data"), nullptr);
}

TEST_F(WavTest, StreamsOfUnknownSize) {
    const std::string file = WavFile(1, 8000, 16, Samples16({1, 2, 3}));
    TWAVSampleDecoder decoder;
    auto sample = decoder.Load(New<UnsizedStream>(file));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->length, 3);
    // Memory follows the data that arrives, not the size in the header ...
    auto cut = decoder.Load(New<UnsizedStream>(Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 8))) + "data" +
                                               U32(0x7FFFFFF0) + "xyz"));
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->length, 3);
    // ... and a size no sample can hold gives the null object.
    EXPECT_EQ(decoder.Load(New<UnsizedStream>(Riff(Chunk("fmt ", FmtBody(1, 2, 8000, 16))) + "data" +
                                              U32(0xFFFFFFF0) + "xyz")),
              nullptr);
    // ReadPcmSample reads a stream that cannot return to its start into memory first.
    auto whole = ReadPcmSample(Ref<Object>(New<UnsizedStream>(file)));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->length, 3);
}

TEST_F(WavTest, FilesAndCallersStreams) {
    TempDir dir;
    const std::string path = dir.Write("tone.wav", WavFile(1, 16000, 8, "\x10\x20\x30"));
    auto sample = ReadPcmSample(String(path));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->length, 3);
    EXPECT_EQ(ReadPcmSample(String(dir.File("missing.wav"))), nullptr);
    EXPECT_EQ(ReadPcmSample(String()), nullptr);

    // A caller's stream is read from its position and stays open.
    auto file = OpenReadStream(String(path));
    ASSERT_NE(file, nullptr);
    EXPECT_NE(ReadPcmSample(Ref<Object>(file)), nullptr);
    EXPECT_EQ(file->Seek(0), 0);
    EXPECT_EQ(file->ReadByte(), 'R');
    file->Close();
}

}  // namespace
}  // namespace korva
