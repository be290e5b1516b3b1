// The stream core: typed operations, lines and text, proxies, URL dispatch
// and the opener registry, and the whole-stream helpers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "korvagl/korvagl.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

// A read-only stream over fixed bytes that hands out at most `chunk` bytes
// per Read, so the loops in ReadFully and friends must go round. It has no
// position, like a socket; it reaches its end after a Read that returns 0.
class TrickleStream : public TByteStream {
public:
    TrickleStream(std::string bytes, int32_t chunk) : bytes(std::move(bytes)), chunk(chunk) {}
    int32_t Eof() override { return ended; }
    int32_t Read(void* buf, int32_t count) override {
        ++reads;
        const int32_t n = std::min<int32_t>({count, chunk, static_cast<int32_t>(bytes.size() - at)});
        if (n <= 0) {
            ended = 1;
            return 0;
        }
        std::memcpy(buf, bytes.data() + at, static_cast<size_t>(n));
        at += static_cast<size_t>(n);
        return n;
    }
    std::string bytes;
    int32_t chunk;
    size_t at = 0;
    int32_t ended = 0;
    int reads = 0;
};

// Writes accept at most `room` bytes, then nothing.
class LimitedSink : public TByteStream {
public:
    explicit LimitedSink(size_t room) : room(room) {}
    int32_t Write(const void* buf, int32_t count) override {
        const int32_t n = std::min<int32_t>(count, static_cast<int32_t>(room - data.size()));
        data.append(static_cast<const char*>(buf), static_cast<size_t>(std::max(n, 0)));
        return std::max(n, 0);
    }
    size_t room;
    std::string data;
};

Ref<TMemBlockStream> BytesStream(const std::string& bytes) {
    Ref<TMemBlockStream> s = NewMemBlockStream();
    s->WriteFully(bytes.data(), static_cast<int32_t>(bytes.size()));
    s->Seek(0);
    return s;
}

std::string Content(const Ref<TMemBlockStream>& s) {
    return std::string(reinterpret_cast<const char*>(s->Bank()->Buf()), static_cast<size_t>(s->Bank()->Size()));
}

class StreamTest : public testing::Test {
protected:
    void SetUp() override {
        InitStreams();
        InitMemBlockStreams();
        InitMemoryStreams();
        InitEndianStreams();
        InitFileSystem();
        cwd = CurrentDirectory();
    }
    void TearDown() override { ChangeDirectory(cwd); }
    test::TempDir dir;
    String cwd;
};

TEST_F(StreamTest, RawDefaultsRaiseTheDocumentedTexts) {
    Ref<TByteStream> s = New<TByteStream>();
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_EQ(s->Eof(), 0);
    EXPECT_EQ(s->Seek(5), -1);
    EXPECT_EQ(s->Flush(), 0);
    EXPECT_EQ(s->Close(), 0);
    char byte = 0;
    try {
        s->Read(&byte, 1);
        FAIL();
    } catch (const TRuntimeError& e) {
        EXPECT_EQ(e.ToString(), "Stream is not readable");
    }
    try {
        s->WriteByte(1);
        FAIL();
    } catch (const TRuntimeError& e) {
        EXPECT_EQ(e.ToString(), "Stream is not writeable");
    }
    // Skip of a kind that cannot read says so, too.
    EXPECT_THROW(s->Skip(3), TRuntimeError);
}

TEST_F(StreamTest, StreamErrorsCarryTheirTexts) {
    EXPECT_EQ(TStreamReadError().ToString(), "Error reading from stream");
    EXPECT_EQ(TStreamWriteError().ToString(), "Error writing to stream");
    EXPECT_STREQ(TStreamWriteError().what(), "Error writing to stream");
    // The base has no text of its own: it formats like any object.
    const String bare = TStreamError().ToString();
    EXPECT_FALSE(bare.IsEmpty());
    EXPECT_NE(bare, "Error reading from stream");
}

