#include "core/Types.h"

namespace korvex {

const char* CellTypeName(std::int32_t type)
{
    switch (type) {
    case COIL: return "COIL";
    case DINP: return "DINP";
    case HREG: return "HREG";
    case IREG: return "IREG";
    default: return "";
    }
}

const char* CellAccessName(std::int32_t access)
{
    switch (access) {
    case ACCESS_R: return "R";
    case ACCESS_W: return "W";
    default: return "RW";
    }
}

} // namespace korvex
