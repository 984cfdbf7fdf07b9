// korvex: the desktop program.
//
//   korvex [--virtual[=LINK] | --port NAME|PATH] [--log=FILE] [PROJECT.kvxp]

#include "runtime/CKorvexRuntime.h"
#include "runtime/CLineLogFile.h"
#include "runtime/CSignalWatcher.h"
#include "core/FileIo.h"
#include "script/ScriptEnvironment.h"
#include "ui/CMainFrame.h"
#include "ui/Resources.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

using korvex::CKorvexRuntime;

struct SDesktopOptions
{
    CKorvexRuntime::SOptions runtime;
    std::string strLog;
    bool bRaw{ false };
    std::string strProject;
};

constexpr char kUsage[] =
    "usage: korvex [--virtual[=LINK] | --port NAME|PATH] [--tcp=[HOST:]PORT]...\n"
    "              [--rtu-over-tcp=[HOST:]PORT]... [--tcp-max-clients N]\n"
    "              [--log=FILE [--raw]] [PROJECT.kvxp]\n";
constexpr char kHelp[] =
    "Opens the project named, else the most recent one, in the desktop program.\n"
    "  --virtual[=LINK]  serve on the built-in virtual port at once, linked at LINK\n"
    "                    (default $XDG_RUNTIME_DIR/korvex/tty); for this run only\n"
    "  --port NAME|PATH  serve on this port at once (a name under /dev or an\n"
    "                    absolute path); for this run only\n"
    "  --tcp=[HOST:]PORT serve Modbus TCP there at once (HOST default 127.0.0.1);\n"
    "                    repeatable; without --port or --virtual the network alone\n"
    "  --rtu-over-tcp=[HOST:]PORT  the same for RTU frames on a TCP stream\n"
    "  --tcp-max-clients N  connections served at once (default 64)\n"
    "  --log=FILE        append every protocol-log row and script-log line to FILE\n"
    "  --raw             the log file's P lines end in the frame's bytes in hex\n"
    "  --help            show this help and exit\n"
    "Qt's own options (-platform NAME, ...) are taken as well.\n";

// --help anywhere; looked for before the application object exists, which
// needs a display.
bool AsksForHelp(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

// An error text, or empty when the arguments are fine. Qt's own options (for
// example -platform) are gone from argv by then.
std::string ParseOptions(int argc, char** argv, SDesktopOptions& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--virtual") {
            o.runtime.bVirtual = true;
        } else if (arg.rfind("--virtual=", 0) == 0) {
            o.runtime.bVirtual = true;
            o.runtime.strLink = arg.substr(10);
            if (o.runtime.strLink.empty())
                return "--virtual= needs a link path";
        } else if (arg == "--port" || arg.rfind("--port=", 0) == 0) {
            std::string value = arg.size() > 7 ? arg.substr(7) : std::string();
            if (arg == "--port")
                value = i + 1 < argc ? argv[++i] : "";
            if (value.empty())
                return "--port needs a name or a path";
            o.runtime.port = value;
        } else if (arg.rfind("--tcp=", 0) == 0 || arg.rfind("--rtu-over-tcp=", 0) == 0) {
            const bool mbap = arg.rfind("--tcp=", 0) == 0;
            std::string why;
            const auto endpoint = korvex::ParseEndpoint(
                arg.substr(arg.find('=') + 1),
                mbap ? korvex::ENetFraming::Mbap : korvex::ENetFraming::Rtu, why);
            if (!endpoint)
                return arg.substr(0, arg.find('=')) + ": " + why;
            o.runtime.net.push_back(*endpoint);
        } else if (arg.rfind("--tcp-max-clients=", 0) == 0) {
            char* end = nullptr;
            const std::string v = arg.substr(18);
            const unsigned long n = std::strtoul(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n == 0 || n > 4096)
                return "--tcp-max-clients takes a number from 1 to 4096";
            o.runtime.maxClients = static_cast<unsigned>(n);
        } else if (arg == "--raw") {
            o.bRaw = true;
        } else if (arg.rfind("--log=", 0) == 0) {
            o.strLog = arg.substr(6);
            if (o.strLog.empty())
                return "--log= needs a file";
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (o.strProject.empty()) {
            o.strProject = arg;
        } else {
            return "one project file at most";
        }
    }
    if (o.runtime.port && o.runtime.bVirtual)
        return "--port and --virtual exclude each other";
    return std::string();
}

} // namespace

int main(int argc, char** argv)
{
    if (AsksForHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    korvex::PrepareScriptEnvironment();
    QApplication qapp(argc, argv);
    korvex::InitUiResources();
    korvex::InstallQtTranslations();
    // Graph windows are windows of their own; the main window ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    QApplication::setOrganizationName(QStringLiteral("Ternholm"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/korvex.svg")));

    SDesktopOptions options;
    const std::string error = ParseOptions(argc, argv, options);
    if (!error.empty()) {
        std::fprintf(stderr, "korvex: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    // The built-in virtual port ends the port list, so there is always a
    // port to start on.
    options.runtime.bListVirtual = true;
    options.runtime.bSettingsNetwork = true;

    korvex::CLineLogFile log;
    log.SetRaw(options.bRaw);
    if (!options.strLog.empty() && !log.Open(options.strLog)) {
        std::fprintf(stderr, "korvex: cannot open the log file '%s': %s\n", options.strLog.c_str(),
                     std::strerror(errno));
        return 1;
    }

    CKorvexRuntime runtime;
    if (runtime.Prepare(options.runtime) == CKorvexRuntime::Prepared::VirtualFail) {
        QMessageBox::warning(nullptr, QStringLiteral("Предупреждение"),
                             QStringLiteral("Невозможно создать виртуальный порт: %1")
                                 .arg(korvex::Qs(korvex::ErrorText(errno))));
        return 1;
    }

    korvex::CMainFrame frame(runtime, log.IsOpen() ? &log : nullptr);
    // SIGINT and SIGTERM stop the emulator, write the settings and end the
    // program without questions.
    korvex::CSignalWatcher signalWatcher([&] {
        if (runtime.App().IsRunning())
            runtime.Stop();
        runtime.SaveSettings();
        QApplication::exit(0);
    });
    frame.show();
    frame.OpenStartupProject(korvex::Qs(options.strProject));
    // Started on a port or listeners named for this run, the emulator serves
    // at once.
    if (options.runtime.bVirtual || options.runtime.port || !options.runtime.net.empty())
        frame.Commands().Action(korvex::ID_START)->trigger();
    return QApplication::exec();
}
