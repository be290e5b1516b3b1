// The decoder registry and ReadPixmap: the order decoders are tried in,
// rewinding, absorbing stream errors, passing other faults on, closing.
#include <gtest/gtest.h>

#include "korvagl/korvagl.h"
#include "pixmap/decode_limits.h"
#include "tests/pixmap/decoder_test_support.h"
#include "tests/support/image_fixtures.h"
#include "tests/support/temp_dir.h"

namespace korva {
namespace {

using test::ScriptedStream;

// Decoders registered by a test stay registered for the rest of the process,
// so the test ones only act while armed and otherwise pass without reading.
class TestDecoder : public TPixmapDecoder {
public:
    bool armed = true;
};

// Disarms a test decoder when the test ends.
struct Disarm {
    TestDecoder& decoder;
    ~Disarm() { decoder.armed = false; }
};

// Recognises data that starts with "FAKE": a 1x1 pixmap whose pixel is the
// next byte. Remembers where it started reading.
class FakeDecoder : public TestDecoder {
public:
    Ref<TPixmap> ReadPixmap(const Ref<TByteStream>& stream) override {
        if (!armed) return nullptr;
        startedAt = stream->Pos();
        char magic[5] = {};
        stream->ReadFully(magic, 5);
        if (std::string(magic, 4) != "FAKE") return nullptr;
        Ref<TPixmap> p = NewPixmap(1, 1, PIX_I8);
        p->pixels[0] = static_cast<uint8_t>(magic[4]);
        return p;
    }
    int32_t startedAt = -2;
};

// Reads a little, then meets a read error or throws something else.
class FailingDecoder : public TestDecoder {
public:
    Ref<TPixmap> ReadPixmap(const Ref<TByteStream>& stream) override {
        if (!armed) return nullptr;
        stream->ReadInt();
        if (otherFault) RaiseRuntimeError("decoder broke");
        throw TStreamReadError();
    }
    bool otherFault = false;
};

class PixmapDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { InitKorvaGL(); }
};

TEST_F(PixmapDecoderTest, DecodersAreTriedTgaPngJpegBmp) {
    std::vector<std::string> order;
    for (Ref<TPixmapDecoder> d = FirstPixmapDecoder(); d; d = d->next) {
        if (DownCast<TTGAPixmapDecoder>(d)) order.push_back("TGA");
        if (DownCast<TPNGPixmapDecoder>(d)) order.push_back("PNG");
        if (DownCast<TJPEGPixmapDecoder>(d)) order.push_back("JPEG");
        if (DownCast<TBMPPixmapDecoder>(d)) order.push_back("BMP");
    }
    EXPECT_EQ(order, (std::vector<std::string>{"TGA", "PNG", "JPEG", "BMP"}));
    // Run-once: nothing registers twice.
    EXPECT_EQ(InitBMPLoader(), 0);
    EXPECT_EQ(InitTGALoader(), 0);
    int tga = 0;
    for (Ref<TPixmapDecoder> d = FirstPixmapDecoder(); d; d = d->next) tga += DownCast<TTGAPixmapDecoder>(d) ? 1 : 0;
    EXPECT_EQ(tga, 1);
}

TEST_F(PixmapDecoderTest, EveryFormatLoadsFromAFileAndFromAStream) {
    const auto rgb = test::TestPattern(6, 4, 3);
    std::vector<uint8_t> bgr(rgb.size());
    ConvertPixelRun(rgb.data(), PIX_RGB24, bgr.data(), PIX_BGR24, 24);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.png", test::EncodePNG(6, 4, rgb)},
        {"a.jpg", test::EncodeJPEG(6, 4, 3, rgb)},
        {"a.bmp", test::EncodeBMP(6, 4, 24, bgr)},
        {"a.tga", test::EncodeTGA(6, 4, 24, bgr)},
    };
    test::TempDir dir;
    for (const auto& [name, bytes] : files) {
        // The file name means nothing: decoders look at the content.
        const std::string path = dir.Write(name + ".dat", bytes);
        const Ref<TPixmap> fromFile = ReadPixmap(String(path));
        ASSERT_TRUE(fromFile) << name;
        EXPECT_EQ(fromFile->width, 6);
        EXPECT_EQ(fromFile->height, 4);
        EXPECT_EQ(fromFile->format, PIX_RGB24);
        if (name != "a.jpg") {
            EXPECT_EQ(test::PixelRows(fromFile), rgb) << name;
        }
        const Ref<TPixmap> fromStream = test::Load(bytes);
        ASSERT_TRUE(fromStream) << name;
        EXPECT_EQ(test::PixelRows(fromStream), test::PixelRows(fromFile)) << name;
    }
}

