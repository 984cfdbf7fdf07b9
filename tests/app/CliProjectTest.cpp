// korvex-cli decode with a project file: the binary run on real files in a
// temporary folder, the project named relative to the current directory.

#include "files/CodePage.h"
#include "support/CoreHarness.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace korvex::test {
namespace {

using Strings = std::vector<std::string>;

const std::string kMissing =
    "\nНевозможно найти файл.\nПроверьте правильность имяени файла и пути к нему.";

// Runs korvex-cli in the folder with the arguments, standard input given.
SProcessResult RunIn(const CTempDir& dir, const std::string& args, const std::string& input = {})
{
    return RunProcess("/bin/sh",
                      { "-c", "cd '" + dir.Path() + "' && exec '" KORVEX_CLI_PATH "' " + args },
                      input);
}

std::string HexLine(const Bytes& frame)
{
    std::string line;
    for (std::uint8_t b : frame) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", b);
        line += hex;
    }
    line.pop_back();
    return line;
}

std::string Device(const std::string& id, int addr, int value)
{
    return *Utf8ToCp1251(id + "\t" + std::to_string(addr) +
                         "\r\nHREG\tДавление\tP\t0\tRW\t0-65535\t" + std::to_string(value) +
                         "\r\n");
}

Strings Starting(const std::string& out, const std::string& prefix)
{
    Strings lines;
    for (const std::string& line : SplitLines(out))
        if (line.starts_with(prefix))
            lines.push_back(line);
    return lines;
}

// proj/p.kvxp listing .\sub\boiler.kvxd (address 2), ..\lib\pump.kvxd
// (address 1), a script and a file that is not there.
struct ProjectFolder
{
    CTempDir dir;
    ProjectFolder()
    {
        std::filesystem::create_directories(dir.File("proj/sub"));
        std::filesystem::create_directories(dir.File("lib"));
        dir.Write("proj/sub/boiler.kvxd", Device("BOILER1", 2, 0x1234));
        dir.Write("lib/pump.kvxd", Device("PUMP1", 1, 0x0055));
        dir.Write("proj/s.kvxs", "MyObject.Print(1);\r\n");
        dir.Write("proj/p.kvxp", "// a project\r\n.\\s.kvxs\r\n.\\sub\\boiler.kvxd\r\n"
                                 "..\\lib\\pump.kvxd\r\n.\\gone.kvxd\r\n");
    }
};

TEST(CliProject, DecodeAnswersTheDevicesOfTheProject)
{
    ProjectFolder f;
    const std::string input = HexLine(WithCrc(Hex("02 03 00 00 00 01"))) + "\n" +
                              HexLine(WithCrc(Hex("01 03 00 00 00 01"))) + "\n";
    const auto r = RunIn(f.dir, "decode proj/p.kvxp", input);
    EXPECT_EQ(r.nExitCode, 0) << r.strErr;
    EXPECT_EQ(Starting(r.strOut, "T\t"),
              (Strings{ "T\t" + HexLine(WithCrc(Hex("02 03 02 12 34"))),
                        "T\t" + HexLine(WithCrc(Hex("01 03 02 00 55"))) }));
    EXPECT_EQ(Starting(r.strOut, "P\t0\t").size(), 2u);
    // The missing file is reported and skipped; nothing else is.
    EXPECT_EQ(r.strErr, "korvex-cli decode: " + f.dir.File("proj/gone.kvxd") + kMissing + "\n");
}

TEST(CliProject, DecodeSavesTheProjectsDevicesWhereTheyAre)
{
    ProjectFolder f;
    const std::string input = HexLine(WithCrc(Hex("02 06 00 00 00 2A"))) + "\n";
    const auto r = RunIn(f.dir, "decode --save proj/p.kvxp", input);
    EXPECT_EQ(r.nExitCode, 0) << r.strErr;
    EXPECT_NE(ReadBytes(f.dir.File("proj/sub/boiler.kvxd")).find("\t0x2A\r\n"), std::string::npos);
    EXPECT_EQ(ReadBytes(f.dir.File("lib/pump.kvxd")), Device("PUMP1", 1, 0x0055)) << "not modified";
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("gone.kvxd")));
}

TEST(CliProject, AProjectGoesAloneAndMustBeReadable)
{
    ProjectFolder f;
    struct
    {
        const char* why;
        std::string args;
        int code;
    } const cases[] = {
        { "a project and a device", "decode proj/p.kvxp lib/pump.kvxd", 2 },
        { "a device and a project", "decode lib/pump.kvxd proj/P.KVXP", 2 },
        { "two projects", "decode proj/p.kvxp proj/p.kvxp", 2 },
        { "run: a project and a script", "run --virtual proj/p.kvxp proj/s.kvxs", 2 },
        { "decode: a project that is not there", "decode proj/none.kvxp", 1 },
        { "run: a project that is not there", "run --virtual proj/none.kvxp", 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const auto r = RunIn(f.dir, c.args);
        EXPECT_EQ(r.nExitCode, c.code) << r.strErr;
        if (c.code == 2)
            EXPECT_NE(r.strErr.find("a project file (.kvxp) is given alone"), std::string::npos)
                << r.strErr;
        else
            EXPECT_NE(r.strErr.find(f.dir.File("proj/none.kvxp")), std::string::npos) << r.strErr;
        EXPECT_EQ(Starting(r.strOut, "V\t").size(), 0u) << "no port was opened";
    }
}

TEST(CliProject, TheBundledDemoProjectServesBothDevices)
{
    const std::string input = HexLine(WithCrc(Hex("01 03 00 00 00 01"))) + "\n" +
                              HexLine(WithCrc(Hex("02 04 00 00 00 02"))) + "\n";
    const auto r =
        RunProcess(KORVEX_CLI_PATH, { "decode", KORVEX_SOURCE_DIR "/examples/demo.kvxp" }, input);
    EXPECT_EQ(r.nExitCode, 0);
    EXPECT_TRUE(r.strErr.empty()) << r.strErr;
    EXPECT_EQ(Starting(r.strOut, "T\t"),
              (Strings{ "T\t" + HexLine(WithCrc(Hex("01 03 02 01 90"))),
                        "T\t" + HexLine(WithCrc(Hex("02 04 04 02 8E 02 00"))) }));
}

} // namespace
} // namespace korvex::test