TEST_F(StreamTest, TypedReadsAndWritesAreLittleEndian) {
    Ref<TMemBlockStream> s = NewMemBlockStream();
    s->WriteByte(0x1FF);
    s->WriteShort(0x12345);
    s->WriteInt(-2);
    s->WriteLong(0x0102030405060708LL);
    s->WriteFloat(1.5f);
    s->WriteDouble(-0.25);
    EXPECT_EQ(Content(s).substr(0, 7), std::string("\xFF\x45\x23\xFE\xFF\xFF\xFF", 7));
    EXPECT_EQ(s->Size(), 1 + 2 + 4 + 8 + 4 + 8);
    s->Seek(0);
    EXPECT_EQ(s->ReadByte(), 255);
    EXPECT_EQ(s->ReadShort(), 0x2345);
    EXPECT_EQ(s->ReadInt(), -2);
    EXPECT_EQ(s->ReadLong(), 0x0102030405060708LL);
    EXPECT_EQ(s->ReadFloat(), 1.5f);
    EXPECT_EQ(s->ReadDouble(), -0.25);
    EXPECT_EQ(s->Eof(), 1);
}

TEST_F(StreamTest, UnsignedShortAndByteAndMissingBytesReadAsZero) {
    EXPECT_EQ(BytesStream("\xFF\xFF")->ReadShort(), 65535);
    EXPECT_EQ(BytesStream("\xFF")->ReadByte(), 255);
    Ref<TByteStream> s = BytesStream("\x34\x12");
    EXPECT_EQ(s->ReadInt(), 0x1234);
    EXPECT_EQ(s->ReadInt(), 0);  // at the very end
    EXPECT_EQ(s->ReadDouble(), 0.0);
}

TEST_F(StreamTest, ReadFullyLoopsOverShortReadsAndStopsAtTheEnd) {
    Ref<TrickleStream> s = New<TrickleStream>("abcdefghij", 3);
    char buf[16] = {};
    EXPECT_EQ(s->ReadFully(buf, 7), 7);
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_EQ(s->reads, 3);
    // Three left, ten asked: a stream that only learns of its end from an
    // empty read (a socket) reports the shortfall.
    EXPECT_THROW(s->ReadFully(buf, 10), TStreamReadError);
    EXPECT_EQ(std::string(buf, 3), "hij");
    EXPECT_EQ(s->Eof(), 1);
    // One that knows its end stops there without an error.
    Ref<TByteStream> bank = BytesStream("xyz");
    EXPECT_EQ(bank->ReadFully(buf, 10), 10);
    EXPECT_EQ(std::string(buf, 3), "xyz");
    // Negative and zero counts move nothing.
    EXPECT_EQ(s->ReadFully(buf, -4), -4);
    EXPECT_EQ(s->Skip(-4), -4);
}

TEST_F(StreamTest, ReadFullyRaisesWhenAReadMovesNothingBeforeTheEnd) {
    // A memory stream that is not readable is never at its end here.
    char data[8] = {};
    Ref<TMemoryStream> s = NewMemoryStream(data, 8, 0, 1);
    char buf[4];
    EXPECT_THROW(s->ReadFully(buf, 4), TStreamReadError);
    EXPECT_THROW(s->ReadInt(), TStreamReadError);
    EXPECT_THROW(s->Skip(2), TStreamReadError);
}

TEST_F(StreamTest, WriteFullyLoopsAndRaisesWhenNothingMoves) {
    Ref<LimitedSink> sink = New<LimitedSink>(5);
    EXPECT_EQ(sink->WriteFully("abc", 3), 3);
    EXPECT_THROW(sink->WriteFully("defg", 4), TStreamWriteError);
    EXPECT_EQ(sink->data, "abcde");  // what moved stays moved
    EXPECT_EQ(sink->WriteFully("x", 0), 0);
}

