// korvex-cli: the emulator without windows.

#include "CliCommands.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintUsage(std::FILE* out)
{
    std::fputs("usage: korvex-cli COMMAND [options]\n"
               "\n"
               "commands:\n"
               "  decode [--running] [--dec-addr] [--dec-values] [--save] [DEVICE.kvxd ...]\n"
               "      open the device files in order, read hex bytes from standard input,\n"
               "      one received block per line, and print the protocol-log lines and\n"
               "      answers the emulator makes; --save writes every changed device back\n"
               "      to its file at the end; the exit status is 1 when a device file did\n"
               "      not open or could not be saved\n",
               out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage(stderr);
        return korvex::kExitUsage;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "decode") == 0)
        return korvex::CliDecode(argc - 2, argv + 2);
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "korvex-cli: unknown command '%s'\n", command);
    PrintUsage(stderr);
    return korvex::kExitUsage;
}
