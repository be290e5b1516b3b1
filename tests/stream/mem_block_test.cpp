// Banks, bank streams, memory streams and "incbin" URLs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "korvagl/korvagl.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

class MemBlockTest : public testing::Test {
protected:
    void SetUp() override {
        InitMemBlocks();
        InitMemBlockStreams();
        InitMemoryStreams();
    }
    test::TempDir dir;
};

TEST_F(MemBlockTest, AnEmptyBankGrowsThroughItsStream) {
    Ref<TMemBlock> bank = NewMemBlock(0);
    EXPECT_EQ(MemBlockData(bank), nullptr);
    EXPECT_EQ(MemBlockSize(bank), 0);
    EXPECT_EQ(MemBlockCapacity(bank), 0);
    Ref<TMemBlockStream> s = NewMemBlockStream(bank);
    s->WriteFully("0123456789", 10);
    EXPECT_EQ(bank->Size(), 10);
    EXPECT_EQ(bank->Capacity(), 10);
    // Negative sizes count as empty.
    EXPECT_EQ(NewMemBlock(-5)->Size(), 0);
    EXPECT_EQ(NewMemBlock(-5)->Capacity(), 0);
}

TEST_F(MemBlockTest, GrowthIsByHalfAndShrinkingKeepsTheMemory) {
    Ref<TMemBlock> bank = NewMemBlock(100);
    ResizeMemBlock(bank, 120);
    EXPECT_EQ(bank->Capacity(), 150);
    EXPECT_EQ(bank->Size(), 120);
    ResizeMemBlock(bank, 400);
    EXPECT_EQ(bank->Capacity(), 400);
    uint8_t* memory = bank->Buf();
    ResizeMemBlock(bank, 10);
    EXPECT_EQ(bank->Buf(), memory);
    EXPECT_EQ(bank->Capacity(), 400);
    EXPECT_EQ(bank->Size(), 10);
    ResizeMemBlock(bank, -1);
    EXPECT_EQ(bank->Size(), 0);
}

TEST_F(MemBlockTest, PeekAndPokeAreLittleEndianAtAnyOffset) {
    Ref<TMemBlock> bank = NewMemBlock(32);
    PokeShort(bank, 0, 0x12345);
    EXPECT_EQ(PeekByte(bank, 0), 0x45);
    EXPECT_EQ(PeekByte(bank, 1), 0x23);
    EXPECT_EQ(PeekShort(bank, 0), 0x2345);
    PokeByte(bank, 2, 0x1FF);
    EXPECT_EQ(PeekByte(bank, 2), 255);
    PokeShort(bank, 3, -1);
    EXPECT_EQ(PeekShort(bank, 3), 65535);
    PokeInt(bank, 5, -123456789);
    EXPECT_EQ(PeekInt(bank, 5), -123456789);
    PokeLong(bank, 9, -0x0102030405060708LL);
    EXPECT_EQ(PeekLong(bank, 9), -0x0102030405060708LL);
    PokeFloat(bank, 17, 3.25f);
    EXPECT_EQ(PeekFloat(bank, 17), 3.25f);
    PokeDouble(bank, 21, -1e300);
    EXPECT_EQ(PeekDouble(bank, 21), -1e300);
    EXPECT_EQ(PeekInt(bank, 28), PeekInt(bank, 28));  // the last whole int
}

TEST_F(MemBlockTest, AccessOutsideTheBankIsRefused) {
    Ref<TMemBlock> bank = NewMemBlock(8);
    EXPECT_THROW(PeekByte(bank, 8), TArrayIndexFault);
    EXPECT_THROW(PeekByte(bank, -1), TArrayIndexFault);
    EXPECT_THROW(PeekInt(bank, 5), TArrayIndexFault);
    EXPECT_THROW(PokeDouble(bank, 1, 0), TArrayIndexFault);
    EXPECT_THROW(PeekLong(bank, INT32_MAX), TArrayIndexFault);
    EXPECT_THROW(PeekByte(NewMemBlock(0), 0), TArrayIndexFault);
    EXPECT_THROW(CopyMemBlockBytes(bank, 4, bank, 0, 5), TArrayIndexFault);
    EXPECT_THROW(CopyMemBlockBytes(bank, 0, bank, -1, 2), TArrayIndexFault);
    EXPECT_THROW(FillMemBlock(bank, NewMemBlockStream(), 6, 4), TArrayIndexFault);
    EXPECT_THROW(PeekByte(Ref<TMemBlock>(), 0), TNullObjectFault);
}

