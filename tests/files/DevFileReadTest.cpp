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
    std::vector<SCell> cells;
    std::vector<std::string> warnings;
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
        EXPECT_EQ(Cells(*doc), c.cells);
        EXPECT_EQ(h.Warnings("dev.kvxd"), c.warnings);
        EXPECT_FALSE(doc->IsModified()) << "loading ends unmodified";
        EXPECT_TRUE(h.messages.empty());
    }
}

TEST(DevFileRead, DeviceLine)
{
    RunReadCases({
        { "hexadecimal address", "PUMP1\t0x11\r\n", "PUMP1", 17, {}, {} },
        { "decimal address", "PUMP1\t17\r\n", "PUMP1", 17, {}, {} },
        { "a letter is no address", "PUMP1\tA\r\n", "", 0, {}, { kFormatError } },
        { "the second device line wins", "A\t1\r\nB\t2\r\n", "B", 2, {}, {} },
        { "a device line anywhere",
          "HREG\td\tR\t1\tRW\t0-9\t5\nPUMP1\t3\n",
          "PUMP1",
          3,
          { { HREG, "R", "d", 1, ACCESS_RW, 0, 9, 5 } },
          {} },
        { "the ID keeps inner and outer blanks", "My pump \t 7 \r\n", "My pump ", 7, {}, {} },
        { "the address keeps its low 8 bits", "P\t257\n", "P", 1, {}, {} },
        { "minus one behind 0x is 255", "Q\t0x-1\n", "Q", 255, {}, {} },
        { "a sign in front is no digit", "P\t0\nQ\t-1\n", "P", 0, {}, { kFormatError } },
        { "up to six fields make a device line", "P\t0x20\tx\ty\tz\tw\n", "P", 32, {}, {} },
        { "no device line: empty ID, address 0", "// nothing\r\n", "", 0, {}, {} },
        { "one field is a format error", "PUMP1\r\n", "", 0, {}, { kFormatError } },
    });
}

TEST(DevFileRead, CellFields)
{
    RunReadCases({
        { "reversed bounds are swapped and the value clamped",
          "HREG\tЗадание\tSP\t1\tRW\t10-0\t50\r\n",
          "",
          0,
          { { HREG, "SP", "Задание", 1, ACCESS_RW, 0, 10, 10 } },
          {} },
        { "keywords in small letters, hex numbers, minus one",
          "hreg\tdesc\tR1\t0x64\trw\t0-0xFFFF\t-1\r\n",
          "",
          0,
          { { HREG, "R1", "desc", 100, ACCESS_RW, 0, 65535, 65535 } },
          {} },
        { "one bound is the low one",
          "HREG\td\tR\t1\tRW\t5\t3\r\n",
          "",
          0,
          { { HREG, "R", "d", 1, ACCESS_RW, 5, 65535, 5 } },
          {} },
        { "parts after the second bound are ignored",
          "HREG\td\tR\t1\tRW\t1-2-3\t3\r\n",
          "",
          0,
          { { HREG, "R", "d", 1, ACCESS_RW, 1, 2, 2 } },
          {} },
        { "a trailing minus gives a high part of 0",
          "HREG\td\tR\t1\tRW\t5-\t9\r\n",
          "",
          0,
          { { HREG, "R", "d", 1, ACCESS_RW, 0, 5, 5 } },
          {} },
        { "addresses and values keep their low 16 bits",
          "HREG\td\tR\t65536\tRW\t0-65535\t0x10005\r\nHREG\td\tS\t0x10001\tW\t0-70000\t70000\r\n",
          "",
          0,
          { { HREG, "R", "d", 0, ACCESS_RW, 0, 65535, 5 },
            { HREG, "S", "d", 1, ACCESS_W, 0, 4464, 4464 } },
          {} },
        { "text in a numeric field reads as 0",
          "HREG\td\tR\tabc\tRW\t2-9\txyz\r\n",
          "",
          0,
          { { HREG, "R", "d", 0, ACCESS_RW, 2, 9, 2 } },
          {} },
        { "access keywords",
          "HREG\ta\tA\t1\tr\t0-9\t1\nHREG\tb\tB\t2\t W \t0-9\t1\n"
          "HREG\tc\tC\t3\tread\t0-9\t1\n",
          "",
          0,
          { { HREG, "A", "a", 1, ACCESS_R, 0, 9, 1 },
            { HREG, "B", "b", 2, ACCESS_W, 0, 9, 1 },
            { HREG, "C", "c", 3, ACCESS_RW, 0, 9, 1 } },
          {} },
        { "fields after the seventh are ignored",
          "IREG\td\tR\t1\tRW\t0-9\t4\textra\tmore\n",
          "",
          0,
          { { IREG, "R", "d", 1, ACCESS_R, 0, 9, 4 } },
          {} },
        { "description and ID are taken unchanged",
          "HREG\t Two  words \tMixed_Case\t1\tRW\t0-9\t1\n",
          "",
          0,
          { { HREG, "Mixed_Case", " Two  words ", 1, ACCESS_RW, 0, 9, 1 } },
          {} },
        { "shown cells are normalised",
          "COIL\tc\tC\t1\tW\t0-9\t5\nDINP\td\tD\t1\tRW\t0-9\t0\nIREG\ti\tI\t1\tW\t0-9\t3\n",
          "",
          0,
          { { COIL, "C", "c", 1, ACCESS_W, 0, 1, 1 },
            { DINP, "D", "d", 1, ACCESS_R, 0, 1, 0 },
            { IREG, "I", "i", 1, ACCESS_R, 0, 9, 3 } },
          {} },
        { "duplicates pass",
          "HREG\td\tR\t1\tRW\t0-9\t1\nHREG\td\tR\t1\tRW\t0-9\t2\n",
          "",
          0,
          { { HREG, "R", "d", 1, ACCESS_RW, 0, 9, 1 }, { HREG, "R", "d", 1, ACCESS_RW, 0, 9, 2 } },
          {} },
    });
}

