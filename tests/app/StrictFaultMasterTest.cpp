// korvex-cli run --strict and --fault against a real master (libmodbus) on a
// pseudo-terminal: the standard's exceptions, codes 17, 22 and 23, and lost
// answers counted by the master.

#include "app/CliTestUtil.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

// PUMP1 at address 1: coils 0..15, holding registers 0..19 holding 1000 + n,
// input registers 0..3; GAUGE at address 2 with holding register 0.
const std::string kPump = [] {
    std::string text = "PUMP1\t1\r\n";
    for (int a = 0; a < 16; ++a)
        text += "COIL\tcoil\tC" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-1\t0\r\n";
    for (int a = 0; a < 20; ++a)
        text += "HREG\treg\tH" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-65535\t" +
                std::to_string(1000 + a) + "\r\n";
    for (int a = 0; a < 4; ++a)
        text +=
            "IREG\tireg\tR" + std::to_string(a) + "\t" + std::to_string(a) + "\tR\t0-65535\t7\r\n";
    return text;
}();
const std::string kGauge = "GAUGE\t2\r\nHREG\treg\tG0\t0\tRW\t0-65535\t42\r\n";

class StrictFaultRun : public CliRunFixture
{
protected:
    void Start(const Strings& options)
    {
        StartWith(options, { { "pump.kvxd", kPump }, { "gauge.kvxd", kGauge } });
    }

    // Sends a raw request (CRC added by libmodbus) and returns the answer's
    // bytes without CRC, or empty on a time-out.
    std::vector<std::uint8_t> Raw(modbus_t* m, std::vector<std::uint8_t> request)
    {
        if (modbus_send_raw_request(m, request.data(), static_cast<int>(request.size())) < 0)
            return {};
        std::uint8_t answer[MODBUS_RTU_MAX_ADU_LENGTH];
        const int n = modbus_receive_confirmation(m, answer);
        if (n <= 0)
            return {};
        return std::vector<std::uint8_t>(answer, answer + n - 2);
    }
};

TEST_F(StrictFaultRun, StandardExceptionsAndTheServedCodes)
{
    Start({ "--strict" });
    ModbusPtr ctx = Connect(1);
    ASSERT_TRUE(ctx);
    modbus_t* m = ctx.get();

    std::uint16_t regs[8] = {};
    // A missing cell: exception 02.
    EXPECT_EQ(modbus_read_registers(m, 18, 4, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_register(m, 300, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    // A quantity of 0, a byte count that does not match: exception 03.
    EXPECT_EQ(Raw(m, { 0x01, 0x03, 0x00, 0x00, 0x00, 0x00 }), (Bytes{ 0x01, 0x83, 0x03 }));
    EXPECT_EQ(Raw(m, { 0x01, 0x10, 0x00, 0x00, 0x00, 0x7B, 0x02, 0x00, 0x01 }),
              (Bytes{ 0x01, 0x90, 0x03 }));
    EXPECT_EQ(modbus_write_bit(m, 0, 1), 1);
    EXPECT_EQ(Raw(m, { 0x01, 0x05, 0x00, 0x00, 0x12, 0x34 }), (Bytes{ 0x01, 0x85, 0x03 }));
    // A code not served: exception 01.
    EXPECT_EQ(Raw(m, { 0x01, 0x42, 0x00, 0x00, 0x00, 0x00 }), (Bytes{ 0x01, 0xC2, 0x01 }));
    EXPECT_EQ(Raw(m, { 0x01, 0x0B }), (Bytes{ 0x01, 0x8B, 0x01 }));

    // 17: address, run indicator, the device's ID.
    std::uint8_t id[32] = {};
    ASSERT_EQ(modbus_report_slave_id(m, sizeof id, id), 7) << modbus_strerror(errno);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id), 7), std::string("\x01\xFF") + "PUMP1");
    // 22: (0x03EA AND 0x00F2) OR (0x0025 AND NOT 0x00F2).
    ASSERT_EQ(modbus_mask_write_register(m, 2, 0x00F2, 0x0025), 1) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_registers(m, 2, 1, regs), 1);
    EXPECT_EQ(regs[0], 0x00E7);
    // 23: writes 5 and 6, then reads 4..7.
    const std::uint16_t values[2] = { 0xAAAA, 0xBBBB };
    ASSERT_EQ(modbus_write_and_read_registers(m, 5, 2, values, 4, 4, regs), 4)
        << modbus_strerror(errno);
    EXPECT_EQ(regs[0], 1004);
    EXPECT_EQ(regs[1], 0xAAAA);
    EXPECT_EQ(regs[2], 0xBBBB);
    EXPECT_EQ(regs[3], 1007);
    EXPECT_EQ(modbus_write_and_read_registers(m, 19, 2, values, 0, 1, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);

    // Another slave still gets nothing, whatever it is asked.
    ModbusPtr other = Connect(7, 200);
    EXPECT_TRUE(Raw(other.get(), { 0x07, 0x42, 0x00, 0x00 }).empty());
    EXPECT_TRUE(Raw(other.get(), { 0x07, 0x03, 0x00, 0x00, 0x00, 0x00 }).empty());
    other.reset();

    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(CountLines("P\t4\tPUMP1\t1\t(0x42): Функция не поддерживается"), 1);
    EXPECT_EQ(CountLines("P\t0\tPUMP1\t1\t(0x11) Report Slave ID Запрос идентификатора устройства"),
              1);
}