TEST_F(StreamTest, SkipDropsBytesInChunksAndStopsAtTheEnd) {
    std::string bytes(5000, 'x');
    bytes += "END";
    Ref<TrickleStream> s = New<TrickleStream>(bytes, 100000);
    EXPECT_EQ(s->Skip(5000), 5000);
    EXPECT_EQ(s->reads, 5);  // at most 1024 bytes per read
    EXPECT_EQ(s->ReadText(3), "END");
    Ref<TByteStream> bank = BytesStream("abc");
    EXPECT_EQ(bank->Skip(10), 10);
    EXPECT_EQ(bank->Eof(), 1);
}

TEST_F(StreamTest, ReadLineStopsAtLfOrNulAndDropsEveryCr) {
    Ref<TByteStream> s = BytesStream(std::string("a\r\nb", 4));
    EXPECT_EQ(s->ReadLine(), "a");
    EXPECT_EQ(s->ReadLine(), "b");
    EXPECT_EQ(s->ReadLine(), "");
    EXPECT_EQ(BytesStream("a\rb\n")->ReadLine(), "ab");
    s = BytesStream(std::string("one\0two\n\n\xE9", 10));
    EXPECT_EQ(s->ReadLine(), "one");
    EXPECT_EQ(s->ReadLine(), "two");
    EXPECT_EQ(s->ReadLine(), "");
    EXPECT_EQ(s->ReadLine(), String(u"\u00E9"));  // bytes widen to U+0000..U+00FF
    EXPECT_EQ(s->Eof(), 1);
}

TEST_F(StreamTest, ReadLineReturnsALongLineWhole) {
    std::string line;
    for (int i = 0; i < 3000; ++i) line.push_back(static_cast<char>('a' + i % 26));
    Ref<TByteStream> s = BytesStream(line);
    EXPECT_EQ(s->ReadLine().ToBytes(), line);
    // Nothing past the line end is consumed, one byte at a time.
    Ref<TrickleStream> t = New<TrickleStream>("ab\nrest", 100);
    EXPECT_EQ(t->ReadLine(), "ab");
    EXPECT_EQ(t->at, 3u);
}

TEST_F(StreamTest, TextIsEightBitAndLinesEndWithCrLf) {
    Ref<TMemBlockStream> s = NewMemBlockStream();
    s->WriteLine(String(u"A\u0141"));  // U+0141 goes out as its low byte 0x41
    s->WriteText("x");
    EXPECT_EQ(Content(s), "AA\r\nx");
    s->Seek(0);
    try {
        s->ReadText(0);
        FAIL();
    } catch (const TRuntimeError& e) {
        EXPECT_EQ(e.ToString(), "Illegal String length");
    }
    EXPECT_THROW(s->ReadText(-1), TRuntimeError);
    s->Seek(4);
    EXPECT_EQ(s->ReadText(3), String(u"x\0\0", 3));
}

TEST_F(StreamTest, ProxiesForwardAndTheNonClosingOneKeepsTheStreamOpen) {
    const std::string path = dir.Write("p.bin", "hello");
    Ref<TByteStream> file = OpenReadStream(path);
    ASSERT_TRUE(file);
    Ref<TByteStream> wrapper = OpenStream(Ref<Object>(file), 0, 1);  // flags do not matter
    ASSERT_TRUE(DownCast<TNonClosingStream>(wrapper));
    EXPECT_EQ(wrapper->Size(), 5);
    EXPECT_EQ(wrapper->ReadByte(), 'h');
    EXPECT_EQ(file->Pos(), 1);
    wrapper->Close();
    EXPECT_EQ(file->ReadText(4), "ello");
    EXPECT_EQ(wrapper->Eof(), 1);
    // A plain proxy closes what it wraps, but only on Close.
    Ref<TProxyStream> proxy = New<TProxyStream>(file);
    proxy->Seek(0);
    EXPECT_EQ(proxy->Pos(), 0);
    proxy->Close();
    EXPECT_EQ(DownCast<TFileStream>(file)->File(), nullptr);
    // A proxy without an inner stream is the null object's business.
    EXPECT_THROW(New<TProxyStream>()->Read(nullptr, 1), TNullObjectFault);
}

