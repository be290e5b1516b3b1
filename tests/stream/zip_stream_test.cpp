// The "zip" opener: entries of archives that are files, embedded data or
// memory; folders through the file-system calls; hostile archives.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "korvagl/korvagl.h"
#include "support/temp_dir.h"
#include "support/zip_fixtures.h"

namespace korva {
namespace {

using test::ZipEntry;

std::string Text(const ByteArray& bytes) { return std::string(bytes.begin(), bytes.end()); }

class ZipStreamTest : public testing::Test {
protected:
    void SetUp() override {
        InitStreamUtilities();
        InitZipStreams();
    }
    // Writes an archive of `entries` as a file and gives its "zip::...|" prefix.
    std::string Archive(const std::vector<ZipEntry>& entries, const std::string& name = "a.zip") {
        return "zip::" + dir.Write(name, test::ZipArchive(entries)) + "|";
    }
    std::string Reason() { return LastErrorText().ToUtf8(); }
    test::TempDir dir;
};

TEST_F(ZipStreamTest, StoredAndDeflatedEntriesReadBack) {
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
    const std::string zip = Archive({{"plain.txt", "stored text"}, {"dir/big.bin", big, true}, {"empty", ""}});
    EXPECT_EQ(Text(LoadBytes(String(zip + "plain.txt"))), "stored text");
    EXPECT_EQ(Text(LoadBytes(String(zip + "dir/big.bin"))), big);
    EXPECT_EQ(Text(LoadBytes(String(zip + "empty"))), "");
    EXPECT_TRUE(LastErrorText().IsEmpty());
    // Both kinds have a position and seek.
    for (const char* name : {"plain.txt", "dir/big.bin"}) {
        Ref<TByteStream> s = OpenReadStream(String(zip + name));
        ASSERT_TRUE(s) << Reason();
        EXPECT_EQ(s->Pos(), 0);
        EXPECT_EQ(s->Seek(3), 3);
        char c = 0;
        EXPECT_EQ(s->Read(&c, 1), 1);
        EXPECT_EQ(c, name[0] == 'p' ? 'r' : big[3]);
        s->Close();
    }
    // Writing is refused.
    EXPECT_FALSE(OpenWriteStream(String(zip + "plain.txt")));
    EXPECT_NE(Reason().find("read-only"), std::string::npos) << Reason();
}

TEST_F(ZipStreamTest, ArchivesFromEmbeddedDataMemoryAndOtherArchives) {
    static const std::string bytes = test::ZipArchive({{"x.txt", "from memory", true}});
    RegisterEmbeddedData("zip-test-data", bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(Text(LoadBytes(String("zip::incbin::zip-test-data|x.txt"))), "from memory");
    // Nested: an archive stored inside another, and split at the last "|".
    const std::string outer = Archive({{"inner.zip", bytes}}, "outer.zip");
    EXPECT_EQ(Text(LoadBytes(String("zip::" + outer + "inner.zip|x.txt"))), "from memory") << Reason();
}

TEST_F(ZipStreamTest, NamesAreNormalisedAndNeverLeaveTheArchive) {
    const std::string zip = Archive({{"a\\b.txt", "backslash"},
                                     {"/abs.txt", "absolute"},
                                     {"../evil.txt", "dots"},
                                     {"./x/./y.txt", "dotted"}});
    EXPECT_EQ(Text(LoadBytes(String(zip + "a/b.txt"))), "backslash");
    EXPECT_EQ(Text(LoadBytes(String(zip + "a\\b.txt"))), "backslash");
    EXPECT_EQ(Text(LoadBytes(String(zip + "abs.txt"))), "absolute");
    EXPECT_EQ(Text(LoadBytes(String(zip + "x/y.txt"))), "dotted");
    // ".." names nothing, in the archive or in the request.
    dir.Write("evil.txt", "outside");
    for (const char* name : {"../evil.txt", "x/../../evil.txt", "", "/", "a\xC4\xAF"}) {
        EXPECT_TRUE(LoadBytes(String(zip + name)).empty()) << name;
        EXPECT_FALSE(LastErrorText().IsEmpty());
    }
    EXPECT_TRUE(LoadBytes(String(zip + String(u"\u012Fevil.txt").ToUtf8())).empty());
    EXPECT_TRUE(OpenReadStream(String(zip) + String(u"a\u012Fb.txt")) == nullptr);
    EXPECT_FALSE(OpenReadStream(String(zip + "missing")));
    EXPECT_NE(Reason().find("no entry \"missing\" in the archive"), std::string::npos) << Reason();
}

TEST_F(ZipStreamTest, FoldersThroughTheFileSystemCalls) {
    const std::string zip = Archive({{"maps/", ""}, {"maps/one.map", "1111"}, {"maps/deep/two.map", "22", true},
                                     {"top.txt", "t"}, {"../hidden", "h"}});
    EXPECT_EQ(FileKind(String(zip)), FILE_KIND_DIRECTORY);
    EXPECT_EQ(FileKind(String(zip + "maps")), FILE_KIND_DIRECTORY);
    EXPECT_EQ(FileKind(String(zip + "maps/deep/")), FILE_KIND_DIRECTORY);
    EXPECT_EQ(FileKind(String(zip + "maps/one.map")), FILE_KIND_FILE);
    EXPECT_EQ(FileKind(String(zip + "nothing")), FILE_KIND_NONE);
    EXPECT_EQ(FileByteSize(String(zip + "maps/one.map")), 4);
    EXPECT_EQ(FileByteSize(String(zip + "maps/deep/two.map")), 2);
    EXPECT_EQ(FileByteSize(String(zip + "maps")), -1);
    const StringArray top = ListDirectory(String(zip), 1);
    EXPECT_EQ(top, (StringArray{String("maps"), String("top.txt")}));
    const StringArray maps = ListDirectory(String(zip + "maps"), 0);
    EXPECT_EQ(maps, (StringArray{String("."), String(".."), String("one.map"), String("deep")}));
    EXPECT_TRUE(ListDirectory(String(zip + "top.txt"), 1).empty());
    EXPECT_TRUE(ListDirectory(String("zip::" + dir.File("none.zip") + "|"), 1).empty());
    EXPECT_EQ(FileKind(String("zip::" + dir.File("none.zip") + "|")), FILE_KIND_NONE);
}

TEST_F(ZipStreamTest, HostileArchivesStopWithAReason) {
    const auto refused = [&](const std::string& url, const std::string& reason) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(LoadBytes(String(url)).empty()) << url;
        EXPECT_NE(Reason().find(reason), std::string::npos) << Reason();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << url;
    };
    // 64 MiB of zeros (64 KiB deflated) claiming 1 KiB, and one claiming 1 GiB.
    const std::string zeros(64 << 20, '\0');
    std::string zip = Archive({{"bomb", zeros, true, 1024}, {"huge", zeros, true, int64_t{1} << 30}});
    refused(zip + "bomb", "inflates to more than its declared 1024 bytes");
    refused(zip + "huge", "entry of 1073741824 bytes is above the load limit of 268435456 bytes");
    // Two records sharing one entry's data fail libzip's consistency check.
    refused(Archive({{"a", "shared data"}, {"b", "other", false, -1, false, 0}}, "overlap.zip") + "a",
            "not a zip archive");
    refused(Archive({{"dup", "first"}, {"dup", "second"}}, "dup.zip") + "dup", "not a zip archive");
    // Sizes and checksums that lie.
    zip = Archive({{"short", "0123456789", true, 20},
                   {"crc", "checked", false, -1, true},
                   {"dcrc", "checked", true, -1, true}},
                  "lies.zip");
    refused(zip + "short", "fewer than its declared 20 bytes");
    refused(zip + "crc", "CRC-32 mismatch");
    refused(zip + "dcrc", "CRC-32 mismatch");
    refused(Archive({{"long", "0123456789", false, 1 << 20}}, "long.zip") + "long", "two sizes disagree");
    // Not archives at all.
    dir.Write("junk.zip", std::string(100, 'j'));
    refused("zip::" + dir.File("junk.zip") + "|x", "not a zip archive");
    refused("zip::" + dir.File("junk.zip"), "no \"|\" between the archive and the entry");
    refused("zip::" + dir.File("gone.zip") + "|x", "No such file or directory");
}

TEST_F(ZipStreamTest, LoadingRefusesAFifoAtOnceAndReadsPositionlessStreamsIntoMemory) {
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(OpenForLoading(String(fifo)));
    EXPECT_NE(Reason().find("not a regular file"), std::string::npos) << Reason();
    EXPECT_FALSE(ReadPixmap(String(fifo)));
    EXPECT_FALSE(OpenForLoading(String("zip::" + fifo + "|x")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(OpenForLoading(String("/dev/zero")));
    // A stream object without a position comes back in memory, with one.
    class Unpositioned : public TByteStream {
    public:
        int32_t Eof() override { return left == 0 ? 1 : 0; }
        int32_t Read(void* buf, int32_t count) override {
            const int32_t n = std::min(count, left);
            std::memset(buf, 'u', static_cast<size_t>(n));
            left -= n;
            return n;
        }
        int32_t left = 5;
    };
    Ref<TByteStream> s = OpenForLoading(Ref<Object>(New<Unpositioned>()));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 5);
}

}  // namespace
}  // namespace korva
