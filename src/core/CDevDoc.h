#pragma once

#include "core/CDevItem.h"
#include "core/CDocument.h"
#include "core/IDevView.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

class CKorvexApp;

// One emulated slave device: an ID, an RS-485 address and its cells in
// insertion (file) order. Every lookup is a linear scan, first match wins.
//
// Threads: the user-interface thread adds, edits and removes cells (only while
// the emulator is idle), loads and saves; request handlers (UI thread) and
// scripts (their threads) look cells up and set values. m_csLock (recursive)
// guards m_arItems and every scan of it. Lock order: device lock, then a cell's
// lock, never the reverse.
class CDevDoc : public CDocument
{
public:
    explicit CDevDoc(CKorvexApp& app);
    ~CDevDoc() override;

    CKorvexApp& GetApp() const { return m_app; }

    std::string GetDevId() const { return m_strId; }
    std::uint8_t GetDevAddr() const { return m_nAddr.load(std::memory_order_relaxed); }
    void SetDevId(const std::string& id) { m_strId = id; }
    void SetDevAddr(std::uint8_t addr) { m_nAddr.store(addr, std::memory_order_relaxed); }

    CDevItem* FindItem(std::int32_t type, std::uint16_t addr) const;
    CDevItem* FindItemById(std::int32_t type, const std::string& id) const;
    HROW FindRow(std::int32_t type, std::uint16_t addr) const;
    HROW FindRowById(std::int32_t type, const std::string& id) const;

    IDevView* GetDevView() const { return m_pView.load(); }
    void SetDevView(IDevView* view) { m_pView.store(view); }

    // Creates a cell, shows it (which may normalise it or leave it without a
    // row), appends it and marks the device modified. Checks no duplicates.
    void AddItem(std::int32_t type, const std::string& id, const std::string& desc,
                 std::uint16_t addr, std::int32_t access, std::uint16_t min, std::uint16_t max,
                 std::uint16_t value);
    // Destroys the cell if it belongs to this device and marks it modified.
    void RemoveItem(CDevItem* item);

    // Normalises a cell that is shown (added or edited) and returns its row,
    // or 0 when a cell whose low bound is not below its high bound is refused.
    HROW ShowItem(CDevItem* item);

    // Document operations. A device comes only from a file: it cannot be
    // created empty.
    bool OnNewDocument() override { return false; }
    // Resolves a relative path against the application's base folder and
    // loads the file; fails (silently) when another open device has the same
    // ID, so the template drops this one. An opened device adds its node to
    // the project tree, or refreshes the node of its file.
    bool OnOpenDocument(const std::string& path) override;
    // Reads or writes the device file under the device's lock. The document
    // first takes the file's path, so warnings carry the file's name.
    bool Serialize(CArchive& ar) override;
    void ReportError(const std::string& text) const override;

    // The cells; the caller holds Lock() while it walks them.
    std::recursive_mutex& Lock() const { return m_csLock; }
    const std::vector<std::unique_ptr<CDevItem>>& Items() const { return m_arItems; }
    std::size_t GetItemCount() const;

    // Field written directly by the file reader and the change-ID command
    // (emulator idle), read by the lookups.
    std::string m_strId;

private:
    CKorvexApp& m_app;
    mutable std::recursive_mutex m_csLock;
    std::vector<std::unique_ptr<CDevItem>> m_arItems;
    std::atomic<std::uint8_t> m_nAddr{ 0 };
    std::atomic<IDevView*> m_pView{ nullptr };
    HROW m_nLastRow{ 0 };
};

} // namespace korvex