TEST_F(StreamTest, OpenStreamDispatchesOnTheFirstDoubleColon) {
    EXPECT_FALSE(OpenStream("", 1, 0));
    EXPECT_FALSE(OpenStream("nosuch::x", 1, 0));
    EXPECT_FALSE(OpenStream(Ref<Object>(), 1, 0));
    EXPECT_FALSE(OpenStream(Ref<Object>(New<TMemBlock>()), 1, 0));
    // A protocol nobody serves is never tried as a file name.
    dir.Write("nosuch::x", "file");
    ChangeDirectory(dir.Path());
    EXPECT_FALSE(OpenStream("nosuch::x", 1, 0));
    // A boxed string is a URL.
    dir.Write("boxed.txt", "in a box");
    EXPECT_EQ(LoadText(Ref<Object>(BoxString(String(dir.File("boxed.txt"))))), "in a box");
}

// Takes over "incbin" and records what it was asked, with the rest of the URL.
class RecordingOpener : public TStreamOpener {
public:
    Ref<TByteStream> CreateStream(const String& protocol, const String& path, int32_t readable,
                                  int32_t writeable) override {
        asked = protocol + "|" + path + "|" + IntToString(readable) + IntToString(writeable);
        if (!active || protocol != "incbin") return nullptr;
        return BytesStream("taken over");
    }
    String asked;
    bool active = true;
};

TEST_F(StreamTest, OpenersAreAskedNewestFirstInInitialiserOrder) {
    InitKorvaGL();
    // The registry, newest first: http, tcp, byte order, incbin.
    std::vector<std::string> kinds;
    for (Ref<TStreamOpener> o = FirstStreamOpener(); o; o = o->Next()) {
        if (DownCast<THttpStreamOpener>(o)) kinds.push_back("http");
        else if (DownCast<TTcpStreamOpener>(o)) kinds.push_back("tcp");
        else if (DownCast<TEndianStreamOpener>(o)) kinds.push_back("endian");
        else if (DownCast<TMemoryStreamOpener>(o)) kinds.push_back("incbin");
    }
    const std::vector<std::string> expected = {"http", "tcp", "endian", "incbin"};
    ASSERT_GE(kinds.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(kinds.end() - 4, kinds.end()), expected);

    static const char kData[] = "embedded";
    RegisterEmbeddedData("order-test", kData, 8);
    EXPECT_EQ(LoadText("incbin::order-test"), "embedded");
    // A newer opener takes a protocol over; the path keeps further "::".
    Ref<RecordingOpener> newer = New<RecordingOpener>();
    EXPECT_EQ(FirstStreamOpener(), newer);
    EXPECT_EQ(LoadText("incbin::order-test"), "taken over");
    EXPECT_FALSE(OpenStream("other::a::b", 0, 1));
    EXPECT_EQ(newer->asked, "other|a::b|01");
    newer->active = false;  // openers stay registered; let the others work again
    EXPECT_EQ(LoadText("incbin::order-test"), "embedded");
}

TEST_F(StreamTest, LoadAndSaveWholeFiles) {
    for (size_t size : {size_t(0), size_t(1024), size_t(5000)}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7);
        const std::string path = dir.File("whole" + std::to_string(size));
        EXPECT_EQ(SaveBytes(ByteArray(bytes.begin(), bytes.end()), path), 1);
        EXPECT_EQ(test::TempDir::Read(path), bytes);
        const ByteArray back = LoadBytes(path);
        EXPECT_EQ(std::string(back.begin(), back.end()), bytes);
    }
    SaveText(String(u"caf\u00E9\r\n\u0141"), dir.File("t.txt"));
    EXPECT_EQ(test::TempDir::Read(dir.File("t.txt")), "caf\xE9\r\nA");
    EXPECT_EQ(LoadText(dir.File("t.txt")), String(u"caf\u00E9\r\nA"));
}

