// The link of the virtual port belongs to the program that holds its lock:
// a second korvex-cli on it starts nothing, and the desktop program serves
// its own pseudo-terminal without the default link, saying so.

#include "runtime/CKorvexRuntime.h"
#include "support/CChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace korvex::test {
namespace {

TEST(VirtualLink, ALinkAnotherProgramOwnsIsLeftAlone)
{
    CTempDir dir;
    const std::string previous =
        std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    const std::string link = CKorvexRuntime::DefaultVirtualLink();
    const std::string busy =
        "Ссылку '" + link + "' на виртуальный порт держит другая работающая копия Korvex.";
    const std::string device = dir.Write("pump.kvxd", "PUMP1\t1\r\n");
    CChildProcess owner(KORVEX_CLI_PATH, { "run", "--virtual=" + link, device });
    const std::string served =
        owner.WaitForLine([](const std::string& l) { return l.starts_with("V\t"); });
    ASSERT_NE(served, "") << owner.Stderr();

    CChildProcess second(KORVEX_CLI_PATH, { "run", "--virtual=" + link, device });
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_EQ(second.Stderr(), "korvex-cli run: " + busy + "\n");
    EXPECT_EQ(second.Stdout(), "") << "nothing started";
    {
        // korvex --virtual, on the default link.
        CKorvexRuntime runtime;
        CKorvexRuntime::SOptions options;
        options.bListVirtual = options.bVirtual = true;
        options.strSysRoot = dir.File("sys");
        ASSERT_EQ(runtime.Prepare(options), CKorvexRuntime::Prepared::Ok);
        std::vector<std::string> messages;
        runtime.App().SetMessageHandler([&](const std::string& text) { messages.push_back(text); });
        ASSERT_TRUE(runtime.Start());
        const std::string own = runtime.GetVirtualDevice();
        EXPECT_EQ(messages, std::vector<std::string>{
                                busy + "\nВиртуальный порт работает без ссылки: " + own });
        EXPECT_EQ(runtime.GetVirtualPath(), own) << "the path the status bar shows";
        runtime.Stop();
    }
    EXPECT_EQ("V\t" + std::filesystem::read_symlink(link).string(), served)
        << "nobody else moved or removed the link";
    owner.Signal(SIGTERM);
    EXPECT_EQ(owner.Wait(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("korvex"))) << "the link and its lock are gone";
    setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
}

} // namespace
} // namespace korvex::test
