// Files and directories, path text, random access and starting programs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "korvagl/korvagl.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

class FileSystemTest : public testing::Test {
protected:
    void SetUp() override {
        InitFileSystem();
        cwd = CurrentDirectory();
        base = String(dir.Path());
    }
    void TearDown() override { ChangeDirectory(cwd); }
    String Path(const std::string& name) const { return String(dir.File(name)); }
    test::TempDir dir;
    String cwd;
    String base;
};

TEST_F(FileSystemTest, KindsSizesTimesAndPermissions) {
    dir.Write("f.txt", std::string(100, 'x'));
    EXPECT_EQ(FileKind(Path("f.txt")), FILE_KIND_FILE);
    EXPECT_EQ(FileKind(base), FILE_KIND_DIRECTORY);
    EXPECT_EQ(FileKind(Path("missing")), FILE_KIND_NONE);
    EXPECT_EQ(FileKind("/dev/null"), FILE_KIND_NONE);  // neither kind
    EXPECT_EQ(FileByteSize(Path("f.txt")), 100);
    EXPECT_EQ(FileByteSize(Path("missing")), -1);
    EXPECT_NEAR(FileModifiedTime(Path("f.txt")), time(nullptr), 60);
    EXPECT_EQ(FileModifiedTime(Path("missing")), 0);
    EXPECT_EQ(SetFilePermissions(Path("f.txt"), 0640), 0);
    EXPECT_EQ(FilePermissions(Path("f.txt")), 0640);
    EXPECT_EQ(FilePermissions(Path("missing")), -1);
    EXPECT_EQ(SetFilePermissions(Path("missing"), 0640), -1);
    // Backslashes work as separators everywhere.
    EXPECT_EQ(FileKind(base + "\\f.txt"), FILE_KIND_FILE);
    EXPECT_EQ(FileKind(String(u"/tmp\0/x", 7)), FILE_KIND_NONE);
}

TEST_F(FileSystemTest, MakeEmptyFileReplacesAFileButNeverADirectory) {
    dir.Write("full.txt", std::string(100, 'x'));
    EXPECT_EQ(MakeEmptyFile(Path("full.txt")), 1);
    EXPECT_EQ(FileByteSize(Path("full.txt")), 0);
    EXPECT_EQ(MakeEmptyFile(Path("new.txt")), 1);
    EXPECT_EQ(MakeEmptyFile(Path("missing/new.txt")), 0);
    ASSERT_EQ(MakeDirectory(Path("empty")), 1);
    EXPECT_EQ(MakeEmptyFile(Path("empty")), 0);
    EXPECT_EQ(FileKind(Path("empty")), FILE_KIND_DIRECTORY);
}

TEST_F(FileSystemTest, MakeRemoveAndRename) {
    EXPECT_EQ(MakeDirectory(Path("a/b/c")), 0);  // one level only
    EXPECT_EQ(FileKind(Path("a")), FILE_KIND_NONE);
    EXPECT_EQ(MakeDirectory(Path("a")), 1);
    EXPECT_EQ(MakeDirectory(Path("a")), 1);  // already there
    dir.Write("a/f", "f");
    EXPECT_EQ(RemoveFile(Path("a/f")), 1);
    EXPECT_EQ(RemoveFile(Path("a/f")), 1);  // nothing there afterwards
    EXPECT_EQ(RemoveFile(Path("a")), 0);    // a directory is not a file
    EXPECT_EQ(FileKind(Path("a")), FILE_KIND_DIRECTORY);
    dir.Write("from", "moved");
    dir.Write("to", "old");
    EXPECT_EQ(RenamePath(Path("from"), Path("to")), 1);
    EXPECT_EQ(LoadText(Path("to")), "moved");
    EXPECT_EQ(RenamePath(Path("from"), Path("to")), 0);
}

TEST_F(FileSystemTest, DeleteDirectoryRecursesOnlyWhenAsked) {
    MakeDirectory(Path("tree"));
    MakeDirectory(Path("tree/sub"));
    MakeDirectory(Path("tree/sub/deeper"));
    dir.Write("tree/a", "a");
    dir.Write("tree/sub/b", "b");
    dir.Write("tree/sub/deeper/c", "c");
    // A link inside the tree goes, what it points to stays.
    MakeDirectory(Path("outside"));
    dir.Write("outside/keep", "keep");
    ASSERT_EQ(symlink(dir.File("outside").c_str(), dir.File("tree/sub/link").c_str()), 0);
    EXPECT_EQ(DeleteDirectory(Path("tree"), 0), 0);
    EXPECT_EQ(FileKind(Path("tree/sub/b")), FILE_KIND_FILE);
    EXPECT_EQ(DeleteDirectory(Path("tree/"), 1), 1);  // a trailing "/" makes no difference
    EXPECT_FALSE(std::filesystem::exists(dir.File("tree")));
    EXPECT_EQ(LoadText(Path("outside/keep")), "keep");
    EXPECT_EQ(DeleteDirectory(Path("missing"), 1), 0);
    MakeDirectory(Path("plain"));
    EXPECT_EQ(DeleteDirectory(base + "\\plain", 0), 1);
}

