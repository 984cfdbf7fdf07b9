#include "core/CDevDoc.h"

#include "core/CArchive.h"
#include "core/CCellNotifier.h"
#include "core/CDocManager.h"
#include "core/FileIo.h"
#include "core/IDevFileFormat.h"
#include "core/IDevHost.h"
#include "core/IDevObserver.h"
#include "core/Text.h"

#include <algorithm>
#include <array>

namespace korvex {

CDevDoc::CDevDoc(IDevHost& host)
    : CDocument(&host.GetDocManager()), m_host(host), m_cells(host.GetCellNotifier())
{
    m_host.AddDevice(this);
}

CDevDoc::~CDevDoc()
{
    std::lock_guard lock(m_csLock);
    m_host.RemoveDevice(this);
    GetDocManager()->NotifyClosing(*this);
    m_cells.ForgetDevice(this);
    for (auto& item : m_arItems) {
        if (ICellGraph* graph = item->GetGraphWnd()) {
            item->SetGraphWnd(nullptr);
            graph->Close();
        }
    }
    m_byAddr.Clear();
    m_byId.Clear();
    m_arItems.clear();
}

void CDevDoc::SetDevId(const std::string& id)
{
    m_strId = id;
    m_host.SetDeviceId(this, id);
}

void CDevDoc::SetDevAddr(std::uint8_t addr)
{
    m_nAddr.store(addr, std::memory_order_relaxed);
    m_host.SetDeviceAddr(this, addr);
}

CDevItem* CDevDoc::FindItem(std::int32_t type, std::uint16_t addr) const
{
    std::lock_guard lock(m_csLock);
    return m_byAddr.Find(AddrKey(type, addr));
}

CDevItem* CDevDoc::FindItemById(std::int32_t type, const std::string& id) const
{
    std::lock_guard lock(m_csLock);
    return m_byId.Find(SCellIdRef{ type, id });
}

// The row of the first cell with the key, which is 0 when that cell has none
// (even when a later cell with the key has one).
HROW CDevDoc::FindRow(std::int32_t type, std::uint16_t addr) const
{
    std::lock_guard lock(m_csLock);
    const CDevItem* item = m_byAddr.Find(AddrKey(type, addr));
    return item != nullptr ? item->m_hRow : 0;
}

HROW CDevDoc::FindRowById(std::int32_t type, const std::string& id) const
{
    std::lock_guard lock(m_csLock);
    const CDevItem* item = m_byId.Find(SCellIdRef{ type, id });
    return item != nullptr ? item->m_hRow : 0;
}

std::size_t CDevDoc::SCellIdHash::Hash(std::int32_t type, std::string_view id)
{
    const std::size_t h = std::hash<std::string_view>{}(id);
    return h ^ (static_cast<std::size_t>(static_cast<std::uint32_t>(type)) * 0x9E3779B97F4A7C15ull);
}

void CDevDoc::IndexItem(CDevItem* item)
{
    const auto before = [](const CDevItem* a, const CDevItem* b) { return a->m_nSeq < b->m_nSeq; };
    m_byAddr.Add(AddrKey(item->m_nType, item->m_wAddr), item, before);
    m_byId.Add(SCellIdKey{ item->m_nType, item->m_strId }, item, before);
}

void CDevDoc::UnindexItem(const CDevItem* item)
{
    // Only the first of several cells with one key makes a scan: the list
    // is in insertion order, so the next one is found from the start.
    const auto next = [this, item](auto matches) -> CDevItem* {
        for (const auto& other : m_arItems)
            if (other.get() != item && matches(*other))
                return other.get();
        return nullptr;
    };
    m_byAddr.Remove(AddrKey(item->m_nType, item->m_wAddr), item, [&] {
        return next([item](const CDevItem& o) {
            return o.m_nType == item->m_nType && o.m_wAddr == item->m_wAddr;
        });
    });
    m_byId.Remove(SCellIdRef{ item->m_nType, item->m_strId }, item, [&] {
        return next([item](const CDevItem& o) {
            return o.m_nType == item->m_nType && o.m_strId == item->m_strId;
        });
    });
}

std::size_t CDevDoc::GetItemCount() const
{
    std::lock_guard lock(m_csLock);
    return m_arItems.size();
}

// ---- Observers -------------------------------------------------------------

void CDevDoc::MarkChanged(CDevItem* item)
{
    m_cells.MarkChanged(item);
}

void CDevDoc::AddObserver(IDevObserver* observer)
{
    m_observers.Add(observer);
}

void CDevDoc::RemoveObserver(IDevObserver* observer)
{
    m_observers.Remove(observer);
}

void CDevDoc::NotifyValuesChanged(const std::vector<CDevItem*>& items)
{
    m_observers.Notify([&items](IDevObserver& observer) { observer.OnValuesChanged(items); });
}

// ---- Cells -----------------------------------------------------------------

HROW CDevDoc::ShowItem(CDevItem* item)
{
    std::lock_guard lock(m_csLock);
    if (item->m_wMin >= item->m_wMax)
        return 0;

    std::uint16_t value = item->GetValue();
    switch (item->m_nType) {
    case DINP: item->m_nAccess = ACCESS_R; [[fallthrough]];
    case COIL:
        item->m_wMin = 0;
        item->m_wMax = 1;
        value = value != 0 ? 1 : 0;
        break;
    case IREG: item->m_nAccess = ACCESS_R; break;
    default: break;
    }
    value = std::clamp(value, item->m_wMin, item->m_wMax);
    item->m_wValue.store(value, std::memory_order_relaxed);

    if (item->m_hRow == 0)
        item->m_hRow = ++m_nLastRow;
    m_observers.Notify([item](IDevObserver& observer) { observer.OnItemShown(item); });
    return item->m_hRow;
}

CDevItem* CDevDoc::AddItem(std::int32_t type, const std::string& id, const std::string& desc,
                           std::uint16_t addr, std::int32_t access, std::uint16_t min,
                           std::uint16_t max, std::uint16_t value)
{
    std::lock_guard lock(m_csLock);
    auto owned = std::make_unique<CDevItem>(type, id, desc, addr, access, min, max, value);
    CDevItem* item = owned.get();
    item->Attach(this, 0);
    item->m_nSeq = m_nNextSeq++;
    // In the list before it is shown, so that an observer finds it there.
    m_arItems.push_back(std::move(owned));
    IndexItem(item);
    ShowItem(item);
    SetModifiedFlag(true);
    return item;
}

CDevItem* CDevDoc::AddItem(const SCellFields& f)
{
    return AddItem(f.nType, f.strId, f.strDesc, f.wAddr, f.nAccess, f.wMin, f.wMax, f.wValue);
}

void CDevDoc::RemoveItem(CDevItem* item)
{
    std::lock_guard lock(m_csLock);
    const auto it = std::find_if(m_arItems.begin(), m_arItems.end(),
                                 [item](const auto& p) { return p.get() == item; });
    if (it == m_arItems.end())
        return;
    m_observers.Notify([item](IDevObserver& observer) { observer.OnItemRemoved(item); });
    m_cells.Forget(item);
    UnindexItem(item);
    m_arItems.erase(it);
    SetModifiedFlag(true);
}

// ---- Cell editing ------------------------------------------------------------

namespace {

std::string TrimBlanks(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

CellEditError CDevDoc::ValidateItem(const SCellFields& f, bool isNew) const
{
    if (f.wMin >= f.wMax)
        return CellEditError::Bounds;
    if (f.wValue < f.wMin || f.wValue > f.wMax)
        return CellEditError::ValueRange;
    const std::string id = TrimBlanks(f.strId);
    if (id.empty())
        return CellEditError::NoId;
    if (isNew && FindRowById(f.nType, id) != 0)
        return CellEditError::DuplicateId;
    if (isNew && FindRow(f.nType, f.wAddr) != 0)
        return CellEditError::DuplicateAddr;
    return CellEditError::None;
}

const char* CDevDoc::GetCellEditMessage(CellEditError error)
{
    switch (error) {
    case CellEditError::Bounds: return "Неверно заданы границы изменения значения!";
    case CellEditError::ValueRange: return "Значение за границами заданного диапазона!";
    case CellEditError::NoId: return "Не задан идентификатор ячейки!";
    case CellEditError::DuplicateId:
        return "Ячейка данного типа и с тем же идентификатором уже имеется!";
    case CellEditError::DuplicateAddr: return "Ячейка данного типа и с тем же адресом уже имеется!";
    case CellEditError::None: break;
    }
    return "";
}

std::string CDevDoc::DefaultDescription(const std::string& id)
{
    return "Ячейка " + TrimBlanks(id);
}

void CDevDoc::EditItem(CDevItem* item, const SCellFields& f)
{
    // The keys are indexed by the device that holds the cell.
    if (item->m_pDoc != nullptr && item->m_pDoc != this) {
        item->m_pDoc->EditItem(item, f);
        return;
    }
    {
        std::lock_guard lock(m_csLock);
        const bool rekey =
            item->m_pDoc == this &&
            (item->m_nType != f.nType || item->m_wAddr != f.wAddr || item->m_strId != f.strId);
        if (rekey)
            UnindexItem(item);
        // A cell that moves takes its view along.
        if (const auto view = m_views.find(AddrKey(item->m_nType, item->m_wAddr));
            view != m_views.end() && (item->m_nType != f.nType || item->m_wAddr != f.wAddr)) {
            SCellView moved = view->second;
            m_views.erase(view);
            if (FitsCellKind(moved.type, f.nType))
                m_views[AddrKey(f.nType, f.wAddr)] = std::move(moved);
        }
        item->m_nType = f.nType;
        item->m_strId = f.strId;
        item->m_wAddr = f.wAddr;
        if (rekey)
            IndexItem(item);
        item->m_strDesc = f.strDesc;
        item->m_nAccess = f.nAccess;
        item->m_wMin = f.wMin;
        item->m_wMax = f.wMax;
    }
    item->SetValue(f.wValue);
    ShowItem(item);
    SetModifiedFlag(true);
}

void CDevDoc::DeleteItem(CDevItem* item)
{
    if (ICellGraph* graph = item->GetGraphWnd()) {
        item->SetGraphWnd(nullptr);
        graph->Close();
    }
    RemoveItem(item);
}

// ---- Many cells at once -------------------------------------------------------

namespace {

// Coils and discrete inputs hold 0 or 1; inputs are read-only.
SCellFields RangeCell(const SCellRange& r, std::uint16_t addr)
{
    const bool bits = r.nType == COIL || r.nType == DINP;
    SCellFields f;
    f.nType = r.nType;
    f.strId = r.strPrefix + std::to_string(addr);
    f.strDesc = CDevDoc::DefaultDescription(f.strId);
    f.wAddr = addr;
    f.nAccess = r.nType == DINP || r.nType == IREG ? ACCESS_R : ACCESS_RW;
    f.wMin = bits ? 0 : r.wMin;
    f.wMax = bits ? 1 : r.wMax;
    f.wValue = bits ? static_cast<std::uint16_t>(r.wValue != 0 ? 1 : 0) : r.wValue;
    return f;
}

std::string Hex(unsigned value)
{
    return FormatNumber(static_cast<std::uint16_t>(value), true, -1);
}

} // namespace

std::string CDevDoc::ValidateRange(const SCellRange& r) const
{
    if (r.nType < COIL || r.nType > IREG)
        return "Неизвестный тип ячеек!";
    if (r.nCount < 1)
        return "Количество ячеек должно быть не меньше 1!";
    if (r.wFirst + r.nCount - 1 > 0xFFFF)
        return StrFormat("Диапазон %d ячеек от адреса %s выходит за последний адрес 0xFFFF!",
                         r.nCount, Hex(r.wFirst).c_str());
    const SCellFields first = RangeCell(r, r.wFirst);
    if (first.wMin >= first.wMax)
        return GetCellEditMessage(CellEditError::Bounds);
    if (first.wValue < first.wMin || first.wValue > first.wMax)
        return GetCellEditMessage(CellEditError::ValueRange);
    std::lock_guard lock(m_csLock);
    for (std::int32_t i = 0; i < r.nCount; ++i) {
        const auto addr = static_cast<std::uint16_t>(r.wFirst + i);
        if (FindRow(r.nType, addr) != 0)
            return StrFormat("Ячейка %s с адресом %s уже имеется: %s!", CellTypeName(r.nType),
                             Hex(addr).c_str(), FindItem(r.nType, addr)->GetId().c_str());
        const std::string id = r.strPrefix + std::to_string(addr);
        if (FindRowById(r.nType, id) != 0)
            return StrFormat("Ячейка %s с идентификатором %s уже имеется!", CellTypeName(r.nType),
                             id.c_str());
    }
    return std::string();
}

std::string CDevDoc::AddRange(const SCellRange& r)
{
    std::string refusal = ValidateRange(r);
    if (!refusal.empty())
        return refusal;
    for (std::int32_t i = 0; i < r.nCount; ++i)
        AddItem(RangeCell(r, static_cast<std::uint16_t>(r.wFirst + i)));
    return refusal;
}

std::string CDevDoc::DuplicateItems(const std::vector<CDevItem*>& items,
                                    std::vector<CDevItem*>* copies)
{
    std::vector<SCellFields> planned;
    {
        std::lock_guard lock(m_csLock);
        // The search for free addresses starts above the highest one copied.
        std::array<std::int32_t, 4> next{ -1, -1, -1, -1 };
        for (const CDevItem* item : items)
            if (item->GetType() >= COIL && item->GetType() <= IREG)
                next[static_cast<std::size_t>(item->GetType())] = std::max<std::int32_t>(
                    next[static_cast<std::size_t>(item->GetType())], item->GetAddr() + 1);
        const auto taken = [&](std::int32_t type, auto matches) {
            return std::any_of(planned.begin(), planned.end(),
                               [&](const SCellFields& f) { return f.nType == type && matches(f); });
        };
        for (const CDevItem* item : items) {
            const std::int32_t type = item->GetType();
            if (type < COIL || type > IREG)
                continue;
            std::int32_t& addr = next[static_cast<std::size_t>(type)];
            while (addr <= 0xFFFF && FindRow(type, static_cast<std::uint16_t>(addr)) != 0)
                ++addr;
            if (addr > 0xFFFF)
                return StrFormat("Для копии ячейки %s нет свободного адреса до 0xFFFF!",
                                 item->GetId().c_str());
            SCellFields f{ type,           item->GetId(),  item->GetDesc(), 0, item->GetAccess(),
                           item->GetMin(), item->GetMax(), item->GetValue() };
            f.wAddr = static_cast<std::uint16_t>(addr++);
            const std::string old = std::to_string(item->GetAddr());
            const std::string id = item->GetId();
            const std::string stem = id.ends_with(old) ? id.substr(0, id.size() - old.size()) : id;
            const auto idFree = [&](const std::string& candidate) {
                return FindRowById(type, candidate) == 0 &&
                       !taken(type, [&](const SCellFields& p) { return p.strId == candidate; });
            };
            f.strId = stem + std::to_string(f.wAddr);
            if (!id.ends_with(old) || !idFree(f.strId)) {
                for (int n = 2;; ++n) {
                    f.strId = id + "_" + std::to_string(n);
                    if (idFree(f.strId))
                        break;
                }
            }
            planned.push_back(std::move(f));
        }
    }
    for (const SCellFields& f : planned) {
        CDevItem* copy = AddItem(f);
        if (copies != nullptr)
            copies->push_back(copy);
    }
    return std::string();
}

CellEditError CDevDoc::SetItemValue(CDevItem* item, std::uint16_t value)
{
    if (value < item->GetMin() || value > item->GetMax())
        return CellEditError::ValueRange;
    item->SetValue(value);
    SetModifiedFlag(true);
    return CellEditError::None;
}

void CDevDoc::ChangeIdAndAddress(const std::string& id, std::uint8_t addr)
{
    SetDevId(id);
    SetDevAddr(addr);
    GetDocManager()->NotifyDeviceChanged(*this);
    SetModifiedFlag(true);
}

// ---- Typed values ------------------------------------------------------------

SCellView CDevDoc::GetCellView(std::int32_t type, std::uint16_t addr) const
{
    std::lock_guard lock(m_csLock);
    const auto it = m_views.find(AddrKey(type, addr));
    return it == m_views.end() ? SCellView{} : it->second;
}

void CDevDoc::SetCellView(std::int32_t type, std::uint16_t addr, const SCellView& view)
{
    {
        std::lock_guard lock(m_csLock);
        if (view.IsDefault())
            m_views.erase(AddrKey(type, addr));
        else
            m_views[AddrKey(type, addr)] = view;
    }
    SetModifiedFlag(true);
}

std::string CDevDoc::PlaceCellView(std::int32_t type, std::uint16_t addr,
                                   const SValueType& valueType)
{
    const std::string name = FormatValueType(valueType);
    if (!FitsCellKind(valueType, type))
        return StrFormat("Тип %s не подходит ячейкам %s", name.c_str(), CellTypeName(type));
    {
        std::lock_guard lock(m_csLock);
        if (const auto first = GetCoveringCell(type, addr))
            return StrFormat("Ячейка 0x%X входит в значение с адреса 0x%X", addr, *first);
        const std::int32_t count = RegisterCount(valueType);
        for (std::int32_t i = 1; i < count; ++i)
            if (addr + i > 0xFFFF ||
                FindItem(type, static_cast<std::uint16_t>(addr + i)) == nullptr)
                return StrFormat("Для типа %s нужны ячейки %s 0x%X-0x%X", name.c_str(),
                                 CellTypeName(type), addr, addr + count - 1);
        for (std::int32_t i = 1; i < count; ++i)
            m_views.erase(AddrKey(type, static_cast<std::uint16_t>(addr + i)));
        SCellView view = GetCellView(type, addr);
        if (view.type != valueType)
            view = SCellView{ valueType, {}, {} };
        if (view.IsDefault())
            m_views.erase(AddrKey(type, addr));
        else
            m_views[AddrKey(type, addr)] = view;
    }
    SetModifiedFlag(true);
    return std::string();
}

std::optional<std::uint16_t> CDevDoc::GetCoveringCell(std::int32_t type, std::uint16_t addr) const
{
    std::lock_guard lock(m_csLock);
    // Views never overlap: the nearest one below is the only candidate.
    auto it = m_views.lower_bound(AddrKey(type, addr));
    if (it == m_views.begin())
        return std::nullopt;
    --it;
    const auto first = static_cast<std::uint16_t>(it->first & 0xFFFF);
    if (static_cast<std::int32_t>(it->first >> 16) != type ||
        first + RegisterCount(it->second.type) <= addr)
        return std::nullopt;
    return first;
}

std::vector<SCellViewAt> CDevDoc::GetCellViews() const
{
    std::lock_guard lock(m_csLock);
    std::vector<SCellViewAt> views;
    views.reserve(m_views.size());
    for (const auto& [key, view] : m_views)
        views.push_back({ static_cast<std::int32_t>(key >> 16),
                          static_cast<std::uint16_t>(key & 0xFFFF), view });
    return views;
}

namespace {

// The cells a type takes from the address on; empty when one is missing.
std::vector<CDevItem*> TypedCells(const CDevDoc& doc, std::int32_t type, std::uint16_t addr,
                                  std::int32_t count)
{
    std::vector<CDevItem*> cells;
    for (std::int32_t i = 0; i < count; ++i) {
        CDevItem* item =
            addr + i <= 0xFFFF ? doc.FindItem(type, static_cast<std::uint16_t>(addr + i)) : nullptr;
        if (item == nullptr)
            return {};
        cells.push_back(item);
    }
    return cells;
}

} // namespace

std::string CDevDoc::GetTypedValue(std::int32_t type, std::uint16_t addr) const
{
    std::lock_guard lock(m_csLock);
    const SCellView view = GetCellView(type, addr);
    const std::vector<CDevItem*> cells = TypedCells(*this, type, addr, RegisterCount(view.type));
    if (cells.empty())
        return std::string();
    std::vector<std::uint16_t> regs;
    for (const CDevItem* item : cells)
        regs.push_back(item->GetValue());
    return DecodeValue(view.type, regs);
}

std::optional<double> CDevDoc::GetTypedNumber(std::int32_t type, std::uint16_t addr) const
{
    std::lock_guard lock(m_csLock);
    const SCellView view = GetCellView(type, addr);
    const std::vector<CDevItem*> cells = TypedCells(*this, type, addr, RegisterCount(view.type));
    std::vector<std::uint16_t> regs;
    for (const CDevItem* item : cells)
        regs.push_back(item->GetValue());
    return cells.empty() ? std::nullopt : NumericValue(view.type, regs);
}

std::string CDevDoc::SetTypedValue(std::int32_t type, std::uint16_t addr, std::string_view text)
{
    std::lock_guard lock(m_csLock);
    const SCellView view = GetCellView(type, addr);
    const std::int32_t count = RegisterCount(view.type);
    const std::vector<CDevItem*> cells = TypedCells(*this, type, addr, count);
    if (cells.empty())
        return StrFormat("Нет ячеек %s с адреса %u для типа %s", CellTypeName(type), addr,
                         FormatValueType(view.type).c_str());
    std::vector<std::uint16_t> regs(static_cast<std::size_t>(count));
    if (std::string error = EncodeValue(view.type, text, regs); !error.empty())
        return error;
    const auto bound = [&](const std::string& limit, bool low) -> std::string {
        std::vector<std::uint16_t> b(regs.size());
        if (limit.empty() || !EncodeValue(view.type, limit, b).empty())
            return std::string();
        const auto order = CompareValues(view.type, regs, b);
        const bool outside = low ? !(order >= 0) : !(order <= 0);
        return outside ? GetCellEditMessage(CellEditError::ValueRange) : std::string();
    };
    if (std::string error = bound(view.strMin, true); !error.empty())
        return error;
    if (std::string error = bound(view.strMax, false); !error.empty())
        return error;
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (regs[i] < cells[i]->GetMin() || regs[i] > cells[i]->GetMax())
            return GetCellEditMessage(CellEditError::ValueRange);
    for (std::size_t i = 0; i < cells.size(); ++i)
        SetItemValue(cells[i], regs[i]);
    return std::string();
}

// ---- Document ----------------------------------------------------------------

bool CDevDoc::OnOpenDocument(const std::string& path)
{
    if (!CDocument::OnOpenDocument(m_host.ResolvePath(path)))
        return false;
    // The list holds devices in creation order and this one came last, so
    // any other device with the ID is found first.
    if (CDevDoc* other = m_host.FindDeviceById(m_strId); other != nullptr && other != this)
        return false;
    GetDocManager()->NotifyOpened(*this);
    return true;
}

bool CDevDoc::OnSaveDocument(const std::string& path)
{
    if (!CDocument::OnSaveDocument(path))
        return false;
    if (m_pFormat == nullptr)
        return true;
    std::string error;
    {
        std::lock_guard lock(m_csLock);
        error = m_pFormat->StoreBeside(*this, MakeFullPath(path));
    }
    if (error.empty())
        return true;
    SetModifiedFlag(true);
    ReportError(error);
    return false;
}

bool CDevDoc::Serialize(CArchive& ar)
{
    SetPathName(ar.GetFilePath());
    std::lock_guard lock(m_csLock);
    if (m_pFormat == nullptr)
        return false;
    return ar.IsLoading() ? m_pFormat->Load(*this, ar) : m_pFormat->Store(*this, ar);
}

void CDevDoc::ReportError(const std::string& text) const
{
    m_host.ReportError(text);
}

} // namespace korvex
