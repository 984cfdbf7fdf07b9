// korvex-cli run --virtual: masters that come and go on its pseudo-terminal,
// and what may be at the path of its link.

#include "app/CliTestUtil.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

TEST(CliVirtual, AnEvenParityMasterConnectsAfterOneWasKilledMidPoll)
{
    CTempDir dir;
    const std::string link = dir.File("port");
    // Forked before the test has threads of its own: a master at 19200 8E1
    // polling until it is killed.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        modbus_t* ctx = modbus_new_rtu(link.c_str(), 19200, 'E', 8, 1);
        modbus_set_slave(ctx, 1);
        std::uint16_t regs[4];
        if (WaitUntil([ctx] { return modbus_connect(ctx) == 0; }, 30s))
            for (int i = 0; i < 1000000; ++i)
                modbus_read_registers(ctx, 0, 4, regs);
        _exit(0);
    }
    const auto run = StartRun(
        link, { "--baud", "19200", "--parity", "even", dir.Write("p.kvxd", DemoDevice()) });
    const std::string answer =
        run->WaitForLine([](const std::string& l) { return l.starts_with("T\t01 03 08"); }, 30s);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_NE(answer, "") << "the first master was served";
    EXPECT_TRUE(WIFSIGNALED(status)) << "killed mid-poll";

    ModbusPtr ctx = Connect(link, 1, 1000, 19200, 'E');
    std::uint16_t regs[4] = {};
    EXPECT_EQ(modbus_read_registers(ctx.get(), 0, 4, regs), 4) << modbus_strerror(errno);
    EXPECT_EQ(regs[3], 1003);
}

TEST(CliVirtual, OnlyALinkIntoDevPtsThatNobodyOwnsIsReplaced)
{
    CTempDir dir;
    const std::string pump = dir.Write("pump.kvxd", DemoDevice());
    dir.Write("notes.txt", "keep me");
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::create_symlink(pump, dir.File("elsewhere"));
    // A former run's link: it was killed, its lock is free.
    std::filesystem::create_symlink("/dev/pts/999", dir.File("stale"));
    const std::pair<const char*, std::string> foreign[] = {
        { "notes.txt", "обычный файл" },
        { "folder", "папка" },
        { "elsewhere", "ссылка на '" + pump + "'" },
    };
    for (const auto& [name, kind] : foreign) {
        CChildProcess run(KORVEX_CLI_PATH, { "run", "--virtual=" + dir.File(name), pump });
        EXPECT_EQ(run.Wait(10s), 1) << name;
        EXPECT_TRUE(run.Stderr().starts_with("korvex-cli run: Путь '" + dir.File(name) +
                                             "' занят (" + kind + ")"))
            << run.Stderr();
        EXPECT_EQ(run.Stdout(), "") << "nothing started";
    }
    EXPECT_EQ(ReadBytes(dir.File("notes.txt")), "keep me");

    const auto run = StartRun(dir.File("stale"), { pump });
    EXPECT_EQ(Starting(run->Lines(), "V\t"),
              Strings{ "V\t" + std::filesystem::read_symlink(dir.File("stale")).string() });
    run->Signal(SIGTERM);
    EXPECT_EQ(run->Wait(), 0);
    EXPECT_EQ(dir.List(), (Strings{ "elsewhere", "folder", "notes.txt", "pump.kvxd" }))
        << "the link and its lock are gone, the rest untouched";
}

} // namespace
} // namespace korvex::test