TEST_F(FileSystemTest, ListingsGiveEveryNameOnce) {
    MakeDirectory(Path("many"));
    for (int i = 0; i < 250; ++i) MakeEmptyFile(Path("many/f" + std::to_string(i)));
    StringArray names = ListDirectory(Path("many"), 1);
    EXPECT_EQ(names.size(), 250u);
    EXPECT_EQ(std::count(names.begin(), names.end(), String("f249")), 1);
    EXPECT_EQ(ListDirectory(Path("many"), 0).size(), 252u);
    EXPECT_TRUE(ListDirectory(Path("missing"), 1).empty());

    Ref<TDirectoryListing> listing = OpenDirectory(Path("many"));
    ASSERT_TRUE(listing);
    int count = 0;
    while (!NextDirectoryEntry(listing).IsEmpty()) ++count;
    EXPECT_EQ(count, 252);
    EXPECT_EQ(NextDirectoryEntry(listing), "");
    EXPECT_EQ(CloseDirectory(listing), 0);
    EXPECT_EQ(NextDirectoryEntry(listing), "");  // closed: nothing more
    EXPECT_FALSE(OpenDirectory(Path("missing")));
    EXPECT_THROW(NextDirectoryEntry(nullptr), TNullObjectFault);
}

TEST_F(FileSystemTest, CurrentDirectoryFollowsChangeDirectory) {
    ASSERT_EQ(ChangeDirectory(base), 1);
    EXPECT_EQ(CurrentDirectory(), String(std::filesystem::canonical(dir.Path()).string()));
    EXPECT_EQ(ChangeDirectory(Path("missing")), 0);
    // A directory deeper than 1024 bytes still comes back whole.
    std::string deep = dir.Path();
    for (int i = 0; i < 12; ++i) {
        deep += "/" + std::string(100, static_cast<char>('a' + i));
        ASSERT_EQ(MakeDirectory(String(deep)), 1);
    }
    ASSERT_EQ(ChangeDirectory(String(deep)), 1);
    EXPECT_EQ(CurrentDirectory(), String(std::filesystem::canonical(deep).string()));
}

TEST_F(FileSystemTest, AbsolutePathResolvesDotsAndDrives) {
    MakeDirectory(Path("work"));
    ASSERT_EQ(ChangeDirectory(Path("work")), 1);
    const String work = CurrentDirectory();
    const String parent = DirectoryPart(work);
    EXPECT_EQ(AbsolutePath("a/b"), work + "/a/b");
    EXPECT_EQ(AbsolutePath("a\\.\\b/"), work + "/a/b");
    EXPECT_EQ(AbsolutePath(""), work);
    EXPECT_EQ(AbsolutePath("../x"), parent + "/x");
    EXPECT_EQ(AbsolutePath("/x/./y"), "/x/y");
    EXPECT_EQ(AbsolutePath("/x/.."), "/");
    EXPECT_EQ(AbsolutePath("/.."), "");  // nothing above the top
    EXPECT_EQ(AbsolutePath("/"), "/");
    EXPECT_EQ(AbsolutePath("D:z"), "D:/z");
    EXPECT_EQ(AbsolutePath("C:"), "C:/");
    EXPECT_EQ(AbsolutePath("C:/foo/../bar"), "C:/bar");
    EXPECT_EQ(AbsolutePath("C:\\foo"), "C:/foo");
    EXPECT_EQ(AbsolutePath("C:.."), "");
    int depth = 0;
    for (const char16_t c : work.View()) depth += c == u'/';
    std::string up;
    for (int i = 0; i <= depth; ++i) up += "../";
    EXPECT_EQ(AbsolutePath(String(up)), "");
}

