// The requesters of the SDL driver: message boxes (their mapping, and real
// boxes on a private X server answered with xdotool) and the file requester
// over zenity (a stub zenity that records its arguments).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <chrono>
#include <functional>
#include <thread>

#include "korvagl/korvagl.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"
#include "system/file_requester.h"
#include "system/message_box.h"

namespace korva {
namespace {

using namespace detail;

TEST(MessageBoxTest, CaptionsButtonsAndIcons) {
    const BoxSpec notice = DescribeBox(BoxKind::Notice, 0);
    EXPECT_STREQ(notice.caption, "Notify");
    EXPECT_FALSE(notice.warning);
    ASSERT_EQ(notice.buttons.size(), 1u);
    EXPECT_STREQ(notice.buttons[0].label, "OK");
    EXPECT_TRUE(notice.buttons[0].returnKey && notice.buttons[0].escapeKey);
    EXPECT_TRUE(DescribeBox(BoxKind::Notice, 1).warning);

    const BoxSpec confirm = DescribeBox(BoxKind::YesNo, 7);
    EXPECT_STREQ(confirm.caption, "Confirm");
    EXPECT_TRUE(confirm.warning);
    ASSERT_EQ(confirm.buttons.size(), 2u);
    EXPECT_EQ(confirm.buttons[0].id, kIdOk);
    EXPECT_STREQ(confirm.buttons[0].label, "OK");
    EXPECT_EQ(confirm.buttons[1].id, kIdCancel);
    EXPECT_STREQ(confirm.buttons[1].label, "Cancel");
    EXPECT_TRUE(confirm.buttons[1].escapeKey);

    const BoxSpec proceed = DescribeBox(BoxKind::YesNoCancel, 0);
    EXPECT_STREQ(proceed.caption, "Proceed");
    ASSERT_EQ(proceed.buttons.size(), 3u);
    EXPECT_EQ(proceed.buttons[0].id, kIdYes);
    EXPECT_EQ(proceed.buttons[1].id, kIdNo);
    EXPECT_EQ(proceed.buttons[2].id, kIdCancel);
    EXPECT_TRUE(proceed.buttons[0].returnKey);
    EXPECT_TRUE(proceed.buttons[2].escapeKey);
}

TEST(MessageBoxTest, ResultsOfEachButtonAndOfFailure) {
    EXPECT_EQ(BoxResult(BoxKind::YesNo, kIdOk), 1);
    EXPECT_EQ(BoxResult(BoxKind::YesNo, kIdCancel), 0);
    EXPECT_EQ(BoxResult(BoxKind::YesNo, -1), 0);
    EXPECT_EQ(BoxResult(BoxKind::YesNoCancel, kIdYes), 1);
    EXPECT_EQ(BoxResult(BoxKind::YesNoCancel, kIdNo), 0);
    EXPECT_EQ(BoxResult(BoxKind::YesNoCancel, kIdCancel), -1);
    EXPECT_EQ(BoxResult(BoxKind::YesNoCancel, -1), -1);
}

TEST(MessageBoxTest, WithoutADisplayABoxCountsAsNoOrCancel) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    InitSystemAPI();
    ShowNotice("nobody sees this", 1);
    EXPECT_EQ(AskYesNo("Really?"), 0);
    EXPECT_EQ(AskYesNoCancel("Really?"), -1);
}

// The id of the top-level window titled `caption`, waiting up to 10 s for it.
// (The box titles its window in UTF-8, which xdotool's search does not read.)
std::string FindWindow(const std::string& caption) {
    for (int i = 0; i < 200; ++i) {
        const auto list = test::RunChild("xwininfo", {"xwininfo", "-root", "-children"});
        const size_t at = list.out.find("\"" + caption + "\":");
        if (at != std::string::npos) {
            const size_t start = list.out.rfind("0x", at);
            return list.out.substr(start, list.out.find(' ', start) - start);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "";
}

// A real box on a private display, answered by a key press from xdotool.
int32_t AnswerBox(const char* caption, const char* key, const std::function<int32_t()>& ask) {
    std::thread answer([caption, key] {
        const std::string id = FindWindow(caption);
        EXPECT_FALSE(id.empty()) << caption;
        if (id.empty()) return;
        test::ChildOptions quick;
        quick.timeoutMs = 5000;
        test::RunChild("xdotool", {"xdotool", "windowfocus", "--sync", id}, quick);
        test::RunChild("xdotool", {"xdotool", "key", "--delay", "50", key}, quick);
    });
    const int32_t result = ask();
    answer.join();
    return result;
}

TEST(MessageBoxTest, RealBoxesAnswerWithTheirButtons) {
    std::string error;
    ASSERT_FALSE(test::UsePrivateDisplay(&error).empty()) << error;
    setenv("SDL_VIDEODRIVER", "x11", 1);
    InitSystemAPI();
    EXPECT_EQ(AnswerBox("Confirm", "Return", [] { return AskYesNo("Go on?"); }), 1);
    EXPECT_EQ(AnswerBox("Confirm", "Escape", [] { return AskYesNo("Go on?", 1); }), 0);
    EXPECT_EQ(AnswerBox("Proceed", "Return", [] { return AskYesNoCancel("Save first?"); }), 1);
    EXPECT_EQ(AnswerBox("Proceed", "Escape", [] { return AskYesNoCancel("Save first?"); }), -1);
    EXPECT_EQ(AnswerBox("Notify", "Return", [] {
                  ShowNotice("Done.");
                  return 5;
              }),
              5);
}

TEST(FileFilterTest, FilterTextsBecomeDescriptionPatternPairs) {
    using Pairs = std::vector<std::pair<String, String>>;
    EXPECT_EQ(ParseFileFilter("Image Files:png,jpg;Text:txt"),
              (Pairs{{"Image Files", "*.png;*.jpg"}, {"Text", "*.txt"}}));
    EXPECT_EQ(ParseFileFilter("png,jpg"), (Pairs{{"Files", "*.png;*.jpg"}}));
    EXPECT_EQ(ParseFileFilter("Images:png"), (Pairs{{"Images", "*.png"}}));
    EXPECT_EQ(ParseFileFilter(""), Pairs{});
    // An entry left without patterns is dropped, as the list form implies.
    EXPECT_EQ(ParseFileFilter("Images:png;Text"), (Pairs{{"Images", "*.png"}}));
    EXPECT_EQ(ParseFileFilter("a;b"), (Pairs{{"Files", "*.a"}}));
    EXPECT_EQ(ParseFileFilter("All:*"), (Pairs{{"All", "*.*"}}));
}

class ZenityTest : public ::testing::Test {
protected:
    void SetUp() override {
        log_ = dir_.File("arguments");
        const std::string script = dir_.Write("zenity",
            "#!/bin/sh\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + log_ + "\"\n"
            "printf '%s\\n' \"$ZENITY_PICK\"\n"
            "exit ${ZENITY_EXIT:-0}\n");
        chmod(script.c_str(), 0755);
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        setenv("PATH", (dir_.Path() + ":" + oldPath_).c_str(), 1);
        setenv("DISPLAY", ":999", 1);  // zenity needs a display named; the stub needs none
        setenv("ZENITY_PICK", "/home/me/pictures/caf\xC3\xA9.png", 1);
        unsetenv("ZENITY_EXIT");
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        InitSystemAPI();
    }
    void TearDown() override { setenv("PATH", oldPath_.c_str(), 1); }
    std::string Arguments() const { return test::TempDir::Read(log_); }

    test::TempDir dir_;
    std::string log_;
    std::string oldPath_;
};

TEST_F(ZenityTest, OpenAsksForAnExistingFileAndReturnsItsBytes) {
    const String chosen = AskFileName("Open Image", "Image Files:png,jpg;Text:txt", 0, "/data/x.png");
    EXPECT_EQ(chosen, String("/home/me/pictures/caf\xC3\xA9.png"));  // bytes widened, like every file name
    EXPECT_EQ(Arguments(),
              "--file-selection\n"
              "--title=Open Image\n"
              "--filename=/data/x.png\n"
              "--file-filter=Image Files | *.png *.jpg\n"
              "--file-filter=Text | *.txt\n");
}

TEST_F(ZenityTest, SaveAsksBeforeOverwriting) {
    AskFileName("Save", "png", 1, "");
    EXPECT_EQ(Arguments(),
              "--file-selection\n"
              "--title=Save\n"
              "--save\n"
              "--confirm-overwrite\n"
              "--file-filter=Files | *.png\n");
    AskFileName("", "", 0, "C:/data/x.png");  // the path goes as given
    EXPECT_EQ(Arguments(), "--file-selection\n--filename=C:/data/x.png\n");
}

TEST_F(ZenityTest, ASuggestedNameThatNamesNoFileIsRefused) {
    // U+012E U+012E U+012F would narrow to "../".
    EXPECT_EQ(AskFileName("Save", "", 1, String(u"\u012E\u012E\u012Fsettings.ini")), String());
    EXPECT_EQ(Arguments(), "");  // zenity did not run
    EXPECT_EQ(ZenityArguments("t", "", 0, String(u"\u012E\u012E\u012Fx")),
              (std::vector<std::string>{"zenity", "--file-selection", "--title=t"}));
}

TEST_F(ZenityTest, CancelOrFailureGivesTheEmptyString) {
    setenv("ZENITY_EXIT", "1", 1);
    EXPECT_EQ(AskFileName("Open", "", 0, ""), String());
    setenv("ZENITY_EXIT", "255", 1);
    EXPECT_EQ(AskFileName("Open", "", 0, ""), String());
}

TEST_F(ZenityTest, ADescriptionCannotBreakTheFilterSyntax) {
    AskFileName("t", "A|B:png", 0, "");
    EXPECT_NE(Arguments().find("--file-filter=A/B | *.png\n"), std::string::npos) << Arguments();
}

}  // namespace
}  // namespace korva