TEST_F(StreamTest, LoadBytesReadsStreamsWithoutASizeToTheirEnd) {
    std::string bytes(10000, 'q');
    Ref<TrickleStream> s = New<TrickleStream>(bytes, 777);
    EXPECT_EQ(LoadBytes(Ref<Object>(s)).size(), 10000u);
    // A stream given as an object is not closed.
    Ref<TMemBlockStream> bank = BytesStream("abc");
    EXPECT_EQ(LoadText(Ref<Object>(bank)), "abc");
    // A stream whose end never shows (not readable, never Eof) stops at the
    // first read that moves nothing instead of looping forever.
    char data[4] = {};
    EXPECT_TRUE(LoadBytes(Ref<Object>(NewMemoryStream(data, 4, 0, 0))).empty());
}

TEST_F(StreamTest, WholeFileHelpersFailSoftlyNamingTheFile) {
    const std::string missing = dir.File("missing/dir/x");
    const String notThere = "cannot open \"" + String(missing) + "\": No such file or directory";
    EXPECT_TRUE(LoadBytes(missing).empty());
    EXPECT_EQ(LastErrorText(), notThere);
    EXPECT_TRUE(LoadText("nosuch::x").IsEmpty());
    EXPECT_EQ(LastErrorText(), "cannot open \"nosuch::x\": unknown protocol \"nosuch\"");
    EXPECT_EQ(SaveBytes(ByteArray{1, 2}, missing), 0);
    EXPECT_EQ(LastErrorText(), notThere);
    EXPECT_EQ(SaveText("x", ""), 0);
    EXPECT_EQ(LastErrorText(), "cannot open \"\"");
    EXPECT_EQ(SaveText("42", "/proc/x"), 0);
    EXPECT_EQ(LastErrorText().Find("cannot open \"/proc/x\": "), 0) << LastErrorText();
    EXPECT_TRUE(LoadBytes(Ref<Object>()).empty());
    // A stream object that cannot read is a failed read, and stays open.
    Ref<LimitedSink> sink = New<LimitedSink>(10);
    EXPECT_TRUE(LoadText(Ref<Object>(sink)).IsEmpty());
    EXPECT_EQ(LastErrorText(), "cannot read the stream: Stream is not readable");
    EXPECT_EQ(SaveText("kept", Ref<Object>(sink)), 1);
    EXPECT_EQ(sink->data, "kept");
    // A success clears the reason: an empty file is no failure.
    EXPECT_EQ(SaveText("", dir.File("empty")), 1);
    EXPECT_EQ(LastErrorText(), "");
    EXPECT_TRUE(LoadText(dir.File("empty")).IsEmpty());
    EXPECT_EQ(LastErrorText(), "");
}

TEST_F(StreamTest, SavingNeverReportsSuccessForLostData) {
    // Small data sits in the file buffer until Close, large data fails at
    // once; both fail with the system's reason.
    const String full = "cannot write \"/dev/full\": No space left on device";
    EXPECT_EQ(SaveText("small", "/dev/full"), 0);
    EXPECT_EQ(LastErrorText(), full);
    EXPECT_EQ(SaveBytes(ByteArray(1 << 20, 7), "/dev/full"), 0);
    EXPECT_EQ(LastErrorText(), full);
    // Through a stream object the caller owns: the flush shows the failure.
    Ref<TByteStream> stream = OpenWriteStream("/dev/full");
    ASSERT_TRUE(stream);
    EXPECT_EQ(SaveText("small", Ref<Object>(stream)), 0);
    EXPECT_EQ(LastErrorText(), "cannot write the stream: No space left on device");
    EXPECT_EQ(stream->Close(), 0);  // Close itself reports nothing
    // A sink that stops taking bytes has no system reason.
    EXPECT_EQ(SaveBytes(ByteArray(20, 1), Ref<Object>(New<LimitedSink>(10))), 0);
    EXPECT_EQ(LastErrorText(), "cannot write the stream: Error writing to stream");
}