TEST_F(StrictFaultRun, DroppedAndSilentAnswersCountedByTheMaster)
{
    Start({ "--fault", "PUMP1:drop=50", "--fault=GAUGE:off", "--fault-seed=1" });
    ModbusPtr ctx = Connect(1, 100);
    ASSERT_TRUE(ctx);
    int answered = 0;
    for (int i = 0; i < 100; ++i) {
        std::uint16_t reg = 0;
        if (modbus_read_registers(ctx.get(), 0, 1, &reg) == 1 && reg == 1000)
            ++answered;
        else
            modbus_flush(ctx.get());
    }
    // About half.
    EXPECT_GT(answered, 20);
    EXPECT_LT(answered, 80);

    // A device that is off answers nothing.
    modbus_set_slave(ctx.get(), 2);
    std::uint16_t reg = 0;
    EXPECT_EQ(modbus_read_registers(ctx.get(), 0, 1, &reg), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    ctx.reset();

    EXPECT_EQ(Stop(), 0);
    // Every request reached the emulator: it was answered or lost, and each
    // loss is one warning line that names the rule. A slow machine may make
    // the master give up on an answer that was sent, never the reverse.
    const int sent = CountLines("T\t01 03 02 03 E8");
    const int lost =
        CountLines("P\t5\tPUMP1\t1\tНеисправность (drop=50): запрос потерян, ответа нет");
    EXPECT_EQ(sent + lost, 100);
    EXPECT_LE(answered, sent);
    EXPECT_EQ(CountLines("P\t5\tGAUGE\t2\tНеисправность (off): устройство отключено, ответа нет"),
              1);
}

TEST(StrictFaultOptions, BadFaultsAreUsageErrors)
{
    CTempDir dir;
    const std::string device = dir.Write("pump.kvxd", kPump);
    const auto bad =
        RunProcess(KORVEX_CLI_PATH, { "run", "--virtual", "--fault", "PUMP1:slow=3", device });
    EXPECT_EQ(bad.nExitCode, 2);
    EXPECT_NE(bad.strErr.find("--fault PUMP1:slow=3: Неизвестное правило неисправности "
                              "\"slow=3\""),
              std::string::npos)
        << bad.strErr;
    const auto noId =
        RunProcess(KORVEX_CLI_PATH, { "run", "--virtual", "--fault", "drop=5", device });
    EXPECT_EQ(noId.nExitCode, 2);
    EXPECT_NE(noId.strErr.find("--fault takes ID:RULES"), std::string::npos) << noId.strErr;
    const auto unknown =
        RunProcess(KORVEX_CLI_PATH, { "run", "--virtual", "--fault", "PUMP9:off", device });
    EXPECT_EQ(unknown.nExitCode, 2);
    EXPECT_NE(unknown.strErr.find("Устройство с идентификатором \"PUMP9\" не найдено!"),
              std::string::npos)
        << unknown.strErr;
    const auto seed =
        RunProcess(KORVEX_CLI_PATH, { "run", "--virtual", "--fault-seed=-1", device });
    EXPECT_EQ(seed.nExitCode, 2);
    EXPECT_NE(seed.strErr.find("--fault-seed takes a whole number"), std::string::npos)
        << seed.strErr;
}

TEST(StrictFaultOptions, DecodeStrict)
{
    CTempDir dir;
    const std::string device = dir.Write("pump.kvxd", kPump);
    // Report server ID and a read of 0 registers, then an unknown code.
    const std::string input = "01 11 C0 2C\n01 03 00 00 00 00 45 CA\n";
    const auto strict = RunProcess(KORVEX_CLI_PATH, { "decode", "--strict", device }, input);
    EXPECT_EQ(strict.nExitCode, 0);
    EXPECT_EQ(Starting(strict.strOut, "T\t"),
              (Strings{ "T\t01 11 07 01 FF 50 55 4D 50 31 18 B8", "T\t01 83 03 01 31" }));
    const Strings logged = Starting(strict.strOut, "P\t");
    ASSERT_EQ(logged.size(), 4u) << strict.strOut;
    EXPECT_EQ(SplitLines(strict.strOut).size(), 6u) << "P and T lines only";
    EXPECT_EQ(logged[0], "P\t0\tPUMP1\t1\t(0x11) Report Slave ID Запрос идентификатора устройства");
    EXPECT_EQ(logged[2], "P\t0\tPUMP1\t1\t(0x03) Read Holding Registers, Адрес=0x0000, "
                         "Количество=0");
    const auto plain = RunProcess(KORVEX_CLI_PATH, { "decode", device }, input);
    EXPECT_EQ(Starting(plain.strOut, "T\t"), Strings{});
}

} // namespace
} // namespace korvex::test
