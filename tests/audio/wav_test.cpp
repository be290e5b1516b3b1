// The WAV decoder, on files and memory streams written by the test.
#include <gtest/gtest.h>

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

TEST_F(WavTest, RefusedLayouts) {
    const std::string data = Chunk("data", Samples16({1, 2}));
    // "fmt " must come right after "WAVE".
    EXPECT_EQ(Load(Riff(Chunk("LIST", "INFO") + Chunk("fmt ", FmtBody(1, 1, 8000, 16)) + data)), nullptr);
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 24)) + data)), nullptr);  // 24-bit
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FmtBody(3, 1, 8000, 16)) + data)), nullptr);  // float
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FmtBody(1, 3, 8000, 16)) + data)), nullptr);  // 3 channels
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FmtBody(1, 1, 0, 16)) + data)), nullptr);     // no rate
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 16).substr(0, 14)) + data)), nullptr);  // fmt too short
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 16)))), nullptr);  // no data chunk
    EXPECT_EQ(Load("RIFX" + WavFile(1, 8000, 8, "a").substr(4)), nullptr);
    EXPECT_EQ(Load(""), nullptr);
    EXPECT_EQ(Load("RIFF"), nullptr);
    const std::string whole = WavFile(2, 8000, 16, Samples16({1, 2, 3, 4}));
    for (size_t cut = 0; cut < 40; ++cut) EXPECT_EQ(Load(whole.substr(0, cut)), nullptr) << cut;
    // Cut inside the data chunk's size: the size reads short, the sample is empty.
    for (size_t cut = 40; cut < 44; ++cut) EXPECT_EQ(Load(whole.substr(0, cut))->length, 0) << cut;
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
    // ReadPcmSample needs a stream that can return to its start.
    EXPECT_THROW(ReadPcmSample(Ref<Object>(New<UnsizedStream>(file))), TRuntimeError);
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