TEST_F(MemBlockTest, CopyGoesUpwardsThroughOverlaps) {
    Ref<TMemBlock> bank = NewMemBlock(8);
    std::memcpy(bank->Buf(), "abcdefgh", 8);
    // Upwards by one within one bank repeats the first byte.
    CopyMemBlockBytes(bank, 0, bank, 1, 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bank->Buf()), 8), "aaaaaaah");
    std::memcpy(bank->Buf(), "abcdefgh", 8);
    CopyMemBlockBytes(bank, 2, bank, 0, 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bank->Buf()), 8), "cdefghgh");
    Ref<TMemBlock> other = NewMemBlock(3);
    CopyMemBlockBytes(bank, 5, other, 0, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(other->Buf()), 3), "hgh");
    EXPECT_EQ(CopyMemBlockBytes(bank, 0, other, 0, 0), 0);
}

TEST_F(MemBlockTest, ABankOverForeignMemoryNeverWritesOrFreesItWhenResized) {
    char memory[8] = {'f', 'o', 'r', 'e', 'i', 'g', 'n', '!'};
    Ref<TMemBlock> bank = NewMemBlockOver(memory, 8);
    EXPECT_EQ(bank->Capacity(), -1);
    EXPECT_EQ(bank->Buf(), reinterpret_cast<uint8_t*>(memory));
    ResizeMemBlock(bank, 12);
    EXPECT_NE(bank->Buf(), reinterpret_cast<uint8_t*>(memory));
    EXPECT_EQ(bank->Capacity(), 12);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bank->Buf()), 8), "foreign!");
    PokeByte(bank, 0, 'F');
    EXPECT_EQ(memory[0], 'f');
    // Shrinking a bank over foreign memory copies only what fits.
    Ref<TMemBlock> small = NewMemBlockOver(memory, 8);
    ResizeMemBlock(small, 3);
    EXPECT_EQ(small->Capacity(), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(small->Buf()), 3), "for");
    EXPECT_EQ(NewMemBlockOver(nullptr, 10)->Size(), 0);
}

TEST_F(MemBlockTest, BankStreamsClampSeeksAndGrowTheBank) {
    Ref<TMemBlock> bank = NewMemBlock(8);
    Ref<TMemBlockStream> s = NewMemBlockStream(bank);
    EXPECT_EQ(s->Seek(-5), 0);
    EXPECT_EQ(s->Seek(20), 8);
    EXPECT_EQ(s->Seek(6), 6);
    s->WriteFully("wxyz", 4);
    EXPECT_EQ(bank->Size(), 10);
    EXPECT_EQ(s->Pos(), 10);
    EXPECT_EQ(s->Eof(), 1);
    char buf[4];
    EXPECT_EQ(s->Read(buf, 4), 0);
    EXPECT_EQ(s->Read(buf, -1), 0);
    EXPECT_EQ(s->Write(buf, 0), 0);
    // A bank shrunk under its stream: reads give nothing, writes refuse.
    ResizeMemBlock(bank, 4);
    EXPECT_EQ(s->Read(buf, 4), 0);
    EXPECT_EQ(s->Write("a", 1), 0);
    // Closing changes nothing and keeps the bank.
    s->Seek(0);
    s->Close();
    EXPECT_EQ(s->ReadByte(), bank->PeekByte(0));
    EXPECT_EQ(NewMemBlockStream()->Size(), 0);
    EXPECT_TRUE(TMemBlockStream::Create(nullptr)->Bank());
}

TEST_F(MemBlockTest, BanksLoadAndSaveThroughUrls) {
    const std::string path = dir.Write("bank.bin", std::string("\x01\x02\x03\x04\x05", 5));
    Ref<TMemBlock> bank = ReadMemBlock(path);
    ASSERT_TRUE(bank);
    EXPECT_EQ(bank->Size(), 5);
    EXPECT_EQ(PeekInt(bank, 1), 0x05040302);
    EXPECT_EQ(WriteMemBlock(bank, dir.File("copy.bin")), 1);
    EXPECT_EQ(test::TempDir::Read(dir.File("copy.bin")), test::TempDir::Read(path));
    EXPECT_FALSE(ReadMemBlock(dir.File("missing")));
    EXPECT_EQ(WriteMemBlock(bank, dir.File("missing/dir/x.bin")), 0);
    EXPECT_EQ(NewMemBlock(0)->Save(dir.File("empty.bin")), 1);
    EXPECT_EQ(FileByteSize(dir.File("empty.bin")), 0);
    // From a stream object: read from where it stands, and left open.
    Ref<TByteStream> s = OpenReadStream(path);
    s->Skip(2);
    Ref<TMemBlock> tail = TMemBlock::Load(Ref<Object>(s));
    EXPECT_EQ(tail->Size(), 3);
    EXPECT_TRUE(DownCast<TFileStream>(s)->File());
    s->Close();
}