TEST(DevFileRead, LineKinds)
{
    RunReadCases({
        { "a six-field coil line is a format error",
          "COIL\tНасос\tC1\t1\tRW\t0-1\r\n",
          "",
          0,
          {},
          { kFormatError } },
        { "a six-field line whose second field is a number is a device line",
          "COIL\t5\tC1\t1\tRW\t0-1\r\n",
          "COIL",
          5,
          {},
          {} },
        { "an unknown type", "XREG\td\tR\t1\tRW\t0-9\t1\r\n", "", 0, {}, { kTypeError } },
        { "an indented comment is a comment",
          "  \t// COIL\td\tC\t1\tRW\t0-1\t1\r\n",
          "",
          0,
          {},
          {} },
        { "a single slash is no comment",
          "/ comment\r\n/COIL\tx\r\n",
          "",
          0,
          {},
          { kFormatError, kFormatError } },
        { "empty and blank lines are skipped", "\r\n \t \r\n\n", "", 0, {}, {} },
        { "LF endings and no ending on the last line",
          "P\t1\nHREG\td\tR\t1\tRW\t0-9\t1",
          "P",
          1,
          { { HREG, "R", "d", 1, ACCESS_RW, 0, 9, 1 } },
          {} },
        { "blanks and tabs around a line are trimmed", " \tP\t1\t \r\n", "P", 1, {}, {} },
        { "errors are reported in file order and reading goes on",
          "XREG\td\tR\t1\tRW\t0-9\t1\nbad\nHREG\td\tR\t1\tRW\t0-9\t1\n",
          "",
          0,
          { { HREG, "R", "d", 1, ACCESS_RW, 0, 9, 1 } },
          { kTypeError, kFormatError } },
    });
}

TEST(DevFileRead, CoilWithEqualBoundsExistsWithoutRow)
{
    DevFileHarness h;
    CDevDoc* doc = h.OpenBytes("dev.kvxd", "P\t1\r\nCOIL\td\tC\t3\tRW\t0-0\t0\r\n");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(Cells(*doc),
              (std::vector<SCell>{ { COIL, "C", "d", 3, ACCESS_RW, 0, 0, 0, false } }));
    EXPECT_NE(doc->FindItem(COIL, 3), nullptr) << "the master and scripts see the cell";
    EXPECT_EQ(doc->FindRow(COIL, 3), 0u);
    EXPECT_EQ(doc->FindRowById(COIL, "C"), 0u);
}

TEST(DevFileRead, WarningsCarryTheFileName)
{
    DevFileHarness h;
    ASSERT_EQ(h.dir.Write("Насосная.kvxd", "junk\n"), h.dir.File("Насосная.kvxd"));
    CDevDoc* doc = h.Open(h.dir.File("Насосная.kvxd"));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetTitle(), "Насосная.kvxd");
    EXPECT_EQ(h.Warnings("Насосная.kvxd"), std::vector<std::string>{ kFormatError });
}

TEST(DevFileRead, CyrillicInBothEncodings)
{
    const SCell cell{ HREG, "ДАВЛ", "Давление, кПа", 1, ACCESS_RW, 0, 100, 7 };
    struct
    {
        const char* why;
        std::string bytes;
    } const cases[] = {
        { "code page 1251", "\xCA\xCD\xD1\t1\r\nHREG\t\xC4\xE0\xE2\xEB\xE5\xED\xE8\xE5, "
                            "\xEA\xCF\xE0\t\xC4\xC0\xC2\xCB\t1\tRW\t0-100\t7\r\n" },
        { "UTF-8", "КНС\t1\r\nHREG\tДавление, кПа\tДАВЛ\t1\tRW\t0-100\t7\r\n" },
        { "UTF-8 with a byte-order mark",
          "\xEF\xBB\xBFКНС\t1\r\nHREG\tДавление, кПа\tДАВЛ\t1\tRW\t0-100\t7\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        DevFileHarness h;
        CDevDoc* doc = h.OpenBytes("dev.kvxd", c.bytes);
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->GetDevId(), "КНС");
        EXPECT_EQ(Cells(*doc), std::vector<SCell>{ cell });
        EXPECT_EQ(h.app.FindDeviceById("КНС"), doc);
        EXPECT_NE(doc->FindItemById(HREG, "ДАВЛ"), nullptr);
    }
}

} // namespace
} // namespace korvex::test
