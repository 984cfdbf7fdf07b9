#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

class CDevDoc;
class ILineSink;

// The device file (.kvxd): tab-separated text that people write and edit by
// hand, one device per file. Blanks and tabs are trimmed from both ends of a
// line; empty lines and lines starting with "//" are skipped; the rest is cut
// at tabs:
//
//   <ID> <tab> <address>                               the device line
//   <type> <tab> <description> <tab> <ID> <tab> <address> <tab> <access>
//          <tab> <low>-<high> <tab> <value>            a cell line
//
// A line of 7 or more fields is a cell; a line of 2 to 6 fields whose second
// field starts with a digit sets the device's ID and address (the last such
// line wins); anything else is reported in the protocol log and skipped. Every
// number is decimal or "0x" hexadecimal (ParseNumber).
//
// A text holding a control character other than TAB, CR and LF, or a cell
// line before any device line, is not a device file (a binary file, or some
// other text). The Windows program writes a device with an empty ID as
// "<tab><address>", which counts as a device line here.
//
// Both functions work on UTF-8 text; the caller holds the device's lock and
// does the encoding of the bytes on disk.

// Adds every cell line of the text to the device (CDevDoc::AddItem) and takes
// the ID and address of its device lines. A bad line is reported as a warning
// line under the document's title and skipped. A text that is not a device
// file is reported as one format error and gives false, the device untouched.
bool LoadDevFile(CDevDoc& doc, std::string_view text, ILineSink& lines);

// The device as the file the Windows program writes: the comment header, the
// device line, then one line per cell in the device's order, each line ended
// with CR LF. Numbers are "0x%X" when hex is set, else "%u".
std::string FormatDevFile(const CDevDoc& doc, bool hex, const std::string& version);

// The file of a device that has no cells yet: the header and the device line.
std::string FormatEmptyDevFile(const std::string& id, std::uint8_t addr, bool hex,
                               const std::string& version);

} // namespace korvex
