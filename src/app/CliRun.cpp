// korvex-cli run: opens the devices, starts the emulator on a serial port (or
// on a pseudo-terminal pair of its own) and prints every protocol-log line
// until SIGINT/SIGTERM or until the session stops by itself.

#include "CCliOutput.h"
#include "CQtPoster.h"
#include "CliCommands.h"
#include "core/CDocManager.h"
#include "core/CDocTemplate.h"
#include "core/CKorvexApp.h"
#include "script/CScriptDoc.h"
#include "script/SScriptLogRecord.h"
#include "script/ScriptTemplate.h"
#include "serial/CAppPort.h"
#include "serial/CSettingsStore.h"
#include "serial/CVirtualPort.h"
#include "serial/RefreshPorts.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace korvex {
namespace {

int g_signalPipe[2] = { -1, -1 };

void OnSignal(int)
{
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

struct SRunOptions
{
    std::optional<std::string> port;
    bool bVirtual{ false };
    std::string strLink;
    std::optional<std::uint32_t> baud;
    std::optional<std::uint8_t> dataBits;
    std::optional<std::uint8_t> parity;
    std::optional<std::uint8_t> stopBits;
    std::optional<bool> rts;
    std::optional<bool> dtr;
    bool bDecAddr{ false };
    bool bDecValues{ false };
    bool bSave{ false };
    std::string strSysRoot{ "/sys/class/tty" };
    std::string strDevRoot{ "/dev" };
    std::vector<std::string> files;
};

void PrintRunUsage()
{
    std::fputs("usage: korvex-cli run [--port NAME|PATH | --virtual[=LINK]] [--baud N]\n"
               "         [--data-bits 5-8] [--parity none|odd|even|mark|space]\n"
               "         [--stop-bits 1|1.5|2] [--rts on|off] [--dtr on|off]\n"
               "         [--dec-addr] [--dec-values] [--save]\n"
               "         PROJECT.kvxp | FILE.kvxd|FILE.kvxs ...\n"
               "Without --port or --virtual the port and line settings of the user's\n"
               "settings are used; options override them for this run only.\n",
               stderr);
}

std::optional<bool> ParseOnOff(const std::string& v)
{
    if (v == "on")
        return true;
    if (v == "off")
        return false;
    return std::nullopt;
}

// Returns an error text, or empty when the options are fine.
std::string ParseRunOptions(int argc, char** argv, SRunOptions& o)
{
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> std::optional<std::string> {
            const std::string prefix = std::string(name) + "=";
            if (arg.rfind(prefix, 0) == 0)
                return arg.substr(prefix.size());
            if (arg == name && i + 1 < argc)
                return std::string(argv[++i]);
            return std::nullopt;
        };
        auto is = [&](const char* name) {
            return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
        };
        if (is("--port")) {
            const auto v = value("--port");
            if (!v || v->empty())
                return "--port needs a name or a path";
            o.port = *v;
        } else if (arg == "--virtual") {
            o.bVirtual = true;
        } else if (arg.rfind("--virtual=", 0) == 0) {
            o.bVirtual = true;
            o.strLink = arg.substr(10);
            if (o.strLink.empty())
                return "--virtual= needs a link path";
        } else if (is("--baud")) {
            const auto v = value("--baud");
            char* end = nullptr;
            const unsigned long baud = v ? std::strtoul(v->c_str(), &end, 10) : 0;
            if (!v || v->empty() || *end != '\0' || baud == 0 || baud > 4000000)
                return "--baud needs a rate in bits per second";
            o.baud = static_cast<std::uint32_t>(baud);
        } else if (is("--data-bits")) {
            const auto v = value("--data-bits");
            if (!v || v->size() != 1 || (*v)[0] < '5' || (*v)[0] > '8')
                return "--data-bits takes 5, 6, 7 or 8";
            o.dataBits = static_cast<std::uint8_t>((*v)[0] - '0');
        } else if (is("--parity")) {
            const auto v = value("--parity");
            static const char* const names[] = { "none", "odd", "even", "mark", "space" };
            std::optional<std::uint8_t> code;
            for (std::uint8_t p = 0; v && p < 5; ++p)
                if (*v == names[p])
                    code = p;
            if (!code)
                return "--parity takes none, odd, even, mark or space";
            o.parity = code;
        } else if (is("--stop-bits")) {
            const auto v = value("--stop-bits");
            if (v && *v == "1")
                o.stopBits = 0;
            else if (v && *v == "1.5")
                o.stopBits = 1;
            else if (v && *v == "2")
                o.stopBits = 2;
            else
                return "--stop-bits takes 1, 1.5 or 2";
        } else if (is("--rts") || is("--dtr")) {
            const bool rts = is("--rts");
            const auto v = value(rts ? "--rts" : "--dtr");
            const auto on = v ? ParseOnOff(*v) : std::nullopt;
            if (!on)
                return std::string(rts ? "--rts" : "--dtr") + " takes on or off";
            (rts ? o.rts : o.dtr) = on;
        } else if (arg == "--dec-addr") {
            o.bDecAddr = true;
        } else if (arg == "--dec-values") {
            o.bDecValues = true;
        } else if (arg == "--save") {
            o.bSave = true;
        } else if (is("--sys-root") || is("--dev-root")) {
            const bool sys = is("--sys-root");
            const auto v = value(sys ? "--sys-root" : "--dev-root");
            if (!v || v->empty())
                return std::string(sys ? "--sys-root" : "--dev-root") + " needs a folder";
            (sys ? o.strSysRoot : o.strDevRoot) = *v;
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else {
            o.files.push_back(arg);
        }
    }
    if (o.port && o.bVirtual)
        return "--port and --virtual exclude each other";
    if (o.files.empty())
        return "no project, device or script file given";
    return CheckCliFiles(o.files);
}

} // namespace

int CliRun(int argc, char** argv)
{
    SRunOptions opt;
    const std::string error = ParseRunOptions(argc, argv, opt);
    if (!error.empty()) {
        std::fprintf(stderr, "korvex-cli run: %s\n", error.c_str());
        PrintRunUsage();
        return kExitUsage;
    }

    int qtArgc = 1;
    char qtName[] = "korvex-cli";
    char* qtArgv[] = { qtName, nullptr };
    QCoreApplication qapp(qtArgc, qtArgv);

    CKorvexApp app;
    CQtPoster poster(&qapp);
    CAppPort port(app);
    CCliOutput out(&port);
    app.SetPoster(&poster);
    app.SetTransmitter(&out);
    app.SetPort(&port);
    app.GetFeed().SetSink(
        [&out](const CProtoFeed::INTERNAL_ADDLINE& rec) { out.PrintRecord(rec); });
    app.SetMessageHandler([](const std::string& text) {
        std::fprintf(stderr, "korvex-cli run: %s\n", text.c_str());
    });

    // The user's settings, overridden by the options for this run only: the
    // run never saves them.
    SSettings& set = app.GetSettings();
    CSettingsStore().Load(set);
    if (!opt.port && !opt.bVirtual) {
        std::vector<SSerInfo> ports;
        if (RefreshPorts(set, ports, opt.strSysRoot, opt.strDevRoot) < 0) {
            std::fputs("На данном ПК нет ни одного последовательного порта.\n"
                       "Работа с программой невозможна!\n",
                       stderr);
            return 1;
        }
    }
    if (opt.bDecAddr)
        set.ADDRISHEX = 0;
    if (opt.bDecValues)
        set.VALUEISHEX = 0;
    if (opt.baud)
        set.BAUD = *opt.baud;
    if (opt.dataBits)
        set.DATABIT = *opt.dataBits;
    if (opt.parity)
        set.PARITY = *opt.parity;
    if (opt.stopBits)
        set.STOPBIT = *opt.stopBits;
    if (opt.rts)
        set.RTS_CTRL_HI = *opt.rts;
    if (opt.dtr)
        set.DTR_CTRL_HI = *opt.dtr;

    CVirtualPort virtualPort;
    if (opt.bVirtual) {
        if (!virtualPort.Create()) {
            std::fprintf(stderr, "korvex-cli run: cannot create a virtual port: %s\n",
                         std::strerror(errno));
            return 1;
        }
        set.m_info.m_strComName = virtualPort.GetSlavePath();
        port.SetVirtualPort(&virtualPort);
    } else if (opt.port) {
        set.m_info.m_strComName = *opt.port;
    }

    // A project, whose files open relative to its folder, or device files and
    // script files, each kind through its template. Every script-log record
    // becomes an "S" line.
    CDocTemplate& scripts = RegisterScriptTemplate(app);
    if (IsCliProject(opt.files)) {
        if (!OpenCliProject(app, opt.files.front()))
            return 1;
    } else {
        for (const std::string& path : opt.files) {
            const bool isScript = path.size() > 5 && path.ends_with(".kvxs");
            (isScript ? scripts : app.GetDevTemplate()).OpenDocumentFile(path);
        }
    }
    for (CDocument* doc : scripts.GetDocuments()) {
        auto* script = static_cast<CScriptDoc*>(doc);
        script->SetLogSink([&out, script](const SScriptLogRecord& rec) {
            out.PrintLine(FormatScriptLogLine(script->GetTitle(), rec));
        });
    }

    int exitCode = 0;
    bool stopRequested = false;
    app.SetStopHandler([&] {
        if (!stopRequested)
            exitCode = 1;
        qapp.quit();
    });

    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &qapp, [&] {
        char buf[16];
        while (read(g_signalPipe[0], buf, sizeof buf) > 0) {}
        stopRequested = true;
        if (app.IsRunning())
            app.OnStop();
        else
            qapp.quit();
    });

    // The master is told where to connect once the port is open: the open
    // purges what arrived before it.
    bool linkFailed = false;
    QTimer::singleShot(0, &qapp, [&] {
        app.OnStart();
        if (!opt.bVirtual || !port.IsOpen())
            return;
        if (!opt.strLink.empty()) {
            unlink(opt.strLink.c_str());
            if (symlink(virtualPort.GetSlavePath().c_str(), opt.strLink.c_str()) != 0) {
                std::fprintf(stderr, "korvex-cli run: cannot create the link '%s': %s\n",
                             opt.strLink.c_str(), std::strerror(errno));
                linkFailed = true;
                stopRequested = true;
                app.OnStop();
                return;
            }
        }
        out.PrintLine("V\t" + virtualPort.GetSlavePath());
    });
    qapp.exec();

    if (app.IsRunning())
        app.OnStop();
    // Lines still queued (the stop's own) are printed before the end.
    QCoreApplication::processEvents();
    if (opt.bSave && !app.GetDocManager().SaveAllModified())
        exitCode = exitCode == 0 ? 1 : exitCode;
    if (linkFailed)
        exitCode = 1;
    else if (!opt.strLink.empty())
        unlink(opt.strLink.c_str());
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    return exitCode;
}

} // namespace korvex
