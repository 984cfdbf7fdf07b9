#pragma once

#include "core/CDevDoc.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvex {

// Register maps as spreadsheets keep them: CSV (RFC 4180 quoting) separated
// by commas or semicolons, in UTF-8 or code page 1251, with a header row that
// names the columns in any order and letter case:
//
//   kind      COIL, DINP, HREG, IREG
//   address   decimal or "0x" hexadecimal; without a kind column the 1-based
//             five-digit address of the manuals (00001 coils, 10001 discrete
//             inputs, 30001 input registers, 40001 holding registers)
//   id        default: HR100, IR10, CO5, DI3
//   description
//   access    R, W, RW (default RW, R for inputs)
//   min, max  typed values (default the whole range: 0-0xFFFF, bits 0-1)
//   value     a typed value (default 0)
//   type      a display type (ValueType.h), default hex
//
// Only the address column is required. A row of a wide type stands for all
// its registers, its value and bounds being typed values. Semicolon files may
// write numbers with a decimal comma. Unknown columns are ignored with a
// warning.

// A map that reads without errors: the cells to add in order (a wide row's
// registers one after the other) and the views that are not the default.
struct SRegisterMap
{
    std::vector<SCellFields> arCells;
    std::vector<SCellViewAt> arViews;
};

// What reading a map gave; the messages are "FILE:LINE: column: reason".
struct SMapReadResult
{
    SRegisterMap map;
    std::vector<std::string> arErrors;
    std::vector<std::string> arWarnings;
};

// Reads the bytes of a map file; fileName heads the messages. Any error
// leaves the map empty: nothing is imported until the whole file is clean.
SMapReadResult ReadRegisterMap(std::string_view bytes, const std::string& fileName);

// Why the map cannot be added to a device that already has cells: a cell
// whose address or ID the device has, as "FILE: HREG 0x64 (HR100): reason";
// empty when it can.
std::vector<std::string> CheckRegisterMapFor(const CDevDoc& doc, const SRegisterMap& map,
                                             const std::string& fileName);

// Adds the map's cells and views to the device (emulator idle).
void ApplyRegisterMap(CDevDoc& doc, const SRegisterMap& map);

// The device's cells as a map in UTF-8: commas, a decimal point, every
// column, one row per cell or wide value, so that reading it back gives the
// same cells and views.
std::string FormatRegisterMap(const CDevDoc& doc);

} // namespace korvex