TEST_F(FileSystemTest, PathsSplitIntoTheirParts) {
    EXPECT_EQ(NormaliseSlashes("a\\b\\c"), "a/b/c");
    EXPECT_EQ(FileNamePart("C:\\data\\x.png"), "x.png");
    EXPECT_EQ(FileNamePart("plain"), "plain");
    EXPECT_EQ(FileNamePart("dir/"), "");
    EXPECT_EQ(WithoutExtension("docs.old/readme"), "docs.old/readme");
    EXPECT_EQ(WithoutExtension("a/b.tar.gz"), "a/b.tar");
    EXPECT_EQ(ExtensionPart("archive.tar.gz"), "gz");
    EXPECT_EQ(ExtensionPart("docs.old/readme"), "");
    EXPECT_EQ(ExtensionPart("trailing."), "");
    EXPECT_EQ(BaseName("C:\\data\\x.png"), "x");
    EXPECT_EQ(BaseName("noext"), "noext");
    EXPECT_EQ(WithoutTrailingSlash("/"), "");
    EXPECT_EQ(WithoutTrailingSlash("a\\b\\"), "a/b");
    EXPECT_EQ(WithoutTrailingSlash("a//"), "a/");
    EXPECT_EQ(DirectoryPart("a\\b\\c.txt"), "a/b");
    EXPECT_EQ(DirectoryPart("c.txt"), "");
    EXPECT_EQ(DirectoryPart("/c.txt"), "");
}

TEST_F(FileSystemTest, RandomAccessKeepsSeekableStreams) {
    dir.Write("ra.bin", "random");
    Ref<TByteStream> s = OpenRandomAccessRead(Path("ra.bin"));
    ASSERT_TRUE(DownCast<TFileStream>(s));
    EXPECT_EQ(s->Seek(3), 3);
    EXPECT_EQ(s->ReadText(3), "dom");
    EXPECT_EQ(CloseRandomAccess(s), 0);
    EXPECT_FALSE(OpenRandomAccessRead(Path("missing")));
    Ref<TByteStream> w = OpenRandomAccessWrite(Path("ra2.bin"));
    ASSERT_TRUE(DownCast<TFileStream>(w));
    w->WriteText("xy");
    CloseRandomAccess(w);
    EXPECT_EQ(LoadText(Path("ra2.bin")), "xy");
}

TEST_F(FileSystemTest, RandomAccessCopiesAStreamWithoutPosition) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "from a pipe", 11), 11);
    close(fds[1]);
    Ref<TFileStream> pipe = TFileStream::FromFile(fdopen(fds[0], "rb"));
    Ref<TByteStream> s = OpenRandomAccess(Ref<Object>(pipe), 1, 1);
    ASSERT_TRUE(DownCast<TMemBlockStream>(s));
    EXPECT_EQ(s->Size(), 11);
    EXPECT_EQ(s->Seek(7), 7);
    EXPECT_EQ(s->ReadText(4), "pipe");
    pipe->Close();
}

// A script that writes its arguments, one per line in brackets, to a file.
std::string ArgumentWriter(const test::TempDir& dir, const std::string& name) {
    const std::string path = dir.Write(name, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$OUT\"\n");
    chmod(path.c_str(), 0755);
    return path;
}

TEST_F(FileSystemTest, RunProgramWaitsAndReturnsTheExitStatus) {
    EXPECT_EQ(RunProgram("sh -c \"exit 3\""), 3);
    EXPECT_EQ(RunProgram("  true"), 0);
    EXPECT_EQ(RunProgram("false"), 1);
    EXPECT_EQ(RunProgram("sh -c \"kill -TERM $$\""), 128 + 15);
    EXPECT_EQ(RunProgram("no-such-program-anywhere"), -1);
    EXPECT_EQ(RunProgram(""), -1);
    EXPECT_EQ(RunProgram("   "), -1);
    EXPECT_EQ(RunProgram(String(dir.File("missing"))), -1);
}

TEST_F(FileSystemTest, RunProgramSplitsArgumentsWithoutAShell) {
    MakeDirectory(Path("with space"));
    const std::string program = ArgumentWriter(dir, "with space/args");
    const std::string out = dir.File("args.txt");
    setenv("OUT", out.c_str(), 1);
    const std::string command = "\"" + program + "\"" +
                                " plain \"two words\" a\\\"b c\\\\\"d e\" f\\\\g \"x\"\"y\" $HOME;ls '' ``";
    EXPECT_EQ(RunProgram(String(command)), 0);
    EXPECT_EQ(test::TempDir::Read(out),
              "[plain]\n[two words]\n[a\"b]\n[c\\d e]\n[f\\\\g]\n[x\"y]\n[$HOME;ls]\n['']\n[``]\n");
    // An unquoted name runs to the first space; a quote without its pair
    // takes the rest of the line.
    ASSERT_EQ(ChangeDirectory(Path("with space")), 1);
    EXPECT_EQ(RunProgram("./args one"), 0);
    EXPECT_EQ(test::TempDir::Read(out), "[one]\n");
    EXPECT_EQ(RunProgram("\"./args"), 0);
    EXPECT_EQ(test::TempDir::Read(out), "");
    unsetenv("OUT");
}

}  // namespace
}  // namespace korva