TEST_F(MemBlockTest, SavingABankReportsLostData) {
    Ref<TMemBlock> small = NewMemBlock(10);
    std::memset(small->Buf(), 'x', 10);
    EXPECT_EQ(WriteMemBlock(small, "/dev/full"), 0);  // fails only at the flush
    Ref<TMemBlock> large = NewMemBlock(1 << 20);
    EXPECT_EQ(WriteMemBlock(large, "/dev/full"), 0);  // fails while writing
    char memory[4];
    EXPECT_EQ(small->Save(Ref<Object>(NewMemoryStream(memory, 4, 0, 1))), 0);  // no room
}

TEST_F(MemBlockTest, FillAndDrainMoveBytesBetweenBankAndStream) {
    Ref<TMemBlock> bank = NewMemBlock(6);
    std::memset(bank->Buf(), '.', 6);
    Ref<TMemBlockStream> s = NewMemBlockStream();
    s->WriteText("abcd");
    s->Seek(0);
    EXPECT_EQ(FillMemBlock(bank, s, 1, 3), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bank->Buf()), 6), ".abc..");
    Ref<TMemBlockStream> out = NewMemBlockStream();
    EXPECT_EQ(DrainMemBlock(bank, out, 2, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out->Bank()->Buf()), 4), "bc..");
    EXPECT_EQ(DrainMemBlock(bank, out, 0, 0), 0);
}

TEST_F(MemBlockTest, MemoryStreamsHaveAFixedSizeAndPermissions) {
    char memory[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
    Ref<TMemoryStream> s = NewMemoryStream(memory, 6, 1, 1);
    EXPECT_EQ(s->Size(), 6);
    EXPECT_EQ(s->Seek(-1), 0);
    EXPECT_EQ(s->Seek(9), 6);
    s->Seek(4);
    EXPECT_EQ(s->Write("XYZ", 3), 2);  // never grows
    EXPECT_EQ(std::string(memory, 6), "abcdXY");
    EXPECT_EQ(s->Write("Z", 1), 0);
    EXPECT_THROW(s->WriteByte('Z'), TStreamWriteError);
    s->Seek(0);
    EXPECT_EQ(s->ReadText(6), "abcdXY");
    EXPECT_EQ(s->Eof(), 1);

    Ref<TMemoryStream> readOnly = NewMemoryStream(memory, 6, 1, 0);
    EXPECT_EQ(readOnly->Write("q", 1), 0);
    EXPECT_THROW(readOnly->WriteByte('q'), TStreamWriteError);
    Ref<TMemoryStream> writeOnly = NewMemoryStream(memory, 6, 0, 1);
    char buf[2];
    EXPECT_EQ(writeOnly->Read(buf, 2), 0);
    EXPECT_THROW(writeOnly->ReadByte(), TStreamReadError);
    EXPECT_EQ(NewMemoryStream(nullptr, 100, 1, 1)->Size(), 0);
}

TEST_F(MemBlockTest, IncbinOpensEmbeddedDataForReadingOnly) {
    static const char kFirst[] = "first";
    static const char kSecond[] = "second!";
    RegisterEmbeddedData("bank-test.bin", kFirst, 5);
    EXPECT_EQ(LoadText("incbin::bank-test.bin"), "first");
    RegisterEmbeddedData("bank-test.bin", kSecond, 7);
    Ref<TByteStream> s = OpenReadStream("incbin::bank-test.bin");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ReadText(7), "second!");
    EXPECT_EQ(s->Eof(), 1);
    EXPECT_FALSE(OpenReadStream("incbin::nosuch"));
    EXPECT_FALSE(OpenWriteStream("incbin::bank-test.bin"));
    EXPECT_FALSE(OpenStream("incbin::bank-test.bin", 1, 1));
    EXPECT_FALSE(OpenReadStream("INCBIN::bank-test.bin"));  // protocols are case-sensitive
}

}  // namespace
}  // namespace korva
