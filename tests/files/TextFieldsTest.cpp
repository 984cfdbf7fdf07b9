#include "files/TextFields.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace korvex {
namespace {

TEST(ParseNumber, DecimalAndHexWithStrtolRules)
{
    struct
    {
        const char* text;
        std::int32_t expected;
        const char* why;
    } const cases[] = {
        { "17", 17, "plain decimal" },
        { "0x11", 17, "hexadecimal behind 0x" },
        { "0X1f", 31, "capital X and small digits" },
        { "0xFFFF", 65535, "the largest cell number" },
        { "  \t42", 42, "leading blanks and tabs are skipped" },
        { " \t0x10", 16, "the 0x rule applies after the blanks" },
        { "\n5", 5, "strtol skips other white space itself" },
        { "-1", -1, "a sign is accepted; callers keep the low bits" },
        { "+5", 5, "a plus sign too" },
        { "010", 10, "a leading zero is not octal" },
        { "0x", 0, "two characters only: base 10, digits stop at x" },
        { "0x-5", -5, "strtol's sign after the prefix" },
        { "0x1g", 1, "digits up to the first non-digit of the base" },
        { "12abc", 12, "trailing text is ignored" },
        { "1e3", 1, "no exponent" },
        { "abc", 0, "no digits give 0" },
        { "", 0, "empty text gives 0" },
        { "A", 0, "a hex digit without the prefix is no digit" },
        { "2147483647", INT32_MAX, "the largest 32-bit value" },
        { "99999999999", INT32_MAX, "clamped to the 32-bit range" },
        { "-99999999999", INT32_MIN, "clamped below too" },
        { "0xFFFFFFFF", INT32_MAX, "hexadecimal beyond the range is clamped" },
        { "65536", 65536, "the parser keeps all 32 bits" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseNumber(c.text), c.expected) << "'" << c.text << "': " << c.why;
}

TEST(ParseNumber, StopsAtAnEmbeddedZeroByte)
{
    EXPECT_EQ(ParseNumber(std::string("12\0"
                                      "34",
                                      5)),
              12);
}

TEST(SplitFields, RunsOfSeparatorsAreOneAndOnlyTheLastFieldMayBeEmpty)
{
    using Fields = std::vector<std::string>;
    struct
    {
        std::string text;
        const char* separators;
        Fields expected;
        const char* why;
    } const cases[] = {
        { "a\tb\tc", "\t", { "a", "b", "c" }, "one tab between fields" },
        { "a\t\tb", "\t", { "a", "b" }, "two tabs in a row collapse" },
        { "\t\ta", "\t", { "a" }, "leading separators are skipped" },
        { "a\t", "\t", { "a", "" }, "an empty field after a trailing separator" },
        { "\t\t", "\t", { "" }, "separators only: one empty field" },
        { "", "\t", {}, "no text, no field" },
        { "a b", "\t", { "a b" }, "blanks are no separators" },
        { "a\tb\nc\td", "\t", { "a", "b" }, "cut at the last LF" },
        { "a\nb\nc", "\t", { "a\nb" }, "only the last LF cuts" },
        { "a\rb\tc", "\t", { "a\rb", "c" }, "an inner CR stays in its field" },
        { "a\tb\r", "\t", { "a", "b" }, "a CR at the end goes" },
        { "x\r\n", "\t", { "x" }, "a CR LF ending goes" },
        { "5", "-", { "5" }, "one bound" },
        { "10-0", "-", { "10", "0" }, "two bounds" },
        { "1-2-3", "-", { "1", "2", "3" }, "three parts" },
        { "-5", "-", { "5" }, "a leading minus is a separator" },
        { "5-", "-", { "5", "" }, "a trailing minus leaves an empty high part" },
        { "a,b;;c", ",;", { "a", "b", "c" }, "any of several separators" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitFields(c.text, c.separators), c.expected) << c.why;
}

TEST(TextFields, TrimAndCompareWithoutCase)
{
    EXPECT_EQ(TrimChars(" \t x y \t", " \t"), "x y");
    EXPECT_EQ(TrimChars(" \t ", " \t"), "");
    EXPECT_EQ(TrimChars("\r x\n", kWhiteSpace), "x");
    EXPECT_TRUE(EqualsNoCase("hreg", "HREG"));
    EXPECT_TRUE(EqualsNoCase("Rw", "RW"));
    EXPECT_FALSE(EqualsNoCase("HREGS", "HREG"));
    EXPECT_FALSE(EqualsNoCase("H", "R"));
}

} // namespace
} // namespace korvex
