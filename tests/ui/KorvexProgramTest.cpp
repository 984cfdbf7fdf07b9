// The desktop program end to end: offscreen, on its virtual port, a libmodbus
// master, the run's record in a log file.

#include "support/CChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace korvex::test {
namespace {

std::vector<std::string> ReadLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(KorvexProgram, ServesTheVirtualPortAndKeepsTheRecordOfTheRun)
{
    CTempDir dir;
    dir.Write("pump.kvxd", "PUMP1\t1\r\nHREG\td\tR0\t0\tRW\t0-65535\t1234\r\n"
                           "HREG\td\tR1\t1\tRW\t0-65535\t0\r\n");
    dir.Write("s.kvxs", "MyObject.Print('hello');\r\n");
    const std::string project = dir.Write("p.kvxp", ".\\s.kvxs\r\n.\\pump.kvxd\r\n");
    const std::string link = dir.File("tty");
    const std::string log = dir.File("run.log");

    CChildProcess korvex(KORVEX_GUI_PATH, { "--virtual=" + link, "--log=" + log, project });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(link) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(std::filesystem::exists(link)) << korvex.Stderr();

    modbus_t* ctx = modbus_new_rtu(link.c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 2, 0);
    ASSERT_EQ(modbus_connect(ctx), 0);
    modbus_flush(ctx);
    std::uint16_t regs[2] = {};
    EXPECT_EQ(modbus_read_registers(ctx, 0, 2, regs), 2);
    EXPECT_EQ(regs[0], 1234);
    EXPECT_EQ(modbus_write_register(ctx, 1, 77), 1);
    EXPECT_EQ(modbus_read_registers(ctx, 1, 1, regs), 1);
    EXPECT_EQ(regs[0], 77);
    modbus_close(ctx);
    modbus_free(ctx);

    // The script runs at the lowest priority: its line may come later.
    auto logged = [&](const std::string& line) {
        const auto lines = ReadLines(log);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    const auto printed = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!logged("S\ts.kvxs\t0\t-1\thello") && std::chrono::steady_clock::now() < printed)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    // SIGTERM stops, writes the settings and ends without questions, though
    // the device is modified.
    korvex.Signal(SIGTERM);
    EXPECT_EQ(korvex.Wait(std::chrono::seconds(20)), 0) << korvex.Stderr();
    EXPECT_FALSE(std::filesystem::exists(link));

    const std::vector<std::string> lines = ReadLines(log);
    auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("P\t0\tPUMP1\t1\t(0x03) Read Holding Registers, Адрес=0x0000, Количество=2"));
    EXPECT_TRUE(has("P\t2\tPUMP1\t1\t(0x03) Read Holding Registers, Количество=2, "
                    "Регистры={ 0x04D2 0x0000 }"));
    EXPECT_TRUE(has("P\t0\tPUMP1\t1\t(0x06) Write Single Register, Адрес=0x0001, Регистр=0x004D"));
    EXPECT_TRUE(has("S\ts.kvxs\t0\t-1\thello")) << lines.size();
}

} // namespace
} // namespace korvex::test
