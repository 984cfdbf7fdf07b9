// korvex-cli run --virtual: masters that come and go on its pseudo-terminal.

#include "app/CliTestUtil.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

// A master at 19200 8E1 reading four holding registers of slave 1 over and
// over, until it is killed (or a minute has passed). Runs in a forked child.
[[noreturn]] void PollUntilKilled(const std::string& link)
{
    modbus_t* ctx = modbus_new_rtu(link.c_str(), 19200, 'E', 8, 1);
    if (ctx == nullptr)
        _exit(2);
    modbus_set_slave(ctx, 1);
    // The link appears once the emulator serves.
    if (!WaitUntil([ctx] { return modbus_connect(ctx) == 0; }, 30s))
        _exit(3);
    modbus_flush(ctx);
    const auto end = std::chrono::steady_clock::now() + 60s;
    std::uint16_t regs[4];
    while (std::chrono::steady_clock::now() < end)
        modbus_read_registers(ctx, 0, 4, regs);
    _exit(4);
}

TEST(CliVirtual, AnEvenParityMasterConnectsAfterOneWasKilledMidPoll)
{
    CTempDir dir;
    const std::string link = dir.File("port");
    const std::string device = dir.Write("pump.kvxd", DemoDevice());
    // Forked before the test starts threads of its own (the run's readers).
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        PollUntilKilled(link);

    const auto run = StartRun(link, { "--baud", "19200", "--parity", "even", device });
    const bool answered =
        !run->WaitForLine([](const std::string& l) { return l.starts_with("T\t01 03 08"); }, 30s)
             .empty();
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(answered) << "the first master was served";
    EXPECT_TRUE(WIFSIGNALED(status)) << "killed mid-poll";

    ModbusPtr ctx(modbus_new_rtu(link.c_str(), 19200, 'E', 8, 1));
    ASSERT_TRUE(ctx);
    modbus_set_slave(ctx.get(), 1);
    ASSERT_EQ(modbus_connect(ctx.get()), 0) << modbus_strerror(errno);
    modbus_flush(ctx.get());
    std::uint16_t regs[4] = {};
    ASSERT_EQ(modbus_read_registers(ctx.get(), 0, 4, regs), 4) << modbus_strerror(errno);
    EXPECT_EQ(regs[0], 1000);
    EXPECT_EQ(regs[3], 1003);
    ctx.reset();
    run->Signal(SIGTERM);
    EXPECT_EQ(run->Wait(), 0) << run->Stderr();
}

} // namespace
} // namespace korvex::test
