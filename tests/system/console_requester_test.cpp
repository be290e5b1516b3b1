// The console requesters, each run in a child process with piped input.
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

struct Asked {
    std::string prompt;  // standard output
    std::string result;
};

Asked Ask(const std::string& what, const std::string& input, std::vector<std::string> environment = {}) {
    test::ChildOptions options;
    options.input = input;
    options.environment = std::move(environment);
    const auto child = test::RunChild(KORVAGL_REQUESTER_PROBE, {"requester_probe", what}, options);
    EXPECT_EQ(child.exitCode, 0) << child.err;
    const size_t at = child.err.rfind("result=");
    return {child.out, at == std::string::npos ? "<none>" : child.err.substr(at + 7)};
}

TEST(ConsoleRequesterTest, ShowNoticeWritesTheTextAndALineEnd) {
    EXPECT_EQ(Ask("notice", "").prompt, "Saved.\r\n");
}

TEST(ConsoleRequesterTest, AskYesNoTakesAnyAnswerStartingWithY) {
    EXPECT_EQ(Ask("yesno", "yes\n").prompt, "Delete it (Yes/No)?");
    EXPECT_EQ(Ask("yesno", "yes\n").result, "1");
    EXPECT_EQ(Ask("yesno", "Y\n").result, "1");
    EXPECT_EQ(Ask("yesno", "yup, no").result, "1");  // no line end before the input ends
    EXPECT_EQ(Ask("yesno", "no\n").result, "0");
    EXPECT_EQ(Ask("yesno", " yes\n").result, "0");
    EXPECT_EQ(Ask("yesno", "\n").result, "0");
    EXPECT_EQ(Ask("yesno", "").result, "0");  // end of input
}

TEST(ConsoleRequesterTest, AskYesNoCancelCancelsAnythingElse) {
    EXPECT_EQ(Ask("yesnocancel", "Yes\n").prompt, "Quit (Yes/No/Cancel)?");
    EXPECT_EQ(Ask("yesnocancel", "Yes\n").result, "1");
    EXPECT_EQ(Ask("yesnocancel", "No thanks\n").result, "0");
    EXPECT_EQ(Ask("yesnocancel", "N\n").result, "0");
    EXPECT_EQ(Ask("yesnocancel", "cancel\n").result, "-1");
    EXPECT_EQ(Ask("yesnocancel", "\n").result, "-1");
    EXPECT_EQ(Ask("yesnocancel", "").result, "-1");  // end of input
}

TEST(ConsoleRequesterTest, AskFileNameReturnsTheLine) {
    const Asked asked = Ask("filename", "pictures/a b.png\nrest\n");
    EXPECT_EQ(asked.prompt, "Enter a filename:");
    EXPECT_EQ(asked.result, "pictures/a b.png");
    EXPECT_EQ(Ask("filename", "").result, "");  // end of input
}

TEST(ConsoleRequesterTest, TheSDLDriverAsksOnTheConsoleWithoutZenity) {
    test::TempDir empty;
    const Asked asked = Ask("sdl-filename", "saved.png\n", {"PATH=" + empty.Path(), "SDL_VIDEODRIVER=dummy"});
    EXPECT_EQ(asked.prompt, "Enter a filename:");
    EXPECT_EQ(asked.result, "saved.png");
    // zenity on the PATH but no display named: the console again.
    const Asked headless = Ask("sdl-filename", "other.png\n", {"DISPLAY=", "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=dummy"});
    EXPECT_EQ(headless.result, "other.png");
}

}  // namespace
}  // namespace korva
