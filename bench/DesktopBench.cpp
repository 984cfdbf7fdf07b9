// The desktop program under load: a libmodbus master reads 10 holding
// registers as fast as it can for a while, against korvex-cli and against the
// desktop program's main window (offscreen, in this process, on its virtual
// port) with MAXLOGP 500 and 0. A 10 ms timer on the user-interface thread
// measures its own lateness: the delay of the event loop.
//
// Then a device of 65,536 holding registers with its window open: the master
// writes 123 registers in a loop, with the window shown and with it hidden.
// First of all, the time a range of 1,000 registers takes to be added from
// the device window's dialog while the window is shown.
//
// Last, a protocol log of 100,000 rows (MAXLOGP 100,000) filtered again and
// again while the master reads at full rate: the longest filtering and the
// delay of the event loop.
//
// usage: korvex_bench_desktop PATH-TO-korvex-cli [SECONDS]

#include "BenchUtil.h"
#include "LoopProbe.h"
#include "core/CDevDoc.h"
#include "files/CPrjManager.h"
#include "runtime/CKorvexRuntime.h"
#include "script/ScriptEnvironment.h"
#include "support/CChildProcess.h"
#include "support/TempDir.h"
#include "ui/CCellRangeDlg.h"
#include "ui/CChildFrame.h"
#include "ui/CDevView.h"
#include "ui/CMainFrame.h"
#include "ui/CProtoBar.h"
#include "ui/Commands.h"
#include "ui/Resources.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <modbus/modbus.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace korvex;
using namespace korvex::bench;
using namespace korvex::test;
using Clock = std::chrono::steady_clock;

struct SMasterResult
{
    long requests{ 0 };
    long failures{ 0 };
    double seconds{ 0 };
};

std::string BigDevice()
{
    std::string text = "BIG\t1\r\n";
    text.reserve(65536 * 40);
    for (int a = 0; a < 65536; ++a)
        text +=
            "HREG\treg\tH" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-65535\t0\r\n";
    return text;
}

// Reads 10 registers (or writes 123) in a loop on the port until the time is up.
SMasterResult RunMaster(const std::string& port, double seconds, bool write = false)
{
    SMasterResult r;
    modbus_t* ctx = modbus_new_rtu(port.c_str(), 115200, 'N', 8, 1);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "connect %s: %s\n", port.c_str(), modbus_strerror(errno));
        modbus_free(ctx);
        return r;
    }
    modbus_flush(ctx);
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    std::uint16_t regs[123] = {};
    while (Clock::now() < end) {
        for (std::uint16_t& v : regs)
            ++v;
        const int done = write ? modbus_write_registers(ctx, 0, 123, regs)
                               : modbus_read_registers(ctx, 0, 10, regs);
        if (done == (write ? 123 : 10))
            ++r.requests;
        else
            ++r.failures;
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    modbus_close(ctx);
    modbus_free(ctx);
    return r;
}

double RunCli(const std::string& cli, const std::string& device, double seconds)
{
    CTempDir dir;
    CChildProcess proc(cli, { "run", "--virtual=" + dir.File("port"), "--baud", "115200", device });
    if (proc.WaitForLine([](const std::string& l) { return l.rfind("V\t", 0) == 0; }).empty()) {
        std::fprintf(stderr, "korvex-cli did not start: %s\n", proc.Stderr().c_str());
        return 0;
    }
    const SMasterResult r = RunMaster(dir.File("port"), seconds);
    proc.Signal(SIGTERM);
    proc.Wait();
    std::printf("korvex-cli:            %8.0f requests/s (%ld failed)\n", r.requests / r.seconds,
                r.failures);
    return r.requests / r.seconds;
}

