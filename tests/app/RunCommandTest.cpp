// korvex-cli run: settings, port choice, scripts and failures, end to end.

#include "support/CChildProcess.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace korvex::test {
namespace {

const std::string kDevice = "PUMP1\t1\r\n"
                            "HREG\tуставка давления\tSP\t0\tRW\t0-65535\t100\r\n"
                            "HREG\tсчётчик\tCNT\t1\tRW\t0-65535\t0\r\n"
                            "COIL\tпуск\tSTART\t0\tRW\t0-1\t0\r\n";

bool StartsWith(const std::string& line, const std::string& prefix)
{
    return line.rfind(prefix, 0) == 0;
}

TEST(RunCommand, ScriptsRunWithTheSessionAndReportTheirEnd)
{
    CTempDir dir;
    const std::string device = dir.Write("pump.kvxd", kDevice);
    const std::string script =
        dir.Write("count.kvxs", "MyObject.Print('start');\r\n"
                                "for (var i = 0; i < 5; i++)\r\n"
                                "    MyObject.SetHREG('PUMP1', 'CNT', i + 1);\r\n"
                                "MyObject.Print('done ' + MyObject.GetHREG(1, 1));\r\n");
    CChildProcess proc(KORVEX_CLI_PATH, { "run", "--virtual", device, script });
    const std::string end = proc.WaitForLine([](const std::string& l) {
        return l == "S\tcount.kvxs\t1\t-1\tСкрипт остановлен (выполнен полностью).";
    });
    ASSERT_FALSE(end.empty()) << proc.Stderr();
    const auto lines = proc.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "S\tcount.kvxs\t0\t-1\tdone 5"), lines.end());

    // The value the script wrote is what a master reads.
    const auto v = std::find_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return StartsWith(l, "V\t"); });
    ASSERT_NE(v, lines.end());
    modbus_t* ctx = modbus_new_rtu(v->substr(2).c_str(), 9600, 'N', 8, 1);
    modbus_set_slave(ctx, 1);
    ASSERT_EQ(modbus_connect(ctx), 0);
    modbus_flush(ctx);
    std::uint16_t reg = 0;
    EXPECT_EQ(modbus_read_registers(ctx, 1, 1, &reg), 1);
    EXPECT_EQ(reg, 5);
    modbus_close(ctx);
    modbus_free(ctx);

    proc.Signal(SIGINT);
    EXPECT_EQ(proc.Wait(), 0);
}

TEST(RunCommand, ScriptErrorStopsTheSessionWithExitOne)
{
    CTempDir dir;
    const std::string device = dir.Write("pump.kvxd", kDevice);
    const std::string script = dir.Write("bad.kvxs", "var a = 1;\r\nvar b = 2;\r\nvar c = ;\r\n");
    const std::string loop = dir.Write("loop.kvxs", "while (true) { MyObject.GetHREG(1, 0); }\r\n");
    CChildProcess proc(KORVEX_CLI_PATH, { "run", "--virtual", device, loop, script });
    EXPECT_EQ(proc.Wait(std::chrono::seconds(15)), 1) << proc.Stderr();
    const auto lines = proc.Lines();
    const auto error = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return StartsWith(l, "S\tbad.kvxs\t2\t2\t") && l.ends_with(" (строка: 2)");
    });
    EXPECT_NE(error, lines.end()) << "a syntax error on line 3 is reported with 2";
}

TEST(RunCommand, PortComesFromTheSettingsAndOptionsOverrideThemForOneRun)
{
    CTempDir dir;
    const std::string device = dir.Write("pump.kvxd", kDevice);
    // A settings folder of this test's own, with a port the machine lacks.
    const std::string config = dir.File("config");
    std::filesystem::create_directories(config + "/Ternholm");
    const std::string settings = "[Settings]\nPORT=0\nBAUD=19200\nADDRISHEX=0\nVERSION=9.9\n";
    WriteBytes(config + "/Ternholm/Korvex.conf", settings);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    // No port on the machine and none given: the program cannot work.
    std::filesystem::create_directories(dir.File("sys"));
    const auto none = RunProcess(KORVEX_CLI_PATH, { "run", "--sys-root", dir.File("sys"), device });
    EXPECT_EQ(none.nExitCode, 1);
    EXPECT_NE(none.strErr.find("На данном ПК нет ни одного последовательного порта.\n"
                               "Работа с программой невозможна!"),
              std::string::npos)
        << none.strErr;

    // A port given that does not exist: one warning line with its name, exit 1.
    const auto missing = RunProcess(
        KORVEX_CLI_PATH, { "run", "--port", dir.File("nothing"), "--baud", "115200", device });
    EXPECT_EQ(missing.nExitCode, 1);
    const auto lines = SplitLines(missing.strOut);
    const std::string expected =
        "P\t5\t\t\tНевозможно открыть последовательный порт '" + dir.File("nothing") + "'.";
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << missing.strOut;

    // ADDRISHEX comes from the settings: the decoder shows decimal addresses.
    const auto decoded = RunProcess(KORVEX_CLI_PATH, { "decode" }, "01 03 00 10 00 02 C5 CE\n");
    EXPECT_EQ(SplitLines(decoded.strOut).at(0),
              "P\t0\t\t1\t(0x03) Read Holding Registers, Адрес=0016, Количество=2");

    // Nothing of the run's options found its way into the settings.
    EXPECT_EQ(ReadBytes(config + "/Ternholm/Korvex.conf"), settings);
    unsetenv("XDG_CONFIG_HOME");
}

TEST(RunCommand, UsageErrors)
{
    struct SCase
    {
        std::vector<std::string> args;
    };
    const std::vector<SCase> cases = {
        { { "run" } },
        { { "run", "--parity", "sometimes", "x.kvxd" } },
        { { "run", "--data-bits", "9", "x.kvxd" } },
        { { "run", "--stop-bits", "3", "x.kvxd" } },
        { { "run", "--rts", "maybe", "x.kvxd" } },
        { { "run", "--baud", "fast", "x.kvxd" } },
        { { "run", "--port", "ttyS9", "--virtual", "x.kvxd" } },
        { { "run", "--frobnicate", "x.kvxd" } },
    };
    for (const SCase& c : cases) {
        const auto r = RunProcess(KORVEX_CLI_PATH, c.args);
        EXPECT_EQ(r.nExitCode, 2) << c.args.back() << ": " << r.strErr;
        EXPECT_NE(r.strErr.find("usage"), std::string::npos);
    }
}

} // namespace
} // namespace korvex::test
