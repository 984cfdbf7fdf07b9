#pragma once

#include "core/CDevDoc.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

class ILineSink;

// The type file (.kvxt) beside a device file keeps the views of its cells, so
// that the device file keeps the Windows program's format. Tab-separated text
// in the device file's code page, CR LF, comment lines starting with "//",
// one line per cell whose view is not the default:
//
//   <kind> <tab> <address> <tab> <type> [<tab> <low> <tab> <high>]
//
// e.g. "HREG\t100\tfloat32:CDAB\t-10.5\t100"; the bounds are typed values,
// an empty one the type's whole range. It is written only while some view
// differs from the default and removed when none does.

// "pump.kvxd" -> "pump.kvxt"; a name without an extension gets one.
std::string TypeFilePath(const std::string& devPath);

// The views the text lists; nullopt and the reason ("строка 3: ...") at the
// first line that is not a view of a cell.
std::optional<std::vector<SCellViewAt>> ParseTypeFile(std::string_view text, std::string& error);
// The text of the views, the comment header first.
std::string FormatTypeFile(const std::vector<SCellViewAt>& views);
// Why the view cannot be the one of a cell of the kind, empty when it can.
std::string CheckCellView(std::int32_t cellType, const SCellView& view);

// Gives the device the views of the type file beside its file. No file: the
// device keeps its default views. A file that cannot be read or holds a bad
// line is one warning line under the device's title, and no view is taken.
void LoadTypeFile(CDevDoc& doc, const std::string& devPath, ILineSink& lines);
// Writes the type file beside the device file for the views of the cells the
// device has, or removes it when there is none; the failure, empty on success.
std::string StoreTypeFile(const CDevDoc& doc, const std::string& devPath);

} // namespace korvex
