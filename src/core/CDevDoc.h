#pragma once

#include "core/CDevCounters.h"
#include "core/CDevItem.h"
#include "core/CDocument.h"
#include "core/CFirstMatchIndex.h"
#include "core/CObserverList.h"
#include "core/ValueType.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

class CCellNotifier;
class IDevHost;
class IDevFileFormat;
class IDevObserver;

// The fields of a cell as the cell dialog edits them.
struct SCellFields
{
    std::int32_t nType{ COIL };
    std::string strId;
    std::string strDesc;
    std::uint16_t wAddr{ 0 };
    std::int32_t nAccess{ ACCESS_RW };
    std::uint16_t wMin{ 0 };
    std::uint16_t wMax{ 0 };
    std::uint16_t wValue{ 0 };
};

// A run of cells of one kind at consecutive addresses: IDs are the prefix
// and the decimal address ("HR100"), descriptions the default one.
struct SCellRange
{
    std::int32_t nType{ HREG };
    std::uint16_t wFirst{ 0 };
    std::int32_t nCount{ 1 };
    std::string strPrefix;
    std::uint16_t wMin{ 0 };
    std::uint16_t wMax{ 0xFFFF };
    std::uint16_t wValue{ 0 };
};

// How a cell, and the cells after it that a wide type takes, are shown and
// typed. Bounds that the cells' own 16-bit bounds cannot hold (a wide type's,
// a signed range) are kept as typed values; empty, the type's whole range.
struct SCellView
{
    SValueType type;
    std::string strMin;
    std::string strMax;

    bool operator==(const SCellView&) const = default;
    bool IsDefault() const { return *this == SCellView{}; }
};

// The view of the cell of a kind at an address.
struct SCellViewAt
{
    std::int32_t nType{ HREG };
    std::uint16_t wAddr{ 0 };
    SCellView view;

    bool operator==(const SCellViewAt&) const = default;
};

// Why a new or edited cell is refused, in the order the tests are made.
enum class CellEditError
{
    None,
    Bounds,        // the low bound is not below the high bound
    ValueRange,    // the value lies outside the bounds
    NoId,          // the ID is blank
    DuplicateId,   // a new cell: a shown cell of the type has the ID
    DuplicateAddr, // a new cell: a shown cell of the type has the address
};

// One emulated slave device: an ID, an RS-485 address and its cells in
// insertion (file) order. The lookups answer as a scan of the list from its
// start would (first match wins, IDs compare case-sensitively) from two
// indexes kept with the list: by type and address, and by type and ID.
//
// Threads: the user-interface thread adds, edits and removes cells (only while
// the emulator is idle), loads and saves; request handlers (UI thread) and
// scripts (their threads) look cells up and set values. m_csLock (recursive)
// guards m_arItems, the indexes and every scan of them. Lock order: device lock, then a cell's
// lock, never the reverse. Observers are added, removed and told on the UI
// thread.
class CDevDoc : public CDocument
{
public:
    // The device joins the host's registry at once and leaves it when it is
    // destroyed.
    explicit CDevDoc(IDevHost& host);
    ~CDevDoc() override;

    // A cell's value changed: the notifier the device was given announces it.
    void MarkChanged(CDevItem* item);

    std::string GetDevId() const { return m_strId; }
    std::uint8_t GetDevAddr() const { return m_nAddr.load(std::memory_order_relaxed); }
    // The device's ID and address (emulator idle); the application's device
    // lookups follow.
    void SetDevId(const std::string& id);
    void SetDevAddr(std::uint8_t addr);

    CDevItem* FindItem(std::int32_t type, std::uint16_t addr) const;
    CDevItem* FindItemById(std::int32_t type, const std::string& id) const;
    HROW FindRow(std::int32_t type, std::uint16_t addr) const;
    HROW FindRowById(std::int32_t type, const std::string& id) const;

    void AddObserver(IDevObserver* observer);
    void RemoveObserver(IDevObserver* observer);
    // The cell notifier's announcement of this device's changed cells.
    void NotifyValuesChanged(const std::vector<CDevItem*>& items);

