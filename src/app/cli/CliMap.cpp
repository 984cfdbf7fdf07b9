// korvex-cli map: register maps in CSV into a device file and back.
//   map import MAP.csv -o DEVICE.kvxd [--id ID] [--address A]
//   map export DEVICE.kvxd

#include "CliCommands.h"
#include "core/CDevDoc.h"
#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "core/FileIo.h"
#include "core/ValueType.h"
#include "files/CPrjManager.h"
#include "files/RegisterMap.h"
#include "serial/CSettingsStore.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace korvex {
namespace {

void PrintMapUsage(std::FILE* out)
{
    std::fputs("usage: korvex-cli map import MAP.csv -o DEVICE.kvxd [--id ID] [--address A]\n"
               "       korvex-cli map export DEVICE.kvxd\n"
               "import: reads a register map (CSV, comma or semicolon, UTF-8 or CP1251, a\n"
               "  header row naming the columns kind, address, id, description, access, min,\n"
               "  max, value, type) and writes the device file and, when some cell has a\n"
               "  type, its type file (.kvxt) beside it. A bad map writes nothing: its\n"
               "  messages (FILE:LINE: column: reason) go to standard error, exit code 1.\n"
               "  --id ID       the device's ID (default: the device file's name)\n"
               "  --address A   the device's slave address, 0..255 (default 1)\n"
               "export: prints the device's cells as a map (commas, UTF-8, types included)\n",
               out);
}

int UsageError(const std::string& text)
{
    std::fprintf(stderr, "korvex-cli map: %s\n", text.c_str());
    PrintMapUsage(stderr);
    return kExitUsage;
}

// The file's name without folder and extension.
std::string Stem(const std::string& path)
{
    std::string name = path.substr(path.rfind('/') + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

// A hub for the document layer alone: settings of the user (EDITHEX), the
// reader's warnings and the layer's messages on standard error.
struct SMapHub
{
    CQueuePoster poster;
    CKorvexApp app;
    CPrjManager project{ app };

    SMapHub()
    {
        app.SetPoster(&poster);
        app.SetLineSink([](const CProtoFeed::Batch& batch) {
            for (const auto& rec : batch)
                std::fprintf(stderr, "korvex-cli map: %s: %s\n", rec.szDevice.c_str(),
                             rec.szText.c_str());
        });
        app.SetMessageHandler([](const std::string& text) {
            std::fprintf(stderr, "korvex-cli map: %s\n", text.c_str());
        });
        CSettingsStore().Load(app.GetSettings());
    }
};

int Import(int argc, char** argv)
{
    std::string mapPath, outPath, id;
    std::uint16_t addr = 1;
    bool haveId = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if ((arg == "-o" || arg == "--output") && hasValue)
            outPath = argv[++i];
        else if (arg == "--id" && hasValue) {
            id = argv[++i];
            haveId = true;
        } else if (arg == "--address" && hasValue) {
            const std::string text = argv[++i];
            if (!EncodeValue(SValueType{ ValueKind::UInt16 }, text, std::span(&addr, 1)).empty() ||
                addr > 255)
                return UsageError("the address is a number 0..255: '" + text + "'");
        } else if (!arg.starts_with('-') && mapPath.empty())
            mapPath = arg;
        else
            return UsageError("unexpected argument '" + arg + "'");
    }
    if (mapPath.empty() || outPath.empty())
        return UsageError("import needs MAP.csv and -o DEVICE.kvxd");
    if (!haveId)
        id = Stem(outPath);
    if (id.empty())
        return UsageError("the device ID is empty");

    std::string bytes;
    if (const int error = ReadWholeFile(mapPath, bytes); error != 0) {
        std::fprintf(stderr, "korvex-cli map: %s: %s\n", mapPath.c_str(), ErrorText(error).c_str());
        return 1;
    }
    const SMapReadResult result = ReadRegisterMap(bytes, mapPath);
    for (const std::string& warning : result.arWarnings)
        std::fprintf(stderr, "%s\n", warning.c_str());
    for (const std::string& error : result.arErrors)
        std::fprintf(stderr, "%s\n", error.c_str());
    if (!result.arErrors.empty())
        return 1;

    SMapHub hub;
    auto dev = std::make_unique<CDevDoc>(hub.app);
    dev->SetFileFormat(&hub.project.GetDevFileFormat());
    dev->SetDevId(id);
    dev->SetDevAddr(static_cast<std::uint8_t>(addr));
    ApplyRegisterMap(*dev, result.map);
    const bool saved = dev->DoSave(outPath);
    hub.poster.Pump();
    return saved ? 0 : 1;
}

int Export(int argc, char** argv)
{
    if (argc != 1 || argv[0][0] == '-')
        return UsageError("export takes one device file");
    SMapHub hub;
    auto* dev = dynamic_cast<CDevDoc*>(hub.project.GetDevTemplate().OpenDocumentFile(argv[0]));
    hub.poster.Pump();
    if (dev == nullptr)
        return 1;
    const std::string text = FormatRegisterMap(*dev);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

} // namespace

int CliMap(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintMapUsage(stdout);
            return 0;
        }
    if (argc < 1)
        return UsageError("import or export?");
    if (std::strcmp(argv[0], "import") == 0)
        return Import(argc - 1, argv + 1);
    if (std::strcmp(argv[0], "export") == 0)
        return Export(argc - 1, argv + 1);
    return UsageError(std::string("unknown map command '") + argv[0] + "'");
}

} // namespace korvex
