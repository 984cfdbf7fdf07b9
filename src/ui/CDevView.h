#pragma once

#include "ui/CDevModel.h"
#include "ui/IChildView.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QAction;
class QMenu;
class QTreeView;

namespace korvex {

class CDevCellDlg;
class CDevDoc;
class CDevItem;
class IRunState;

// A device's window content: its cells in a tree with columns. Enter or a
// double-click edits the selected cell, Ins adds one, G opens its graph,
// Del deletes the selected cells; beyond these, a range of cells is added at
// once, the selected cells are duplicated (Ctrl+D), Ctrl+G goes to the cell
// at an address, and F2 (or a double-click on it while the emulator runs)
// edits a value in place. While the emulator runs only values change: Enter
// opens the dialog with the value alone. The context menu "Для устройств"
// offers the same. User-interface thread.
class CDevView final : public QWidget, public IChildView
{
public:
    // addDialog: the one add dialog of the program, which remembers what was
    // typed from one use to the next.
    CDevView(CDevDoc& device, const IRunState& run, CDevCellDlg& addDialog,
             QWidget* parent = nullptr);
    ~CDevView() override;

    CDevModel& Model() { return m_model; }
    QTreeView* Tree() const { return m_pTree; }
    // The cell of the current row, or null.
    CDevItem* GetSelectedItem() const;
    // The cells of the selected rows, in the window's order.
    std::vector<CDevItem*> GetSelectedItems() const;
    // Makes the cell's row current and the only one selected, and shows it.
    void SelectItem(const CDevItem* item);

    // The commands; each does nothing while it is disabled.
    void OnEditCell();
    void OnEditValueInPlace();
    void OnAddCell();
    void OnAddRange();
    void OnDuplicate();
    void OnGoToAddress();
    void OnGraph();
    void OnDeleteCell();
    // Editing a cell's fields, adding and deleting: the emulator stopped.
    bool CanEdit() const;
    bool CanAdd() const;
    // A value alone: any time.
    bool CanEditValue() const;
    bool CanGraph() const;
    // The context menu with the states of the moment; the caller owns it.
    QMenu* BuildContextMenu();

    // The value of a cell typed by the user: checked against its bounds and
    // written through the thread-safe setter. The refusal, else empty.
    QString SetCellValue(CDevItem* item, std::uint16_t value);

    // Column widths for a client width: 45, 15, 10, 5, 15 and 10 percent,
    // each at least 180, 40, 40, 25, 80 and 50 pixels.
    static std::array<int, CDevModel::COL_COUNT> ColumnWidths(int width);

    void OnInitialUpdate() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitColumns();
    void ExpandGroups();
    bool IsHex() const;

    CDevDoc& m_device;
    const IRunState& m_run;
    CDevCellDlg& m_addDialog;
    CDevModel m_model;
    QTreeView* m_pTree{ nullptr };
};

} // namespace korvex
