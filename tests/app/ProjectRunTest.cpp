// korvex-cli run with a project file: a MODBUS master (libmodbus) reads the
// devices of the project, and the project's scripts print their log as S
// lines, exactly as script files named on the command line do.

#include "files/CodePage.h"
#include "support/CChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace korvex::test {
namespace {

const std::string kEndLine = "Скрипт остановлен (выполнен полностью).";

std::string Device(const std::string& id, int addr, int value)
{
    return *Utf8ToCp1251(id + "\t" + std::to_string(addr) +
                         "\r\nHREG\tУровень\tLEVEL\t0\tRW\t0-65535\t" + std::to_string(value) +
                         "\r\n");
}

TEST(ProjectRun, TheProjectsDevicesAnswerAndItsScriptsLog)
{
    CTempDir dir;
    std::filesystem::create_directories(dir.File("proj/sub"));
    dir.Write("proj/sub/tank.kvxd", Device("TANK", 3, 700));
    // A script that prints, sets the tank's level and ends.
    dir.Write("proj/hello.kvxs", "MyObject.Print(\"Привет из проекта\");\r\n"
                                 "MyObject.SetHREG(\"TANK\", \"LEVEL\", 4321);\r\n");
    dir.Write("proj/demo.kvxp",
              *Utf8ToCp1251("// Файл проекта\r\n.\\hello.kvxs\r\n.\\sub\\tank.kvxd\r\n"));

    CChildProcess proc(KORVEX_CLI_PATH,
                       { "run", "--virtual=" + dir.File("port"), dir.File("proj/demo.kvxp") });
    ASSERT_FALSE(
        proc.WaitForLine([](const std::string& l) { return l.starts_with("V\t"); }).empty())
        << proc.Stderr();
    const std::string end = proc.WaitForLine(
        [](const std::string& l) { return l == "S\thello.kvxs\t1\t-1\t" + kEndLine; },
        std::chrono::seconds(30));
    EXPECT_FALSE(end.empty()) << proc.Stderr();

    modbus_t* ctx = modbus_new_rtu(dir.File("port").c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 3);
    modbus_set_response_timeout(ctx, 1, 0);
    ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
    modbus_flush(ctx);
    std::uint16_t level = 0;
    EXPECT_EQ(modbus_read_registers(ctx, 0, 1, &level), 1) << modbus_strerror(errno);
    EXPECT_EQ(level, 4321) << "the script's write";
    modbus_close(ctx);
    modbus_free(ctx);

    proc.Signal(SIGTERM);
    EXPECT_EQ(proc.Wait(), 0) << proc.Stderr();
    std::vector<std::string> scriptLines;
    for (const std::string& line : proc.Lines())
        if (line.starts_with("S\t"))
            scriptLines.push_back(line);
    EXPECT_EQ(scriptLines, (std::vector<std::string>{ "S\thello.kvxs\t0\t-1\tПривет из проекта",
                                                      "S\thello.kvxs\t1\t-1\t" + kEndLine }));
    EXPECT_TRUE(proc.Stderr().empty()) << proc.Stderr();
}

} // namespace
} // namespace korvex::test
