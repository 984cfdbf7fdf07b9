// korvex-cli ports: the machine's serial ports as the emulator sees them.

#include "CliCommands.h"
#include "serial/EnumeratePorts.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace korvex {
namespace {

void PrintPortsUsage(std::FILE* out)
{
    std::fputs("usage: korvex-cli ports [--sys-root DIR] [--dev-root DIR]\n"
               "One line per serial port of the machine: index, name, shown name, busy or\n"
               "free, usb or empty. --sys-root and --dev-root: where ports are looked for.\n",
               out);
}

} // namespace

int CliPorts(int argc, char** argv)
{
    std::string sysRoot = "/sys/class/tty";
    std::string devRoot = "/dev";
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintPortsUsage(stdout);
            return 0;
        }
        const bool isRoot =
            std::strcmp(argv[i], "--sys-root") == 0 || std::strcmp(argv[i], "--dev-root") == 0;
        if (isRoot && i + 1 >= argc) {
            std::fprintf(stderr, "korvex-cli ports: option '%s' needs a folder\n", argv[i]);
            PrintPortsUsage(stderr);
            return kExitUsage;
        }
        if (std::strcmp(argv[i], "--sys-root") == 0) {
            sysRoot = argv[++i];
        } else if (std::strcmp(argv[i], "--dev-root") == 0) {
            devRoot = argv[++i];
        } else {
            std::fprintf(stderr, "korvex-cli ports: unknown option '%s'\n", argv[i]);
            PrintPortsUsage(stderr);
            return kExitUsage;
        }
    }

    // One line per port, in list order: index, short name, shown name, the
    // busy mark of the trial open, and "usb" for ports on USB.
    std::vector<SSerInfo> ports;
    EnumeratePorts(ports, false, sysRoot, devRoot);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const SSerInfo& port = ports[i];
        std::printf("%zu\t%s\t%s\t%s\t%s\n", i, port.m_strComName.c_str(),
                    port.m_strShownName.c_str(), port.m_bBusy ? "busy" : "free",
                    port.m_bUsb ? "usb" : "");
    }
    std::fflush(stdout);
    return 0;
}

} // namespace korvex
