// korvex-cli run --virtual: masters that come and go on its pseudo-terminal,
// and the link it is offered at, which belongs to one run at a time.

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

// Where the symbolic link at path points; empty for anything else.
std::string LinkTarget(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::read_symlink(path, ec).string();
}

// The pseudo-terminal a run serves, from its V line.
std::string Served(const CChildProcess& run)
{
    const Strings lines = Starting(run.Lines(), "V\t");
    return lines.empty() ? std::string() : lines.front().substr(2);
}

TEST(CliVirtual, ALinkAnotherRunOwnsStaysItsAndGoesWithIt)
{
    CTempDir dir;
    const std::string link = dir.File("port");
    const auto owner = StartRun(link, { dir.Write("a.kvxd", DeviceFile("A", 1, 111)) });
    const std::string pts = Served(*owner);
    ASSERT_EQ(LinkTarget(link), pts);

    CChildProcess second(KORVEX_CLI_PATH, { "run", "--virtual=" + link,
                                            dir.Write("b.kvxd", DeviceFile("B", 1, 222)) });
    EXPECT_EQ(second.Wait(10s), 1);
    EXPECT_EQ(second.Stderr(),
              "korvex-cli run: Ссылку '" + link +
                  "' на виртуальный порт держит другая работающая копия Korvex.\n");
    EXPECT_EQ(second.Stdout(), "") << "nothing started";
    EXPECT_EQ(LinkTarget(link), pts);
    ModbusPtr ctx = Connect(link, 1);
    std::uint16_t value = 0;
    EXPECT_EQ(modbus_read_registers(ctx.get(), 0, 1, &value), 1);
    EXPECT_EQ(value, 111) << "the master reaches the owner";
    ctx.reset();

    owner->Signal(SIGTERM);
    EXPECT_EQ(owner->Wait(), 0);
    EXPECT_EQ(dir.List(), (Strings{ "a.kvxd", "b.kvxd" })) << "the link and its lock are gone";
}

TEST(CliVirtual, OnlyALinkIntoDevPtsThatNobodyOwnsIsReplaced)
{
    CTempDir dir;
    const std::string pump = dir.Write("pump.kvxd", DeviceFile("A", 1, 111));
    dir.Write("notes.txt", "keep me");
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::create_symlink(pump, dir.File("elsewhere"));
    // A former run's link, killed before it could remove it.
    std::filesystem::create_symlink("/dev/pts/999", dir.File("stale"));
    const std::pair<const char*, std::string> foreign[] = {
        { "notes.txt", "обычный файл" },
        { "folder", "папка" },
        { "elsewhere", "ссылка на '" + pump + "'" },
    };
    for (const auto& [name, kind] : foreign) {
        SCOPED_TRACE(name);
        CChildProcess run(KORVEX_CLI_PATH, { "run", "--virtual=" + dir.File(name), pump });
        EXPECT_EQ(run.Wait(10s), 1);
        EXPECT_TRUE(run.Stderr().starts_with("korvex-cli run: Путь '" + dir.File(name) +
                                             "' занят (" + kind + ")"))
            << run.Stderr();
        EXPECT_EQ(run.Stdout(), "") << "nothing started";
    }
    EXPECT_EQ(ReadBytes(dir.File("notes.txt")), "keep me");
    EXPECT_EQ(LinkTarget(dir.File("elsewhere")), pump);
    EXPECT_EQ(dir.List(), (Strings{ "elsewhere", "folder", "notes.txt", "pump.kvxd", "stale" }));

    const auto run = StartRun(dir.File("stale"), { pump });
    EXPECT_EQ(LinkTarget(dir.File("stale")), Served(*run));
    run->Signal(SIGTERM);
    EXPECT_EQ(run->Wait(), 0);
    EXPECT_EQ(dir.List(), (Strings{ "elsewhere", "folder", "notes.txt", "pump.kvxd" }));
}

} // namespace
} // namespace korvex::test
