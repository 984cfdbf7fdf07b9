// korvex-cli run: opens the devices, starts the emulator on a serial port (or
// on a pseudo-terminal pair of its own) and prints every protocol-log line
// until SIGINT/SIGTERM or until the session stops by itself.

#include "CCliOutput.h"
#include "CliCommands.h"
#include "core/CDocManager.h"
#include "core/CDocTemplate.h"
#include "core/CountersJson.h"
#include "core/FileIo.h"
#include "core/ISessionObserver.h"
#include "runtime/CKorvexRuntime.h"
#include "runtime/CSignalWatcher.h"
#include "runtime/LogLines.h"
#include "script/CScriptDoc.h"
#include "script/SScriptLogRecord.h"

#include <QCoreApplication>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace korvex {
namespace {

struct SRunOptions
{
    CKorvexRuntime::SOptions runtime;
    bool bHelp{ false };
    bool bSave{ false };
    bool bRaw{ false };
    std::optional<std::uint32_t> faultSeed; // repeatable draws of the faults
    std::string strStats;                   // --stats: the counters' JSON file
    std::vector<std::string> files;
};

void PrintRunUsage(std::FILE* out)
{
    std::fputs("usage: korvex-cli run [--port NAME|PATH | --virtual[=LINK]] [--baud N]\n"
               "         [--data-bits 5-8] [--parity none|odd|even|mark|space]\n"
               "         [--stop-bits 1|1.5|2] [--rts on|off] [--dtr on|off]\n"
               "         [--tcp=[HOST:]PORT]... [--rtu-over-tcp=[HOST:]PORT]...\n"
               "         [--tcp-max-clients N]\n"
               "         [--dec-addr] [--dec-values] [--strict] [--cell-rules]\n"
               "         [--fault ID:RULES]... [--fault-seed N] [--stats FILE] [--save]\n"
               "         [--raw]\n"
               "         PROJECT.kvxp | FILE.kvxd|FILE.kvxs ...\n"
               "Without --port, --virtual, --tcp or --rtu-over-tcp the port and line\n"
               "settings of the user's settings are used; options override them for this\n"
               "run only. With --tcp or --rtu-over-tcp alone only the network is served.\n"
               "HOST defaults to 127.0.0.1; name 0.0.0.0 or [::] to be reachable from\n"
               "the network. Port 0: the system chooses; an N line tells the address.\n"
               "RULES: off | delay=MS | delay=MIN-MAX | drop=P | crc=P | exception=CODE[:P],\n"
               "separated by commas (crc spoils the CRC of the line and of RTU over TCP;\n"
               "Modbus TCP has no CRC and ignores it). --fault-seed N makes their random\n"
               "draws the same from one run to the next. --raw ends each P line in a tab\n"
               "and the frame's bytes in hex.\n"
               "--stats FILE writes the counters of every device and transport as JSON\n"
               "at the end of the run and on SIGUSR1 (see korvex-cli(1)).\n",
               out);
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
std::string ParseRunOptions(int argc, char** argv, SRunOptions& opts)
{
    CKorvexRuntime::SOptions& o = opts.runtime;
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
        if (arg == "--help" || arg == "-h") {
            opts.bHelp = true;
            return std::string();
        }
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
        } else if (is("--tcp") || is("--rtu-over-tcp")) {
            const bool mbap = is("--tcp");
            const char* name = mbap ? "--tcp" : "--rtu-over-tcp";
            const auto v = value(name);
            if (!v || v->empty())
                return std::string(name) + " needs [HOST:]PORT";
            std::string why;
            const auto endpoint =
                ParseEndpoint(*v, mbap ? ENetFraming::Mbap : ENetFraming::Rtu, why);
            if (!endpoint)
                return std::string(name) + ": " + why;
            o.net.push_back(*endpoint);
        } else if (is("--tcp-max-clients")) {
            const auto v = value("--tcp-max-clients");
            char* end = nullptr;
            const unsigned long count = v ? std::strtoul(v->c_str(), &end, 10) : 0;
            if (!v || v->empty() || *end != '\0' || count == 0 || count > 4096)
                return "--tcp-max-clients takes a number from 1 to 4096";
            o.maxClients = static_cast<unsigned>(count);
        } else if (arg == "--dec-addr") {
            o.bDecAddr = true;
        } else if (arg == "--dec-values") {
            o.bDecValues = true;
        } else if (arg == "--strict") {
            o.bStrict = true;
        } else if (arg == "--raw") {
            opts.bRaw = true;
        } else if (arg == "--cell-rules") {
            o.bCellRules = true;
        } else if (is("--fault")) {
            const auto v = value("--fault");
            if (!v)
                return "--fault needs ID:RULES";
            CKorvexRuntime::SFaultOption fault;
            if (const std::string error = CKorvexRuntime::ParseFaultOption(*v, fault);
                !error.empty())
                return "--fault " + *v + ": " + error;
            o.faults.push_back(fault);
        } else if (is("--fault-seed")) {
            const auto v = value("--fault-seed");
            char* end = nullptr;
            const unsigned long long seed = v ? std::strtoull(v->c_str(), &end, 10) : 0;
            if (!v || v->empty() || *end != '\0' || seed > 0xFFFFFFFFull)
                return "--fault-seed takes a whole number from 0 to 4294967295";
            opts.faultSeed = static_cast<std::uint32_t>(seed);
        } else if (is("--stats")) {
            const auto v = value("--stats");
            if (!v || v->empty())
                return "--stats needs a file";
            opts.strStats = *v;
        } else if (arg == "--save") {
            opts.bSave = true;
        } else if (is("--sys-root") || is("--dev-root")) {
            const bool sys = is("--sys-root");
            const auto v = value(sys ? "--sys-root" : "--dev-root");
            if (!v || v->empty())
                return std::string(sys ? "--sys-root" : "--dev-root") + " needs a folder";
            (sys ? o.strSysRoot : o.strDevRoot) = *v;
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else {
            opts.files.push_back(arg);
        }
    }
    if (o.port && o.bVirtual)
        return "--port and --virtual exclude each other";
    if (opts.files.empty())
        return "no project, device or script file given";
    return CheckCliFiles(opts.files);
}

// Ends the event loop when the session stops; a stop nobody asked for (a
// port that fails, a script error) makes the exit code 1.
class CStopWatcher final : public ISessionObserver
{
public:
    explicit CStopWatcher(QCoreApplication& qapp) : m_qapp(qapp) {}
    void OnSessionStopped() override
    {
        if (!m_bRequested)
            m_nExitCode = 1;
        m_qapp.quit();
    }
    void Request() { m_bRequested = true; }
    int ExitCode() const { return m_nExitCode; }

private:
    QCoreApplication& m_qapp;
    bool m_bRequested{ false };
    int m_nExitCode{ 0 };
};

// Opens the project, or the device and script files each through its
// template; every script-log record becomes an "S" line. False when the
// project cannot be read, or a file named on the command line did not open
// and said why (a device whose ID is open already is dropped silently).
bool OpenRunFiles(CKorvexRuntime& rt, const std::vector<std::string>& files, CCliOutput& out,
                  const int& reported)
{
    if (IsCliProject(files)) {
        if (!OpenCliProject(rt.Project(), files.front()))
            return false;
    } else {
        for (const std::string& path : files) {
            const bool isScript = path.size() > 5 && path.ends_with(".kvxs");
            const int before = reported;
            CDocTemplate& tmpl = isScript ? rt.ScriptTemplate() : rt.Project().GetDevTemplate();
            if (tmpl.OpenDocumentFile(path) == nullptr && reported != before)
                return false;
        }
    }
    for (CDocument* doc : rt.ScriptTemplate().GetDocuments()) {
        auto* script = static_cast<CScriptDoc*>(doc);
        script->SetLogSink([&out, script](const SScriptLogRecord& rec) {
            out.PrintLine(FormatScriptLogLine(script->GetTitle(), rec));
        });
    }
    return true;
}

// The counters as JSON into the --stats file: a new file renamed over the
// old one, so that a reader never sees half of it. False after saying why.
bool WriteStats(CKorvexApp& app, const std::string& path)
{
    const int error = ReplaceFile(path, FormatCountersJson(app.GetCounters().Snapshot()));
    if (error == 0)
        return true;
    std::fprintf(stderr, "korvex-cli run: --stats %s: %s\n", path.c_str(),
                 ErrorText(error).c_str());
    return false;
}

} // namespace

