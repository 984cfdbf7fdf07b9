// Reading device files: each vector is a file, the device it gives and the
// warnings it logs.

#include "DevFileTestUtil.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

struct SReadCase
{
    const char* why;
    std::string file;
    std::string id;
    std::uint8_t addr;
    std::string cells;    // as CellText gives them
    std::string warnings; // "format" or "type" for each, separated by blanks
};

void RunReadCases(const std::vector<SReadCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        DevFileHarness h;
        CDevDoc* doc = h.OpenBytes("dev.kvxd", c.file);
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->GetDevId(), c.id);
        EXPECT_EQ(doc->GetDevAddr(), c.addr);
        EXPECT_EQ(CellText(*doc), c.cells);
        std::string warnings;
        for (const std::string& text : h.Warnings("dev.kvxd"))
            warnings += std::string(warnings.empty() ? "" : " ") + (text == kFormatError ? "format"
                                                                    : text == kTypeError ? "type"
                                                                                         : text);
        EXPECT_EQ(warnings, c.warnings);
        EXPECT_FALSE(doc->IsModified()) << "loading ends unmodified";
        EXPECT_TRUE(h.messages.empty());
    }
}

TEST(DevFileRead, DeviceLine)
{
    RunReadCases({
        { "hexadecimal address", "PUMP1\t0x11\r\n", "PUMP1", 17, "", "" },
        { "decimal address", "PUMP1\t17\r\n", "PUMP1", 17, "", "" },
        { "a letter is no address", "PUMP1\tA\r\n", "", 0, "", "format" },
        { "the second device line wins", "A\t1\r\nB\t2\r\n", "B", 2, "", "" },
        { "a device line after the cells", "P\t1\nHREG\td\tR\t1\tRW\t0-9\t5\nPUMP1\t3\n", "PUMP1",
          3, "HREG|d|R|1|RW|0-9|5", "" },
        { "the ID keeps inner and outer blanks", "My pump \t 7 \r\n", "My pump ", 7, "", "" },
        { "the address keeps its low 8 bits", "P\t257\n", "P", 1, "", "" },
        { "minus one behind 0x is 255", "Q\t0x-1\n", "Q", 255, "", "" },
        { "a sign in front is no digit", "P\t0\nQ\t-1\n", "P", 0, "", "format" },
        { "up to six fields make a device line", "P\t0x20\tx\ty\tz\tw\n", "P", 32, "", "" },
        { "no device line: empty ID, address 0", "// nothing\r\n", "", 0, "", "" },
        { "one field is a format error", "PUMP1\r\n", "", 0, "", "format" },
        // Cyrillic in either encoding.
        { "code page 1251",
          "\xCA\xCD\xD1\t1\r\nHREG\t\xC4\xE0\xE2\xEB\xE5\xED\xE8\xE5, "
          "\xEA\xCF\xE0\t\xC4\xC0\xC2\xCB\t1\tRW\t0-100\t7\r\n",
          "КНС", 1, "HREG|Давление, кПа|ДАВЛ|1|RW|0-100|7", "" },
        { "UTF-8", "КНС\t1\r\nHREG\tДавление, кПа\tДАВЛ\t1\tRW\t0-100\t7\r\n", "КНС", 1,
          "HREG|Давление, кПа|ДАВЛ|1|RW|0-100|7", "" },
        { "UTF-8 with a byte-order mark",
          "\xEF\xBB\xBFКНС\t1\r\nHREG\tДавление, кПа\tДАВЛ\t1\tRW\t0-100\t7\r\n", "КНС", 1,
          "HREG|Давление, кПа|ДАВЛ|1|RW|0-100|7", "" },
    });
}

