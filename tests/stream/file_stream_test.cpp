// File streams: open modes, positions, closing, handles, and the line reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "korvagl/korvagl.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

class FileStreamTest : public testing::Test {
protected:
    void SetUp() override {
        InitStreams();
        InitFileSystem();
        cwd = CurrentDirectory();
    }
    void TearDown() override { ChangeDirectory(cwd); }
    test::TempDir dir;
    String cwd;
};

TEST_F(FileStreamTest, ModesFollowTheFlags) {
    const std::string path = dir.Write("m.bin", "content");
    // Both flags: the file must exist and keeps its content.
    EXPECT_FALSE(OpenStream(dir.File("missing"), 1, 1));
    Ref<TByteStream> both = OpenStream(path, 1, 1);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->Size(), 7);
    both->WriteText("C");
    both->Close();
    EXPECT_EQ(test::TempDir::Read(path), "Content");
    // Neither flag reads.
    Ref<TByteStream> none = OpenStream(path, 0, 0);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->ReadText(7), "Content");
    EXPECT_THROW(none->WriteByte(1), TStreamWriteError);
    none->Close();
    // Writing alone creates or truncates.
    Ref<TByteStream> write = OpenWriteStream(path);
    EXPECT_EQ(write->Size(), 0);
    write->Close();
    EXPECT_EQ(test::TempDir::Read(path), "");
    EXPECT_FALSE(OpenReadStream(dir.File("missing")));
    // A directory is no file, whatever the flags.
    EXPECT_FALSE(OpenReadStream(dir.Path()));
    EXPECT_FALSE(OpenStream(dir.Path(), 0, 0));
    EXPECT_TRUE(LoadBytes(dir.Path()).empty());
    EXPECT_EQ(LastErrorText(), "cannot open \"" + String(dir.Path()) + "\": Is a directory");
}

TEST_F(FileStreamTest, BackslashesBecomeSlashes) {
    ASSERT_EQ(ChangeDirectory(String(dir.Path())), 1);
    std::filesystem::create_directories(dir.File("C:/data"));
    dir.Write("C:/data/a.bin", "drive");
    EXPECT_EQ(LoadText("C:\\data\\a.bin"), "drive");
    // A NUL inside a path never opens another file.
    EXPECT_FALSE(OpenReadStream(String(u"C:/data/a.bin\0x", 15)));
}

TEST_F(FileStreamTest, WritingInsideKeepsTheSizeAndSeekReportsThePosition) {
    Ref<TByteStream> s = OpenWriteStream(dir.File("w.bin"));
    s->WriteFully("0123456789", 10);
    EXPECT_EQ(s->Seek(2), 2);
    s->WriteFully("abc", 3);
    EXPECT_EQ(s->Size(), 10);
    EXPECT_EQ(s->Pos(), 5);
    EXPECT_EQ(s->Eof(), 0);
    // A negative position leaves the position as it was.
    EXPECT_EQ(s->Seek(-3), 5);
    s->Close();
    EXPECT_EQ(test::TempDir::Read(dir.File("w.bin")), "01abc56789");
}

TEST_F(FileStreamTest, ReadingAndWritingTakeTurnsOnOneFile) {
    const std::string path = dir.Write("rw.bin", "abcdefgh");
    Ref<TByteStream> s = OpenStream(path, 1, 1);
    EXPECT_EQ(s->ReadText(2), "ab");
    s->WriteText("XY");
    EXPECT_EQ(s->Pos(), 4);
    EXPECT_EQ(s->ReadText(2), "ef");
    s->WriteText("0123");  // past the old end
    EXPECT_EQ(s->Size(), 10);
    EXPECT_EQ(s->Seek(0), 0);
    EXPECT_EQ(s->ReadLine(), "abXYef0123");
    s->Close();
}

TEST_F(FileStreamTest, AClosedStreamTouchesNoHandle) {
    const std::string path = dir.Write("c.txt", "line\n");
    Ref<TFileStream> s = TFileStream::OpenFile(String(path), 1, 1);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->File(), nullptr);
    char buf[4];
    EXPECT_EQ(s->Read(buf, 4), 0);
    EXPECT_EQ(s->Write("x", 1), 0);
    EXPECT_EQ(s->Seek(0), -1);
    EXPECT_EQ(s->Flush(), 0);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_EQ(s->Eof(), 1);
    EXPECT_EQ(s->ReadLine(), "");
    EXPECT_EQ(s->ReadInt(), 0);  // at its end: zero, no error
    EXPECT_THROW(s->WriteInt(1), TStreamWriteError);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(test::TempDir::Read(path), "line\n");
}