TEST_F(StreamTest, CopyToEndCopiesEverythingAndClosesNothing) {
    std::string bytes(100000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 + i / 256);
    const std::string from = dir.Write("from.bin", bytes);
    Ref<TByteStream> in = OpenReadStream(from);
    Ref<TByteStream> out = OpenWriteStream(dir.File("to.bin"));
    for (int32_t bufsize : {7, 0}) {
        in->Seek(0);
        out->Seek(0);
        CopyToEnd(in, out, bufsize);  // 0: the default size
        EXPECT_EQ(out->Pos(), 100000);
    }
    EXPECT_TRUE(DownCast<TFileStream>(in)->File());
    out->Close();
    EXPECT_EQ(test::TempDir::Read(dir.File("to.bin")), bytes);
    // From a stream that never reports its end: stops at the empty read.
    Ref<TMemBlockStream> sink = NewMemBlockStream();
    char data[4] = {};
    CopyToEnd(NewMemoryStream(data, 4, 0, 0), sink);
    EXPECT_EQ(sink->Size(), 0);
}

TEST_F(StreamTest, CopyCountWritesZerosWhereTheSourceEnds) {
    Ref<TMemBlockStream> sink = NewMemBlockStream();
    CopyCount(BytesStream("abcdefgh"), sink, 5, 3);
    EXPECT_EQ(Content(sink), "abcde");
    // Eight bytes asked of a five-byte source through a 4-byte buffer: the
    // second chunk must not repeat what the buffer held before.
    sink = NewMemBlockStream();
    CopyCount(BytesStream("12345"), sink, 11, 4);
    EXPECT_EQ(Content(sink), std::string("12345\0\0\0\0\0\0", 11));
    sink = NewMemBlockStream();
    CopyCount(BytesStream("12345"), sink, -3, 4);
    CopyCount(BytesStream("12345"), sink, 0, 4);
    EXPECT_EQ(sink->Size(), 0);
}

TEST_F(StreamTest, TheProceduralInterfaceCallsTheOperations) {
    Ref<TByteStream> s = NewMemBlockStream();
    WriteByte(s, 1);
    WriteShort(s, 2);
    WriteInt(s, 3);
    WriteLong(s, 4);
    WriteFloat(s, 5);
    WriteDouble(s, 6);
    WriteLine(s, "seven");
    WriteText(s, "8");
    WriteFully(s, "9", 1);
    EXPECT_EQ(Flush(s), 0);
    EXPECT_EQ(Pos(s), Size(s));
    EXPECT_EQ(Eof(s), 1);
    EXPECT_EQ(Seek(s, 0), 0);
    EXPECT_EQ(ReadByte(s), 1);
    EXPECT_EQ(ReadShort(s), 2);
    EXPECT_EQ(ReadInt(s), 3);
    EXPECT_EQ(ReadLong(s), 4);
    EXPECT_EQ(ReadFloat(s), 5);
    EXPECT_EQ(ReadDouble(s), 6);
    EXPECT_EQ(ReadLine(s), "seven");
    EXPECT_EQ(ReadText(s, 1), "8");
    char nine = 0;
    EXPECT_EQ(ReadFully(s, &nine, 1), 1);
    EXPECT_EQ(nine, '9');
    EXPECT_EQ(Skip(s, 4), 4);
    EXPECT_EQ(Close(s), 0);
    EXPECT_THROW(Eof(Ref<TByteStream>()), TNullObjectFault);
}

