#pragma once

#include "core/CFirstMatchIndex.h"
#include "core/IDeviceLookup.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

class CDevDoc;

// Every live device document, in creation order (not owned); devices add and
// remove themselves and tell of a new ID or address. The lookups answer as a
// walk of the list would (first match wins) from indexes by address and by
// ID, so that with two devices on one address the one opened first answers,
// and the other once it has gone.
//
// Threads: devices come, go and change on the user-interface thread; lookups
// run on any thread. m_csDevices guards the list and the indexes.
class CDeviceRegistry final : public IDeviceLookup
{
public:
    // A device joins with the ID and address it has now.
    void AddDevice(CDevDoc* doc);
    void RemoveDevice(CDevDoc* doc);
    void SetDeviceId(CDevDoc* doc, const std::string& id);
    void SetDeviceAddr(CDevDoc* doc, std::uint8_t addr);
    CDevDoc* FindDeviceByAddr(std::uint8_t addr) const override;
    CDevDoc* FindDeviceById(const std::string& id) const override;
    std::vector<CDevDoc*> GetDevices() const override;

private:
    // A device and the keys it is indexed under.
    struct SEntry
    {
        CDevDoc* pDoc;
        std::string strId;
        std::uint8_t nAddr;
    };
    struct SIdHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view id) const
        {
            return std::hash<std::string_view>{}(id);
        }
    };

    std::vector<SEntry>::iterator FindEntry(const CDevDoc* doc);
    bool Before(const CDevDoc* a, const CDevDoc* b) const;
    CDevDoc* FirstOther(const CDevDoc* doc, std::uint8_t addr) const;
    CDevDoc* FirstOther(const CDevDoc* doc, const std::string& id) const;

    mutable std::mutex m_csDevices;
    std::vector<SEntry> m_arDevices;
    CFirstMatchIndex<std::uint8_t, CDevDoc> m_byAddr;
    CFirstMatchIndex<std::string, CDevDoc, SIdHash> m_byId;
};

} // namespace korvex