// The main window offscreen on its virtual port with the device; the master
// runs on a thread of its own while the event loop turns.
SMasterResult RunDesktop(const std::string& device, int maxLogP, double seconds, bool write,
                         bool hideWindows, SLoopProbe& probe, int* logRows = nullptr,
                         double* filterMs = nullptr)
{
    CTempDir dir;
    CKorvexRuntime runtime;
    CKorvexRuntime::SOptions options;
    options.bVirtual = true;
    options.strLink = dir.File("port");
    options.bListVirtual = true;
    options.strSysRoot = dir.Path();
    options.baud = 115200;
    runtime.Prepare(options);
    runtime.App().GetSettings().MAXLOGP = maxLogP;
    CMainFrame frame(runtime);
    frame.show();
    runtime.Project().OnNewProject();
    runtime.Project().OnAddDevice(device);
    if (hideWindows)
        for (QMdiSubWindow* sub : frame.MdiArea()->subWindowList())
            sub->close();
    frame.Commands().Action(ID_START)->trigger();
    SMasterResult r;
    if (!WaitForPath(dir.File("port"))) {
        std::fprintf(stderr, "the desktop program did not serve its virtual port\n");
        return r;
    }
    // A full log, filtered anew every 300 ms while the master runs.
    QTimer filters;
    if (filterMs != nullptr) {
        CProtoBar& log = *frame.ProtoBar();
        CProtoFeed::Batch rows;
        for (int i = 0; i < maxLogP; ++i)
            rows.push_back(
                CProtoFeed::MakeRecord(i % 7 == 0 ? LK_ERROR
                                       : i % 2    ? LK_RESPONSE
                                                  : LK_REQUEST,
                                       i % 3 ? "BENCH" : "OTHER", 1 + i % 3,
                                       "(0x03) Read Holding Registers, row " + std::to_string(i)));
        log.AddBatch(rows, maxLogP);
        log.Flush();
        QObject::connect(&filters, &QTimer::timeout, [&log, filterMs, n = 0]() mutable {
            SLogFilter filter;
            switch (n++ % 4) {
            case 0: filter.bProblemsOnly = true; break;
            case 1: filter.strDevice = QStringLiteral("bench"); break;
            case 2: filter.nDirection = SLogFilter::ANSWERS; break;
            default: break;
            }
            QElapsedTimer timer;
            timer.start();
            log.SetFilter(filter);
            *filterMs = std::max(*filterMs, timer.nsecsElapsed() / 1e6);
        });
        filters.start(300);
    }
    probe.lateness.clear();
    std::atomic<bool> done{ false };
    std::thread master([&] {
        r = RunMaster(dir.File("port"), seconds, write);
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    master.join();
    frame.Commands().Action(ID_STOP)->trigger();
    QCoreApplication::processEvents();
    if (logRows != nullptr)
        *logRows = frame.Commands().GetState().nLogLines;
    return r;
}

// A range of 1,000 holding registers added through the device window's
// dialog while the window is shown, until the event loop has drawn them.
void RangeWithWindowOpen(const std::string& device)
{
    CTempDir dir;
    CKorvexRuntime runtime;
    CKorvexRuntime::SOptions options;
    options.bListVirtual = true;
    options.strLink = dir.File("port");
    options.strSysRoot = dir.Path();
    runtime.Prepare(options);
    CMainFrame frame(runtime);
    frame.show();
    runtime.Project().OnNewProject();
    runtime.Project().OnAddDevice(device);
    QCoreApplication::processEvents();
    auto* view = dynamic_cast<CDevView*>(frame.MdiArea()->activeSubWindow()->widget());
    if (view == nullptr)
        return;
    CDevDoc* doc = runtime.App().GetDevices().front();
    QElapsedTimer timer;
    timer.start();
    CCellRangeDlg dialog(*doc, true, view);
    dialog.SetRange({ HREG, 0x1000, 1000, "HR", 0, 0xFFFF, 0 });
    dialog.accept();
    QCoreApplication::processEvents();
    view->repaint();
    std::printf("range of 1,000 registers, window open: %.0f ms (%s)\n", timer.nsecsElapsed() / 1e6,
                dialog.GetLastMessage().isEmpty() ? "added" : "refused");
}

void Report(const char* what, const SMasterResult& r, SLoopProbe& probe)
{
    std::printf("%-34s %8.0f requests/s (%ld failed), loop delay median %.1f ms, p99 %.1f ms, "
                "max %.1f ms\n",
                what, r.requests / r.seconds, r.failures, probe.At(0.5), probe.At(0.99),
                probe.At(1.0));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: korvex_bench_desktop PATH-TO-korvex-cli [SECONDS]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    CTempDir config;
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PrepareScriptEnvironment();
    QApplication app(argc, argv);
    InitUiResources();
    const std::string device = config.Write("bench.kvxd", BenchDevice());

    RangeWithWindowOpen(device);
    const double cli = RunCli(argv[1], device, seconds);
    SLoopProbe probe;
    const SMasterResult log500 = RunDesktop(device, 500, seconds, false, false, probe);
    Report("korvex, MAXLOGP 500:", log500, probe);
    const SMasterResult log0 = RunDesktop(device, 0, seconds, false, false, probe);
    Report("korvex, MAXLOGP 0:", log0, probe);
    if (cli > 0)
        std::printf("desktop / korvex-cli: %.0f%% with MAXLOGP 500, %.0f%% with MAXLOGP 0\n",
                    100.0 * log500.requests / log500.seconds / cli,
                    100.0 * log0.requests / log0.seconds / cli);

    const std::string big = config.Write("big.kvxd", BigDevice());
    const SMasterResult shown = RunDesktop(big, 500, seconds, true, false, probe);
    Report("65,536 registers, window shown:", shown, probe);
    const SMasterResult hidden = RunDesktop(big, 500, seconds, true, true, probe);
    Report("65,536 registers, window hidden:", hidden, probe);
    if (hidden.requests > 0)
        std::printf("shown / hidden: %.0f%%\n",
                    100.0 * (shown.requests / shown.seconds) / (hidden.requests / hidden.seconds));

    double filterMs = 0;
    const SMasterResult filtered =
        RunDesktop(device, 100000, seconds, false, false, probe, nullptr, &filterMs);
    Report("log of 100,000 rows filtered:", filtered, probe);
    std::printf("filtering 100,000 rows: longest %.1f ms\n", filterMs);
    return 0;
}
