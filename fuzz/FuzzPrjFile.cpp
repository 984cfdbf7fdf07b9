// The project file reader on arbitrary bytes: the entries it reads are
// written and read again and must come back (scripts first, then devices,
// each in file order), and the path functions of a project run on every
// entry.

#include "files/CodePage.h"
#include "files/PrjFile.h"
#include "files/ProjectPaths.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace korvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text =
        DecodeFileText(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::vector<SPrjEntry> entries = ParsePrjFile(text);

    std::vector<std::string> scripts;
    std::vector<std::string> devices;
    for (const SPrjEntry& e : entries) {
        if (e.strPath.empty() || e.bDevice != IsDevicePath(e.strPath))
            std::abort();
        (e.bDevice ? devices : scripts).push_back(e.strPath);

        // Resolving against the folder and making the path relative again.
        const std::string resolved = ResolvePathIn("/fuzz/prj", e.strPath);
        const std::string relative = MakeRelativePathTo("/fuzz/prj", resolved);
        (void)RemoveExtension(relative);
        (void)DirOfPath(resolved);
        (void)ResolvePathIn("/fuzz/prj/sub", relative);
    }

    const std::string written = EncodeFileText(FormatPrjFile(scripts, devices, "1.0"));
    std::vector<SPrjEntry> expected;
    for (const std::string& s : scripts)
        expected.push_back({ s, false });
    for (const std::string& d : devices)
        expected.push_back({ d, true });
    if (ParsePrjFile(DecodeFileText(written)) != expected)
        std::abort();
    return 0;
}