    // Creates a cell, shows it (which may normalise it or leave it without a
    // row), appends it and marks the device modified. Checks no duplicates.
    CDevItem* AddItem(std::int32_t type, const std::string& id, const std::string& desc,
                      std::uint16_t addr, std::int32_t access, std::uint16_t min, std::uint16_t max,
                      std::uint16_t value);
    CDevItem* AddItem(const SCellFields& f);
    // Destroys the cell if it belongs to this device and marks it modified.
    void RemoveItem(CDevItem* item);

    // Normalises a cell that is shown (added or edited) and returns its row,
    // or 0 when a cell whose low bound is not below its high bound is refused.
    HROW ShowItem(CDevItem* item);

    // ---- Cell editing: the dialogs' operations (UI thread, emulator idle) ----

    // The first of the dialog's five refusals that applies to the fields, for
    // a new cell (isNew) or an edited one; the ID is compared without the
    // blanks around it.
    CellEditError ValidateItem(const SCellFields& f, bool isNew) const;
    static const char* GetCellEditMessage(CellEditError error);
    // The description a cell gets when none is given: "Ячейка " and the ID
    // without the blanks around it.
    static std::string DefaultDescription(const std::string& id);
    // Writes the fields into the cell, sets its value, normalises it and
    // refreshes its row, then marks the device modified.
    void EditItem(CDevItem* item, const SCellFields& f);
    // Closes the cell's graph, then removes the cell.
    void DeleteItem(CDevItem* item);

    // ---- Many cells at once, and values while masters poll (UI thread) ----

    // The cells of a range, normalised as their kind wants them (coils and
    // inputs 0..1; inputs read-only). The refusal of the range is its first
    // problem: a count that does not fit the addresses, bad bounds or value,
    // or the first address or ID that a shown cell of the kind already has;
    // empty when the whole range fits.
    std::string ValidateRange(const SCellRange& range) const;
    // Adds the range (emulator idle) after ValidateRange found nothing, else
    // nothing; returns the refusal, empty when the cells were added.
    std::string AddRange(const SCellRange& range);
    // Copies of the cells, each at the next free address of its kind above
    // the highest address among the cells of that kind, with a free ID: the
    // address at the end of the ID follows the new address ("HR7" becomes
    // "HR12"), else "_2", "_3"... is appended. All or nothing: the refusal is
    // returned when some copy finds no free address (emulator idle).
    std::string DuplicateItems(const std::vector<CDevItem*>& items,
                               std::vector<CDevItem*>* copies = nullptr);
    // The value of a cell, checked against its bounds and set through the
    // thread-safe setter (masters and scripts may use the cell meanwhile);
    // the device is marked modified. Any time, the emulator running or not.
    CellEditError SetItemValue(CDevItem* item, std::uint16_t value);
    // The device's new ID and address; the listeners hear of it (the project
    // tree's label), then the device is marked modified.
    void ChangeIdAndAddress(const std::string& id, std::uint8_t addr);

    // ---- Typed values: views over the 16-bit cells ----

    // The view of the cell of the kind at the address: the one set, else the
    // default (hex, the cell's own bounds).
    SCellView GetCellView(std::int32_t type, std::uint16_t addr) const;
    // Sets the view of the cell (a wide type's first register); the default
    // view removes it. Marks the device modified.
    void SetCellView(std::int32_t type, std::uint16_t addr, const SCellView& view);
    // Sets the view that the user chose for a cell, after checking that the
    // cells it takes are there and that no wide view before it covers the
    // cell; views of the cells it now takes go. Typed bounds stay only with
    // the same type. Returns the refusal, empty when it was set.
    std::string PlaceCellView(std::int32_t type, std::uint16_t addr, const SValueType& valueType);
    // Every view but the default ones, by kind, then address.
    std::vector<SCellViewAt> GetCellViews() const;
    // The address of the wide view that covers the cell (a register after
    // its first), or nullopt.
    std::optional<std::uint16_t> GetCoveringCell(std::int32_t type, std::uint16_t addr) const;
    // The value of the cells from the kind and address on as their view shows
    // it; empty when a cell the type takes is missing.
    std::string GetTypedValue(std::int32_t type, std::uint16_t addr) const;
    // The value of a numeric view as a number (a graph's sample); nullopt
    // for text or when a cell is missing.
    std::optional<double> GetTypedNumber(std::int32_t type, std::uint16_t addr) const;
    // Sets the cells from the text as their view reads it, after checking it
    // against the typed bounds, else each cell's own bounds; returns why the
    // value is refused, empty when it was set (through SetItemValue).
    std::string SetTypedValue(std::int32_t type, std::uint16_t addr, std::string_view text);

