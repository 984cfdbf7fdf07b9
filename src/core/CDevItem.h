#pragma once

#include "core/Types.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace korvex {

class CCellNotifier;
class CDevDoc;

// Row handle of a cell in its device's view; 0 while the cell has no row.
using HROW = std::uint32_t;

// A window that plots one cell, called on the user-interface thread.
class ICellGraph
{
public:
    virtual ~ICellGraph() = default;
    // The cell's value changed: take a sample now.
    virtual void RequestSample() = 0;
    // The cell or its device goes: close the window.
    virtual void Close() = 0;
};

// One coil, discrete input, holding or input register.
//
// Threads: the user-interface thread edits the fields (only while the emulator
// is idle); request handlers and scripts call GetValue/SetValue at any time.
// m_csLock guards the value while it is set, and the graph pointer.
class CDevItem
{
public:
    CDevItem(std::int32_t type, std::string id, std::string desc, std::uint16_t addr,
             std::int32_t access, std::uint16_t min, std::uint16_t max, std::uint16_t value);

    CDevItem(const CDevItem&) = delete;
    CDevItem& operator=(const CDevItem&) = delete;

    std::int32_t GetType() const { return m_nType; }
    std::string GetId() const { return m_strId; }
    std::string GetDesc() const { return m_strDesc; }
    std::uint16_t GetAddr() const { return m_wAddr; }
    std::int32_t GetAccess() const { return m_nAccess; }
    std::uint16_t GetMin() const { return m_wMin; }
    std::uint16_t GetMax() const { return m_wMax; }
    std::uint16_t GetValue() const { return m_wValue.load(std::memory_order_relaxed); }
    CDevDoc* GetDoc() const { return m_pDoc; }
    HROW GetRow() const { return m_hRow; }

    ICellGraph* GetGraphWnd() const;
    void SetGraphWnd(ICellGraph* graph);

    void Attach(CDevDoc* doc, HROW row);

    // Stores the value exactly as given (no bounds check, no 0/1 rule) and
    // marks the cell changed; the change is announced on the user-interface
    // thread (CCellNotifier). Does not mark the device modified: callers
    // acting for the master or a script do that.
    void SetValue(std::uint16_t value);

    // Fields the cell editing and the view's normalisation write (emulator
    // idle). The type, address and ID are the keys of the device's lookups:
    // only the device changes them (CDevDoc::EditItem), so that its indexes
    // follow.
    std::string m_strDesc;
    std::int32_t m_nAccess;
    std::uint16_t m_wMin;
    std::uint16_t m_wMax;

private:
    friend class CDevDoc;
    friend class CCellNotifier;

    std::int32_t m_nType;
    std::string m_strId;
    std::uint16_t m_wAddr;
    std::atomic<std::uint16_t> m_wValue;
    std::uint64_t m_nSeq{ 0 }; // place in the device's list: later cells have higher numbers
    HROW m_hRow{ 0 };
    CDevDoc* m_pDoc{ nullptr };
    mutable std::mutex m_csLock;
    ICellGraph* m_pGraphWnd{ nullptr };
    bool m_bMarked{ false }; // guarded by the notifier's lock
};

} // namespace korvex
