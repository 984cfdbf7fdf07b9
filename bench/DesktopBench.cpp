// The desktop program under load: a libmodbus master reads 10 holding
// registers as fast as it can for a while, against korvex-cli and against the
// desktop program's main window (offscreen, in this process, on its virtual
// port) with MAXLOGP 500 and 0. A 10 ms timer on the user-interface thread
// measures its own lateness: the delay of the event loop.
//
// usage: korvex_bench_desktop PATH-TO-korvex-cli [SECONDS]

#include "app/common/CKorvexRuntime.h"
#include "files/CPrjManager.h"
#include "script/ScriptEnvironment.h"
#include "support/CChildProcess.h"
#include "support/TempDir.h"
#include "ui/CMainFrame.h"
#include "ui/Commands.h"
#include "ui/Resources.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
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
using namespace korvex::test;
using Clock = std::chrono::steady_clock;

std::string BenchDevice()
{
    std::string text = "BENCH\t1\r\n";
    for (int a = 0; a < 10; ++a)
        text += "HREG\treg\tH" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-65535\t" +
                std::to_string(a) + "\r\n";
    return text;
}

struct SMasterResult
{
    long requests{ 0 };
    long failures{ 0 };
    double seconds{ 0 };
};

// Reads 10 registers in a loop on the port until the time is up.
SMasterResult RunMaster(const std::string& port, double seconds)
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
    while (Clock::now() < end) {
        std::uint16_t regs[10];
        if (modbus_read_registers(ctx, 0, 10, regs) == 10)
            ++r.requests;
        else
            ++r.failures;
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    modbus_close(ctx);
    modbus_free(ctx);
    return r;
}

bool WaitForPath(const std::string& path)
{
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(path) && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::filesystem::exists(path);
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

double RunDesktop(const std::string& device, int maxLogP, double seconds)
{
    CTempDir dir;
    CKorvexRuntime runtime(QCoreApplication::instance());
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
    frame.Commands().Action(ID_START)->trigger();
    if (!WaitForPath(dir.File("port"))) {
        std::fprintf(stderr, "the desktop program did not serve its virtual port\n");
        return 0;
    }

    // The loop's delay: how late each 10 ms tick comes.
    std::vector<double> lateness;
    QElapsedTimer clock;
    clock.start();
    qint64 expected = 10;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        lateness.push_back(static_cast<double>(std::max<qint64>(0, now - expected)));
        expected = now + 10;
    });
    tick.start(10);

    std::atomic<bool> done{ false };
    SMasterResult r;
    std::thread master([&] {
        r = RunMaster(dir.File("port"), seconds);
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    master.join();
    tick.stop();
    frame.Commands().Action(ID_STOP)->trigger();
    QCoreApplication::processEvents();

    std::sort(lateness.begin(), lateness.end());
    auto at = [&](double q) {
        return lateness.empty() ? 0.0
                                : lateness[static_cast<std::size_t>(q * (lateness.size() - 1))];
    };
    std::printf("korvex, MAXLOGP %4d:   %8.0f requests/s (%ld failed), loop delay median %.1f ms, "
                "p99 %.1f ms, max %.1f ms, %d log rows\n",
                maxLogP, r.requests / r.seconds, r.failures, at(0.5), at(0.99), at(1.0),
                frame.Commands().GetState().nLogLines);
    return r.requests / r.seconds;
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

    const double cli = RunCli(argv[1], device, seconds);
    const double gui500 = RunDesktop(device, 500, seconds);
    const double gui0 = RunDesktop(device, 0, seconds);
    if (cli > 0)
        std::printf("desktop / korvex-cli: %.0f%% with MAXLOGP 500, %.0f%% with MAXLOGP 0\n",
                    100.0 * gui500 / cli, 100.0 * gui0 / cli);
    return 0;
}