TEST_F(PixmapDecoderTest, LoweredLimitsRefuseLargerPicturesInEveryFormat) {
    struct Restore {
        ~Restore() { detail::SetDecodeLimits(detail::kMaxDecodedSide, detail::kMaxDecodedBytes); }
    } restore;
    const auto rgb = test::TestPattern(20, 10, 3);
    std::vector<uint8_t> bgr(rgb.size());
    ConvertPixelRun(rgb.data(), PIX_RGB24, bgr.data(), PIX_BGR24, 200);
    // 20 x 10 RGB pixels: rows of 60 bytes, 600 in all.
    for (const std::string& bytes : {test::EncodePNG(20, 10, rgb), test::EncodeJPEG(20, 10, 3, rgb),
                                     test::EncodeBMP(20, 10, 24, bgr), test::EncodeTGA(20, 10, 24, bgr)}) {
        detail::SetDecodeLimits(19, 1 << 20);
        EXPECT_FALSE(test::Load(bytes));
        detail::SetDecodeLimits(20, 599);
        EXPECT_FALSE(test::Load(bytes));
        detail::SetDecodeLimits(20, 600);
        EXPECT_TRUE(test::Load(bytes));
    }
    // The limits only come down.
    detail::SetDecodeLimits(int64_t{1} << 40, int64_t{1} << 40);
    EXPECT_EQ(detail::CurrentDecodeLimits().side, detail::kMaxDecodedSide);
    EXPECT_EQ(detail::CurrentDecodeLimits().bytes, detail::kMaxDecodedBytes);
    detail::SetDecodeLimits(0, -5);
    EXPECT_EQ(detail::CurrentDecodeLimits().side, 1);
    EXPECT_EQ(detail::CurrentDecodeLimits().bytes, 1);
}

TEST_F(PixmapDecoderTest, NothingToLoadGivesTheNullObject) {
    test::TempDir dir;
    EXPECT_FALSE(ReadPixmap(String(dir.File("missing.png"))));
    EXPECT_FALSE(ReadPixmap(String("")));
    EXPECT_FALSE(ReadPixmap(String("nosuchprotocol::x")));
    EXPECT_FALSE(ReadPixmap(Ref<Object>()));
    EXPECT_FALSE(test::Load(""));
    EXPECT_FALSE(test::Load("plain text, no image at all"));
    EXPECT_FALSE(ReadPixmap(String(dir.Write("junk", std::string(3000, '\x7f')))));
}

TEST_F(PixmapDecoderTest, TheDecoderThatKnowsTheFormatSaysWhyAndTheSourceIsNamed) {
    test::TempDir dir;
    std::string png = test::EncodePNG(8, 8, test::TestPattern(8, 8, 3));
    png[29] ^= 0x55;  // the header chunk's CRC
    const String path(dir.Write("x.png", png));
    EXPECT_FALSE(ReadPixmap(path));
    EXPECT_EQ(LastErrorText().ToUtf8(), ("\"" + path + "\": corrupt PNG data: IHDR: CRC error").ToUtf8());

    const std::string jpeg = test::EncodeJPEG(16, 16, 3, test::TestPattern(16, 16, 3));
    EXPECT_FALSE(test::Load(jpeg.substr(0, 100)));
    EXPECT_EQ(LastErrorText().ToUtf8().rfind("stream: corrupt JPEG data: ", 0), 0u) << LastErrorText().ToUtf8();

    // A decoder's reason left from a call outside ReadPixmap is not reused.
    EXPECT_FALSE(test::RegisteredDecoder<TPNGPixmapDecoder>()->ReadPixmap(test::StreamOf(png)));
    EXPECT_FALSE(test::Load("plain text, no image at all"));
    EXPECT_EQ(LastErrorText().ToUtf8(), "stream: no image decoder accepts this data");
    EXPECT_TRUE(test::Load(test::EncodePNG(1, 1, {1, 2, 3})));
    EXPECT_TRUE(LastErrorText().IsEmpty());
}

