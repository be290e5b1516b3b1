// The sample decoder registry: order, rewinding, and how ReadPcmSample
// treats errors raised inside a decoder. The decoders here are the test's
// own, registered once for the whole program.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "korvagl/korvagl.h"

namespace korva {
namespace {

// Accepts data that starts with "YY"; records the position it started at.
class AcceptingDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override {
        ++calls;
        startPos = stream->Pos();
        char head[2] = {};
        stream->ReadFully(head, 2);
        if (std::memcmp(head, "YY", 2) != 0) return nullptr;
        return NewPcmSample(1, 8000, SMP_MONO8);
    }
    int calls = 0;
    int32_t startPos = -2;
};

// Reads past the end of everything (a stream error), and raises a runtime
// error for data that starts with "RT".
class FailingDecoder : public TPcmSampleDecoder {
public:
    Ref<TPcmSample> Load(const Ref<TByteStream>& stream) override {
        ++calls;
        char head[2] = {};
        stream->ReadFully(head, 2);
        if (std::memcmp(head, "RT", 2) == 0) RaiseRuntimeError("decoder failed");
        stream->Seek(stream->Size());
        throw TStreamReadError();
    }
    int calls = 0;
};

// A memory stream that records whether it was closed and can hide its position.
class RecordingStream : public TByteStream {
public:
    RecordingStream(std::string bytes, bool seekable) : bytes_(std::move(bytes)), seekable_(seekable) {}
    int32_t Pos() override { return seekable_ ? pos_ : -1; }
    int32_t Size() override { return static_cast<int32_t>(bytes_.size()); }
    int32_t Eof() override { return pos_ >= Size(); }
    int32_t Seek(int32_t pos) override { return seekable_ ? (pos_ = std::clamp(pos, 0, Size())) : -1; }
    int32_t Read(void* buf, int32_t count) override {
        const int32_t n = std::min(count, Size() - pos_);
        std::memcpy(buf, bytes_.data() + pos_, static_cast<size_t>(n));
        pos_ += n;
        return n;
    }
    int32_t Close() override {
        ++closes;
        return 0;
    }
    int closes = 0;

private:
    std::string bytes_;
    bool seekable_;
    int32_t pos_ = 0;
};

AcceptingDecoder* accepting = nullptr;
FailingDecoder* failing = nullptr;

class SampleRegistryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitSamples();
        if (accepting) return;
        auto a = New<AcceptingDecoder>();
        auto f = New<FailingDecoder>();
        accepting = a.Get();
        failing = f.Get();
        RegisterPcmSampleDecoder(a);
        RegisterPcmSampleDecoder(f);  // tried first
    }
    void SetUp() override { accepting->calls = failing->calls = 0; }
};

TEST_F(SampleRegistryTest, NewestFirstAndNoLoops) {
    ASSERT_EQ(PcmSampleDecoders().Get(), failing);
    ASSERT_EQ(PcmSampleDecoders()->next.Get(), accepting);
    // Registering a decoder again changes nothing.
    RegisterPcmSampleDecoder(Ref<TPcmSampleDecoder>(accepting));
    RegisterPcmSampleDecoder(Ref<TPcmSampleDecoder>(failing));
    EXPECT_EQ(PcmSampleDecoders().Get(), failing);
    EXPECT_EQ(PcmSampleDecoders()->next.Get(), accepting);
}

TEST_F(SampleRegistryTest, AReadErrorMovesOnToTheNextDecoderFromTheStart) {
    auto stream = New<RecordingStream>("..YYdata", true);
    stream->Seek(2);
    auto sample = ReadPcmSample(Ref<Object>(stream));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(failing->calls, 1);
    EXPECT_EQ(accepting->calls, 1);
    EXPECT_EQ(accepting->startPos, 2);  // rewound to where the stream was
    EXPECT_EQ(stream->closes, 0);       // the caller's stream stays open
}

TEST_F(SampleRegistryTest, NoDecoderGivesTheNullObject) {
    EXPECT_EQ(ReadPcmSample(Ref<Object>(New<RecordingStream>("nothing", true))), nullptr);
    EXPECT_EQ(accepting->calls, 1);
    EXPECT_EQ(ReadPcmSample(Ref<Object>()), nullptr);
    EXPECT_EQ(ReadPcmSample(String("nosuchprotocol::x")), nullptr);
    // The sound loaders say why, and a success clears the reason.
    EXPECT_FALSE(OpenSoundClip(Ref<Object>(New<RecordingStream>("nothing", true)), 0));
    EXPECT_EQ(LastErrorText(), "stream: no sound decoder accepts this data");
    EXPECT_TRUE(OpenSoundClip(Ref<Object>(NewPcmSample(1, 8000, SMP_MONO8)), 0));
    EXPECT_TRUE(LastErrorText().IsEmpty());
}

TEST_F(SampleRegistryTest, OtherErrorsPassOn) {
    try {
        ReadPcmSample(Ref<Object>(New<RecordingStream>("RT", true)));
        ADD_FAILURE();
    } catch (const TRuntimeError& e) {
        EXPECT_EQ(e.text, String("decoder failed"));
    }
    EXPECT_EQ(accepting->calls, 0);
}

TEST_F(SampleRegistryTest, StreamsThatCannotTellTheirPositionAreReadIntoMemory) {
    auto stream = New<RecordingStream>("YYdata", false);
    EXPECT_TRUE(ReadPcmSample(Ref<Object>(stream)));
    // Both decoders saw the data from its start, in memory.
    EXPECT_EQ(failing->calls, 1);
    EXPECT_EQ(accepting->calls, 1);
    EXPECT_EQ(accepting->startPos, 0);
    EXPECT_EQ(stream->closes, 0);
}

}  // namespace
}  // namespace korva
