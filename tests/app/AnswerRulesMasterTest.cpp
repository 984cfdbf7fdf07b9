// korvex-cli run --cell-rules and broadcast writes by the standard, against a
// real master (libmodbus) on a pseudo-terminal.

#include "app/CliTestUtil.h"

#include <gtest/gtest.h>

#include <poll.h>

namespace korvex::test {
namespace {

// RULES at address 1: H0 read-only, H1 write-only, H2 bounded 10-20, H3 0-100;
// coil C0 read-only, C1 free.
const std::string kRules = "RULES\t1\r\n"
                           "HREG\tro\tH0\t0\tR\t0-65535\t5\r\n"
                           "HREG\two\tH1\t1\tW\t0-65535\t6\r\n"
                           "HREG\tbounded\tH2\t2\tRW\t10-20\t15\r\n"
                           "HREG\tfree\tH3\t3\tRW\t0-100\t3\r\n"
                           "COIL\tro\tC0\t0\tR\t0-1\t0\r\n"
                           "COIL\tfree\tC1\t1\tRW\t0-1\t0\r\n";

class AnswerRules : public CliRunFixture
{
};

TEST_F(AnswerRules, CellRulesRefuseWholeRequestsOnlyWhenAskedFor)
{
    // Without the option the cells' access and bounds are the user's
    // business, not the master's.
    StartWith({}, { { "rules.kvxd", kRules } });
    {
        ModbusPtr ctx = Connect(1);
        ASSERT_TRUE(ctx);
        std::uint16_t reg = 0;
        EXPECT_EQ(modbus_write_register(ctx.get(), 0, 1), 1);
        EXPECT_EQ(modbus_write_register(ctx.get(), 2, 25), 1);
        EXPECT_EQ(modbus_read_registers(ctx.get(), 1, 1, &reg), 1);
        EXPECT_EQ(modbus_write_bit(ctx.get(), 0, 1), 1);
    }
    EXPECT_EQ(Stop(), 0);

    StartWith({ "--cell-rules" }, { { "rules.kvxd", kRules } });
    ModbusPtr ctx = Connect(1);
    ASSERT_TRUE(ctx);
    modbus_t* m = ctx.get();
    std::uint16_t regs[2] = {};
    // Access: exception 02.
    EXPECT_EQ(modbus_write_register(m, 0, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_read_registers(m, 1, 1, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_bit(m, 0, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_bit(m, 1, 1), 1);
    EXPECT_EQ(modbus_read_registers(m, 0, 1, regs), 1);
    EXPECT_EQ(regs[0], 5);
    EXPECT_EQ(modbus_write_register(m, 1, 9), 1);
    // Bounds: exception 03, and nothing of the request is written.
    EXPECT_EQ(modbus_write_register(m, 2, 25), -1);
    EXPECT_EQ(errno, EMBXILVAL);
    const std::uint16_t four = 4;
    EXPECT_EQ(modbus_write_registers(m, 3, 1, &four), 1);
    const std::uint16_t lastRefused[2] = { 12, 200 };
    EXPECT_EQ(modbus_write_registers(m, 2, 2, lastRefused), -1);
    EXPECT_EQ(errno, EMBXILVAL);
    ASSERT_EQ(modbus_read_registers(m, 2, 2, regs), 2);
    EXPECT_EQ(regs[0], 15);
    EXPECT_EQ(regs[1], 4);
    const std::uint16_t taken[2] = { 12, 4 };
    EXPECT_EQ(modbus_write_registers(m, 2, 2, taken), 2);
    ASSERT_EQ(modbus_read_registers(m, 2, 2, regs), 2);
    EXPECT_EQ(regs[0], 12);
    EXPECT_EQ(regs[1], 4);
    ctx.reset();
    EXPECT_EQ(Stop(), 0);
}

TEST_F(AnswerRules, BroadcastWritesReachEveryDeviceWithTheCellsAndAreNeverAnswered)
{
    // LOW refuses 77 by its bounds; NONE has no register 5.
    const auto device = [](const std::string& id, int addr, const std::string& bounds) {
        return id + "\t" + std::to_string(addr) + "\r\nHREG\tr\t" + id + "5\t5\tRW\t" + bounds +
               "\t1\r\nCOIL\tc\t" + id + "C\t0\tRW\t0-1\t0\r\n";
    };
    StartWith({ "--strict", "--cell-rules" },
              { { "a.kvxd", device("A", 1, "0-65535") },
                { "b.kvxd", device("B", 2, "0-65535") },
                { "low.kvxd", device("LOW", 3, "0-10") },
                { "none.kvxd", "NONE\t4\r\nHREG\tr\tN0\t0\tRW\t0-65535\t1\r\n" } });
    ModbusPtr ctx = Connect(0, 200);
    ASSERT_TRUE(ctx);
    const int fd = modbus_get_socket(ctx.get());
    const auto noAnswer = [fd] {
        pollfd pfd{ fd, POLLIN, 0 };
        return poll(&pfd, 1, 300) == 0;
    };
    const std::uint8_t writeReg[] = { 0x00, 0x06, 0x00, 0x05, 0x00, 0x4D };
    ASSERT_GT(modbus_send_raw_request(ctx.get(), writeReg, sizeof writeReg), 0);
    EXPECT_TRUE(noAnswer());
    const std::uint8_t writeCoils[] = { 0x00, 0x0F, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01 };
    ASSERT_GT(modbus_send_raw_request(ctx.get(), writeCoils, sizeof writeCoils), 0);
    EXPECT_TRUE(noAnswer());
    // A read is no broadcast's business: ignored.
    const std::uint8_t read[] = { 0x00, 0x03, 0x00, 0x05, 0x00, 0x01 };
    ASSERT_GT(modbus_send_raw_request(ctx.get(), read, sizeof read), 0);
    EXPECT_TRUE(noAnswer());

    for (const auto& [addr, value, coil] :
         { std::tuple{ 1, 77, 1 }, std::tuple{ 2, 77, 1 }, std::tuple{ 3, 1, 1 } }) {
        modbus_set_slave(ctx.get(), addr);
        std::uint16_t reg = 0;
        std::uint8_t bit = 0;
        ASSERT_EQ(modbus_read_registers(ctx.get(), 5, 1, &reg), 1) << addr;
        EXPECT_EQ(reg, value) << addr;
        ASSERT_EQ(modbus_read_bits(ctx.get(), 0, 1, &bit), 1) << addr;
        EXPECT_EQ(bit, coil) << addr;
    }
    modbus_set_slave(ctx.get(), 4);
    std::uint16_t reg = 0;
    ASSERT_EQ(modbus_read_registers(ctx.get(), 0, 1, &reg), 1);
    EXPECT_EQ(reg, 1);
    ctx.reset();
    EXPECT_EQ(Stop(), 0);
    for (const std::string id : { "A\t1", "B\t2" })
        EXPECT_EQ(CountLines("P\t5\t" + id +
                             "\t(0x06) Write Single Register - широковещательный запрос выполнен"),
                  1)
            << id;
    // LOW refused the register and took the coil.
    EXPECT_EQ(CountLines("P\t5\tLOW\t3\t(0x06) "), 1);
    EXPECT_EQ(CountLines("P\t5\tLOW\t3\t(0x0F) "), 1);
    EXPECT_EQ(CountLines("P\t5\tNONE\t4\t"), 0);
}

} // namespace
} // namespace korvex::test
