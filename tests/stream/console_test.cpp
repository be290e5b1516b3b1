// The console stream and functions, observed in a child process whose
// standard input and output are pipes.
#include <gtest/gtest.h>

#include <string>

#include "support/process.h"

namespace korva {
namespace {

test::ChildResult Probe(const std::string& what, const std::string& input = "") {
    test::ChildOptions options;
    options.input = input;
    return test::RunChild(KORVAGL_CONSOLE_PROBE, {"console_probe", what}, options);
}

TEST(ConsoleTest, PrintLineEndsLinesWithCrLf) {
    const auto result = Probe("printline");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "\r\nabC\r\n");
}

TEST(ConsoleTest, InputLineShowsThePromptAndDropsTheLineEnd) {
    const auto result = Probe("input", "Ada\r\nBob");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Name? Again? [Ada][Bob]");
}

TEST(ConsoleTest, ReadStdinLineTakesAtMost1023Bytes) {
    const std::string input = std::string(1500, 'x') + "\nshort\r\n";
    const auto result = Probe("stdinline", input);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // The rest of a long line comes with the next call; a CR is kept; the
    // end of input gives the empty string.
    EXPECT_EQ(result.out, "1023:xxxxx\n477:xxxxx\n6:short\n0:\n");
}

TEST(ConsoleTest, ClosingTheConsoleLeavesItUsable) {
    const auto result = Probe("close");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "still here\r\n");
}

TEST(ConsoleTest, TheEndOfInputIsSeenOnlyByReads) {
    auto result = Probe("readend", "ab");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Error reading from stream\n");
    result = Probe("partial", "par");
    EXPECT_EQ(result.out, "[par][]");
    result = Probe("all", std::string(5000, 'z'));
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.out, "5000 bytes\n");
}

TEST(ConsoleTest, StandardOutputAndErrorGetEveryByte) {
    const auto result = Probe("both");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "outstream");
    EXPECT_EQ(result.err, std::string("e\0r", 3));
}

}  // namespace
}  // namespace korva
