// korvex-cli decode: the project or the device files named on the command
// line are opened in order, then every line of standard input is one received
// block.

#include "CCliOutput.h"
#include "CliCommands.h"
#include "core/CDocTemplate.h"
#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "core/Text.h"
#include "files/CPrjManager.h"
#include "serial/CSettingsStore.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace korvex {
namespace {

// Hex pairs with optional blanks between them; nullopt for anything else.
std::optional<std::vector<std::uint8_t>> ParseHexLine(const std::string& line)
{
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    const std::size_t n = line.size() > 0 && line.back() == '\r' ? line.size() - 1 : line.size();
    while (i < n) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        if (i + 1 >= n)
            return std::nullopt;
        const int hi = HexDigit(line[i]);
        const int lo = HexDigit(line[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        i += 2;
    }
    return bytes;
}

void PrintDecodeUsage(std::FILE* out)
{
    std::fputs("usage: korvex-cli decode [--running] [--dec-addr] [--dec-values] [--strict]"
               " [--cell-rules] [--raw] [--save] [PROJECT.kvxp | DEVICE.kvxd ...]\n"
               "Opens the project or the device files, then hands each line of standard\n"
               "input (hex byte pairs) to the receive path as one received block.\n"
               "  --running     bytes that may still become a frame wait for the next line\n"
               "  --dec-addr    addresses in decimal\n"
               "  --dec-values  values and data bytes in decimal\n"
               "  --strict      answer by the MODBUS standard\n"
               "  --cell-rules  the cells' access (R, W) and bounds hold for the master\n"
               "  --raw         P lines end in a tab and the frame's bytes in hex\n"
               "  --save        at the end, save every device whose values changed\n",
               out);
}

} // namespace

int CliDecode(int argc, char** argv)
{
    bool running = false;
    bool decAddr = false;
    bool decValues = false;
    bool save = false;
    bool strict = false;
    bool cellRules = false;
    bool raw = false;
    std::vector<std::string> deviceFiles;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintDecodeUsage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--running") == 0)
            running = true;
        else if (std::strcmp(argv[i], "--dec-addr") == 0)
            decAddr = true;
        else if (std::strcmp(argv[i], "--dec-values") == 0)
            decValues = true;
        else if (std::strcmp(argv[i], "--save") == 0)
            save = true;
        else if (std::strcmp(argv[i], "--strict") == 0)
            strict = true;
        else if (std::strcmp(argv[i], "--cell-rules") == 0)
            cellRules = true;
        else if (std::strcmp(argv[i], "--raw") == 0)
            raw = true;
        else if (argv[i][0] != '-')
            deviceFiles.emplace_back(argv[i]);
        else {
            std::fprintf(stderr, "korvex-cli decode: unknown option '%s'\n", argv[i]);
            PrintDecodeUsage(stderr);
            return kExitUsage;
        }
    }
    if (const std::string error = CheckCliFiles(deviceFiles); !error.empty()) {
        std::fprintf(stderr, "korvex-cli decode: %s\n", error.c_str());
        PrintDecodeUsage(stderr);
        return kExitUsage;
    }

    CQueuePoster poster;
    CCliOutput out;
    out.SetRaw(raw);
    CKorvexApp app;
    CPrjManager project(app);
    app.SetPoster(&poster);
    app.SetTransmitter(&out);
    app.SetLineSink([&out](const CProtoFeed::Batch& batch) { out.PrintBatch(batch); });
    // Number formats come from the user's settings; the options override
    // them for this run only.
    CSettingsStore().Load(app.GetSettings());
    if (decAddr)
        app.GetSettings().ADDRISHEX = 0;
    if (decValues)
        app.GetSettings().VALUEISHEX = 0;
    if (strict)
        app.GetSettings().MBSTRICT = 1;
    if (cellRules)
        app.GetSettings().MBCELLRULES = 1;
    app.SetRunning(running);
    app.SetMessageHandler([](const std::string& text) {
        std::fprintf(stderr, "korvex-cli decode: %s\n", text.c_str());
    });

    // A file that does not open (unreadable, or a device ID that is already
    // open) leaves the others alone; the reader's warnings come out as P lines.
    // A project opens its devices relative to its folder; its scripts do not
    // run here and are not opened.
    int status = 0;
    if (IsCliProject(deviceFiles)) {
        if (!OpenCliProject(project, deviceFiles.front()))
            status = 1;
        poster.Pump();
    } else {
        for (const std::string& path : deviceFiles) {
            if (project.GetDevTemplate().OpenDocumentFile(path) == nullptr)
                status = 1;
            poster.Pump();
        }
    }

    std::string line;
    unsigned lineNo = 0;
    while (std::getline(std::cin, line)) {
        ++lineNo;
        const auto bytes = ParseHexLine(line);
        if (!bytes) {
            std::fprintf(stderr, "korvex-cli decode: line %u: not hexadecimal bytes, skipped\n",
                         lineNo);
            continue;
        }
        if (bytes->empty())
            continue;
        app.OnReceive(bytes->data(), static_cast<std::uint32_t>(bytes->size()));
        poster.Pump();
    }
    // The end of the input ends the session: bytes still waiting for the
    // rest of a frame, or too few to look at, are reported.
    app.SetRunning(false);
    app.FlushReceive();
    poster.Pump();

    if (save && !app.SaveAllModified())
        status = 1;
    return status;
}

} // namespace korvex