TEST(DevFileRead, CellFields)
{
    // Each file below starts with the device line P at 1.
    std::vector<SReadCase> cases = {
        { "reversed bounds are swapped and the value clamped",
          "HREG\tЗадание\tSP\t1\tRW\t10-0\t50\r\n", "", 0, "HREG|Задание|SP|1|RW|0-10|10", "" },
        { "keywords in small letters, hex numbers, minus one",
          "hreg\tdesc\tR1\t0x64\trw\t0-0xFFFF\t-1\r\n", "", 0, "HREG|desc|R1|100|RW|0-65535|65535",
          "" },
        { "one bound is the low one", "HREG\td\tR\t1\tRW\t5\t3\r\n", "", 0,
          "HREG|d|R|1|RW|5-65535|5", "" },
        { "parts after the second bound are ignored", "HREG\td\tR\t1\tRW\t1-2-3\t3\r\n", "", 0,
          "HREG|d|R|1|RW|1-2|2", "" },
        { "a trailing minus gives a high part of 0", "HREG\td\tR\t1\tRW\t5-\t9\r\n", "", 0,
          "HREG|d|R|1|RW|0-5|5", "" },
        { "addresses and values keep their low 16 bits",
          "HREG\td\tR\t65536\tRW\t0-65535\t0x10005\r\nHREG\td\tS\t0x10001\tW\t0-70000\t70000\r\n",
          "", 0, "HREG|d|R|0|RW|0-65535|5\nHREG|d|S|1|W|0-4464|4464", "" },
        { "text in a numeric field reads as 0", "HREG\td\tR\tabc\tRW\t2-9\txyz\r\n", "", 0,
          "HREG|d|R|0|RW|2-9|2", "" },
        { "access keywords",
          "HREG\ta\tA\t1\tr\t0-9\t1\nHREG\tb\tB\t2\t W \t0-9\t1\nHREG\tc\tC\t3\tread\t0-9\t1\n", "",
          0, "HREG|a|A|1|R|0-9|1\nHREG|b|B|2|W|0-9|1\nHREG|c|C|3|RW|0-9|1", "" },
        { "fields after the seventh are ignored", "IREG\td\tR\t1\tRW\t0-9\t4\textra\tmore\n", "", 0,
          "IREG|d|R|1|R|0-9|4", "" },
        { "description and ID are taken unchanged",
          "HREG\t Two  words \tMixed_Case\t1\tRW\t0-9\t1\n", "", 0,
          "HREG| Two  words |Mixed_Case|1|RW|0-9|1", "" },
        { "shown cells are normalised",
          "COIL\tc\tC\t1\tW\t0-9\t5\nDINP\td\tD\t1\tRW\t0-9\t0\nIREG\ti\tI\t1\tW\t0-9\t3\n", "", 0,
          "COIL|c|C|1|W|0-1|1\nDINP|d|D|1|R|0-1|0\nIREG|i|I|1|R|0-9|3", "" },
        // The master and scripts see such a cell; the view shows no row.
        { "a coil with equal bounds exists without a row", "COIL\td\tC\t3\tRW\t0-0\t0\r\n", "", 0,
          "COIL|d|C|3|RW|0-0|0|no row", "" },
        { "duplicates pass", "HREG\td\tR\t1\tRW\t0-9\t1\nHREG\td\tR\t1\tRW\t0-9\t2\n", "", 0,
          "HREG|d|R|1|RW|0-9|1\nHREG|d|R|1|RW|0-9|2", "" },
    };
    for (SReadCase& c : cases) {
        c.file = "P\t1\r\n" + c.file;
        c.id = "P";
        c.addr = 1;
    }
    RunReadCases(cases);
}

TEST(DevFileRead, LineKinds)
{
    RunReadCases({
        { "a six-field coil line is a format error", "COIL\tНасос\tC1\t1\tRW\t0-1\r\n", "", 0, "",
          "format" },
        { "a six-field line whose second field is a number is a device line",
          "COIL\t5\tC1\t1\tRW\t0-1\r\n", "COIL", 5, "", "" },
        { "an unknown type", "P\t1\r\nXREG\td\tR\t1\tRW\t0-9\t1\r\n", "P", 1, "", "type" },
        { "an indented comment is a comment", "  \t// COIL\td\tC\t1\tRW\t0-1\t1\r\n", "", 0, "",
          "" },
        { "a single slash is no comment", "/ comment\r\n/COIL\tx\r\n", "", 0, "", "format format" },
        { "empty and blank lines are skipped", "\r\n \t \r\n\n", "", 0, "", "" },
        { "LF endings and no ending on the last line", "P\t1\nHREG\td\tR\t1\tRW\t0-9\t1", "P", 1,
          "HREG|d|R|1|RW|0-9|1", "" },
        { "blanks and tabs around a line are trimmed", " \tP\t1\t \r\n", "P", 1, "", "" },
        { "errors are reported in file order and reading goes on",
          "P\t1\nXREG\td\tR\t1\tRW\t0-9\t1\nbad\nHREG\td\tR\t1\tRW\t0-9\t1\n", "P", 1,
          "HREG|d|R|1|RW|0-9|1", "type format" },
    });
}

TEST(DevFileRead, WhatIsNoDeviceFileDoesNotOpen)
{
    using namespace std::string_literals;
    const std::pair<std::string, bool> cases[] = {
        { "P\t1\r\nHREG\td\tR\t1\tRW\t0-9\t5\0\r\n"s, false }, // NUL
        { "P\t1\r\n\x1B[0m\r\n", false },                      // escape
        { "P\t1\x7F\r\n", false },                             // DEL
        { "HREG\td\tR\t1\tRW\t0-9\t5\r\nP\t1\r\n", false },    // a cell first
        { "XREG\td\tR\t1\tRW\t0-9\t5\r\n", false },            // a bad cell first
        // The Windows program's device line of a device without an ID.
        { "// x\r\n\t0x5\r\nHREG\td\tR\t1\tRW\t0-9\t5\r\n", true },
    };
    for (const auto& [file, opens] : cases) {
        SCOPED_TRACE(file);
        DevFileHarness h;
        EXPECT_EQ(h.OpenBytes("dev.kvxd", file) != nullptr, opens);
        EXPECT_EQ(h.Warnings("dev.kvxd"), std::vector<std::string>{ kFormatError });
        EXPECT_EQ(h.messages, opens ? std::vector<std::string>{}
                                    : std::vector<std::string>{ "Неверный формат файла \"" +
                                                                h.dir.File("dev.kvxd") + "\"" });
    }
}

TEST(DevFileRead, WarningsCarryTheFileName)
{
    DevFileHarness h;
    CDevDoc* doc = h.OpenBytes("Насосная.kvxd", "junk\n");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetTitle(), "Насосная.kvxd");
    EXPECT_EQ(h.Warnings("Насосная.kvxd"), std::vector<std::string>{ kFormatError });
}

} // namespace
} // namespace korvex::test
