// A real MODBUS master (libmodbus) against korvex-cli run on a pseudo-terminal.

#include "support/CChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

namespace korvex::test {
namespace {

// PUMP1 at address 1: coils 0..15, inputs 0..7, holding registers 0..119,
// input registers 0..9 (input register 5 missing).
std::string DemoDevice()
{
    std::string text = "// test device\r\nPUMP1\t1\r\n";
    for (int a = 0; a < 16; ++a)
        text += "COIL\tcoil\tC" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-1\t" +
                std::to_string(a % 2) + "\r\n";
    for (int a = 0; a < 8; ++a)
        text += "DINP\tinput\tI" + std::to_string(a) + "\t" + std::to_string(a) + "\tR\t0-1\t" +
                (a == 2 ? "1" : "0") + "\r\n";
    for (int a = 0; a < 120; ++a)
        text += "HREG\treg\tH" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-65535\t" +
                std::to_string(1000 + a) + "\r\n";
    for (int a = 0; a < 10; ++a)
        if (a != 5)
            text += "IREG\tireg\tR" + std::to_string(a) + "\t" + std::to_string(a) +
                    "\tR\t0-65535\t" + std::to_string(50 + a) + "\r\n";
    return text;
}

struct ModbusCtxDeleter
{
    void operator()(modbus_t* ctx) const
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using ModbusPtr = std::unique_ptr<modbus_t, ModbusCtxDeleter>;

class KorvexRun : public ::testing::Test
{
protected:
    void Start(std::vector<std::string> extra = {})
    {
        m_strDevice = m_dir.File("pump.kvxd");
        WriteBytes(m_strDevice, DemoDevice());
        std::vector<std::string> args = { "run", "--virtual=" + m_dir.File("port") };
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(m_strDevice);
        m_proc = std::make_unique<CChildProcess>(KORVEX_CLI_PATH, args);
        const std::string v =
            m_proc->WaitForLine([](const std::string& l) { return l.rfind("V\t", 0) == 0; });
        ASSERT_FALSE(v.empty()) << m_proc->Stderr();
        m_strPort = v.substr(2);
    }

    ModbusPtr Connect(int slave = 1)
    {
        ModbusPtr ctx(modbus_new_rtu(m_dir.File("port").c_str(), 9600, 'N', 8, 1));
        EXPECT_NE(ctx, nullptr);
        if (!ctx)
            return ctx;
        modbus_set_slave(ctx.get(), slave);
        modbus_set_response_timeout(ctx.get(), 1, 0);
        EXPECT_EQ(modbus_connect(ctx.get()), 0) << modbus_strerror(errno);
        modbus_flush(ctx.get());
        return ctx;
    }

    int Stop()
    {
        m_proc->Signal(SIGTERM);
        return m_proc->Wait();
    }

