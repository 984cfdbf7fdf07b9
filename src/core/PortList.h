#pragma once

#include "core/SSettings.h"

#include <vector>

namespace korvex {

// Chooses the port of the settings in a freshly enumerated list. A PORT inside
// the list stays; any other becomes the index of the first port not marked
// busy, or 0 when every port is busy. The chosen record is copied into
// m_info. With an empty list nothing changes: PORT keeps its value and m_info
// its record, and the caller reports the machine without ports.
// Returns the chosen index, or -1 for an empty list. PORT changes only in
// memory; it is stored with the next save.
int SelectPort(SSettings& settings, const std::vector<SSerInfo>& ports);

} // namespace korvex
