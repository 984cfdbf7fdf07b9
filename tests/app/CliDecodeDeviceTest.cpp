// korvex-cli decode with device files: the binary is run on real files.

#include "files/CodePage.h"
#include "support/CoreHarness.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace korvex::test {
namespace {

struct SRun
{
    int status{ -1 };
    std::vector<std::string> out;
    std::string err;
};

// Runs "korvex-cli decode ARGS < stdin" in the folder; relative paths in
// args are the folder's.
SRun RunDecode(const CTempDir& dir, const std::string& args, const std::string& input)
{
    dir.Write("stdin.hex", input);
    const std::string command = "cd '" + dir.Path() + "' && '" KORVEX_CLI_PATH "' decode " + args +
                                " < stdin.hex 2> stderr.txt";
    SRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "popen failed";
        return run;
    }
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    const int rc = ::pclose(pipe);
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        run.out.push_back(line);
    run.err = ReadBytes(dir.File("stderr.txt"));
    return run;
}

std::string HexLine(const Bytes& frame)
{
    std::string line;
    for (std::uint8_t b : frame) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", b);
        line += hex;
    }
    return line + "\n";
}

std::vector<std::string> TLines(const SRun& run)
{
    std::vector<std::string> t;
    for (const auto& line : run.out)
        if (line.starts_with("T\t"))
            t.push_back(line.substr(2));
    return t;
}

std::string THex(const Bytes& frame)
{
    std::string line = HexLine(frame);
    line.pop_back(); // newline
    line.pop_back(); // last blank
    return line;
}

// Code page 1251, CR LF: "Насосная" on address 1 with three registers.
const std::string kPump = "\xCD\xE0\xF1\xEE\xF1\xED\xE0\xFF\t1\r\n"
                          "HREG\tSetpoint\tSP\t0\tRW\t0-1000\t400\r\n"
                          "HREG\tMode\tMODE\t1\tRW\t0-3\t2\r\n"
                          "IREG\tPressure\tP\t0\tR\t0-1600\t395\r\n";

TEST(CliDecodeDevice, RequestsToADeviceFileAreAnswered)
{
    struct
    {
        const char* why;
        Bytes request;
        std::vector<Bytes> answers;
    } const cases[] = {
        { "read holding registers",
          WithCrc(Hex("01 03 00 00 00 02")),
          { WithCrc(Hex("01 03 04 01 90 00 02")) } },
        { "read an input register",
          WithCrc(Hex("01 04 00 00 00 01")),
          { WithCrc(Hex("01 04 02 01 8B")) } },
        { "write a single register",
          WithCrc(Hex("01 06 00 01 00 03")),
          { WithCrc(Hex("01 06 00 01 00 03")) } },
        { "a missing register gives an exception",
          WithCrc(Hex("01 03 00 05 00 01")),
          { WithCrc(Hex("01 83 04")) } },
        { "another address is not answered", WithCrc(Hex("02 03 00 00 00 01")), {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        CTempDir dir;
        dir.Write("pump.kvxd", kPump);
        const SRun run = RunDecode(dir, "pump.kvxd", HexLine(c.request));
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::string> expected;
        for (const Bytes& answer : c.answers)
            expected.push_back(THex(answer));
        EXPECT_EQ(TLines(run), expected);
        EXPECT_EQ(run.err, "");
        // The request line names the device by its ID, read from code page 1251.
        bool named = false;
        for (const auto& line : run.out)
            named = named || line.starts_with("P\t0\tНасосная\t1\t");
        EXPECT_EQ(named, !c.answers.empty());
    }
}

TEST(CliDecodeDevice, ReaderWarningsAreLoggedAndBadFilesDoNotStopTheOthers)
{
    CTempDir dir;
    dir.Write("pump.kvxd", kPump);
    dir.Write("bad.kvxd", "P2\t2\r\nXREG\ta\tb\t1\tRW\t0-1\t0\r\n");
    dir.Write("dup.kvxd", "\xCD\xE0\xF1\xEE\xF1\xED\xE0\xFF\t3\r\n");
    const SRun run = RunDecode(dir, "missing.kvxd bad.kvxd pump.kvxd dup.kvxd",
                               HexLine(WithCrc(Hex("01 03 00 00 00 01"))) +
                                   HexLine(WithCrc(Hex("03 03 00 00 00 01"))));
    EXPECT_EQ(run.status, 1) << "a file did not open";
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out[0], "P\t5\tbad.kvxd\t\tЗадан неверный тип ячейки (первый параметр)! "
                          "Допустимы: COIL,DINP,HREG,IREG.");
    EXPECT_EQ(TLines(run), std::vector<std::string>{ THex(WithCrc(Hex("01 03 02 01 90"))) })
        << "the pump answers; the device with the duplicate ID never opened";
    EXPECT_NE(run.err.find(dir.Path() + "/missing.kvxd"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("dup.kvxd"), std::string::npos) << "no message for a duplicate ID";
}

TEST(CliDecodeDevice, SaveWritesChangedValuesBack)
{
    struct
    {
        const char* why;
        std::string args;
        bool written;
    } const cases[] = {
        { "with --save", "--save pump.kvxd other.kvxd", true },
        { "without --save", "pump.kvxd other.kvxd", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        CTempDir dir;
        dir.Write("pump.kvxd", kPump);
        const std::string other = "OTHER\t9\nHREG\tx\tX\t0\tRW\t0-9\t1\n";
        dir.Write("other.kvxd", other);
        const SRun run =
            RunDecode(dir, c.args, HexLine(WithCrc(Hex("01 10 00 00 00 02 04 01 F4 00 01"))));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(TLines(run), std::vector<std::string>{ THex(WithCrc(Hex("01 10 00 00 00 02"))) });
        const std::string text = DecodeFileText(ReadBytes(dir.File("pump.kvxd")));
        if (c.written) {
            EXPECT_TRUE(text.starts_with("// Файл устройства эмулятора MODBUS-slave Korvex"));
            EXPECT_NE(text.find("\r\nНасосная\t0x1\r\nHREG\tSetpoint\tSP\t0x0\tRW\t0x0-0x3E8\t0x1F4"
                                "\r\nHREG\tMode\tMODE\t0x1\tRW\t0x0-0x3\t0x1\r\n"),
                      std::string::npos)
                << text;
        } else {
            EXPECT_EQ(ReadBytes(dir.File("pump.kvxd")), kPump);
        }
        EXPECT_EQ(ReadBytes(dir.File("other.kvxd")), other) << "an unchanged device is not saved";
    }
}

TEST(CliDecodeDevice, ThePumpExampleAnswersItsTraffic)
{
    CTempDir dir;
    const std::string examples = std::string(KORVEX_SOURCE_DIR) + "/examples";
    const SRun run =
        RunDecode(dir, "'" + examples + "/pump.kvxd'", ReadBytes(examples + "/traffic.hex"));
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> t = TLines(run);
    ASSERT_EQ(t.size(), 9u) << "every request but the one to a foreign address";
    EXPECT_EQ(t[2], THex(WithCrc(Hex("01 03 08 01 90 00 01 00 0A 00 01"))));
    EXPECT_EQ(t[8], THex(WithCrc(Hex("01 83 04"))));
    for (const auto& line : run.out)
        EXPECT_FALSE(line.starts_with("P\t5\tpump.kvxd")) << "the example reads cleanly: " << line;
}

} // namespace
} // namespace korvex::test