    // ---- Document ----

    // The file format the device is read and written in (the template's).
    void SetFileFormat(const IDevFileFormat* format) { m_pFormat = format; }
    // A device comes only from a file: it cannot be created empty.
    bool OnNewDocument() override { return false; }
    // Resolves a relative path against the application's base folder and
    // loads the file; fails (silently) when another open device has the same
    // ID, so the template drops this one. An opened device is announced to
    // the document listeners (the project tree adds or refreshes its node).
    bool OnOpenDocument(const std::string& path) override;
    // Saves the file, then what the format keeps beside it (the views); a
    // failure of the latter is reported and leaves the device modified.
    bool OnSaveDocument(const std::string& path) override;
    // Reads or writes the file through the format, under the device's lock.
    // The document first takes the file's path, so warnings carry its name.
    // False without a format.
    bool Serialize(CArchive& ar) override;
    void ReportError(const std::string& text) const override;

    // The cells; the caller holds Lock() while it walks them.
    std::recursive_mutex& Lock() const { return m_csLock; }
    const std::vector<std::unique_ptr<CDevItem>>& Items() const { return m_arItems; }
    std::size_t GetItemCount() const;

    // What the device has seen and answered; the counters guard themselves
    // (any thread).
    CDevCounters& GetCounters() const { return m_counters; }

private:
    // A cell's type and ID as a key of the ID index; SCellIdRef looks it up
    // without a copy of the ID.
    struct SCellIdKey
    {
        std::int32_t nType;
        std::string strId;
    };
    struct SCellIdRef
    {
        std::int32_t nType;
        std::string_view strId;
    };
    struct SCellIdHash
    {
        using is_transparent = void;
        std::size_t operator()(const SCellIdKey& key) const { return Hash(key.nType, key.strId); }
        std::size_t operator()(const SCellIdRef& key) const { return Hash(key.nType, key.strId); }
        static std::size_t Hash(std::int32_t type, std::string_view id);
    };
    struct SCellIdEqual
    {
        using is_transparent = void;
        template <class A, class B> bool operator()(const A& a, const B& b) const
        {
            return a.nType == b.nType && std::string_view(a.strId) == std::string_view(b.strId);
        }
    };

    static std::uint64_t AddrKey(std::int32_t type, std::uint16_t addr)
    {
        return (std::uint64_t{ static_cast<std::uint32_t>(type) } << 16) | addr;
    }
    // The cell gets, or loses, its places in the indexes (under m_csLock).
    void IndexItem(CDevItem* item);
    void UnindexItem(const CDevItem* item);

    IDevHost& m_host;
    CCellNotifier& m_cells;
    mutable std::recursive_mutex m_csLock;
    std::vector<std::unique_ptr<CDevItem>> m_arItems;
    CFirstMatchIndex<std::uint64_t, CDevItem> m_byAddr;
    CFirstMatchIndex<SCellIdKey, CDevItem, SCellIdHash, SCellIdEqual> m_byId;
    std::uint64_t m_nNextSeq{ 0 };
    std::string m_strId;
    std::atomic<std::uint8_t> m_nAddr{ 0 };
    CObserverList<IDevObserver> m_observers;
    const IDevFileFormat* m_pFormat{ nullptr };
    std::map<std::uint64_t, SCellView> m_views; // by AddrKey; under m_csLock
    HROW m_nLastRow{ 0 };
    mutable CDevCounters m_counters;
};

} // namespace korvex
