// The desktop program's default link of the virtual port while another
// program owns it: the program serves its own pseudo-terminal and says so.

#include "app/common/CKorvexRuntime.h"
#include "support/CChildProcess.h"
#include "support/TempDir.h"
#include "ui/CMainFrame.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace korvex::test {
namespace {

std::string LinkTarget(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::read_symlink(path, ec).string();
}

// XDG_RUNTIME_DIR, where the default link lives, set for a scope.
class CRuntimeDirScope
{
public:
    explicit CRuntimeDirScope(const std::string& dir)
    {
        if (const char* previous = std::getenv("XDG_RUNTIME_DIR"))
            m_previous = previous;
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    ~CRuntimeDirScope()
    {
        if (m_previous)
            setenv("XDG_RUNTIME_DIR", m_previous->c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }

private:
    std::optional<std::string> m_previous;
};

TEST(VirtualLink, TheDefaultLinkOfAnotherProgramIsLeftAloneAndTheOwnPathShown)
{
    CTempDir dir;
    const CRuntimeDirScope runtimeDir(dir.Path());
    const std::string link = CKorvexRuntime::DefaultVirtualLink();
    ASSERT_EQ(link, dir.File("korvex/tty"));

    CChildProcess owner(KORVEX_CLI_PATH,
                        { "run", "--virtual=" + link,
                          dir.Write("pump.kvxd", "PUMP1\t1\r\nHREG\td\tR\t0\tRW\t0-9\t1\r\n") });
    const std::string served =
        owner.WaitForLine([](const std::string& l) { return l.starts_with("V\t"); });
    ASSERT_FALSE(served.empty()) << owner.Stderr();
    const std::string pts = served.substr(2);
    ASSERT_EQ(LinkTarget(link), pts);

    {
        // korvex --virtual: the default link.
        std::filesystem::create_directories(dir.File("sys"));
        CKorvexRuntime runtime;
        CKorvexRuntime::SOptions options;
        options.bListVirtual = true;
        options.bVirtual = true;
        options.strSysRoot = dir.File("sys");
        options.strDevRoot = dir.File("dev");
        ASSERT_EQ(runtime.Prepare(options), CKorvexRuntime::Prepared::Ok);
        CMainFrame frame(runtime);
        frame.show();
        frame.OpenStartupProject();
        QStringList messages;
        QTimer::singleShot(0, [&messages] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages << box->text();
                box->close();
            }
        });
        frame.Commands().Action(ID_START)->trigger();
        ASSERT_TRUE(runtime.App().IsRunning());
        const QString own = QString::fromStdString(runtime.GetVirtualDevice());
        EXPECT_EQ(messages, QStringList{ QStringLiteral("Ссылку '%1' на виртуальный порт держит "
                                                        "другая работающая копия Korvex.\n"
                                                        "Виртуальный порт работает без ссылки: %2")
                                             .arg(QString::fromStdString(link), own) });
        EXPECT_TRUE(frame.GetStatusText().startsWith(
            QStringLiteral("Работает: виртуальный порт %1, ").arg(own)))
            << frame.GetStatusText().toStdString();
        EXPECT_EQ(LinkTarget(link), pts);
        runtime.Stop();
    }
    EXPECT_EQ(LinkTarget(link), pts) << "the end of the program removed nothing of the owner's";
    EXPECT_TRUE(std::filesystem::exists(link + ".lock"));

    owner.Signal(SIGTERM);
    EXPECT_EQ(owner.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(link));
}

} // namespace
} // namespace korvex::test
