// The script log under a script that prints as fast as it can: a loop of
// 100,000 MyObject.Print calls, the script's window open in the desktop
// program's main window (offscreen, in this process, on its virtual port),
// with MAXLOGS 200 and 0. A 10 ms timer on the user-interface thread measures
// its own lateness, the delay of the event loop; the time from the start
// until the script's last line is shown is the other figure.
//
// usage: korvex_bench_script_log [LINES]

#include "LoopProbe.h"
#include "runtime/CKorvexRuntime.h"
#include "script/CScriptDoc.h"
#include "script/ScriptEnvironment.h"
#include "support/TempDir.h"
#include "ui/CDebugView.h"
#include "ui/CMainFrame.h"
#include "ui/CScriptFrame.h"
#include "ui/Commands.h"
#include "ui/Resources.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace korvex;
using namespace korvex::bench;
using namespace korvex::test;

// Give up on a run after this long.
constexpr qint64 kDeadline = 300'000; // milliseconds

void RunScript(long lines, int maxLogs)
{
    CTempDir dir;
    dir.Write("s.kvxs", "for (var i = 0; i < " + std::to_string(lines) +
                            "; ++i)\r\n    MyObject.Print(i);\r\n");
    const std::string project = dir.Write("p.kvxp", ".\\s.kvxs\r\n");
    CKorvexRuntime runtime;
    CKorvexRuntime::SOptions options;
    options.bVirtual = true;
    options.strLink = dir.File("port");
    options.bListVirtual = true;
    options.strSysRoot = dir.Path();
    runtime.Prepare(options);
    runtime.App().GetSettings().MAXLOGS = maxLogs;
    CMainFrame frame(runtime);
    frame.show();
    frame.OpenStartupProject(QString::fromStdString(project));
    QCoreApplication::processEvents();
    CDebugView* log = nullptr;
    for (QMdiSubWindow* sub : frame.MdiArea()->subWindowList())
        if (auto* view = dynamic_cast<CScriptFrame*>(sub->widget()))
            log = view->Log();
    if (log == nullptr) {
        std::fprintf(stderr, "the script's window did not open\n");
        return;
    }

    const QString endLine = QString::fromUtf8(CScriptDoc::kEndLine);
    const auto lastShown = [&] {
        const int count = log->GetLineCount();
        return count > 0 && log->Model().Row(count - 1).strText == endLine;
    };
    SLoopProbe probe;
    QElapsedTimer clock;
    clock.start();
    frame.Commands().Action(ID_START)->trigger();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (lastShown() || clock.elapsed() > kDeadline)
            loop.quit();
    });
    check.start(1);
    loop.exec();
    const double shownAfter = static_cast<double>(clock.elapsed());
    probe.tick.stop();
    frame.Commands().Action(ID_STOP)->trigger();
    QCoreApplication::processEvents();
    std::printf("%ld lines, MAXLOGS %-3d: %s after %.0f ms, %d rows; loop delay median %.1f ms, "
                "p99 %.1f ms, max %.1f ms\n",
                lines, maxLogs, lastShown() ? "last line shown" : "NOT SHOWN", shownAfter,
                log->GetLineCount(), probe.At(0.5), probe.At(0.99), probe.At(1.0));
}

} // namespace

int main(int argc, char** argv)
{
    const long lines = argc > 1 ? std::atol(argv[1]) : 100000;
    CTempDir config;
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PrepareScriptEnvironment();
    QApplication app(argc, argv);
    InitUiResources();
    RunScript(lines, 200);
    RunScript(lines, 0);
    return 0;
}
