#pragma once

#include "core/CProtoFeed.h"

#include <cstdint>
#include <string>

namespace korvex {

// The lines both programs write for the record of a run, fields separated by
// one tab:
//   P <kind> <device> <address or empty> <text> [<raw hex>]
//                                                  a protocol-log line, with
//                                                  its frame's bytes on demand
//   T <hex bytes>                                  a frame the emulator sends
//   S <title> <level> <line> <text>                a script-log line
//                                                  (FormatScriptLogLine)
std::string FormatProtoLine(const CProtoFeed::INTERNAL_ADDLINE& rec, bool raw = false);
// The same line appended to out with its '\n', and a T line likewise.
void AppendProtoLine(std::string& out, const CProtoFeed::INTERNAL_ADDLINE& rec, bool raw = false);
void AppendTxLine(std::string& out, const std::uint8_t* data, std::uint32_t count);

} // namespace korvex
