#include "support/RunProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace korvex::test {
namespace {

TEST(CliDecode, PrintsLinesInOrderAndReportsBadInput)
{
    const std::string input = "01 03 00 10 00 02 C5 CE\n"
                              "hello\n"
                              "0103040001000 22A32\n"
                              "\n"
                              "01 83 02 C0 F1\n";
    const auto r = RunProcess(KORVEX_CLI_PATH, { "decode" }, input);
    EXPECT_EQ(r.nExitCode, 0);
    const auto lines = SplitLines(r.strOut);
    ASSERT_EQ(lines.size(), 3u) << r.strOut;
    EXPECT_EQ(lines[0], "P\t0\t\t1\t(0x03) Read Holding Registers, Адрес=0x0010, Количество=2");
    EXPECT_EQ(lines[1],
              "P\t5\t\t1\t(0x03) Read Holding Registers - устройство с адресом 0x1 не найдено");
    EXPECT_EQ(lines[2], "P\t4\t\t1\tError: (0x83) Read Holding Registers, Exception code: 0x02");
    // Line 2 is text, line 3 splits a pair: both are reported with their numbers.
    EXPECT_NE(r.strErr.find("line 2"), std::string::npos) << r.strErr;
    EXPECT_NE(r.strErr.find("line 3"), std::string::npos) << r.strErr;
}

TEST(CliDecode, OptionsAndUsage)
{
    const auto dec =
        RunProcess(KORVEX_CLI_PATH, { "decode", "--dec-addr", "--dec-values" },
                   "0103040001000 22A32\n01 03 00 10 00 02 C5 CE\n01030400010002 2A32\n");
    const auto lines = SplitLines(dec.strOut);
    ASSERT_GE(lines.size(), 3u) << dec.strOut;
    EXPECT_EQ(lines[0], "P\t0\t\t1\t(0x03) Read Holding Registers, Адрес=0016, Количество=2");
    EXPECT_EQ(lines[2],
              "P\t3\t\t1\t(0x03) Read Holding Registers, Количество=2, Регистры={ 0001 0002 }");

    // With --running a partial frame waits for the rest.
    const auto run =
        RunProcess(KORVEX_CLI_PATH, { "decode", "--running" }, "01 03 00 10\n00 02 C5 CE\n");
    const auto runLines = SplitLines(run.strOut);
    ASSERT_FALSE(runLines.empty());
    EXPECT_EQ(runLines[0], "P\t0\t\t1\t(0x03) Read Holding Registers, Адрес=0x0010, Количество=2");
    const auto idle = RunProcess(KORVEX_CLI_PATH, { "decode" }, "01 03 00 10 00\n02 C5 CE\n");
    ASSERT_FALSE(SplitLines(idle.strOut).empty());
    EXPECT_EQ(SplitLines(idle.strOut)[0].rfind("P\t5\t", 0), 0u) << idle.strOut;

    const auto bad = RunProcess(KORVEX_CLI_PATH, { "decode", "--bogus" });
    EXPECT_EQ(bad.nExitCode, 2);
    EXPECT_NE(bad.strErr.find("usage"), std::string::npos);
    EXPECT_EQ(RunProcess(KORVEX_CLI_PATH, { "nonsense" }).nExitCode, 2);
}

TEST(CliDecode, BundledCapture)
{
    std::ifstream file(std::string(KORVEX_SOURCE_DIR) + "/examples/traffic.hex");
    ASSERT_TRUE(file.good());
    std::stringstream text;
    text << file.rdbuf();
    const auto r = RunProcess(KORVEX_CLI_PATH, { "decode" }, text.str());
    EXPECT_EQ(r.nExitCode, 0);
    EXPECT_TRUE(r.strErr.empty()) << r.strErr;
    int requests = 0;
    for (const auto& line : SplitLines(r.strOut))
        if (line.rfind("P\t0\t", 0) == 0)
            ++requests;
    EXPECT_GE(requests, 5);
}

} // namespace
} // namespace korvex::test