TEST_F(FileStreamTest, ADroppedStreamReleasesItsFileButAWrapperNever) {
    const int before = OpenDescriptors();
    {
        Ref<TByteStream> s = OpenWriteStream(dir.File("dropped.txt"));
        s->WriteText("kept");  // still in the buffer
        EXPECT_EQ(OpenDescriptors(), before + 1);
    }
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(test::TempDir::Read(dir.File("dropped.txt")), "kept");

    Ref<TByteStream> s = OpenReadStream(dir.File("dropped.txt"));
    {
        Ref<TByteStream> wrapper = TNonClosingStream::Create(s);
        Ref<TByteStream> view = AsBigEndian(s);
    }
    EXPECT_EQ(s->ReadText(4), "kept");
    EXPECT_EQ(OpenDescriptors(), before + 1);
    s->Close();
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(FileStreamTest, ReadLineGivesWhatTheByteByByteReaderGives) {
    // Random text rich in CR, LF and NUL, read by the file stream's own line
    // reader and by the generic one (through a proxy), line by line.
    std::mt19937 random(7);
    const char alphabet[] = {'a', 'b', '\r', '\n', '\0', '\xFF', ' ', '\t', '\x0E'};
    std::string bytes;
    for (int i = 0; i < 20000; ++i) bytes.push_back(alphabet[random() % sizeof alphabet]);
    bytes += std::string(5000, 'z');  // a long last line without an end
    const std::string path = dir.Write("lines.txt", bytes);
    Ref<TByteStream> fast = OpenReadStream(path);
    Ref<TByteStream> slow = New<TProxyStream>(OpenReadStream(path));
    int lines = 0;
    while (!fast->Eof()) {
        ASSERT_EQ(fast->ReadLine(), slow->ReadLine()) << "line " << lines;
        ASSERT_EQ(fast->Pos(), slow->Pos());
        ++lines;
    }
    EXPECT_EQ(slow->Eof(), 1);
    EXPECT_GT(lines, 1000);
    EXPECT_EQ(fast->ReadLine(), "");
    slow->Close();
    fast->Close();
}

TEST_F(FileStreamTest, AFileWithoutPositionReadsLikeASocket) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "piped\nbytes", 11), 11);
    close(fds[1]);
    Ref<TFileStream> s = TFileStream::FromFile(fdopen(fds[0], "rb"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_EQ(s->Eof(), 0);
    EXPECT_EQ(s->Seek(0), -1);
    EXPECT_EQ(s->ReadLine(), "piped");
    EXPECT_EQ(s->Pos(), -1);
    const ByteArray rest = LoadBytes(Ref<Object>(s));
    EXPECT_EQ(std::string(rest.begin(), rest.end()), "bytes");
    s->Close();
    EXPECT_FALSE(TFileStream::FromFile(nullptr));
}

TEST_F(FileStreamTest, SizesPastTwoGigabytesAreCapped) {
    const std::string path = dir.File("sparse.bin");
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        ASSERT_EQ(ftruncate(fileno(f), 3LL << 30), 0);
        std::fclose(f);
    }
    Ref<TByteStream> s = OpenReadStream(path);
    EXPECT_EQ(s->Size(), INT32_MAX);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Eof(), 0);
    EXPECT_EQ(s->ReadInt(), 0);
    s->Close();
}

TEST_F(FileStreamTest, CopyingBetweenFilesKeepsBothStreamsInStep) {
    std::string bytes;
    for (int i = 0; i < 10000; ++i) bytes.push_back(static_cast<char>('0' + i % 10));
    const std::string from = dir.Write("from.txt", bytes);
    Ref<TByteStream> in = OpenReadStream(from);
    EXPECT_EQ(in->ReadText(3), "012");  // the file buffer has read ahead
    Ref<TByteStream> out = OpenWriteStream(dir.File("to.txt"));
    out->WriteText("head:");  // still in the file buffer
    CopyToEnd(in, out);
    EXPECT_EQ(in->Pos(), 10000);
    EXPECT_EQ(in->Eof(), 1);
    EXPECT_EQ(out->Pos(), 5 + 9997);
    EXPECT_EQ(out->Size(), 5 + 9997);
    out->WriteText(":tail");
    out->Close();
    EXPECT_EQ(test::TempDir::Read(dir.File("to.txt")), "head:" + bytes.substr(3) + ":tail");
    EXPECT_EQ(in->Seek(5), 5);
    EXPECT_EQ(in->ReadText(2), "56");
    // At the end already: nothing to copy.
    in->Seek(10000);
    Ref<TByteStream> empty = OpenWriteStream(dir.File("empty.txt"));
    CopyToEnd(in, empty);
    EXPECT_EQ(empty->Size(), 0);
    empty->Close();
    // Where the kernel cannot copy, the buffer copy takes over and reports.
    Ref<TByteStream> readOnly = OpenReadStream(from);
    in->Seek(0);
    EXPECT_THROW(CopyToEnd(in, readOnly), TStreamWriteError);
    readOnly->Close();
    Ref<TByteStream> full = OpenWriteStream("/dev/full");
    in->Seek(0);
    EXPECT_THROW(CopyToEnd(in, full, 65536), TStreamWriteError);
    full->Close();
    in->Close();
}

TEST_F(FileStreamTest, SkipOnAWriteOnlyFileReportsTheFailedRead) {
    Ref<TByteStream> s = OpenWriteStream(dir.File("wo.bin"));
    s->WriteFully("abcdef", 6);
    s->Seek(0);
    EXPECT_THROW(s->Skip(3), TStreamReadError);
    s->Close();
}

}  // namespace
}  // namespace korva