TEST_F(PixmapDecoderTest, AStreamWithoutAPositionIsReadIntoMemoryAndDecoded) {
    const Ref<ScriptedStream> stream = New<ScriptedStream>(test::EncodePNG(2, 2, test::TestPattern(2, 2, 3)));
    stream->hasPosition = false;
    stream->seekable = false;
    test::ServeScripted(stream);
    const Ref<TPixmap> pixmap = ReadPixmap(String("scripted::x"));
    ASSERT_TRUE(pixmap) << LastErrorText().ToUtf8();
    EXPECT_EQ(pixmap->width, 2);
    EXPECT_EQ(stream->closes, 1);
    EXPECT_EQ(stream->pos, stream->Size());  // read once, to its end
}

TEST_F(PixmapDecoderTest, TheStreamIsClosedAfterLoading) {
    const Ref<ScriptedStream> stream = New<ScriptedStream>(test::EncodePNG(2, 2, test::TestPattern(2, 2, 3)));
    test::ServeScripted(stream);
    EXPECT_TRUE(ReadPixmap(String("scripted::x")));
    EXPECT_EQ(stream->closes, 1);

    // A stream handed in by the caller stays open for the caller.
    const Ref<ScriptedStream> own = New<ScriptedStream>(stream->data);
    EXPECT_TRUE(ReadPixmap(Ref<Object>(own)));
    EXPECT_EQ(own->closes, 0);
}

TEST_F(PixmapDecoderTest, DataIsReadFromWhereTheStreamStands) {
    const std::string bmp = test::EncodeBMP(2, 1, 24, {1, 2, 3, 4, 5, 6});
    const Ref<ScriptedStream> stream = New<ScriptedStream>("junk!" + bmp);
    stream->Seek(5);
    const Ref<TPixmap> p = ReadPixmap(Ref<Object>(stream));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ReadPixel(1, 0), 0xFF060504u);
}

TEST_F(PixmapDecoderTest, AFailingDecoderDoesNotStopTheSearch) {
    const Ref<FakeDecoder> fake = New<FakeDecoder>();         // tried after the failing one
    const Ref<FailingDecoder> failing = New<FailingDecoder>();  // tried first
    const Disarm disarmFake{*fake}, disarmFailing{*failing};
    const Ref<ScriptedStream> stream = New<ScriptedStream>("..FAKE\x2a");
    stream->Seek(2);
    const Ref<TPixmap> p = ReadPixmap(Ref<Object>(stream));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->pixels[0], 0x2a);
    EXPECT_EQ(fake->startedAt, 2);  // rewound after the failing decoder read

    // Any other fault is not the data's fault: it reaches the caller, and
    // the stream is still closed.
    failing->otherFault = true;
    const Ref<ScriptedStream> served = New<ScriptedStream>("FAKE\x01");
    test::ServeScripted(served);
    try {
        ReadPixmap(String("scripted::x"));
        ADD_FAILURE() << "no fault";
    } catch (const TRuntimeError& error) {
        EXPECT_EQ(error.text, String("decoder broke"));
    }
    EXPECT_EQ(served->closes, 1);
}

TEST_F(PixmapDecoderTest, AStreamThatCannotRewindStopsTheSearch) {
    // The TGA decoder reads a header first; without seeking, later decoders
    // would see the middle of the data.
    const Ref<ScriptedStream> stream = New<ScriptedStream>(test::EncodeBMP(2, 1, 24, {1, 2, 3, 4, 5, 6}));
    stream->seekable = false;
    EXPECT_FALSE(ReadPixmap(Ref<Object>(stream)));

    // Where nothing needs rewinding, the first decoder still gets its chance.
    const Ref<ScriptedStream> tga =
        New<ScriptedStream>(test::EncodeTGA(1, 1, 24, {0, 0, 255}));
    tga->seekable = false;
    const Ref<TPixmap> p = ReadPixmap(Ref<Object>(tga));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->ReadPixel(0, 0), 0xFFFF0000u);
}

// Calls the base class's ReadPixmap while armed.
class AbstractDecoder : public TestDecoder {
public:
    Ref<TPixmap> ReadPixmap(const Ref<TByteStream>& stream) override {
        return armed ? TPixmapDecoder::ReadPixmap(stream) : nullptr;
    }
};

TEST_F(PixmapDecoderTest, TheAbstractDecoderRaises) {
    const Ref<AbstractDecoder> base = New<AbstractDecoder>();
    const Disarm disarm{*base};
    EXPECT_THROW(base->ReadPixmap(test::StreamOf("x")), TAbstractMethodFault);
    // ReadPixmap passes it on: it is not a stream error.
    EXPECT_THROW(test::Load("x"), TAbstractMethodFault);
}

}  // namespace
}  // namespace korva
