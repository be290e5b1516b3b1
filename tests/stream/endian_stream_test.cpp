// Byte-order views and the "bigendian"/"littleendian" URLs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "korvagl/korvagl.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

class EndianStreamTest : public testing::Test {
protected:
    void SetUp() override {
        InitMemBlockStreams();
        InitMemoryStreams();
        InitEndianStreams();
    }
    test::TempDir dir;
};

Ref<TMemBlockStream> Bytes(const std::string& bytes) {
    Ref<TMemBlockStream> s = NewMemBlockStream();
    s->WriteFully(bytes.data(), static_cast<int32_t>(bytes.size()));
    s->Seek(0);
    return s;
}

std::string Content(const Ref<TMemBlockStream>& s) {
    return std::string(reinterpret_cast<const char*>(s->Bank()->Buf()), static_cast<size_t>(s->Bank()->Size()));
}

TEST_F(EndianStreamTest, TheBigEndianViewPutsTheFirstByteHighest) {
    EXPECT_EQ(AsBigEndian(Bytes("\x01\x02\x03\x04"))->ReadInt(), 16909060);
    EXPECT_EQ(AsLittleEndian(Bytes("\x01\x02\x03\x04"))->ReadInt(), 67305985);
    Ref<TByteStream> be = AsBigEndian(Bytes("\xFF\xFE\x01\x02\x03\x04\x05\x06\x07\x08"));
    EXPECT_EQ(be->ReadShort(), 0xFFFE);  // unsigned
    EXPECT_EQ(be->ReadLong(), 0x0102030405060708LL);
    // At the end the missing bytes are the low-order ones.
    EXPECT_EQ(AsBigEndian(Bytes("\x12\x34"))->ReadInt(), 305397760);
}

TEST_F(EndianStreamTest, WritesSwapOnlyNumbers) {
    Ref<TMemBlockStream> bank = NewMemBlockStream();
    Ref<TByteStream> be = AsBigEndian(bank);
    be->WriteShort(0x1234);
    be->WriteInt(0x01020304);
    be->WriteByte(0xAB);
    be->WriteText("ab");
    be->WriteLine("c");
    EXPECT_EQ(Content(bank), "\x12\x34\x01\x02\x03\x04\xAB" "abc\r\n");
    bank->Seek(7);
    EXPECT_EQ(be->ReadLine(), "abc");
}

TEST_F(EndianStreamTest, FloatsAndDoublesRoundTripThroughTheView) {
    Ref<TMemBlockStream> bank = NewMemBlockStream();
    Ref<TByteStream> be = AsBigEndian(bank);
    be->WriteDouble(1234.5678);
    be->WriteFloat(-2.5f);
    be->WriteLong(-2);
    bank->Seek(0);
    EXPECT_EQ(be->ReadDouble(), 1234.5678);
    EXPECT_EQ(be->ReadFloat(), -2.5f);
    EXPECT_EQ(be->ReadLong(), -2);
    // The plain stream sees the reversed bytes.
    bank->Seek(0);
    double reversed;
    uint8_t bytes[8];
    const double value = 1234.5678;
    std::memcpy(bytes, &value, 8);
    TEndianStream::SwapBytes8(bytes);
    std::memcpy(&reversed, bytes, 8);
    EXPECT_EQ(bank->ReadDouble(), reversed);
}

TEST_F(EndianStreamTest, SwapHelpersReverseInPlace) {
    uint8_t b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TEndianStream::SwapBytes2(b);
    EXPECT_EQ(b[0], 2);
    EXPECT_EQ(b[1], 1);
    TEndianStream::SwapBytes4(b + 4);
    EXPECT_EQ(std::memcmp(b + 4, "\x08\x07\x06\x05", 4), 0);
    uint8_t c[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TEndianStream::SwapBytes8(c);
    EXPECT_EQ(std::memcmp(c, "\x08\x07\x06\x05\x04\x03\x02\x01", 8), 0);
}

TEST_F(EndianStreamTest, UrlsOpenAnyUrlInAByteOrder) {
    const std::string path = dir.Write("be.bin", std::string("\x00\x00\x01\x00", 4));
    Ref<TByteStream> plain = OpenReadStream(path);
    EXPECT_TRUE(DownCast<TFileStream>(plain));
    plain->Close();
    // littleendian:: gives the very stream, no wrapper.
    Ref<TByteStream> little = OpenReadStream(String("littleendian::") + String(path));
    EXPECT_TRUE(DownCast<TFileStream>(little));
    EXPECT_EQ(little->ReadInt(), 0x00010000);
    little->Close();
    Ref<TByteStream> big = OpenReadStream(String("bigendian::") + String(path));
    ASSERT_TRUE(DownCast<TEndianStream>(big));
    EXPECT_EQ(big->ReadInt(), 256);
    big->Close();
    // Nested protocols, and inner opens that fail.
    static const char kData[] = "\x00\x2A";
    RegisterEmbeddedData("endian-test", kData, 2);
    EXPECT_EQ(OpenReadStream("bigendian::incbin::endian-test")->ReadShort(), 42);
    EXPECT_FALSE(OpenReadStream("bigendian::nosuch::x"));
    EXPECT_FALSE(OpenReadStream(String("bigendian::") + String(dir.File("missing"))));
    EXPECT_FALSE(AsBigEndian(nullptr));
    EXPECT_FALSE(AsLittleEndian(nullptr));
}

TEST_F(EndianStreamTest, ClosingTheViewClosesTheFile) {
    Ref<TByteStream> file = OpenWriteStream(dir.File("closed.bin"));
    Ref<TByteStream> view = AsBigEndian(file);
    view->WriteInt(7);
    EXPECT_EQ(view->Pos(), 4);
    view->Close();
    EXPECT_EQ(DownCast<TFileStream>(file)->File(), nullptr);
    EXPECT_EQ(test::TempDir::Read(dir.File("closed.bin")), std::string("\0\0\0\x07", 4));
}

}  // namespace
}  // namespace korva
