// String helpers: 1-based positions, clamping, padding and number texts.
#include <gtest/gtest.h>

#include "korvagl/app/faults.h"
#include "korvagl/util/string_helpers.h"

namespace korva {
namespace {

class StringHelpersTest : public testing::Test {
protected:
    void SetUp() override { InitStringHelpers(); }
    const String abcdef{"ABCDEF"};
};

TEST_F(StringHelpersTest, MidText) {
    EXPECT_EQ(MidText(abcdef, 2, 3), String("BCD"));
    EXPECT_EQ(MidText(abcdef, 2, -1), String("BCDEF"));
    EXPECT_EQ(MidText(abcdef, 0, 3), String("AB"));
    EXPECT_EQ(MidText(abcdef, 7, 3), String());
    EXPECT_EQ(MidText(abcdef, 6, 1), String("F"));
    EXPECT_EQ(MidText(abcdef, 5, 100), String("EF"));
    EXPECT_EQ(MidText(abcdef, -2, 3), String());
    // The rest of the text from a position before 1: those positions read as spaces.
    EXPECT_EQ(MidText(abcdef, 0, -1), String(" ABCDEF"));
    EXPECT_EQ(MidText(String("ABC"), -1, -5), String("  ABC"));
    EXPECT_EQ(MidText(abcdef, -5, -1), String("      ABCDEF"));
    EXPECT_THROW(MidText(abcdef, INT32_MIN, -1), TRuntimeError);  // longer than a String can be
    // Extreme arguments clamp instead of wrapping.
    EXPECT_EQ(MidText(abcdef, INT32_MIN, 0), String());
    EXPECT_EQ(MidText(abcdef, INT32_MIN, INT32_MAX), String());
    EXPECT_EQ(MidText(abcdef, 3, INT32_MAX), String("CDEF"));
    EXPECT_EQ(MidText(abcdef, INT32_MAX, 1), String());
    EXPECT_EQ(MidText(String(), 1, 1), String());
}

TEST_F(StringHelpersTest, LeftRightAndPadding) {
    const String abc("ABC");
    EXPECT_EQ(LeftText(abc, 5), abc);
    EXPECT_EQ(LeftText(abc, 2), String("AB"));
    EXPECT_EQ(LeftText(abc, -1), String());
    EXPECT_EQ(RightText(abc, 5), abc);
    EXPECT_EQ(RightText(abc, 2), String("BC"));
    EXPECT_EQ(RightText(abc, 0), String());
    EXPECT_EQ(RightText(abc, INT32_MIN), String());
    EXPECT_EQ(PadRight(abc, 5), String("ABC  "));
    EXPECT_EQ(PadRight(abc, 2), String("AB"));
    EXPECT_EQ(PadLeft(abc, 5), String("  ABC"));
    EXPECT_EQ(PadLeft(String("ABCDE"), 2), String("DE"));
    EXPECT_EQ(PadLeft(abc, 0), String());
    EXPECT_EQ(PadLeft(abc, INT32_MIN), String());
}

TEST_F(StringHelpersTest, FindText) {
    const String hello("hello");
    EXPECT_EQ(FindText(hello, "l", 1), 3);
    EXPECT_EQ(FindText(hello, "l", 4), 4);
    EXPECT_EQ(FindText(hello, "z", 1), 0);
    EXPECT_EQ(FindText(hello, "h"), 1);
    // Starts below 1 search from the first unit.
    EXPECT_EQ(FindText(hello, "h", 0), 1);
    EXPECT_EQ(FindText(hello, "h", INT32_MIN), 1);
    EXPECT_EQ(FindText(hello, "o", 6), 0);
    EXPECT_EQ(FindText(hello, "o", INT32_MAX), 0);
}

TEST_F(StringHelpersTest, ReplaceAndTrim) {
    const String text("a-b-c");
    EXPECT_EQ(ReplaceText(text, "-", "+="), String("a+=b+=c"));
    EXPECT_EQ(ReplaceText(String("aaa"), "aa", "b"), String("ba"));
    EXPECT_TRUE(ReplaceText(text, "", "x").SameText(text));
    EXPECT_TRUE(ReplaceText(text, "z", "x").SameText(text));

    EXPECT_EQ(TrimText(String("\t x\n")), String("x"));
    EXPECT_EQ(TrimText(String(std::string("\0a b\x1F", 5))), String("a b"));
    EXPECT_EQ(TrimText(String(" \r\n")), String());
    const String clean("x y");
    EXPECT_TRUE(TrimText(clean).SameText(clean));
    // U+00A0 is above U+0020 and stays.
    EXPECT_EQ(TrimText(String(u"\u00A0x")), String(u"\u00A0x"));
}

TEST_F(StringHelpersTest, CaseOnlyForAsciiLetters) {
    EXPECT_EQ(UpperText(String(u"ab\u00E9z@[`{")), String(u"AB\u00E9Z@[`{"));
    EXPECT_EQ(LowerText(String(u"AB\u00C9Z@[`{")), String(u"ab\u00C9z@[`{"));
    const String digits("123");
    EXPECT_TRUE(UpperText(digits).SameText(digits));
}

TEST_F(StringHelpersTest, NumberTexts) {
    EXPECT_EQ(HexText(255), String("000000FF"));
    EXPECT_EQ(HexText(-1), String("FFFFFFFF"));
    EXPECT_EQ(HexText(INT32_MIN), String("80000000"));
    EXPECT_EQ(HexText(0x12ABCDEF), String("12ABCDEF"));
    EXPECT_EQ(BinText(5), String(std::string(29, '0') + "101"));
    EXPECT_EQ(BinText(-1), String(std::string(32, '1')));
    EXPECT_EQ(LongHexText(int64_t{1} << 32), String("0000000100000000"));
    EXPECT_EQ(LongHexText(-2), String("FFFFFFFFFFFFFFFE"));
    EXPECT_EQ(LongBinText(int64_t{1} << 32), String(std::string(31, '0') + "1" + std::string(32, '0')));
    EXPECT_EQ(LongBinText(INT64_MIN), String("1" + std::string(63, '0')));
}

}  // namespace
}  // namespace korva
