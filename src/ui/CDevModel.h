#pragma once

#include "core/IDevObserver.h"
#include "ui/CRepaintThrottle.h"

#include <QAbstractItemModel>

#include <array>
#include <unordered_map>
#include <vector>

namespace korvex {

class CDevDoc;
class CDevItem;

// A device's cells as an item model: the four groups "COILS", "DISCRETE
// INPUTS", "HOLDING REGISTERS", "INPUT REGISTERS" at the root, bold, each
// with the shown cells of its kind in the order they were added, in seven
// columns, the last the display type of the value. Numbers are "0x%X" whatever the settings. Value
// changes arrive coalesced (CCellNotifier) and repaint one range of rows per group. User-interface
// thread.
class CDevModel final : public QAbstractItemModel, public IDevObserver
{
public:
    enum Column
    {
        COL_DESC,
        COL_ID,
        COL_ADDR,
        COL_ACCESS,
        COL_BOUNDS,
        COL_VALUE,
        COL_TYPE,
        COL_COUNT,
    };

    // One group per cell type, COIL to IREG, in the order of the types.
    static constexpr int kGroupCount = 4;

    explicit CDevModel(CDevDoc& device, QObject* parent = nullptr);
    ~CDevModel() override;

    // Reads every shown cell of the device anew (after the file is read).
    void Rebuild();
    // Until the first Rebuild, added cells are only noted: a device file of
    // 65,536 cells is not inserted row by row.

    // The cell of a row, or null for a group row.
    CDevItem* ItemOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const CDevItem* item, int column = 0) const;
    QModelIndex GroupIndex(int type) const;
    static QString ColumnCaption(int column);
    static QString GroupCaption(int type);

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A cell's value can be edited in place (CValueDelegate writes it).
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void OnItemShown(CDevItem* item) override;
    void OnItemRemoved(CDevItem* item) override;
    // Under a fast master the rows repaint at most kRepaintInterval apart:
    // painting on every turn of the loop would hold up the user-interface
    // thread, which also answers the master.
    void OnValuesChanged(const std::vector<CDevItem*>& items) override;
    // Repaints the rows whose values changed since the last repaint.
    void FlushValues();
    // Repaints every row's value and type (after views changed).
    void RefreshViews();

    static constexpr int kRepaintInterval = 40; // milliseconds

private:
    struct SGroup
    {
        std::vector<CDevItem*> rows;
        std::unordered_map<const CDevItem*, int> index;
    };

    void RepaintChanged();

    // The value column: the typed value, "(часть 0x64)" after a register
    // that a wide type covers, else the register.
    QString ValueText(const CDevItem& item) const;
    // The type column: the cell's display type, empty for a covered register.
    QString TypeText(const CDevItem& item) const;

    CDevDoc& m_device;
    std::array<SGroup, kGroupCount> m_groups;
    bool m_bBuilt{ false };
    std::array<int, kGroupCount> m_firstChanged;
    std::array<int, kGroupCount> m_lastChanged;
    CRepaintThrottle m_throttle{ kRepaintInterval, [this] { RepaintChanged(); } };
};

} // namespace korvex
