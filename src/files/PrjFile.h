#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvex {

// The project file (.kvxp): a comment header and one path per line, each
// relative to the project file's folder (".\pump.kvxd"). The Windows program
// writes the lines ending in CR LF; LF alone is read as well.

// One listed file as it stands in the file.
struct SPrjEntry
{
    std::string strPath;
    bool bDevice{ false };

    bool operator==(const SPrjEntry&) const = default;
};

// The entries of the UTF-8 text in file order: each line is trimmed of blanks
// and tabs (and a CR before its LF) at both ends; empty lines and lines that
// start with "//" are skipped; the rest are paths, of devices or of scripts
// by IsDevicePath.
std::vector<SPrjEntry> ParsePrjFile(std::string_view text);

// The project as the Windows program writes it: the eight header lines, then
// the scripts' paths, then the devices' paths, every line ended by CR LF.
std::string FormatPrjFile(const std::vector<std::string>& scripts,
                          const std::vector<std::string>& devices, const std::string& version);

} // namespace korvex
