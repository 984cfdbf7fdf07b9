// The choice of the settings' port in the enumerated list.

#include "core/PortList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvex {
namespace {

std::vector<SSerInfo> MakePorts(const std::vector<bool>& busy)
{
    std::vector<SSerInfo> ports;
    for (std::size_t i = 0; i < busy.size(); ++i) {
        SSerInfo info;
        info.m_strComName = "ttyUSB" + std::to_string(i);
        info.m_strShownName = "Adapter (" + info.m_strComName + ")";
        info.m_strOpenPath = "/dev/" + info.m_strComName;
        info.m_bBusy = busy[i];
        ports.push_back(info);
    }
    return ports;
}

TEST(SelectPort, StoredIndexStaysInsideTheListElseFirstFreeElseFirst)
{
    struct SCase
    {
        int stored;
        std::vector<bool> busy;
        int chosen;
        const char* why;
    };
    const SCase cases[] = {
        { 7, { false, false, false }, 0, "past the end: the first free port" },
        { 7, { true, false, false }, 1, "past the end: the first free port, not the first" },
        { 7, { true, true, true }, 0, "past the end, all busy: the first port" },
        { 3, { true, true, false }, 2, "equal to the length is past the end" },
        { -1, { true, false, true }, 1, "first run: the first free port" },
        { -1, { true, true }, 0, "first run, all busy: the first port" },
        { -5, { false }, 0, "any negative index" },
        { 2, { false, false, true }, 2, "inside the list: stays, even on a busy port" },
        { 0, { true, false }, 0, "inside the list: stays" },
        { 1, { false, false, false }, 1, "inside the list: stays" },
    };
    for (const SCase& c : cases) {
        const std::vector<SSerInfo> ports = MakePorts(c.busy);
        SSettings settings;
        settings.PORT = c.stored;
        EXPECT_EQ(SelectPort(settings, ports), c.chosen) << c.why;
        EXPECT_EQ(settings.PORT, c.chosen) << c.why;
        const SSerInfo& want = ports[static_cast<std::size_t>(c.chosen)];
        EXPECT_EQ(settings.m_info.m_strComName, want.m_strComName) << c.why;
        EXPECT_EQ(settings.m_info.m_strShownName, want.m_strShownName) << c.why;
        EXPECT_EQ(settings.m_info.m_strOpenPath, want.m_strOpenPath) << c.why;
        EXPECT_EQ(settings.m_info.m_bBusy, want.m_bBusy) << c.why;
    }
}

TEST(SelectPort, EmptyListChangesNothing)
{
    for (const int stored : { -1, 0, 5 }) {
        SSettings settings;
        settings.PORT = stored;
        settings.m_info.m_strComName = "ttyUSB3";
        EXPECT_EQ(SelectPort(settings, {}), -1);
        EXPECT_EQ(settings.PORT, stored);
        EXPECT_EQ(settings.m_info.m_strComName, "ttyUSB3");
    }
}

} // namespace
} // namespace korvex
