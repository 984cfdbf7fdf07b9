#pragma once

#include <cstdint>
#include <string>

namespace korvex {

// Kind of a cell; the numeric values are stored in files and used by scripts.
enum CellType : std::int32_t
{
    COIL = 0,
    DINP = 1,
    HREG = 2,
    IREG = 3,
};

// Access mode of a cell: stored, shown and saved, never enforced.
enum CellAccess : std::int32_t
{
    ACCESS_R = 0,
    ACCESS_W = 1,
    ACCESS_RW = 2,
};

// Kind of a protocol-log line; also the icon index of the protocol log.
enum LineKind : int
{
    LK_REQUEST = 0,
    LK_RESPONSE = 2,
    LK_DATA = 3,
    LK_ERROR = 4,
    LK_WARNING = 5,
    LK_ECHO = 6,
};

// "COIL", "DINP", "HREG", "IREG"; empty for a value outside the enum.
const char* CellTypeName(std::int32_t type);
// "R", "W", "RW"; "RW" for a value outside the enum.
const char* CellAccessName(std::int32_t access);

// The result of one drain step.
struct SFrameInfo
{
    int nKind{ LK_WARNING };
    int nOffset{ 0 };
    int nLength{ 0 }; // bytes consumed; 0 = wait for more bytes
    std::uint8_t byAddr{ 0 };
    std::string strText;
    // A request to a device of the project that the emulator answers.
    bool bAnswer{ false };
    // Bytes that make no frame.
    bool bUnrecognized{ false };
};

} // namespace korvex
