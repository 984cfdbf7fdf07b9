#include "core/PortList.h"

namespace korvex {

int SelectPort(SSettings& settings, const std::vector<SSerInfo>& ports)
{
    if (ports.empty())
        return -1;
    const int count = static_cast<int>(ports.size());
    int index = settings.PORT;
    if (index < 0 || index >= count) {
        index = 0;
        for (int i = 0; i < count; ++i) {
            if (!ports[static_cast<std::size_t>(i)].m_bBusy) {
                index = i;
                break;
            }
        }
    }
    settings.PORT = index;
    settings.m_info = ports[static_cast<std::size_t>(index)];
    return index;
}

} // namespace korvex