    CTempDir m_dir;
    std::string m_strDevice;
    std::string m_strPort;
    std::unique_ptr<CChildProcess> m_proc;
};

TEST_F(KorvexRun, AnswersEveryFunctionCode)
{
    Start();
    ModbusPtr ctx = Connect();
    ASSERT_TRUE(ctx);
    modbus_t* m = ctx.get();

    std::uint8_t bits[16] = {};
    ASSERT_EQ(modbus_read_bits(m, 0, 10, bits), 10) << modbus_strerror(errno);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(bits[i], i % 2) << i;
    ASSERT_EQ(modbus_read_input_bits(m, 0, 8, bits), 8);
    EXPECT_EQ(bits[2], 1);
    EXPECT_EQ(bits[3], 0);

    std::uint16_t regs[125] = {};
    ASSERT_EQ(modbus_read_registers(m, 10, 3, regs), 3);
    EXPECT_EQ(regs[0], 1010);
    EXPECT_EQ(regs[2], 1012);
    ASSERT_EQ(modbus_read_input_registers(m, 0, 4, regs), 4);
    EXPECT_EQ(regs[3], 53);

    ASSERT_EQ(modbus_write_bit(m, 0, 1), 1);
    ASSERT_EQ(modbus_read_bits(m, 0, 1, bits), 1);
    EXPECT_EQ(bits[0], 1);
    ASSERT_EQ(modbus_write_register(m, 7, 0xBEEF), 1);
    const std::uint8_t coils[12] = { 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0 };
    ASSERT_EQ(modbus_write_bits(m, 2, 12, coils), 12);
    ASSERT_EQ(modbus_read_bits(m, 2, 12, bits), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(bits[i], coils[i]) << i;
    const std::uint16_t values[3] = { 1, 2, 3 };
    ASSERT_EQ(modbus_write_registers(m, 20, 3, values), 3);
    ASSERT_EQ(modbus_read_registers(m, 19, 5, regs), 5);
    EXPECT_EQ(regs[0], 1019);
    EXPECT_EQ(regs[1], 1);
    EXPECT_EQ(regs[3], 3);
    EXPECT_EQ(regs[4], 1023);

    // Read exception status has no libmodbus call of its own.
    const std::uint8_t status[] = { 0x01, 0x07 };
    ASSERT_EQ(modbus_send_raw_request(m, status, 2), 4);
    std::uint8_t answer[MODBUS_RTU_MAX_ADU_LENGTH];
    ASSERT_EQ(modbus_receive_confirmation(m, answer), 5);
    EXPECT_EQ(answer[1], 0x07);
    EXPECT_EQ(answer[2], 0x20);

    // Exception answers: a missing cell is exception 4.
    EXPECT_EQ(modbus_read_input_registers(m, 4, 2, regs), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    EXPECT_EQ(modbus_read_registers(m, 118, 4, regs), -1);
    EXPECT_EQ(errno, EMBXSFAIL);

    // 100 registers written and read back in one go.
    std::uint16_t hundred[100];
    for (int i = 0; i < 100; ++i)
        hundred[i] = static_cast<std::uint16_t>(0x4000 + i);
    ASSERT_EQ(modbus_write_registers(m, 0, 100, hundred), 100) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_registers(m, 0, 100, regs), 100) << modbus_strerror(errno);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(regs[i], 0x4000 + i) << i;

    EXPECT_EQ(Stop(), 0);
    // The protocol log shows the request and the exception answer lines.
    bool sawException = false;
    for (const auto& line : m_proc->Lines())
        if (line.rfind("P\t4\tPUMP1\t1\t(0x04) Read Input Registers: IREG c адресом 0x5 не найден",
                       0) == 0)
            sawException = true;
    EXPECT_TRUE(sawException);
}

TEST_F(KorvexRun, ForeignSlaveStaysUnanswered)
{
    Start();
    ModbusPtr other = Connect(7);
    ASSERT_TRUE(other);
    modbus_set_response_timeout(other.get(), 0, 300000);
    std::uint16_t reg = 0;
    EXPECT_EQ(modbus_read_registers(other.get(), 0, 1, &reg), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    const std::string warn = m_proc->WaitForLine([](const std::string& l) {
        return l ==
               "P\t5\t\t7\t(0x03) Read Holding Registers - устройство с адресом 0x7 не найдено";
    });
    EXPECT_FALSE(warn.empty());
    other.reset();

    // A master connecting afterwards still gets its own answers only.
    ModbusPtr ctx = Connect(1);
    EXPECT_EQ(modbus_read_registers(ctx.get(), 3, 1, &reg), 1);
    EXPECT_EQ(reg, 1003);
    EXPECT_EQ(Stop(), 0);
}

TEST_F(KorvexRun, ThousandRequestsAndSavedValues)
{
    Start({ "--save" });
    ModbusPtr ctx = Connect();
    ASSERT_TRUE(ctx);
    int answered = 0;
    for (int i = 0; i < 1000; ++i) {
        std::uint16_t regs[10];
        if (modbus_read_registers(ctx.get(), static_cast<int>(i % 100), 10, regs) == 10 &&
            regs[0] == 1000 + i % 100)
            ++answered;
    }
    EXPECT_EQ(answered, 1000);
    ASSERT_EQ(modbus_write_register(ctx.get(), 42, 4242), 1);
    ASSERT_EQ(modbus_write_bit(ctx.get(), 1, 0), 1);
    ctx.reset();
    EXPECT_EQ(Stop(), 0);

    // The file now holds the values the master wrote.
    const std::string saved = ReadBytes(m_strDevice);
    EXPECT_NE(saved.find("\tH42\t"), std::string::npos);
    const bool hex = saved.find("\tH42\t0x2A\tRW\t0x0-0xFFFF\t0x1092\r\n") != std::string::npos;
    const bool dec = saved.find("\tH42\t42\tRW\t0-65535\t4242\r\n") != std::string::npos;
    EXPECT_TRUE(hex || dec) << saved.substr(0, 2000);
}

TEST(KorvexRunPort, VanishedPortGivesOneWarningAndExitOne)
{
    CTempDir dir;
    const std::string device = dir.File("pump.kvxd");
    WriteBytes(device, DemoDevice());
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    close(slave);
    // The emulator must not inherit the master side, or closing it here
    // would not make the port vanish.
    fcntl(master, F_SETFD, FD_CLOEXEC);

    CChildProcess proc(KORVEX_CLI_PATH, { "run", "--port", name, device });
    // Wait until the emulator answers, so that it holds the port.
    const std::string req = { 0x01, 0x03, 0x00, 0x00, 0x00, 0x01, static_cast<char>(0x84), 0x0A };
    bool answered = false;
    for (int attempt = 0; attempt < 100 && !answered; ++attempt) {
        ASSERT_EQ(write(master, req.data(), req.size()), static_cast<ssize_t>(req.size()));
        answered =
            !proc.WaitForLine([](const std::string& l) { return l.rfind("T\t01 03 02", 0) == 0; },
                              std::chrono::milliseconds(100))
                 .empty();
    }
    ASSERT_TRUE(answered) << proc.Stderr();
    close(master);
    EXPECT_EQ(proc.Wait(std::chrono::seconds(10)), 1);
    int warnings = 0;
    for (const auto& line : proc.Lines())
        if (line.rfind("P\t5\t\t\t", 0) == 0)
            ++warnings;
    EXPECT_EQ(warnings, 1);
}

} // namespace
} // namespace korvex::test