TEST_F(StreamTest, ResolvePathCaseFindsTheSpellingOnDisk) {
    MakeDirectory(dir.File("data"));
    dir.Write("data/readme.txt", "r");
    const String base = String(dir.Path());
    EXPECT_EQ(ResolvePathCase(base + "/DATA/Readme.TXT"), base + "/data/readme.txt");
    EXPECT_EQ(ResolvePathCase(base + "\\Data\\README.txt"), base + "/data/readme.txt");
    EXPECT_EQ(ResolvePathCase(base + "/data/readme.txt"), base + "/data/readme.txt");
    EXPECT_EQ(ResolvePathCase(base + "/nosuch/readme.txt"), "");
    EXPECT_EQ(ResolvePathCase(base + "/data/nosuch"), "");
    // Relative to the current directory, and one level below the root.
    ASSERT_EQ(ChangeDirectory(base), 1);
    EXPECT_EQ(ResolvePathCase("Data/README.TXT"), "data/readme.txt");
    EXPECT_EQ(ResolvePathCase("DATA"), "data");
    EXPECT_EQ(ResolvePathCase("/TMP"), "/tmp");
}

// Each failed open says why, per thread; a success clears the reason.
TEST(LastErrorTextTest, OpenersSayWhyAndSuccessClears) {
    InitKorvaGL();
    test::TempDir dir;
    const String missing(dir.File("missing.png"));
    EXPECT_EQ(OpenReadStream(missing), nullptr);
    EXPECT_EQ(LastErrorText(), "cannot open \"" + missing + "\": No such file or directory");
    EXPECT_EQ(OpenReadStream(String(dir.Path())), nullptr);
    EXPECT_EQ(LastErrorText(), "cannot open \"" + String(dir.Path()) + "\": Is a directory");
    EXPECT_EQ(OpenReadStream("nosuch::x"), nullptr);
    EXPECT_EQ(LastErrorText(), "cannot open \"nosuch::x\": unknown protocol \"nosuch\"");
    EXPECT_EQ(OpenReadStream("incbin::nosuch"), nullptr);
    EXPECT_EQ(LastErrorText(), "cannot open \"incbin::nosuch\": no embedded data of that name");
    EXPECT_EQ(OpenReadStream("tcp::127.0.0.1:1"), nullptr);  // nothing listens on port 1
    EXPECT_EQ(LastErrorText(), "tcp::127.0.0.1:1: Connection refused");
    EXPECT_EQ(ReadPixmap(String(dir.Write("junk.png", "not a picture"))), nullptr);
    EXPECT_EQ(LastErrorText(), "\"" + String(dir.File("junk.png")) + "\": no image decoder accepts this data");
    std::thread([] { EXPECT_TRUE(LastErrorText().IsEmpty()); }).join();
    Ref<TByteStream> found = OpenReadStream(String(dir.File("junk.png")));
    ASSERT_NE(found, nullptr);
    found->Close();
    EXPECT_TRUE(LastErrorText().IsEmpty());
}

// KORVAGL_LOG=1: each failure is also one line on standard error, however
// many layers (opener, decoder registry) it passed through.
TEST(LastErrorTextTest, LogWritesOneLinePerFailure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("KORVAGL_LOG", "1", 1);
            InitKorvaGL();
            ReadPixmap(String("/nonexistent/ship.png"));
            // A name cannot forge a line of its own or reach the terminal raw.
            ReadPixmap(String("/nonexistent/a\nKorvaGL: all checks passed\x1B[0m\\.png"));
            std::fflush(stderr);
            _exit(0);
        },
        ::testing::ExitedWithCode(0),
        "^KorvaGL: cannot open \"/nonexistent/ship.png\": No such file or directory\n"
        "KorvaGL: cannot open \"/nonexistent/a\\\\nKorvaGL: all checks passed\\\\x1B\\[0m\\\\\\\\.png\": "
        "No such file or directory\n$");
}

}  // namespace
}  // namespace korva