int CliRun(int argc, char** argv)
{
    SRunOptions opt;
    const std::string error = ParseRunOptions(argc, argv, opt);
    if (opt.bHelp) {
        PrintRunUsage(stdout);
        return 0;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "korvex-cli run: %s\n", error.c_str());
        PrintRunUsage(stderr);
        return kExitUsage;
    }

    int qtArgc = 1;
    char qtName[] = "korvex-cli";
    char* qtArgv[] = { qtName, nullptr };
    QCoreApplication qapp(qtArgc, qtArgv);

    CKorvexRuntime rt;
    CKorvexApp& app = rt.App();
    CCliOutput out(&rt.Port());
    out.SetRaw(opt.bRaw);
    app.SetTransmitter(&out);
    app.SetLineSink([&out](const CProtoFeed::Batch& batch) { out.PrintBatch(batch); });
    int reported = 0;
    app.SetMessageHandler([&reported](const std::string& text) {
        ++reported;
        std::fprintf(stderr, "korvex-cli run: %s\n", text.c_str());
    });

    rt.SetNetSendTap([&out](const std::uint8_t* data, std::size_t count) {
        out.PrintTxLineSoon(data, static_cast<std::uint32_t>(count));
    });
    // The user's settings, overridden by the options for this run only: the
    // run never saves them.
    switch (rt.Prepare(opt.runtime)) {
    case CKorvexRuntime::Prepared::NoPort:
        std::fprintf(stderr, "%s\n", CKorvexRuntime::kNoPortText);
        return 1;
    case CKorvexRuntime::Prepared::VirtualFail:
        std::fprintf(stderr, "korvex-cli run: cannot create a virtual port: %s\n",
                     std::strerror(errno));
        return 1;
    case CKorvexRuntime::Prepared::Ok: break;
    }
    // A listener that cannot be bound starts nothing.
    if (std::string bindError; !rt.BindNetwork(bindError)) {
        std::fprintf(stderr, "korvex-cli run: %s\n", bindError.c_str());
        return 1;
    }
    if (!OpenRunFiles(rt, opt.files, out, reported)) {
        // The reader's warning lines are printed before the end.
        QCoreApplication::processEvents();
        return 1;
    }
    // Faults name devices by ID: they apply once the devices are open.
    if (const std::string faultError = rt.ApplyFaults(opt.runtime.faults); !faultError.empty()) {
        std::fprintf(stderr, "korvex-cli run: --fault: %s\n", faultError.c_str());
        return kExitUsage;
    }
    if (opt.faultSeed)
        app.SeedFaults(*opt.faultSeed);

    CStopWatcher stops(qapp);
    app.AddSessionObserver(&stops);
    CSignalWatcher signalWatcher([&] {
        stops.Request();
        if (app.IsRunning())
            app.OnStop();
        else
            qapp.quit();
    });
    if (!opt.strStats.empty())
        signalWatcher.WatchUser1([&] { WriteStats(app, opt.strStats); });

    // The master is told where to connect once the port is open: the open
    // purges what arrived before it.
    bool linkFailed = false;
    QTimer::singleShot(0, &qapp, [&] {
        if (!rt.Start()) {
            std::fprintf(stderr, "korvex-cli run: %s\n", rt.GetLastError().c_str());
            linkFailed = true;
            stops.Request();
            // A link that is not ours started nothing.
            if (app.IsRunning())
                app.OnStop();
            else
                qapp.quit();
            return;
        }
        if (rt.IsServingVirtual())
            out.PrintLine("V\t" + rt.GetVirtualDevice());
        if (app.IsRunning())
            for (const SNetEndpoint& e : rt.GetNetEndpoints())
                out.PrintLine("N\t" + DescribeEndpoint(e));
    });
    qapp.exec();

    if (app.IsRunning())
        app.OnStop();
    // Lines still queued (the stop's own) are printed before the end.
    QCoreApplication::processEvents();
    out.Flush();
    app.RemoveSessionObserver(&stops);
    int exitCode = stops.ExitCode();
    if (!opt.strStats.empty() && !WriteStats(app, opt.strStats))
        exitCode = exitCode == 0 ? 1 : exitCode;
    if (opt.bSave && !app.SaveAllModified())
        exitCode = exitCode == 0 ? 1 : exitCode;
    if (linkFailed)
        exitCode = 1;
    return exitCode;
}

} // namespace korvex
