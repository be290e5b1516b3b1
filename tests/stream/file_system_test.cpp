// Files and directories, path text, random access and starting programs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
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

TEST_F(FileSystemTest, DeleteDirectoryStaysInsideATreeOfBackslashNames) {
    // "..\..\save\game.sav" is one name here; read as a path it leads out.
    MakeDirectory(Path("save"));
    MakeDirectory(Path("keep"));
    dir.Write("save/game.sav", "precious");
    dir.Write("keep/x", "precious");
    MakeDirectory(Path("mods"));
    MakeDirectory(Path("mods/evil"));
    dir.Write("mods/evil/..\\..\\save\\game.sav", "evil");
    ASSERT_EQ(mkdir(dir.File("mods/evil/..\\..\\keep").c_str(), 0777), 0);
    dir.Write("mods/evil/..\\..\\keep/x", "evil");
    EXPECT_EQ(DeleteDirectory(Path("mods/evil"), 1), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("mods/evil")));
    EXPECT_EQ(LoadText(Path("save/game.sav")), "precious");
    EXPECT_EQ(LoadText(Path("keep/x")), "precious");
}

TEST_F(FileSystemTest, DeleteDirectoryNeverEntersALinkGivenAsTheTop) {
    MakeDirectory(Path("victim"));
    dir.Write("victim/f", "f");
    MakeDirectory(Path("mods"));
    ASSERT_EQ(symlink("../victim", dir.File("mods/m1").c_str()), 0);
    for (const char* name : {"mods/m1", "mods/m1//", "mods/m1/."}) EXPECT_EQ(DeleteDirectory(Path(name), 1), 0) << name;
    EXPECT_EQ(DeleteDirectory(Path("mods/m1"), 0), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("mods/m1")));
    EXPECT_EQ(LoadText(Path("victim/f")), "f");
}

TEST_F(FileSystemTest, TextAboveByteUnitsNamesNoFile) {
    // U+012E U+012E U+012F narrow to "../": every call must refuse the text,
    // never reach what lies beside "root".
    MakeDirectory(Path("root"));
    MakeDirectory(Path("victim"));
    dir.Write("secret.txt", "secret");
    ASSERT_EQ(symlink("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", dir.File("font.ttf").c_str()), 0);
    const String up = Path("root/") + String(u"\u012E\u012E\u012F");
    const String secret = up + "secret.txt";
    const String refused = "cannot open " + detail::Quoted(secret) + ": not a valid file name";
    const int32_t mode = FilePermissions(Path("secret.txt"));
    EXPECT_FALSE(OpenStream(secret, 1, 1));
    EXPECT_EQ(LastErrorText(), refused);
    EXPECT_FALSE(ReadPixmap(secret));
    EXPECT_EQ(LastErrorText(), refused);
    EXPECT_FALSE(ReadPcmSample(secret));
    EXPECT_EQ(LastErrorText(), refused);
    EXPECT_FALSE(TFreeTypeFont::Load(up + "font.ttf", 16));
    EXPECT_EQ(LastErrorText(), "cannot open " + detail::Quoted(up + "font.ttf") + ": not a valid file name");
    EXPECT_EQ(FileKind(secret), FILE_KIND_NONE);
    EXPECT_EQ(FileByteSize(secret), -1);
    EXPECT_EQ(FileModifiedTime(secret), 0);
    EXPECT_EQ(FilePermissions(secret), -1);
    EXPECT_EQ(SetFilePermissions(secret, 0), -1);
    EXPECT_TRUE(ListDirectory(up, 0).empty());
    EXPECT_FALSE(OpenDirectory(up));
    EXPECT_EQ(ChangeDirectory(up), 0);
    EXPECT_EQ(ResolvePathCase(secret), "");
    EXPECT_EQ(AbsolutePath(secret), "");
    EXPECT_EQ(MakeEmptyFile(secret), 0);
    EXPECT_EQ(MakeDirectory(up + "made"), 0);
    EXPECT_EQ(RenamePath(secret, Path("moved")), 0);
    EXPECT_EQ(RenamePath(Path("secret.txt"), up + "moved"), 0);
    EXPECT_EQ(RemoveFile(secret), 0);
    EXPECT_EQ(DeleteDirectory(up + "victim", 0), 0);
    EXPECT_EQ(RunProgram(String(u"\u0174rue")), -1);  // would start "true"
    EXPECT_EQ(LoadText(Path("secret.txt")), "secret");
    EXPECT_EQ(FilePermissions(Path("secret.txt")), mode);
    EXPECT_EQ(FileKind(Path("victim")), FILE_KIND_DIRECTORY);
    EXPECT_EQ(ListDirectory(base, 1).size(), 4u);  // root, victim, secret.txt, font.ttf
}

