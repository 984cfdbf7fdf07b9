// korvex-cli: the emulator without windows.

#include "CliCommands.h"
#include "script/ScriptEnvironment.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintUsage(std::FILE* out)
{
    std::fputs(
        "usage: korvex-cli COMMAND [options]\n"
        "\n"
        "commands:\n"
        "  decode [--running] [--dec-addr] [--dec-values] [--strict] [--cell-rules] [--raw]\n"
        "         [--save] [PROJECT.kvxp | DEVICE.kvxd ...]\n"
        "      open the project or the device files, read hex bytes from standard input,\n"
        "      one received block per line, and print the protocol-log lines and answers\n"
        "  run [--port NAME|PATH | --virtual[=LINK]] [line options] [--save]\n"
        "      PROJECT.kvxp | DEVICE.kvxd|SCRIPT.kvxs ...\n"
        "      serve the project or the devices and scripts on a serial port and print\n"
        "      the protocol and script logs\n"
        "  ports [--sys-root DIR] [--dev-root DIR]\n"
        "      list the serial ports: index, name, shown name, busy or free, usb\n"
        "  map import MAP.csv -o DEVICE.kvxd [--id ID] [--address A]\n"
        "      make a device file (and its type file) from a register map in CSV\n"
        "  map export DEVICE.kvxd\n"
        "      print the device's cells as a register map in CSV\n"
        "\n"
        "korvex-cli COMMAND --help shows the options of a command.\n",
        out);
}

} // namespace

int main(int argc, char** argv)
{
    korvex::PrepareScriptEnvironment();
    if (argc < 2) {
        PrintUsage(stderr);
        return korvex::kExitUsage;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "decode") == 0)
        return korvex::CliDecode(argc - 2, argv + 2);
    if (std::strcmp(command, "run") == 0)
        return korvex::CliRun(argc - 2, argv + 2);
    if (std::strcmp(command, "ports") == 0)
        return korvex::CliPorts(argc - 2, argv + 2);
    if (std::strcmp(command, "map") == 0)
        return korvex::CliMap(argc - 2, argv + 2);
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 ||
        std::strcmp(command, "help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "korvex-cli: unknown command '%s'\n", command);
    PrintUsage(stderr);
    return korvex::kExitUsage;
}