// Sets an environment variable (or unsets it, for nullptr) until the end of
// the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST_F(FileSystemTest, UserDirectoriesFollowTheXdgRulesAndAreMadeOnFirstUse) {
    const std::string data = dir.File("data/home"), config = dir.File("config"), home = dir.File("me");
    ScopedEnv dataHome("XDG_DATA_HOME", (data + "/").c_str());
    ScopedEnv configHome("XDG_CONFIG_HOME", config.c_str());
    ScopedEnv homeDir("HOME", home.c_str());
    const String saves = UserDataDir("Breakout 2");
    EXPECT_EQ(saves, String(data + "/Breakout 2"));
    EXPECT_EQ(LastErrorText(), "");
    EXPECT_EQ(FilePermissions(saves), 0700);
    EXPECT_EQ(FilePermissions(String(dir.File("data"))), 0700);  // missing parents too
    EXPECT_EQ(SaveText("42", saves + "/highscore.txt"), 1);
    EXPECT_EQ(UserDataDir("Breakout 2"), saves);  // found again, content kept
    EXPECT_EQ(LoadText(saves + "/highscore.txt"), "42");
    EXPECT_EQ(UserConfigDir("Breakout 2"), String(config + "/Breakout 2"));
    EXPECT_EQ(FileKind(String(config + "/Breakout 2")), FILE_KIND_DIRECTORY);
    {
        // Unset or relative variables give the places under the home directory.
        ScopedEnv relative("XDG_DATA_HOME", "data");
        ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(UserDataDir("g"), String(home + "/.local/share/g"));
        EXPECT_EQ(UserConfigDir("g"), String(home + "/.config/g"));
        dir.Write("me/.local/share/taken", "a file");
        EXPECT_EQ(UserDataDir("taken"), "");
        EXPECT_EQ(LastErrorText(), "cannot make \"" + String(home) + "/.local/share/taken\": Not a directory");
    }
    // Names that would leave the base directory, or have no 8-bit form.
    for (const String& name : {String(""), String("."), String(".."), String("a/b"), String("..\\x"),
                               String(u"\u0141"), String(u"a\0b", 3)}) {
        EXPECT_EQ(UserDataDir(name), "");
        EXPECT_EQ(UserConfigDir(name), "");
        EXPECT_EQ(LastErrorText(), "no user directory for \"" + detail::Escaped(name) + "\": not a valid application name");
    }
    EXPECT_EQ(ListDirectory(String(data), 1).size(), 1u);  // nothing else was made
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

TEST_F(FileSystemTest, RunProgramRefusesAProgramNameItWouldCut) {
    // A program whose path is exactly 1023 bytes, nested to keep each name short.
    std::string name;
    for (int i = 0; i < 4; ++i) {
        name += std::string(200, 'd') + "/";
        ASSERT_EQ(MakeDirectory(Path(name)), 1);
    }
    name += std::string(1023 - dir.File(name).size(), 'p');
    const std::string program = dir.Write(name, "#!/bin/sh\nexit 7\n");
    ASSERT_EQ(program.size(), 1023u);
    chmod(program.c_str(), 0755);
    EXPECT_EQ(RunProgram(String(program)), 7);
    EXPECT_EQ(RunProgram(String(program + "x")), -1);
    EXPECT_EQ(RunProgram(String("\"" + program + "xyz\" arg")), -1);
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
